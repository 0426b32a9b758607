// The value model: Text, Byte set and Array blocks in the runtime heap, with
// the exact layouts that cross library-command and DLL-command boundaries.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "runtime/heap.h"

namespace quillet {

// ---- Type tags -----------------------------------------------------------
enum TypeTag : uint32_t {
  kTagNone = 0,
  kTagByte = 0x80000101,
  kTagShort = 0x80000201,
  kTagInt = 0x80000301,
  kTagLong = 0x80000401,
  kTagFloat = 0x80000501,
  kTagDouble = 0x80000601,
  kTagBool = 0x80000002,
  kTagDateTime = 0x80000003,
  kTagText = 0x80000004,
  kTagByteSet = 0x80000005,
  kTagSubPointer = 0x80000006,
  kTagArrayOfBool = 0xA0000002,
  kTagArrayOfText = 0xA0000004,
};
constexpr uint32_t kTagArrayBit = 0x20000000;
constexpr uint32_t kTagCategoryMask = 0xF0000000;
constexpr uint32_t kTagBasicCategory = 0x80000000;

inline bool IsArrayTag(uint32_t tag) { return (tag & kTagArrayBit) != 0; }
inline uint32_t ElementTag(uint32_t tag) { return tag & ~kTagArrayBit; }
inline bool IsNumericTag(uint32_t tag) { return (tag & 0xFF) == 0x01 && !IsArrayTag(tag) && tag != kTagNone; }

// Storage size of one value of a basic kind (0 for unknown tags).
size_t StorageSize(uint32_t element_tag);

// ---- Argument triple -----------------------------------------------------
// Three 32-bit words travel per argument. On 64-bit builds a pointer fills
// both value words, which the 32-bit layout keeps for 8-byte kinds anyway.
struct ArgTriple {
  uint32_t low;
  uint32_t high;
  uint32_t tag;
};
static_assert(sizeof(ArgTriple) == 12, "argument triples are three words");

ArgTriple MakeIntArg(int32_t v);
ArgTriple MakeBoolArg(bool v);
ArgTriple MakeLongArg(int64_t v);
ArgTriple MakeDoubleArg(double v);
ArgTriple MakeFloatArg(float v);
ArgTriple MakeByteArg(uint8_t v);
ArgTriple MakeShortArg(int16_t v);
ArgTriple MakeDateTimeArg(double v);
ArgTriple MakePointerArg(const void* p, uint32_t tag);
inline ArgTriple OmittedArg() { return ArgTriple{0, 0, 0}; }
inline bool IsOmitted(const ArgTriple& a) { return a.tag == kTagNone; }

int32_t ArgInt(const ArgTriple& a);    // low word
int64_t ArgLong(const ArgTriple& a);   // both words
double ArgDouble(const ArgTriple& a);  // both words as IEEE double
float ArgFloat(const ArgTriple& a);    // low word as IEEE single
void* ArgPointer(const ArgTriple& a);  // pointer in the value words

// ---- Text ----------------------------------------------------------------
// A Text is a zero-terminated GBK string in its own heap block; null is empty.
using TextPtr = char*;

// Constant empty Text and Byte set passed instead of null to library commands.
extern const char kEmptyText[1];
struct ByteSetBlock;
extern const ByteSetBlock* const kEmptyByteSet;

size_t TextLength(const char* a);
char* MakeText(const void* bytes, ptrdiff_t count);  // count < 1 -> null
char* CopyText(const char* a);                       // empty -> null
int CompareTexts(const char* a, const char* b);      // -1, 0, 1
int CompareBytes(const void* a, const void* b, size_t n);
// Concatenation: always a block, a one-byte block when all pieces are empty.
char* ConcatTexts(const char* const* pieces, size_t count);
char* ConcatTexts2(const char* a, const char* b);

// ---- Byte set --------------------------------------------------------------
struct ByteSetBlock {
  int32_t dimension_count;  // always 1
  int32_t length;
  unsigned char data[1];  // `length` bytes
};
constexpr size_t kByteSetHeaderSize = 2 * sizeof(int32_t);

ByteSetBlock* MakeByteSet(const void* bytes, size_t length);  // 0 -> null
size_t ByteSetLength(const ByteSetBlock* b);
const unsigned char* ByteSetData(const ByteSetBlock* b);  // null for empty
ByteSetBlock* ConcatByteSets(const ByteSetBlock* const* pieces, size_t count);

// A constant Byte set with its bytes in the constant region.
template <size_t N>
struct ConstByteSet {
  int32_t dimension_count;
  int32_t length;
  unsigned char data[N];
  const ByteSetBlock* get() const { return reinterpret_cast<const ByteSetBlock*>(this); }
};

// ---- Array -----------------------------------------------------------------
// {int32 n, n x int32 sizes, packed elements}; elements addressed from 1.
using ArrayPtr = void*;

size_t ArrayElementCount(const void* array, void** first_element = nullptr);
int32_t ArrayDimensionCount(const void* array);
const int32_t* ArrayDimensionSizes(const void* array);
// A one-dimensional array of `count` zeroed elements.
void* MakeArray(size_t element_size, size_t count);
// Replaces a constant-region array in the variable by a heap copy.
void MakeArrayWritable(size_t element_size, void** variable);
// Appends one element (copied from `element`, element_size bytes); the array
// becomes one-dimensional. A Text element is stored as a fresh copy when
// `element_is_text`.
void AppendArrayElement(size_t element_size, void** variable, const void* element, bool element_is_text = false);
// Checked element access (an index out of range, below 1 or with the wrong
// number of dimensions is a runtime error); indices are 1-based.
void* ArrayElementAt(void* array, size_t element_size, int32_t index, int32_t location = 0, int32_t position = 0);
void* ArrayElementAtIndices(void* array, size_t element_size, const int32_t* indices, int32_t index_count,
                            int32_t location = 0, int32_t position = 0);
// Frees an array whose elements are owned pointers (Text, Byte set, ...).
void FreeArrayOfPointers(void* array);

// ---- Date-time -------------------------------------------------------------
constexpr double kDateTimeMin = -657434.0;
constexpr double kDateTimeMax = 2958465.0;
double ClampDateTime(double days);

// ---- Conversions -------------------------------------------------------------
// Variable-kind result to integer: kErrorNotNumeric for non-numeric tags.
int32_t ConvertResultToInt(const ArgTriple& result, int32_t location = 0, int32_t position = 0);
int64_t FloatToInteger(double v);  // truncation toward zero
inline int32_t ToLogical(int64_t v) { return v != 0 ? 1 : 0; }

// ---- RAII owners -------------------------------------------------------------
// One owner per heap block; freeing goes through RtFree so constants are safe.
class Text {
 public:
  Text() = default;
  explicit Text(char* adopt) : p_(adopt) {}
  Text(const char* s, size_t n) : p_(MakeText(s, static_cast<ptrdiff_t>(n))) {}
  static Text Copy(const char* s) { return Text(CopyText(s)); }
  Text(const Text& o) : p_(CopyText(o.p_)) {}
  Text(Text&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Text& operator=(const Text& o) {
    if (this != &o) Reset(CopyText(o.p_));
    return *this;
  }
  Text& operator=(Text&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.p_, nullptr));
    return *this;
  }
  ~Text() { RtFree(p_); }

