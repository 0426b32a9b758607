// The general library commands, as typed C++ functions. Each one also exists
// in the argument-triple form (runtime/library_command_routines.h) that the
// service table's library-command entries call.
//
// Texts are GBK; positions are 1-based byte positions; a search that finds
// nothing answers -1. Every Text / ByteSet / TextArray returned belongs to the
// caller (RAII owners free it). Text and Byte set arguments may be null (empty).
//
// Two commands are the value model's own functions (runtime/value.h):
//   TextLength(const char*)            -> number of bytes
//   ByteSetLength(const ByteSetBlock*) -> number of data bytes
#pragma once
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "runtime/value.h"
#include "runtime/window_template.h"

namespace quillet {

// ---- Bits, numbers, colours -------------------------------------------------
int32_t BitNot(int32_t value);
int32_t BitAnd(std::initializer_list<int32_t> values);
int32_t BitOr(std::initializer_list<int32_t> values);
template <typename... Rest>
int32_t BitAnd(int32_t first, Rest... rest) {
  return BitAnd({first, static_cast<int32_t>(rest)...});
}
template <typename... Rest>
int32_t BitOr(int32_t first, Rest... rest) {
  return BitOr({first, static_cast<int32_t>(rest)...});
}
double Abs(double value);
// Half away from zero; negative digits round to tens, hundreds, ...
double Round(double value, std::optional<int> digits = {});
// red + green * 256 + blue * 65536; green masked to 8 bits.
int32_t Rgb(int32_t red, int32_t green, int32_t blue);

// ---- Windows ---------------------------------------------------------------------
// Platform handle of a loaded window (unit kUnitIsWindow) or unit; null when not loaded.
HWND UnitHandle(uint32_t window_id, uint32_t unit_id = kUnitIsWindow);

// ---- Text cutting and searching ------------------------------------------------
Text Left(const char* text, int n);
Text Right(const char* text, int n);
Text Mid(const char* text, int start, int n);
Text Char(int code);
int CharCode(const char* text, std::optional<int> position = {});
int FindText(const char* text, const char* search, std::optional<int> start = {},
             std::optional<bool> ignore_case = {});
int FindTextReverse(const char* text, const char* search, std::optional<int> limit = {},
                    std::optional<bool> ignore_case = {});
Text ToUpper(const char* text);
Text TrimBoth(const char* text);
Text Spaces(int n);
// Case is ignored unless case_sensitive is true.
Text Replace(const char* text, const char* search, const char* replacement = nullptr,
             std::optional<int> start = {}, std::optional<int> count = {},
             std::optional<bool> case_sensitive = {});
// separator omitted: ","; given (even empty or null): that separator.
TextArray Split(const char* text, std::optional<const char*> separator = {}, std::optional<int> maximum = {});
// Negative, 0 or positive; case ignored unless case_sensitive is true.
int CompareText(const char* a, const char* b, std::optional<bool> case_sensitive = {});

// ---- Conversions (any basic kind, as a tagged value) ------------------------
int32_t ToInteger(const ArgTriple& value);
int32_t ToInteger(const char* text);
ByteSet ToByteSet(const ArgTriple& value);
Text ToText(const ArgTriple& value);

// ---- Byte sets -----------------------------------------------------------------
enum ByteSetDataKind : int {
  kDataByte = 1,
  kDataShort = 2,
  kDataInt = 3,
  kDataLong = 4,
  kDataFloat = 5,
  kDataDouble = 6,
  kDataBool = 7,
  kDataDateTime = 8,
  kDataSubPointer = 9,
  kDataText = 10,
};
// Reads one value of `kind` (a DataKind, else a runtime error ends the process);
// the result carries the kind's tag, a Text result is owned by the caller.
// `position`, when given, is read (1-based) and advanced; -1 once the end is reached.
ArgTriple ByteSetData(const ByteSetBlock* bytes, int kind, int32_t* position = nullptr);
ByteSet ByteSetLeft(const ByteSetBlock* bytes, int n);
ByteSet ByteSetMid(const ByteSetBlock* bytes, int start, int n);
ByteSet ZeroBytes(int n);

// ---- Memory at an address ------------------------------------------------------
Text TextAtAddress(intptr_t address);
ByteSet BytesAtAddress(intptr_t address, int length);

// ---- Messages, time, threads ---------------------------------------------------
// Dispatches the calling thread's waiting messages; stops before a quit message.
void DoEvents();
void Delay(int milliseconds);
// Runs routine(parameter) on a new thread. Without `handle` the thread handle
// is closed at once; with it the caller owns the handle.
bool StartThread(void (*routine)(void*), void* parameter = nullptr, HANDLE* handle = nullptr);

}  // namespace quillet
