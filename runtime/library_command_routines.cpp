#include "runtime/library_command_routines.h"

#include <vector>

#include "runtime/library_commands.h"

namespace quillet {
namespace {

bool Given(int count, const ArgTriple* args, int i) { return i < count && !IsOmitted(args[i]); }

// A number wherever one is expected; an omitted one reads as 0.
int32_t IntAt(int count, const ArgTriple* args, int i) {
  if (i >= count) return 0;
  const ArgTriple& a = args[i];
  switch (a.tag) {
    case kTagFloat: return static_cast<int32_t>(FloatToInteger(ArgFloat(a)));
    case kTagDouble:
    case kTagDateTime: return static_cast<int32_t>(FloatToInteger(ArgDouble(a)));
    case kTagByte: return static_cast<int32_t>(a.low & 0xFF);
    case kTagShort: return static_cast<int16_t>(a.low & 0xFFFF);
    default: return static_cast<int32_t>(a.low);
  }
}

double DoubleAt(int count, const ArgTriple* args, int i) {
  if (i >= count) return 0;
  const ArgTriple& a = args[i];
  switch (a.tag) {
    case kTagDouble:
    case kTagDateTime: return ArgDouble(a);
    case kTagFloat: return ArgFloat(a);
    case kTagLong: return static_cast<double>(ArgLong(a));
    case kTagByte: return a.low & 0xFF;
    case kTagShort: return static_cast<int16_t>(a.low & 0xFFFF);
    default: return static_cast<int32_t>(a.low);
  }
}

std::optional<int> OptionalInt(int count, const ArgTriple* args, int i) {
  if (!Given(count, args, i)) return std::nullopt;
  return IntAt(count, args, i);
}

std::optional<bool> OptionalBool(int count, const ArgTriple* args, int i) {
  if (!Given(count, args, i)) return std::nullopt;
  return args[i].low != 0;
}

const char* TextAt(int count, const ArgTriple* args, int i) {
  if (!Given(count, args, i)) return kEmptyText;
  auto* t = static_cast<const char*>(ArgPointer(args[i]));
  return t ? t : kEmptyText;
}

const ByteSetBlock* BytesAt(int count, const ArgTriple* args, int i) {
  if (!Given(count, args, i)) return kEmptyByteSet;
  return static_cast<const ByteSetBlock*>(ArgPointer(args[i]));
}

void SetInt(ArgTriple* r, int32_t v) { *r = MakeIntArg(v); }
void SetDouble(ArgTriple* r, double v) { *r = MakeDoubleArg(v); }
void SetText(ArgTriple* r, Text&& t) { *r = MakePointerArg(t.release(), kTagText); }
void SetBytes(ArgTriple* r, ByteSet&& b) { *r = MakePointerArg(b.release(), kTagByteSet); }

std::vector<int32_t> AllInts(int count, const ArgTriple* args) {
  std::vector<int32_t> values;
  for (int i = 0; i < count; ++i) values.push_back(IntAt(count, args, i));
  return values;
}

}  // namespace

namespace command {

void BitNot(ArgTriple* r, int n, const ArgTriple* a) { SetInt(r, quillet::BitNot(IntAt(n, a, 0))); }

void BitAnd(ArgTriple* r, int n, const ArgTriple* a) {
  int32_t v = -1;
  for (int32_t x : AllInts(n, a)) v &= x;
  SetInt(r, n > 0 ? v : 0);
}

void BitOr(ArgTriple* r, int n, const ArgTriple* a) {
  int32_t v = 0;
  for (int32_t x : AllInts(n, a)) v |= x;
  SetInt(r, v);
}

void UnitHandle(ArgTriple* r, int n, const ArgTriple* a) {
  HWND handle = n > 0 ? quillet::UnitHandle(a[0].low, a[0].high) : nullptr;
  *r = MakePointerArg(handle, kTagInt);
}

void TextLength(ArgTriple* r, int n, const ArgTriple* a) {
  SetInt(r, static_cast<int32_t>(quillet::TextLength(TextAt(n, a, 0))));
}

void ByteSetLength(ArgTriple* r, int n, const ArgTriple* a) {
  SetInt(r, static_cast<int32_t>(quillet::ByteSetLength(BytesAt(n, a, 0))));
}

void Abs(ArgTriple* r, int n, const ArgTriple* a) { SetDouble(r, quillet::Abs(DoubleAt(n, a, 0))); }

void Round(ArgTriple* r, int n, const ArgTriple* a) {
  SetDouble(r, quillet::Round(DoubleAt(n, a, 0), OptionalInt(n, a, 1)));
}

void Left(ArgTriple* r, int n, const ArgTriple* a) { SetText(r, quillet::Left(TextAt(n, a, 0), IntAt(n, a, 1))); }
void Right(ArgTriple* r, int n, const ArgTriple* a) { SetText(r, quillet::Right(TextAt(n, a, 0), IntAt(n, a, 1))); }
void Mid(ArgTriple* r, int n, const ArgTriple* a) {
  SetText(r, quillet::Mid(TextAt(n, a, 0), IntAt(n, a, 1), IntAt(n, a, 2)));
}
void Char(ArgTriple* r, int n, const ArgTriple* a) { SetText(r, quillet::Char(IntAt(n, a, 0))); }
void CharCode(ArgTriple* r, int n, const ArgTriple* a) {
  SetInt(r, quillet::CharCode(TextAt(n, a, 0), OptionalInt(n, a, 1)));
}

void FindText(ArgTriple* r, int n, const ArgTriple* a) {
  SetInt(r, quillet::FindText(TextAt(n, a, 0), TextAt(n, a, 1), OptionalInt(n, a, 2), OptionalBool(n, a, 3)));
}

void FindTextReverse(ArgTriple* r, int n, const ArgTriple* a) {
  SetInt(r, quillet::FindTextReverse(TextAt(n, a, 0), TextAt(n, a, 1), OptionalInt(n, a, 2), OptionalBool(n, a, 3)));
}

void ToUpper(ArgTriple* r, int n, const ArgTriple* a) { SetText(r, quillet::ToUpper(TextAt(n, a, 0))); }

void ToInteger(ArgTriple* r, int n, const ArgTriple* a) { SetInt(r, n > 0 ? quillet::ToInteger(a[0]) : 0); }

void TrimBoth(ArgTriple* r, int n, const ArgTriple* a) { SetText(r, quillet::TrimBoth(TextAt(n, a, 0))); }

void Replace(ArgTriple* r, int n, const ArgTriple* a) {
  SetText(r, quillet::Replace(TextAt(n, a, 0), TextAt(n, a, 1), TextAt(n, a, 2), OptionalInt(n, a, 3),
                              OptionalInt(n, a, 4), OptionalBool(n, a, 5)));
}

void Split(ArgTriple* r, int n, const ArgTriple* a) {
  std::optional<const char*> separator;
  if (Given(n, a, 1)) separator = TextAt(n, a, 1);
  TextArray array = quillet::Split(TextAt(n, a, 0), separator, OptionalInt(n, a, 2));
  *r = MakePointerArg(array.release(), kTagArrayOfText);
}

void ToByteSet(ArgTriple* r, int n, const ArgTriple* a) {
  SetBytes(r, n > 0 ? quillet::ToByteSet(a[0]) : ByteSet());
}

void Spaces(ArgTriple* r, int n, const ArgTriple* a) { SetText(r, quillet::Spaces(IntAt(n, a, 0))); }

void CompareText(ArgTriple* r, int n, const ArgTriple* a) {
  SetInt(r, quillet::CompareText(TextAt(n, a, 0), TextAt(n, a, 1), OptionalBool(n, a, 2)));
}

void ByteSetData(ArgTriple* r, int n, const ArgTriple* a) {
  int32_t* position = Given(n, a, 2) ? static_cast<int32_t*>(ArgPointer(a[2])) : nullptr;
  *r = quillet::ByteSetData(BytesAt(n, a, 0), IntAt(n, a, 1), position);
}

void ByteSetLeft(ArgTriple* r, int n, const ArgTriple* a) {
  SetBytes(r, quillet::ByteSetLeft(BytesAt(n, a, 0), IntAt(n, a, 1)));
}

void ByteSetMid(ArgTriple* r, int n, const ArgTriple* a) {
  SetBytes(r, quillet::ByteSetMid(BytesAt(n, a, 0), IntAt(n, a, 1), IntAt(n, a, 2)));
}

void ZeroBytes(ArgTriple* r, int n, const ArgTriple* a) { SetBytes(r, quillet::ZeroBytes(IntAt(n, a, 0))); }

void ToText(ArgTriple* r, int n, const ArgTriple* a) { SetText(r, n > 0 ? quillet::ToText(a[0]) : Text()); }

void Rgb(ArgTriple* r, int n, const ArgTriple* a) {
  SetInt(r, quillet::Rgb(IntAt(n, a, 0), IntAt(n, a, 1), IntAt(n, a, 2)));
}

void DoEvents(ArgTriple*, int, const ArgTriple*) { quillet::DoEvents(); }

void Delay(ArgTriple*, int n, const ArgTriple* a) { quillet::Delay(IntAt(n, a, 0)); }

void TextAtAddress(ArgTriple* r, int n, const ArgTriple* a) {
  SetText(r, quillet::TextAtAddress(n > 0 ? reinterpret_cast<intptr_t>(ArgPointer(a[0])) : 0));
}

void BytesAtAddress(ArgTriple* r, int n, const ArgTriple* a) {
  SetBytes(r, quillet::BytesAtAddress(n > 0 ? reinterpret_cast<intptr_t>(ArgPointer(a[0])) : 0, IntAt(n, a, 1)));
}

void StartThread(ArgTriple* r, int n, const ArgTriple* a) {
  auto routine = n > 0 ? reinterpret_cast<void (*)(void*)>(ArgPointer(a[0])) : nullptr;
  void* parameter = Given(n, a, 1) ? ArgPointer(a[1]) : nullptr;
  HANDLE* handle = n >= 3 && Given(n, a, 2) ? static_cast<HANDLE*>(ArgPointer(a[2])) : nullptr;
  *r = MakeBoolArg(quillet::StartThread(routine, parameter, handle));
}

}  // namespace command

ArgTriple CallLibraryCommand(LibraryCommandRoutine routine, int argument_count, const ArgTriple* arguments) {
  ArgTriple result{0, 0, 0};
  routine(&result, argument_count, arguments);
  return result;
}

ArgTriple CallSupportLibraryCommand(int, LibraryCommandRoutine routine, int argument_count,
                                    const ArgTriple* arguments) {
  return CallLibraryCommand(routine, argument_count, arguments);
}

}  // namespace quillet
