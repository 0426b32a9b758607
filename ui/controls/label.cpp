#include "ui/controls/label.h"

#include <cmath>
#include <cstring>
#include <cwctype>

#include <oleacc.h>

#include "runtime/program_dll_commands.h"
#include "ui/controls/text_drawing.h"
#include "ui/controls/text_format.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

constexpr float kTextInset = 2.0f;
constexpr float kMultiLineExtra = 3.0f;  // added to the font height below a multi-line text

constexpr ARGB kAlphaMask = 0xFF000000u;
constexpr wchar_t kEllipsis = L'\u2026';

bool SameBytes(const ByteSet& a, const ByteSetBlock* b) {
  const size_t length = a.size();
  if (length != ByteSetLength(b)) return false;
  return length == 0 || std::memcmp(a.data(), ByteSetData(b), length) == 0;
}

}  // namespace

Label::~Label() { Destroy(); }

ControlRef Label::Create(ControlParent parent, int left, int top, int width, int height, const char* text,
                         const LabelOptions& o) {
  if (IsCreated()) return GetRef();

  // What the font and the string format are made from.
  const auto& font_name = o.font_name;
  const auto& font_size = o.font_size;
  const auto& font_style = o.font_style;
  const auto& alignment = o.alignment;
  const auto& trimming = o.trimming;
  const auto& multi_line = o.multi_line;
  // A size given is physical pixels already; the default one is scaled here.
  const DpiScale scale = ScaleOfParent(parent);
  if (!font_name && !font_size && !font_style) {
    font_.reset(DefaultFontAt(scale));
  } else {
    quillet::Text face = font_name ? quillet::Text::Copy(*font_name) : FontFamilyName(Toolkit().default_font);
    font_.reset(CreateFontByName(face.c_str(), font_size.value_or(scale.Float(kDefaultFontSize)),
                                 font_style.value_or(0)));
  }

  TextFormat format;
  format.CreateFormat(kFormatNoWrap, std::nullopt, false);
  format.FormatAlignment(alignment.value_or(kAlignNear));
  format.FormatTrimming(trimming.value_or(kTrimmingNone));
  format.HotkeyPrefix(kHotkeyPrefixNone);
  if (multi_line.value_or(false)) format.FormatFlagsOf(kMultiLineFormatFlags);
  format_.reset(format.Handle());

  text_colour_ = o.text_colour.value_or(kLabelDefaultTextColour);
  gradient_mode_ = o.gradient_mode.value_or(0);
  gradient_colour1_ = o.gradient_colour1.value_or(0);
  gradient_colour2_ = o.gradient_colour2.value_or(0);
  multi_line_ = multi_line.value_or(false);
  auto_contrast_ = o.auto_contrast.value_or(false);
  text_effect_ = o.text_effect.value_or(kEffectNone);
  glow_colour_ = o.glow_colour.value_or(0);
  frame_ = o.frame.value_or(0);
  vertical_align_ = kVerticalCentre;
  text_ = Utf16FromGbk(text);

  const GpRectF bounds = {static_cast<float>(left), static_cast<float>(top), static_cast<float>(width),
                          static_cast<float>(height)};
  const ControlRef ref =
      Control::Create(parent, bounds, kKindLabel, o.visible.value_or(true), false, std::nullopt, 0, 0, 0);
  if (ref == kNoControl) {
    // Nothing else will release what was made for it.
    DeleteFont();
    format_.reset();
    text_.Reset();
  }
  return ref;
}

intptr_t Label::OnEvent(ControlRef, UINT, WPARAM, LPARAM) { return kNotHandled; }

intptr_t Label::ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) {
  const intptr_t hooked = OnEvent(sender, message, wparam, lparam);
  if (hooked != kNotHandled) return hooked;
  switch (message) {
    case WM_CREATE:
      // Measured when first read: a multi-line label's paint never reads it.
      measure_pending_ = true;
      OnCreate(static_cast<ControlRef>(wparam));
      break;
    case WM_DESTROY:
      text_.Reset();
      shown_text_.clear();
      tooltip_is_text_ = false;
      application_tip_.Reset();
      glow_colour_ = 0;
      DeleteFont();
      format_.reset();
      break;
    case WM_PAINT:
      Paint(static_cast<ControlRef>(wparam));
      break;
    case DUIM_SETFOCUS:
    case DUIM_KILLFOCUS:
      if (IsFocusable()) Paint(sender);
      break;
    case DUIM_SIZED:
      measure_pending_ = true;
      break;
    case DUIM_BACKDROPCHANGED:
      if (auto_contrast_) Paint(sender);
      break;
    case DUIM_TRANSITIONEND:
      change_pending_ = false;
      change_period_ = 0;
      change_frames_ = 0;
      SetTransition(0, 0);
      break;
    case DUIM_APPLYTEXT:
      RunTextChange(*reinterpret_cast<const TextChange*>(lparam));
      break;
    default:
      break;
  }
  return kNotHandled;
}

