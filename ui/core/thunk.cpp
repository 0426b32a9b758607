#include "ui/core/thunk.h"

#include <cstring>

#include "runtime/program_dll_commands.h"
#include "ui/core/toolkit.h"

namespace quillet {

void FillThunkI686(uint8_t out[kThunkSizeI686], uint32_t self, uint32_t target) {
  static const uint8_t kCallNext[5] = {0xE8, 0x04, 0x00, 0x00, 0x00};  // call +4: pushes &target
  static const uint8_t kPopEcxMovArg[5] = {0x59, 0xC7, 0x44, 0x24, 0x04};  // pop ecx; mov dword [esp+4], imm32
  static const uint8_t kJmpEcx[2] = {0xFF, 0x21};                          // jmp dword [ecx]
  std::memcpy(out, kCallNext, 5);
  std::memcpy(out + 5, &target, 4);
  std::memcpy(out + 9, kPopEcxMovArg, 5);
  std::memcpy(out + 14, &self, 4);
  std::memcpy(out + 18, kJmpEcx, 2);
}

void FillThunkX64(uint8_t out[kThunkSizeX64], uint64_t self, uint64_t target) {
  static const uint8_t kMovRcx[2] = {0x48, 0xB9};  // mov rcx, imm64 (first argument)
  static const uint8_t kMovRax[2] = {0x48, 0xB8};  // mov rax, imm64
  static const uint8_t kJmpRax[2] = {0xFF, 0xE0};  // jmp rax
  std::memcpy(out, kMovRcx, 2);
  std::memcpy(out + 2, &self, 8);
  std::memcpy(out + 10, kMovRax, 2);
  std::memcpy(out + 12, &target, 8);
  std::memcpy(out + 20, kJmpRax, 2);
}

void* BuildThunk(const void* self, const void* target) {
#if defined(_WIN64)
  constexpr size_t kSize = kThunkSizeX64;
#else
  constexpr size_t kSize = kThunkSizeI686;
#endif
  uint8_t* thunk = static_cast<uint8_t*>(AllocScratch(kSize));
  if (!thunk) return nullptr;
#if defined(_WIN64)
  FillThunkX64(thunk, reinterpret_cast<uint64_t>(self), reinterpret_cast<uint64_t>(target));
#else
  FillThunkI686(thunk, reinterpret_cast<uint32_t>(self), reinterpret_cast<uint32_t>(target));
#endif
  dll::FlushInstructionCache(dll::GetCurrentProcess(), thunk, kSize);
  return thunk;
}

void FreeThunk(void* thunk) { FreeScratch(thunk); }

}  // namespace quillet
