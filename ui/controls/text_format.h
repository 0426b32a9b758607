// A small owner of one GDI+ string format. Controls use it while they are
// created to make and configure their format, then keep the bare handle.
#pragma once
#include <optional>

#include "ui/core/gdiplus_types.h"

namespace quillet {

// GDI+ string format values the controls use.
enum StringFormatFlagBits : int {
  kFormatNoFontFallback = 0x400,
  kFormatMeasureTrailingSpaces = 0x800,
  kFormatNoWrap = 0x1000,
  kFormatLineLimit = 0x2000,
  kFormatNoClip = 0x4000,
};
constexpr int kMultiLineFormatFlags = kFormatNoFontFallback | kFormatMeasureTrailingSpaces | kFormatLineLimit | kFormatNoClip;
enum StringAlignmentValue : int { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };
enum StringTrimmingValue : int { kTrimmingNone = 0 };
enum HotkeyPrefixValue : int { kHotkeyPrefixNone = 0, kHotkeyPrefixShow = 1, kHotkeyPrefixHide = 2 };

class TextFormat {
 public:
  TextFormat() = default;
  // A copy shares the handle but never owns it: only the original deletes it.
  TextFormat(const TextFormat& other) : format_(other.format_), owns_(false) {}
  // Deletes a format this one owned, then shares the other's as a copy does.
  TextFormat& operator=(const TextFormat& other);
  virtual ~TextFormat();

  virtual void DeleteFormat();
  virtual bool CreateFormat(int flags, std::optional<int> language = std::nullopt,
                            std::optional<bool> owns = std::nullopt);
  virtual int FormatAlignment(std::optional<int> alignment = std::nullopt);
  virtual int FormatTrimming(std::optional<int> trimming = std::nullopt);
  virtual int HotkeyPrefix(std::optional<int> prefix = std::nullopt);
  virtual int FormatFlagsOf(std::optional<int> flags = std::nullopt);
  virtual GpStringFormat* Handle() const { return format_; }

  bool owns() const { return owns_; }

 private:
  GpStringFormat* format_ = nullptr;
  bool owns_ = false;
};

}  // namespace quillet
