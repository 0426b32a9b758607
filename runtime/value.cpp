#include "runtime/value.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/runtime_error.h"

namespace quillet {

// The constant empty Text and Byte set live in the constant region so freeing
// them is always harmless.
QUILLET_CONST const char kEmptyText[1] = {0};
namespace {
QUILLET_CONST const int32_t kEmptyByteSetWords[2] = {1, 0};
}  // namespace
const ByteSetBlock* const kEmptyByteSet = reinterpret_cast<const ByteSetBlock*>(kEmptyByteSetWords);

size_t StorageSize(uint32_t element_tag) {
  switch (element_tag) {
    case kTagByte: return 1;
    case kTagShort: return 2;
    case kTagInt:
    case kTagFloat:
    case kTagBool: return 4;
    case kTagLong:
    case kTagDouble:
    case kTagDateTime: return 8;
    case kTagText:
    case kTagByteSet:
    case kTagSubPointer: return sizeof(void*);
    default: return 0;
  }
}

// ---- Argument triples ---------------------------------------------------------

ArgTriple MakeIntArg(int32_t v) { return ArgTriple{static_cast<uint32_t>(v), 0, kTagInt}; }
ArgTriple MakeBoolArg(bool v) { return ArgTriple{v ? 1u : 0u, 0, kTagBool}; }
ArgTriple MakeByteArg(uint8_t v) { return ArgTriple{v, 0, kTagByte}; }
ArgTriple MakeShortArg(int16_t v) { return ArgTriple{static_cast<uint32_t>(static_cast<uint16_t>(v)), 0, kTagShort}; }

ArgTriple MakeLongArg(int64_t v) {
  uint64_t bits = static_cast<uint64_t>(v);
  return ArgTriple{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), kTagLong};
}

ArgTriple MakeDoubleArg(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return ArgTriple{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), kTagDouble};
}

ArgTriple MakeDateTimeArg(double v) {
  ArgTriple a = MakeDoubleArg(v);
  a.tag = kTagDateTime;
  return a;
}

ArgTriple MakeFloatArg(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return ArgTriple{bits, 0, kTagFloat};
}

ArgTriple MakePointerArg(const void* p, uint32_t tag) {
  uint64_t bits = reinterpret_cast<uintptr_t>(p);
  return ArgTriple{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), tag};
}

int32_t ArgInt(const ArgTriple& a) { return static_cast<int32_t>(a.low); }
int64_t ArgLong(const ArgTriple& a) {
  return static_cast<int64_t>((static_cast<uint64_t>(a.high) << 32) | a.low);
}
double ArgDouble(const ArgTriple& a) {
  uint64_t bits = (static_cast<uint64_t>(a.high) << 32) | a.low;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
float ArgFloat(const ArgTriple& a) {
  float v;
  std::memcpy(&v, &a.low, sizeof v);
  return v;
}
void* ArgPointer(const ArgTriple& a) {
  uint64_t bits = (static_cast<uint64_t>(a.high) << 32) | a.low;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(bits));
}

// ---- Text ----------------------------------------------------------------------

size_t TextLength(const char* a) {
  if (a == nullptr) return 0;
  // Sixteen bytes a step, from the aligned block that holds the first byte:
  // an aligned block holding any byte of the text never reaches into another
  // page, so reading all of it is safe. (The platform's strlen goes a byte a
  // step, which made it half the cost of concatenating.)
  constexpr uintptr_t kBlock = sizeof(__m128i);
  const uintptr_t misalignment = reinterpret_cast<uintptr_t>(a) & (kBlock - 1);
  const char* block = a - misalignment;
  const __m128i zero = _mm_setzero_si128();
  unsigned zeros = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
  zeros &= ~0u << misalignment;  // bytes before the text
  while (zeros == 0) {
    block += kBlock;
    zeros = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
  }
  return static_cast<size_t>(block + __builtin_ctz(zeros) - a);
}

char* MakeText(const void* bytes, ptrdiff_t count) {
  if (count < 1) return nullptr;
  char* t = static_cast<char*>(RtAlloc(static_cast<size_t>(count) + 1));
  std::memcpy(t, bytes, static_cast<size_t>(count));
  t[count] = 0;
  return t;
}

char* CopyText(const char* a) {
  size_t n = TextLength(a);
  return n == 0 ? nullptr : MakeText(a, static_cast<ptrdiff_t>(n));
}