void Label::MeasureIfPending() const {
  if (measure_pending_) const_cast<Label*>(this)->Measure();
}

void Label::Measure() {
  measure_pending_ = false;
  GpGraphics* graphics = Graphics();
  if (graphics == nullptr || font_ == nullptr) {
    measured_width_ = measured_height_ = 0;
    return;
  }
  const std::wstring text = DisplayString(text_.get());
  GpRectF layout = {0, 0, 0, 0};
  if (!multi_line_) {
    layout = BoundsRect();
    float font_height = 0;
    dll::GdipGetFontHeight(font_.get(), graphics, &font_height);
    layout.Height = font_height;
  }
  GpRectF box = {0, 0, 0, 0};
  dll::GdipMeasureString(graphics, text.c_str(), static_cast<INT>(text.size()), font_.get(), &layout,
                         format_.get(), &box, nullptr, nullptr);
  measured_width_ = static_cast<int>(std::round(box.Width));
  measured_height_ = static_cast<int>(std::round(box.Height));
}

// ---- Text -------------------------------------------------------------------------

quillet::Text Label::Text(std::optional<const char*> text, std::optional<int> effect, std::optional<int> frames,
                          std::optional<int> period) {
  std::optional<const ByteSetBlock*> utf16;
  ByteSet converted;
  if (text) {
    converted = Utf16FromGbk(*text);
    utf16 = converted.get();
  }
  ByteSet result = TextW(utf16, effect, frames, period);
  return GbkFromUtf16(result.get());
}

ByteSet Label::TextW(std::optional<const ByteSetBlock*> text, std::optional<int> effect, std::optional<int> frames,
                     std::optional<int> period) {
  ByteSet result;
  // The record lives on this thread's stack; the host's thread uses it while
  // this one waits in SendMessageW.
  const TextChange change{text.has_value(), text ? *text : nullptr, effect, frames, period, &result};
  if (OnWindowThread(GetHostWindow())) {
    RunTextChange(change);
  } else {
    SendEvent(DUIM_APPLYTEXT, 0, reinterpret_cast<LPARAM>(&change));
  }
  return result;
}

void Label::RunTextChange(const TextChange& change) {
  if (change.has_text) ApplyTextChange(change);
  *change.result = text_;
}

void Label::ApplyTextChange(const TextChange& change) {
  if (change.effect) {
    change_pending_ = true;
    TransitionEffect(*change.effect);
    change_frames_ = change.frames.value_or(kDefaultChangeFrames);
    change_period_ = change.period.value_or(kDefaultChangePeriodMs);
  } else {
    change_pending_ = false;
    if (SameBytes(text_, change.utf16)) return;
  }
  text_ = ByteSet(ByteSetData(change.utf16), ByteSetLength(change.utf16));
  measure_pending_ = true;
  PaintNow();
  if (Host() != nullptr) Host()->NotifyAccessibleEvent(EVENT_OBJECT_NAMECHANGE, GetRef());
}

AccessibleDescription Label::DescribeForAccessibility() const {
  AccessibleDescription description;
  description.role = ROLE_SYSTEM_STATICTEXT;
  description.name = WideString(text_.get());
  description.states = STATE_SYSTEM_READONLY;
  return description;
}

// ---- Painting -----------------------------------------------------------------------

