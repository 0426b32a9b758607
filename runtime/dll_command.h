// DLL commands: external functions bound by DLL name and function name at
// their first call, never ahead of use. A missing DLL or export ends the
// process through the error reporter when the command is first called.
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quillet {

// Installs the name tables (entry i of both names command i). The tables are
// borrowed, not copied; addresses and modules start empty.
void InstallDllCommandTable(int count, const char* const* dll_names, const char* const* function_names);
int DllCommandCount();
// Binds command `index` on first use and answers its address.
void* ResolveDllCommand(int index);
// The same for a function that newer systems have and older ones lack: null,
// not a runtime error, when the DLL or the export is missing.
void* TryResolveDllCommand(int index);
// The module handle that command `index` was bound from (null before binding).
void* DllCommandModule(int index);
// Frees every module loaded for DLL commands and empties the tables.
void ReleaseDllCommands();
// A runtime-wide directory tried first when loading a DLL (null: none).
void SetDllDirectoryOverride(const char* directory);

#if defined(__i386__)
// Pushes `count` words (last first), calls `fn` with the callee-pops
// convention and reports whether the stack pointer came back where it was.
extern "C" uint64_t QuilletCallStdcallChecked(const void* fn, const uint32_t* words, uint32_t count,
                                              uint32_t* stack_imbalance);
[[noreturn]] void RaiseStackImbalance();

namespace detail {
template <typename T>
constexpr uint32_t WordsOf() {
  return static_cast<uint32_t>((sizeof(T) + 3) / 4);
}
template <typename T>
void PushWords(uint32_t*& out, const T& value) {
  static_assert(std::is_trivially_copyable<T>::value, "DLL arguments are plain values");
  uint32_t words[WordsOf<T>()] = {};
  std::memcpy(words, &value, sizeof(T));
  for (uint32_t w : words) *out++ = w;
}
}  // namespace detail
#endif

template <int Index, typename Signature>
struct DllFunction;

// A typed view of DLL command `Index`: calling it binds (first time) and calls.
// A Text argument is passed as its pointer, a Byte set as ByteSetData(b), the
// address of its first data byte (null for an empty Byte set).
template <int Index, typename R, typename... P>
struct DllFunction<Index, R(P...)> {
  R operator()(P... args) const { return CallAt(Index, args...); }
  // Whether the function exists here (binding it when it does).
  bool Available() const { return TryResolveDllCommand(Index) != nullptr; }

  static R CallAt(int index, P... args) {
    void* address = ResolveDllCommand(index);
#if defined(__i386__)
    static_assert(!std::is_floating_point<R>::value, "floating results are not supported");
    constexpr uint32_t kWordCount = (0 + ... + detail::WordsOf<P>());
    uint32_t words[kWordCount + 1];
    [[maybe_unused]] uint32_t* cursor = words;
    (detail::PushWords(cursor, args), ...);
    uint32_t imbalance = 0;
    uint64_t result = QuilletCallStdcallChecked(address, words, kWordCount, &imbalance);
    if (imbalance != 0) RaiseStackImbalance();
    if constexpr (std::is_void<R>::value) {
      return;
    } else {
      R typed;
      std::memcpy(&typed, &result, sizeof(R));
      return typed;
    }
#else
    using Pointer = R (*)(P...);
    return reinterpret_cast<Pointer>(address)(args...);
#endif
  }
};

// Calls command `index` with signature `Signature` (for tables installed at run time).
template <typename Signature, typename... A>
auto CallDllCommand(int index, A... args) {
  return DllFunction<-1, Signature>::CallAt(index, args...);
}

}  // namespace quillet
