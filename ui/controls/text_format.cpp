#include "ui/controls/text_format.h"

#include "runtime/program_dll_commands.h"

namespace quillet {

TextFormat::~TextFormat() {
  if (owns_) DeleteFormat();
}

TextFormat& TextFormat::operator=(const TextFormat& other) {
  if (this == &other || format_ == other.format_) return *this;
  if (owns_) DeleteFormat();
  format_ = other.format_;
  owns_ = false;
  return *this;
}

void TextFormat::DeleteFormat() {
  if (format_ != nullptr) {
    dll::GdipDeleteStringFormat(format_);
    format_ = nullptr;
  }
}

bool TextFormat::CreateFormat(int flags, std::optional<int> language, std::optional<bool> owns) {
  owns_ = owns.value_or(true);
  if (owns_) DeleteFormat();
  format_ = nullptr;
  const GpStatus status =
      dll::GdipCreateStringFormat(flags, static_cast<LANGID>(language.value_or(0)), &format_);
  return status == 0;
}

int TextFormat::FormatAlignment(std::optional<int> alignment) {
  if (alignment) {
    dll::GdipSetStringFormatAlign(format_, *alignment);
    return *alignment;
  }
  int value = 0;
  dll::GdipGetStringFormatAlign(format_, &value);
  return value;
}

int TextFormat::FormatTrimming(std::optional<int> trimming) {
  if (trimming) {
    dll::GdipSetStringFormatTrimming(format_, *trimming);
    return *trimming;
  }
  int value = 0;
  dll::GdipGetStringFormatTrimming(format_, &value);
  return value;
}

int TextFormat::HotkeyPrefix(std::optional<int> prefix) {
  if (prefix) {
    dll::GdipSetStringFormatHotkeyPrefix(format_, *prefix);
    return *prefix;
  }
  int value = 0;
  dll::GdipGetStringFormatHotkeyPrefix(format_, &value);
  return value;
}

int TextFormat::FormatFlagsOf(std::optional<int> flags) {
  if (flags) {
    dll::GdipSetStringFormatFlags(format_, *flags);
    return *flags;
  }
  int value = 0;
  dll::GdipGetStringFormatFlags(format_, &value);
  return value;
}

}  // namespace quillet