void Label::Paint(ControlRef) {
  if (change_pending_) SetTransition(change_frames_, change_period_);
  PaintContext context;
  GpRectF area;
  if (!BeginControlPaint(&context, &area, false, true)) return;
  ++repaints_;
  GpGraphics* graphics = Graphics();
  if (graphics != nullptr) {
    if (frame_ != 0) DrawBorder(graphics, area, frame_, std::nullopt);
    // A gradient between two invisible colours (the default) would change no pixel.
    const bool gradient_shows = (gradient_colour1_ | gradient_colour2_) & kAlphaMask;
    if (gradient_mode_ != kGradientNone && gradient_shows) {
      FillGradientRect(graphics, area, gradient_colour1_, gradient_colour2_, gradient_mode_);
    }
    if (!text_.empty()) {
      const float inset = Scale().Float(kTextInset);
      const GpRectF text_area = {area.X + inset, area.Y + inset, area.Width - 2 * inset, area.Height - 2 * inset};
      ClipToRect(graphics, text_area, kClipReplace);
      ARGB colour = text_colour_;
      if (auto_contrast_) colour = AutoContrastColour(GetHostWindow(), BoundsRect(), text_colour_);
      GpRectF text_rect = text_area;
      if (multi_line_) {
        float font_height = 0;
        dll::GdipGetFontHeight(font_.get(), graphics, &font_height);
        text_rect.Height += font_height + Scale().Float(kMultiLineExtra);
      } else {
        const float measured = static_cast<float>(MeasuredHeight());
        float y = text_area.Y + (text_area.Height - measured) / 2;
        if (vertical_align_ == kVerticalTop) y = text_area.Y + inset;
        if (vertical_align_ == kVerticalBottom) y = text_area.Y + text_area.Height - measured - inset;
        text_rect = GpRectF{text_area.X, y, text_area.Width, measured};
      }
      OnTextRect(&text_rect, 1);
      last_text_rect_ = text_rect;
      last_text_colour_ = colour;
      const std::wstring wide = DisplayString(text_.get());
      // The text rectangle reaches below the area, so a line cut by the clip would
      // show its top half: only the lines that fit the area are drawn.
      shown_text_ = multi_line_ ? FitWholeLines(graphics, wide, text_area) : wide;
      if (multi_line_) UpdateTrimmedTooltip(shown_text_ != wide, wide);
      const TextTarget target = {BackBufferBitmap(), text_area};
      DrawControlText(graphics, text_rect, shown_text_.c_str(), font_.get(), colour, format_.get(), text_effect_,
                      glow_colour_, Scale(), &target);
      ResetClip(graphics);
      HostWindow* host = Host();
      if (host != nullptr && host->KeyboardFocusControl() == GetRef()) {
        DrawBorder(graphics, area, kBorderDashed, std::nullopt, Scale().Float(1.0f));
      }
    }
  }
  EndControlPaint(&context);
}