int CompareTexts(const char* a, const char* b) {
  int c = std::strcmp(a ? a : kEmptyText, b ? b : kEmptyText);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareBytes(const void* a, const void* b, size_t n) {
  if (n == 0) return 0;
  int c = std::memcmp(a, b, n);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

char* ConcatTexts(const char* const* pieces, size_t count) {
  // Each length is measured once.
  constexpr size_t kOnStack = 16;
  size_t on_stack[kOnStack];
  std::vector<size_t> on_heap;
  size_t* lengths = on_stack;
  if (count > kOnStack) {
    on_heap.resize(count);
    lengths = on_heap.data();
  }
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) total += lengths[i] = TextLength(pieces[i]);
  char* out = static_cast<char*>(RtAlloc(total + 1));
  char* cursor = out;
  for (size_t i = 0; i < count; ++i) {
    if (lengths[i]) std::memcpy(cursor, pieces[i], lengths[i]);
    cursor += lengths[i];
  }
  *cursor = 0;
  return out;
}

char* ConcatTexts2(const char* a, const char* b) {
  const char* pieces[2] = {a, b};
  return ConcatTexts(pieces, 2);
}

// ---- Byte set -------------------------------------------------------------------

ByteSetBlock* MakeByteSet(const void* bytes, size_t length) {
  if (length == 0) return nullptr;
  auto* b = static_cast<ByteSetBlock*>(RtAlloc(kByteSetHeaderSize + length));
  b->dimension_count = 1;
  b->length = static_cast<int32_t>(length);
  if (bytes) {
    std::memcpy(b->data, bytes, length);
  } else {
    std::memset(b->data, 0, length);
  }
  return b;
}

size_t ByteSetLength(const ByteSetBlock* b) { return b ? static_cast<size_t>(b->length) : 0; }

const unsigned char* ByteSetData(const ByteSetBlock* b) { return b && b->length > 0 ? b->data : nullptr; }

ByteSetBlock* ConcatByteSets(const ByteSetBlock* const* pieces, size_t count) {
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) total += ByteSetLength(pieces[i]);
  if (total == 0) return nullptr;
  ByteSetBlock* out = MakeByteSet(nullptr, total);
  unsigned char* cursor = out->data;
  for (size_t i = 0; i < count; ++i) {
    size_t n = ByteSetLength(pieces[i]);
    if (n) std::memcpy(cursor, pieces[i]->data, n);
    cursor += n;
  }
  return out;
}

// ---- Array ------------------------------------------------------------------------

namespace {

size_t HeaderSize(int32_t dimension_count) {
  return sizeof(int32_t) * (1 + static_cast<size_t>(dimension_count > 0 ? dimension_count : 0));
}

}  // namespace

int32_t ArrayDimensionCount(const void* array) { return array ? *static_cast<const int32_t*>(array) : 0; }

const int32_t* ArrayDimensionSizes(const void* array) {
  return array ? static_cast<const int32_t*>(array) + 1 : nullptr;
}

size_t ArrayElementCount(const void* array, void** first_element) {
  if (first_element) *first_element = nullptr;
  if (array == nullptr) return 0;
  int32_t n = ArrayDimensionCount(array);
  const int32_t* sizes = ArrayDimensionSizes(array);
  size_t count = n > 0 ? 1 : 0;
  for (int32_t k = 0; k < n; ++k) count *= static_cast<size_t>(sizes[k] > 0 ? sizes[k] : 0);
  if (first_element) {
    *first_element = const_cast<unsigned char*>(static_cast<const unsigned char*>(array) + HeaderSize(n));
  }
  return count;
}

void* MakeArray(size_t element_size, size_t count) {
  size_t bytes = HeaderSize(1) + element_size * count;
  auto* block = static_cast<int32_t*>(RtAllocZeroed(bytes));
  block[0] = 1;
  block[1] = static_cast<int32_t>(count);
  return block;
}

void MakeArrayWritable(size_t element_size, void** variable) {
  void* array = *variable;
  if (array == nullptr || !IsInConstantRegion(array)) return;
  size_t bytes = HeaderSize(ArrayDimensionCount(array)) + ArrayElementCount(array) * element_size;
  void* copy = RtAlloc(bytes);
  std::memcpy(copy, array, bytes);
  *variable = copy;
}

