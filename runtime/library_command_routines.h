// The library commands in their argument-triple form:
//   command(result triple, argument count, first argument triple)
// as the service table's library-command entries call them. Text and Byte set arguments carry a
// pointer in the value words (never null: the constant empty ones stand in);
// a left-out optional argument is (0, 0, 0). A by-reference argument carries
// the address of the caller's variable. Results that are Texts, Byte sets or
// Arrays belong to the caller.
#pragma once
#include "runtime/value.h"

namespace quillet {

using LibraryCommandRoutine = void (*)(ArgTriple* result, int argument_count, const ArgTriple* arguments);

// The window-unit reference tag: (window identifier, unit identifier, tag).
constexpr uint32_t kTagWindowUnit = 0x00010001;

namespace command {
#define QUILLET_LIBRARY_COMMANDS(X)                                                                         \
  X(BitNot) X(BitAnd) X(BitOr) X(UnitHandle) X(TextLength) X(ByteSetLength) X(Abs) X(Round) X(Left) X(Right) \
  X(Mid) X(Char) X(CharCode) X(FindText) X(FindTextReverse) X(ToUpper) X(ToInteger) X(TrimBoth) X(Replace)  \
  X(Split) X(ToByteSet) X(Spaces) X(CompareText) X(ByteSetData) X(ByteSetLeft) X(ByteSetMid) X(ZeroBytes)   \
  X(ToText) X(Rgb) X(DoEvents) X(Delay) X(TextAtAddress) X(BytesAtAddress) X(StartThread)
#define QUILLET_DECLARE_COMMAND(name) void name(ArgTriple* result, int argument_count, const ArgTriple* arguments);
QUILLET_LIBRARY_COMMANDS(QUILLET_DECLARE_COMMAND)
#undef QUILLET_DECLARE_COMMAND
}  // namespace command

// The service table's library-command entries: zero the result, call, hand
// back the three words. The support-library form does not use its library index.
ArgTriple CallLibraryCommand(LibraryCommandRoutine routine, int argument_count, const ArgTriple* arguments);
ArgTriple CallSupportLibraryCommand(int library_index, LibraryCommandRoutine routine, int argument_count,
                                    const ArgTriple* arguments);

}  // namespace quillet
