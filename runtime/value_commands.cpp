// Numbers, bits, conversions between kinds and byte-set commands.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "runtime/library_commands.h"
#include "runtime/runtime_error.h"
#include "runtime/support_library.h"

namespace quillet {
namespace {

constexpr double kRoundNudge = 1e-12;
constexpr double kHalf = 0.5;
constexpr int kSecondsPerDay = 86400;
// A sub-program pointer's data is one machine word (4 bytes on i686).
constexpr size_t kSubPointerDataSize = sizeof(void*);

ByteSet ResultBytes(const void* bytes, size_t n) {
  if (n == 0) return ByteSet();
  auto* b = static_cast<ByteSetBlock*>(LibraryAlloc(kByteSetHeaderSize + n));
  b->dimension_count = 1;
  b->length = static_cast<int32_t>(n);
  if (bytes) {
    std::memcpy(b->data, bytes, n);
  } else {
    std::memset(b->data, 0, n);
  }
  return ByteSet(b);
}

Text ResultText(const void* bytes, size_t n) {
  if (n == 0) return Text();
  char* t = static_cast<char*>(LibraryAlloc(n + 1));
  std::memcpy(t, bytes, n);
  t[n] = 0;
  return Text(t);
}

// Data bytes of a value held in a triple (numbers in the value words).
size_t ScalarDataSize(uint32_t tag) {
  switch (tag) {
    case kTagByte: return 1;
    case kTagShort: return 2;
    case kTagInt:
    case kTagFloat:
    case kTagBool: return 4;
    case kTagSubPointer: return kSubPointerDataSize;
    case kTagLong:
    case kTagDouble:
    case kTagDateTime: return 8;
    default: return 0;
  }
}

bool IsNumericElementTag(uint32_t element_tag) {
  return element_tag == kTagByte || element_tag == kTagShort || element_tag == kTagInt || element_tag == kTagLong ||
         element_tag == kTagFloat || element_tag == kTagDouble;
}

// A one-dimensional numeric Array's data: right after a single size word.
const unsigned char* NumericArrayData(const ArgTriple& value, size_t* n) {
  *n = 0;
  const auto* block = static_cast<const int32_t*>(ArgPointer(value));
  uint32_t element_tag = ElementTag(value.tag);
  if (block == nullptr || !IsNumericElementTag(element_tag)) return nullptr;
  int32_t size = block[1];
  if (block[0] < 1 || size <= 0) return nullptr;
  *n = static_cast<size_t>(size) * StorageSize(element_tag);
  return reinterpret_cast<const unsigned char*>(block + 2);
}

// Days since 1899-12-30 to a civil date (proleptic Gregorian).
void CivilFromDays(long long days, int* year, int* month, int* day) {
  constexpr long long kDaysFromMarch1Year0 = 693899;  // 0000-03-01 .. 1899-12-30
  long long z = days + kDaysFromMarch1Year0;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(y + (*month <= 2 ? 1 : 0));
}

Text DateTimeText(double value) {
  value = ClampDateTime(value);
  // The whole part is the day (toward zero), the fraction's size the time.
  double whole = std::trunc(value);
  long long seconds = std::llround(std::fabs(value - whole) * kSecondsPerDay);
  long long day = static_cast<long long>(whole);
  // The time runs forward through the day before the epoch too (-1.25 is
  // 06:00 of 1899-12-29), so rounding up to midnight is the next day.
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++day;
  }
  int year, month, mday;
  CivilFromDays(day, &year, &month, &mday);
  int hour = static_cast<int>(seconds / 3600), minute = static_cast<int>(seconds / 60 % 60),
      second = static_cast<int>(seconds % 60);
  char buffer[96];
  int n = std::snprintf(buffer, sizeof buffer, "%d年%d月%d日", year, month, mday);
  if (second != 0) {
    n += std::snprintf(buffer + n, sizeof buffer - n, "%d时%d分%d秒", hour, minute, second);
  } else if (minute != 0) {
    n += std::snprintf(buffer + n, sizeof buffer - n, "%d时%d分", hour, minute);
  } else if (hour != 0) {
    n += std::snprintf(buffer + n, sizeof buffer - n, "%d时", hour);
  }
  return ResultText(buffer, static_cast<size_t>(n));
}

Text PrintedText(const char* format, double value) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, format, value);
  return ResultText(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

int32_t BitNot(int32_t value) { return ~value; }

int32_t BitAnd(std::initializer_list<int32_t> values) {
  int32_t r = -1;
  for (int32_t v : values) r &= v;
  return values.size() == 0 ? 0 : r;
}

int32_t BitOr(std::initializer_list<int32_t> values) {
  int32_t r = 0;
  for (int32_t v : values) r |= v;
  return r;
}

namespace {

// 10^n by repeated multiplication: exact up to 10^22 and the same in every build,
// which a library pow does not promise. Past 10^308 it is infinity, as pow's.
double PowerOfTen(int64_t n) {
  constexpr int64_t kPastLargestDouble = 309;
  double r = 1.0;
  for (int64_t i = 0; i < n && i < kPastLargestDouble; ++i) r *= 10.0;
  return r;
}

}  // namespace

double Abs(double value) { return value >= 0 ? value : -value; }

double Round(double value, std::optional<int> digits) {
  if (value == 0) return 0;
  int d = digits.value_or(0);
  double magnitude = std::fabs(value);
  // Widened first: the magnitude of INT_MIN does not fit an int.
  double scale = PowerOfTen(std::abs(static_cast<int64_t>(d)));
  double y = d > 0 ? magnitude * scale : (d < 0 ? magnitude / scale : magnitude);
  // More places than a double holds (or no number at all): nothing to round.
  if (!std::isfinite(y)) return value;
  // Rounding to more tens than any double has leaves nothing.
  if (!std::isfinite(scale)) return 0;
  double whole;
  double fraction = std::modf(y + kRoundNudge, &whole);
  double r = fraction >= kHalf ? whole + 1 : whole;
  r = d > 0 ? r / scale : (d < 0 ? r * scale : r);
  return value < 0 ? -r : r;
}

int32_t Rgb(int32_t red, int32_t green, int32_t blue) { return red + (green & 0xFF) * 256 + blue * 65536; }

HWND UnitHandle(uint32_t window_id, uint32_t unit_id) { return LoadedUnitHandle(window_id, unit_id); }

int32_t ToInteger(const ArgTriple& value) {
  switch (value.tag) {
    case kTagBool:
    case kTagInt:
    case kTagSubPointer: return static_cast<int32_t>(value.low);
    case kTagByte: return static_cast<int32_t>(value.low & 0xFF);
    case kTagShort: return static_cast<int16_t>(value.low & 0xFFFF);
    case kTagLong: return static_cast<int32_t>(value.low);
    case kTagFloat: return static_cast<int32_t>(FloatToInteger(ArgFloat(value)));
    case kTagDouble: return static_cast<int32_t>(FloatToInteger(ArgDouble(value)));
    case kTagText: return ToInteger(static_cast<const char*>(ArgPointer(value)));
    default: return 0;
  }
}

ByteSet ToByteSet(const ArgTriple& value) {
  if (IsArrayTag(value.tag)) {
    size_t n = 0;
    const unsigned char* data = NumericArrayData(value, &n);
    return ResultBytes(data, n);
  }
  switch (value.tag) {
    case kTagText: {
      const char* t = static_cast<const char*>(ArgPointer(value));
      return ResultBytes(t, TextLength(t));
    }
    case kTagByteSet: {
      const auto* b = static_cast<const ByteSetBlock*>(ArgPointer(value));
      return ResultBytes(ByteSetData(b), ByteSetLength(b));
    }
    case kTagSubPointer: {
      void* p = ArgPointer(value);
      return ResultBytes(&p, kSubPointerDataSize);
    }
    default: {
      uint32_t words[2] = {value.low, value.high};
      return ResultBytes(words, ScalarDataSize(value.tag));
    }
  }
}

Text ToText(const ArgTriple& value) {
  char buffer[32];
  if (IsArrayTag(value.tag)) {
    size_t n = 0;
    const unsigned char* data = NumericArrayData(value, &n);
    const void* zero = data ? std::memchr(data, 0, n) : nullptr;
    if (zero) n = static_cast<size_t>(static_cast<const unsigned char*>(zero) - data);
    return ResultText(data, n);
  }
  switch (value.tag) {
    case kTagByte: return ResultText(buffer, std::snprintf(buffer, sizeof buffer, "%u", value.low & 0xFF));
    case kTagShort:
      return ResultText(buffer, std::snprintf(buffer, sizeof buffer, "%d", static_cast<int16_t>(value.low & 0xFFFF)));
    case kTagInt: return ResultText(buffer, std::snprintf(buffer, sizeof buffer, "%d", static_cast<int32_t>(value.low)));
    case kTagLong:
      return ResultText(buffer, std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(ArgLong(value))));
    case kTagFloat: return PrintedText("%.6g", static_cast<double>(ArgFloat(value)));
    case kTagDouble: return PrintedText("%.13g", ArgDouble(value));
    case kTagBool: return ResultText(value.low ? "真" : "假", 2);
    case kTagDateTime: return DateTimeText(ArgDouble(value));
    case kTagText: {
      const char* t = static_cast<const char*>(ArgPointer(value));
      return ResultText(t, TextLength(t));
    }
    case kTagByteSet: {
      const auto* b = static_cast<const ByteSetBlock*>(ArgPointer(value));
      const unsigned char* data = ByteSetData(b);
      size_t n = ByteSetLength(b);
      const void* zero = data ? std::memchr(data, 0, n) : nullptr;
      if (zero) n = static_cast<size_t>(static_cast<const unsigned char*>(zero) - data);
      return ResultText(data, n);
    }
    default: return Text();
  }
}