  // New value first, old one freed after.
  void Reset(char* adopt = nullptr) {
    char* old = p_;
    p_ = adopt;
    RtFree(old);
  }
  char* get() const { return p_; }
  const char* c_str() const { return p_ ? p_ : kEmptyText; }
  char* release() { return std::exchange(p_, nullptr); }
  size_t length() const { return TextLength(p_); }
  bool empty() const { return p_ == nullptr || *p_ == 0; }
  bool operator==(const Text& o) const { return CompareTexts(p_, o.p_) == 0; }
  bool operator!=(const Text& o) const { return !(*this == o); }

 private:
  char* p_ = nullptr;
};

class ByteSet {
 public:
  ByteSet() = default;
  explicit ByteSet(ByteSetBlock* adopt) : p_(adopt) {}
  ByteSet(const void* bytes, size_t n) : p_(MakeByteSet(bytes, n)) {}
  ByteSet(const ByteSet& o) : p_(MakeByteSet(ByteSetData(o.p_), ByteSetLength(o.p_))) {}
  ByteSet(ByteSet&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ByteSet& operator=(const ByteSet& o) {
    if (this != &o) Reset(MakeByteSet(ByteSetData(o.p_), ByteSetLength(o.p_)));
    return *this;
  }
  ByteSet& operator=(ByteSet&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.p_, nullptr));
    return *this;
  }
  ~ByteSet() { RtFree(p_); }

  void Reset(ByteSetBlock* adopt = nullptr) {
    ByteSetBlock* old = p_;
    p_ = adopt;
    RtFree(old);
  }
  ByteSetBlock* get() const { return p_; }
  ByteSetBlock* release() { return std::exchange(p_, nullptr); }
  size_t size() const { return ByteSetLength(p_); }
  bool empty() const { return size() == 0; }
  const unsigned char* data() const { return ByteSetData(p_); }
  unsigned char* data() { return p_ ? p_->data : nullptr; }

 private:
  ByteSetBlock* p_ = nullptr;
};

// Owner of an Array whose elements are Texts (what Split returns).
class TextArray {
 public:
  TextArray() = default;
  explicit TextArray(void* adopt) : p_(adopt) {}
  TextArray(const TextArray&) = delete;
  TextArray& operator=(const TextArray&) = delete;
  TextArray(TextArray&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  TextArray& operator=(TextArray&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.p_, nullptr));
    return *this;
  }
  ~TextArray() { FreeArrayOfPointers(p_); }
  void Reset(void* adopt = nullptr) {
    void* old = p_;
    p_ = adopt;
    FreeArrayOfPointers(old);
  }
  void* get() const { return p_; }
  void** address() { return &p_; }
  void* release() { return std::exchange(p_, nullptr); }
  size_t size() const { return ArrayElementCount(p_); }
  // 0-based convenience access; null elements read as "".
  const char* at(size_t i) const {
    void* first = nullptr;
    ArrayElementCount(p_, &first);
    char* e = static_cast<char**>(first)[i];
    return e ? e : kEmptyText;
  }
  void Append(const char* text) { AppendArrayElement(sizeof(char*), &p_, &text, true); }

 private:
  void* p_ = nullptr;
};

}  // namespace quillet