std::wstring Label::FitWholeLines(GpGraphics* graphics, const std::wstring& text, const GpRectF& visible) const {
  // Under the line limit GDI+ lays out only whole lines in the rectangle and
  // counts the characters that made it.
  auto fitted = [&](const std::wstring& candidate) {
    GpRectF box = {0, 0, 0, 0};
    INT characters = 0, lines = 0;
    dll::GdipMeasureString(graphics, candidate.c_str(), static_cast<INT>(candidate.size()), font_.get(), &visible,
                           format_.get(), &box, &characters, &lines);
    return static_cast<size_t>(characters);
  };
  const size_t whole = fitted(text);
  if (whole >= text.size()) return text;
  // The longest start that still fits with the ellipsis after it.
  auto cut = [&](size_t length) {
    while (length > 0 && (std::iswspace(text[length - 1]) || IS_HIGH_SURROGATE(text[length - 1]))) --length;
    return text.substr(0, length) + kEllipsis;
  };
  size_t low = 0, high = whole;
  while (low < high) {
    const size_t middle = (low + high + 1) / 2;
    const std::wstring candidate = cut(middle);
    if (fitted(candidate) >= candidate.size()) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  return cut(low);
}

void Label::UpdateTrimmedTooltip(bool trimmed, const std::wstring& whole) {
  HostWindow* host = Host();
  const bool hovered = host != nullptr && host->HoverControl() == GetRef();
  if (trimmed) {
    if (!tooltip_is_text_) application_tip_ = Control::Tooltip();
    const bool changed = !tooltip_is_text_ || whole_text_tip_ != whole;
    tooltip_is_text_ = true;
    if (!changed) return;
    // The tip shows the UTF-16 text itself (GBK would turn ♪ or emoji into '?');
    // the GBK copy is what reading the tooltip property gives.
    whole_text_tip_ = whole;
    Control::Tooltip(GbkFromUtf16(text_.get()).c_str(), false);
    if (hovered) host->UpdateTooltip(GetRef(), std::nullopt);
  } else if (tooltip_is_text_) {
    tooltip_is_text_ = false;
    whole_text_tip_.clear();
    Control::Tooltip(application_tip_.c_str(), hovered);
    application_tip_.Reset();
  }
}

const wchar_t* Label::TooltipTextW() const {
  return tooltip_is_text_ && !whole_text_tip_.empty() ? whole_text_tip_.c_str() : nullptr;
}

quillet::Text Label::Tooltip(std::optional<const char*> text, bool apply) {
  if (text) {
    tooltip_is_text_ = false;  // the application's own tip from now on
    whole_text_tip_.clear();
  }
  return Control::Tooltip(text, apply);
}

// ---- Properties -----------------------------------------------------------------------

void Label::Repaint() { PaintNow(); }

ARGB Label::TextColour(std::optional<ARGB> colour) {
  if (colour && *colour != text_colour_) {
    text_colour_ = *colour;
    Repaint();
  }
  return text_colour_;
}

ARGB Label::GlowColour(std::optional<ARGB> colour) {
  if (colour) {
    glow_colour_ = *colour;
    Repaint();
  }
  return glow_colour_;
}

ARGB Label::GradientColour1(std::optional<ARGB> colour) {
  if (colour) {
    gradient_colour1_ = *colour;
    Repaint();
  }
  return gradient_colour1_;
}

ARGB Label::GradientColour2(std::optional<ARGB> colour) {
  if (colour) {
    gradient_colour2_ = *colour;
    Repaint();
  }
  return gradient_colour2_;
}

int Label::GradientMode(std::optional<int> mode) {
  if (mode) {
    gradient_mode_ = *mode;
    Repaint();
  }
  return gradient_mode_;
}

void Label::ReplaceFont(GpFont* font) {
  if (font == nullptr || font == font_.get()) return;
  font_.reset(font);
  Measure();
  Repaint();
}

quillet::Text Label::FontName(std::optional<const char*> name) {
  if (name && font_ != nullptr) {
    quillet::Text current = FontFamilyName(font_.get());
    if (CompareTexts(current.get(), *name) != 0) {
      ReplaceFont(CreateFontByName(*name, FontSize(), FontStyle()));
    }
  }
  return font_ != nullptr ? FontFamilyName(font_.get()) : quillet::Text();
}

int Label::FontStyle(std::optional<int> style) {
  INT current = 0;
  if (font_ != nullptr) dll::GdipGetFontStyle(font_.get(), &current);
  if (style && *style != current && font_ != nullptr) {
    quillet::Text face = FontFamilyName(font_.get());
    ReplaceFont(CreateFontByName(face.c_str(), FontSize(), *style));
    return *style;
  }
  return current;
}

float Label::FontSize(std::optional<float> size) {
  float current = 0;
  if (font_ != nullptr) dll::GdipGetFontSize(font_.get(), &current);
  if (size && *size != current && font_ != nullptr) {
    quillet::Text face = FontFamilyName(font_.get());
    INT style = 0;
    dll::GdipGetFontStyle(font_.get(), &style);
    ReplaceFont(CreateFontByName(face.c_str(), *size, style));
    return *size;
  }
  return current;
}

int Label::Trimming(std::optional<int> trimming) {
  if (trimming && format_ != nullptr) {
    dll::GdipSetStringFormatTrimming(format_.get(), *trimming);
    Repaint();
  }
  int value = 0;
  if (format_ != nullptr) dll::GdipGetStringFormatTrimming(format_.get(), &value);
  return value;
}

int Label::FormatFlags(std::optional<int> flags) {
  if (flags && format_ != nullptr) {
    dll::GdipSetStringFormatFlags(format_.get(), *flags);
    Repaint();
  }
  INT value = 0;
  if (format_ != nullptr) dll::GdipGetStringFormatFlags(format_.get(), &value);
  return value;
}

GpFont* Label::Font(std::optional<GpFont*> font) {
  if (font) ReplaceFont(*font);
  return font_.get();
}

GpStringFormat* Label::StringFormat(std::optional<GpStringFormat*> format) {
  if (format && *format != format_.get()) format_.reset(*format);
  return format_.get();
}

int Label::Alignment(std::optional<int> alignment) {
  if (alignment && format_ != nullptr) {
    dll::GdipSetStringFormatAlign(format_.get(), *alignment);
    Repaint();
  }
  int value = 0;
  if (format_ != nullptr) dll::GdipGetStringFormatAlign(format_.get(), &value);
  return value;
}

bool Label::MultiLine(std::optional<bool> multi_line) {
  if (multi_line) {
    multi_line_ = *multi_line;
    if (format_ != nullptr) {
      dll::GdipSetStringFormatFlags(format_.get(), multi_line_ ? kMultiLineFormatFlags : kFormatNoWrap);
    }
    Measure();
    Repaint();
  }
  return multi_line_;
}

int Label::VerticalAlign(std::optional<int> align) {
  if (align) {
    vertical_align_ = *align;
    Repaint();
  }
  return vertical_align_;
}

int Label::TextEffect(std::optional<int> effect) {
  if (effect) {
    text_effect_ = *effect;
    Repaint();
  }
  return text_effect_;
}

int64_t Label::Frame(std::optional<int64_t> frame) {
  if (frame) {
    frame_ = *frame;
    Repaint();
  }
  return frame_;
}

bool Label::AutoContrast(std::optional<bool> on) {
  if (on) {
    auto_contrast_ = *on;
    Repaint();
  }
  return auto_contrast_;
}

void Label::DeleteFont() {
  font_.reset();
}

}  // namespace quillet