void AppendArrayElement(size_t element_size, void** variable, const void* element, bool element_is_text) {
  MakeArrayWritable(element_size, variable);
  void* array = *variable;
  size_t count = ArrayElementCount(array);
  size_t new_bytes = HeaderSize(1) + (count + 1) * element_size;
  if (array == nullptr) {
    array = RtAlloc(new_bytes);
  } else {
    int32_t n = ArrayDimensionCount(array);
    if (n != 1) {
      // Pull the elements down behind the one-dimension header.
      unsigned char* base = static_cast<unsigned char*>(array);
      std::memmove(base + HeaderSize(1), base + HeaderSize(n), count * element_size);
    }
    array = RtRealloc(array, new_bytes);
  }
  auto* header = static_cast<int32_t*>(array);
  header[0] = 1;
  header[1] = static_cast<int32_t>(count + 1);
  unsigned char* slot = static_cast<unsigned char*>(array) + HeaderSize(1) + count * element_size;
  if (element_is_text) {
    char* copy = CopyText(*static_cast<const char* const*>(element));
    std::memcpy(slot, &copy, sizeof copy);
  } else {
    std::memcpy(slot, element, element_size);
  }
  *variable = array;
}

void* ArrayElementAt(void* array, size_t element_size, int32_t index, int32_t location, int32_t position) {
  void* first = nullptr;
  size_t count = ArrayElementCount(array, &first);
  int64_t offset = static_cast<int64_t>(index) - 1;
  if (offset < 0) RaiseRuntimeError(kErrorIndexBelowOne, location, position);
  if (static_cast<uint64_t>(offset) >= count) RaiseRuntimeError(kErrorIndexOutOfRange, location, position);
  return static_cast<unsigned char*>(first) + static_cast<size_t>(offset) * element_size;
}

void* ArrayElementAtIndices(void* array, size_t element_size, const int32_t* indices, int32_t index_count,
                            int32_t location, int32_t position) {
  if (index_count == 1) return ArrayElementAt(array, element_size, indices[0], location, position);
  int32_t n = ArrayDimensionCount(array);
  if (index_count != n) RaiseRuntimeError(kErrorDimensionMismatch, location, position);
  const int32_t* sizes = ArrayDimensionSizes(array);
  void* first = nullptr;
  ArrayElementCount(array, &first);
  size_t place = 0;
  for (int32_t k = 0; k < n; ++k) {
    int64_t offset = static_cast<int64_t>(indices[k]) - 1;
    if (offset < 0) RaiseRuntimeError(kErrorIndexBelowOne, location, position);
    if (offset >= sizes[k]) RaiseRuntimeError(kErrorIndexOutOfRange, location, position);
    place = place * static_cast<size_t>(sizes[k]) + static_cast<size_t>(offset);
  }
  return static_cast<unsigned char*>(first) + place * element_size;
}

void FreeArrayOfPointers(void* array) {
  if (array == nullptr || IsInConstantRegion(array)) return;
  void* first = nullptr;
  size_t count = ArrayElementCount(array, &first);
  auto** elements = static_cast<void**>(first);
  for (size_t i = 0; i < count; ++i) RtFree(elements[i]);
  RtFree(array);
}

// ---- Date-time and conversions --------------------------------------------------------

double ClampDateTime(double days) {
  if (std::isnan(days)) return 0;  // no date at all: the zero date, not garbage from NaN arithmetic
  if (days < kDateTimeMin) return kDateTimeMin;
  if (days > kDateTimeMax) return kDateTimeMax;
  return days;
}

int64_t FloatToInteger(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9223372036854775807.0) return INT64_MAX;
  if (v <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(v);  // truncates toward zero
}

int32_t ConvertResultToInt(const ArgTriple& result, int32_t location, int32_t position) {
  switch (result.tag) {
    case kTagByte: return static_cast<int32_t>(result.low & 0xFF);
    case kTagShort: return static_cast<int16_t>(result.low & 0xFFFF);
    case kTagInt:
    case kTagLong: return static_cast<int32_t>(result.low);
    case kTagFloat: return static_cast<int32_t>(FloatToInteger(ArgFloat(result)));
    case kTagDouble: return static_cast<int32_t>(FloatToInteger(ArgDouble(result)));
    default: RaiseRuntimeError(kErrorNotNumeric, location, position);
  }
}

}  // namespace quillet