ArgTriple ByteSetData(const ByteSetBlock* bytes, int kind, int32_t* position) {
  static const uint32_t kKindTags[] = {0,        kTagByte,   kTagShort, kTagInt,      kTagLong,       kTagFloat,
                                       kTagDouble, kTagBool, kTagDateTime, kTagSubPointer, kTagText};
  if (kind < kDataByte || kind > kDataText) ReportFatalMessage("“欲取出数据的类型”参数值无效");
  uint32_t tag = kKindTags[kind];

  const unsigned char* data = ByteSetData(bytes);
  size_t length = ByteSetLength(bytes);
  size_t offset = 0;
  bool nothing_left = false;
  if (position != nullptr) {
    if (*position < 1 || static_cast<size_t>(*position - 1) >= length) {
      nothing_left = true;
      offset = length;
    } else {
      offset = static_cast<size_t>(*position - 1);
    }
  }
  size_t available = nothing_left ? 0 : length - offset;
  const unsigned char* at = data ? data + offset : nullptr;

  ArgTriple result{0, 0, tag};
  size_t consumed;
  if (kind == kDataText) {
    const void* zero = available ? std::memchr(at, 0, available) : nullptr;
    size_t n = zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - at) : available;
    Text text = ResultText(at, n);
    result = MakePointerArg(text.release(), kTagText);
    consumed = zero ? n + 1 : n;
  } else {
    size_t size = ScalarDataSize(tag);
    unsigned char buffer[8] = {};  // missing high bytes read as 0
    if (available) std::memcpy(buffer, at, std::min(size, available));
    std::memcpy(&result.low, buffer, 4);
    std::memcpy(&result.high, buffer + 4, 4);
    if (tag == kTagBool) result.low = result.low != 0 ? 1 : 0;
    if (tag == kTagDateTime) result = MakeDateTimeArg(ClampDateTime(ArgDouble(result)));
    consumed = size;
  }
  if (position != nullptr) {
    size_t next = offset + consumed;
    *position = nothing_left || next >= length ? -1 : static_cast<int32_t>(next + 1);
  }
  return result;
}

ByteSet ByteSetLeft(const ByteSetBlock* bytes, int n) {
  size_t length = ByteSetLength(bytes);
  size_t take = n <= 0 ? 0 : std::min(static_cast<size_t>(n), length);
  return ResultBytes(ByteSetData(bytes), take);
}

ByteSet ByteSetMid(const ByteSetBlock* bytes, int start, int n) {
  size_t length = ByteSetLength(bytes);
  size_t from = static_cast<size_t>(std::max(start, 1) - 1);
  if (n <= 0 || from >= length) return ByteSet();
  return ResultBytes(ByteSetData(bytes) + from, std::min(static_cast<size_t>(n), length - from));
}

ByteSet ZeroBytes(int n) { return ResultBytes(nullptr, n <= 0 ? 0 : static_cast<size_t>(n)); }

Text TextAtAddress(intptr_t address) {
  const char* t = reinterpret_cast<const char*>(address);
  return ResultText(t, TextLength(t));
}

ByteSet BytesAtAddress(intptr_t address, int length) {
  if (address == 0 || length <= 0) return ByteSet();
  return ResultBytes(reinterpret_cast<const void*>(address), static_cast<size_t>(length));
}

}  // namespace quillet
