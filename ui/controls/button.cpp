#include "ui/controls/button.h"

#include <cstring>
#include <string>

#include "runtime/program_dll_commands.h"
#include "ui/controls/text_drawing.h"
#include "ui/controls/text_format.h"
#include "ui/core/drawing.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet {
namespace {

constexpr float kFaceClipDiameter = 4.0f;
constexpr float kFaceDiameter = 3.0f;
constexpr int kCaptionPadding = 2;       // caption rectangles are this much larger than measured
constexpr int kTopEdgeCaptionPadding = 5;
constexpr float kPressedShift = 1.0f;
// The focus frame sits inside the face: x + 2, y + 2, width - 4, height - 5.
constexpr float kFocusInset = 2.0f;
constexpr float kFocusShrinkWidth = 4.0f;
constexpr float kFocusShrinkHeight = 5.0f;

bool SameBytes(const ByteSet& a, const ByteSetBlock* b) {
  const size_t length = a.size();
  if (length != ByteSetLength(b)) return false;
  return length == 0 || std::memcmp(a.data(), ByteSetData(b), length) == 0;
}

GpRectF RectOf(int x, int y, int width, int height) {
  return GpRectF{static_cast<float>(x), static_cast<float>(y), static_cast<float>(width),
                 static_cast<float>(height)};
}

}  // namespace

ButtonPlacement PlaceButtonContent(int code, int W, int H, int iw, int ih, int tw, int th, int ox, int oy, int g) {
  const int cw = tw + kCaptionPadding;
  const int ch = th + kCaptionPadding;
  ButtonPlacement p = {};
  switch (code) {
    case kCaptionLeftOfImage: {
      const int cx = ox + (W - (iw + g + tw)) / 2;
      p.caption = RectOf(cx, oy + (H - th) / 2, cw, ch);
      p.image = RectOf(cx + cw + g, oy + (H - ih) / 2, iw, ih);
      break;
    }
    case kImageAboveCaption: {
      const int iy = oy + (H - ih - g - th) / 2;
      p.image = RectOf(ox + (W - iw) / 2, iy, iw, ih);
      p.caption = RectOf(ox + (W - tw) / 2, iy + ih + g, cw, ch);
      break;
    }
    case kImageUnderCaption:
      p.image = RectOf(ox + (W - iw) / 2, oy + (H - ih) / 2, iw, ih);
      p.caption = RectOf(ox + (W - tw) / 2, oy + (H - th) / 2, cw, ch);
      break;
    case kImageAtLeftEdge:
      p.image = RectOf(ox, oy + (H - ih) / 2, iw, ih);
      p.caption = RectOf(ox + iw + g, oy + (H - th) / 2, W - iw - g - ox, ch);
      break;
    case kCaptionAtLeftEdge: {
      const int caption_width = W - iw - g - ox;
      p.caption = RectOf(ox, oy + (H - th) / 2, caption_width, ch);
      p.image = RectOf(ox + caption_width + g, oy + (H - ih) / 2, iw, ih);
      break;
    }
    case kImageAtTopEdge:
      p.image = RectOf(ox + (W - iw) / 2, oy, iw, ih);
      p.caption = RectOf(ox + (W - tw) / 2, oy + ih + g, tw + kTopEdgeCaptionPadding, ch);
      break;
    case kImageLeftOfCaption:
    default: {
      const int ix = ox + (W - (iw + g + tw)) / 2;
      p.image = RectOf(ix, oy + (H - ih) / 2, iw, ih);
      p.caption = RectOf(ix + iw + g, oy + (H - th) / 2, cw, ch);
      break;
    }
  }
  return p;
}

int AcceleratorOf(const char* caption) {
  if (caption == nullptr) return 0;
  const char* amp = std::strchr(caption, '&');
  if (amp == nullptr) return 0;
  return static_cast<unsigned char>(amp[1]);
}

Button::~Button() { Destroy(); }

ControlRef Button::Create(ControlParent parent, int left, int top, int width, int height, const char* caption,
                          std::optional<ARGB> text_colour, std::optional<const char*> font_name,
                          std::optional<float> font_size, std::optional<int> font_style,
                          std::optional<int> text_effect, std::optional<ARGB> glow_colour,
                          std::optional<bool> rounded, std::optional<bool> visible) {
  if (IsCreated()) return GetRef();
  // A size given is physical pixels already; the default one is scaled here.
  const DpiScale scale = ScaleOfParent(parent);
  if (!font_name && !font_size && !font_style) {
    font_.reset(DefaultFontAt(scale));
  } else {
    quillet::Text face = font_name ? quillet::Text::Copy(*font_name) : FontFamilyName(Toolkit().default_font);
    font_.reset(CreateFontByName(face.c_str(), font_size.value_or(scale.Float(static_cast<float>(kDefaultFontPixels))),
                                 font_style.value_or(0)));
  }
  TextFormat format;
  format.CreateFormat(kFormatNoWrap, std::nullopt, false);
  format.FormatAlignment(kAlignNear);
  format.FormatTrimming(kTrimmingNone);
  format.HotkeyPrefix(kHotkeyPrefixShow);
  format_.reset(format.Handle());

  caption_ = Utf16FromGbk(caption);
  text_colour_ = text_colour.value_or(kButtonDefaultTextColour);
  text_effect_ = text_effect.value_or(0);
  glow_colour_ = glow_colour.value_or(0);
  if (rounded) {
    rounded_ = *rounded;
  } else {
    const bool parent_is_window = parent.value != 0 && dll::IsWindow(reinterpret_cast<HWND>(parent.value));
    HostWindow* host = parent_is_window ? HostFromWindow(reinterpret_cast<HWND>(parent.value)) : nullptr;
    if (host == nullptr && !parent_is_window && parent.value != 0) host = AsControl(parent.value)->Host();
    rounded_ = host != nullptr && host->BackgroundModeValue() != 0;
  }
  state_ = kLookNormal;

  const GpRectF bounds = {static_cast<float>(left), static_cast<float>(top), static_cast<float>(width),
                          static_cast<float>(height)};
  const ControlRef ref = Control::Create(parent, bounds, kKindButton, visible.value_or(true), true, std::nullopt,
                                         kButtonTransitionPeriodMs, 0, 0);
  if (ref == kNoControl) {
    DeleteFont();
    format_.reset();
    caption_.Reset();
  }
  return ref;
}

intptr_t Button::OnEvent(ControlRef, UINT, WPARAM, LPARAM) { return kNotHandled; }

intptr_t Button::ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) {
  const intptr_t hooked = OnEvent(sender, message, wparam, lparam);
  if (hooked != kNotHandled) return hooked;
  switch (message) {
    case WM_CREATE:
      RegisterAccelerator();
      break;
    case WM_DESTROY:
      format_.reset();
      DeleteFont();
      break;
    case WM_PAINT:
      Paint(sender, state_, true);
      break;
    case WM_LBUTTONDOWN:
      if (IsFocusable()) ChangeLook(sender, kLookPressed);
      break;
    case WM_LBUTTONUP:
      if (IsFocusable()) ChangeLook(sender, kLookHot);
      break;
    case DUIM_SETFOCUS:
      ChangeLook(sender, kLookFocused);
      break;
    case DUIM_KILLFOCUS:
    case DUIM_MOUSELEAVE:
      SetTransition(kButtonHoverFrames);
      Paint(sender, kLookNormal);
      break;
    case DUIM_MOUSEENTER:
      SetTransition(kButtonHoverFrames);
      Paint(sender, kLookHot);
      break;
    case DUIM_BACKDROPCHANGED:
      if (KindCode() == kKindButton) Paint(sender, state_);
      break;
    case DUIM_TRANSITIONEND:
      SetTransition(0);
      break;
    default:
      break;
  }
  return kNotHandled;
}

void Button::ChangeLook(ControlRef sender, int look) {
  // During an input message the host paints the new look after the message's
  // handlers (a click starting its work); a press and a release handled
  // together paint once, or not at all when they end on the look shown.
  HostWindow* host = Host();
  if (host != nullptr && host->DeferControlPaint(GetRef())) {
    const bool focus_cue = host->KeyboardFocusControl() == GetRef();
    // A paint since the record was made put another look on screen.
    if (!look_before_deferral_ || look_before_deferral_->repaints != repaints_) {
      look_before_deferral_ = LookBeforeDeferral{state_, repaints_, focus_cue};
    }
    state_ = look;
    if (look == look_before_deferral_->look && focus_cue == look_before_deferral_->focus_cue) {
      host->CancelDeferredPaint(GetRef());
      look_before_deferral_.reset();
    }
    return;
  }
  Paint(sender, look);
}

void Button::RegisterAccelerator() {
  if (GetHostWindow() == nullptr) return;
  quillet::Text gbk = GbkFromUtf16(caption_.get());
  dll::SendMessageW(GetHostWindow(), DUIM_SETACCESSKEY, GetRef(), AcceleratorOf(gbk.c_str()));
}

// ---- Caption and properties ------------------------------------------------------------

void Button::SetCaption(ByteSet caption) {
  if (SameBytes(caption_, caption.get())) return;
  caption_ = std::move(caption);
  RegisterAccelerator();
  PaintNow();
  if (Host() != nullptr) Host()->NotifyAccessibleEvent(EVENT_OBJECT_NAMECHANGE, GetRef());
}

quillet::Text Button::Text(std::optional<const char*> caption) {
  if (caption) SetCaption(Utf16FromGbk(*caption));
  return GbkFromUtf16(caption_.get());
}

ByteSet Button::TextW(std::optional<const ByteSetBlock*> caption) {
  if (caption) SetCaption(ByteSet(ByteSetData(*caption), ByteSetLength(*caption)));
  return caption_;
}

ARGB Button::TextColour(std::optional<ARGB> colour) {
  if (colour) {
    text_colour_ = *colour;
    PaintNow();
  }
  return text_colour_;
}

int Button::TextEffect(std::optional<int> effect) {
  if (effect) {
    text_effect_ = *effect;
    PaintNow();
  }
  return text_effect_;
}

void Button::ReplaceFont(GpFont* font) {
  if (font == nullptr || font == font_.get()) return;
  font_.reset(font);
}

quillet::Text Button::FontName(std::optional<const char*> name) {
  if (name && font_ != nullptr) {
    quillet::Text current = FontFamilyName(font_.get());
    if (CompareTexts(current.get(), *name) != 0) ReplaceFont(CreateFontByName(*name, FontSize(), FontStyle()));
    PaintNow();
  }
  return font_ != nullptr ? FontFamilyName(font_.get()) : quillet::Text();
}

int Button::FontStyle(std::optional<int> style) {
  INT current = 0;
  if (font_ != nullptr) dll::GdipGetFontStyle(font_.get(), &current);
  if (style && font_ != nullptr) {
    if (*style != current) {
      quillet::Text face = FontFamilyName(font_.get());
      ReplaceFont(CreateFontByName(face.c_str(), FontSize(), *style));
    }
    PaintNow();
    return *style;
  }
  return current;
}

float Button::FontSize(std::optional<float> size) {
  float current = 0;
  if (font_ != nullptr) dll::GdipGetFontSize(font_.get(), &current);
  if (size && font_ != nullptr) {
    if (*size != current) {
      quillet::Text face = FontFamilyName(font_.get());
      INT style = 0;
      dll::GdipGetFontStyle(font_.get(), &style);
      ReplaceFont(CreateFontByName(face.c_str(), *size, style));
    }
    PaintNow();
    return *size;
  }
  return current;
}

GpFont* Button::Font(std::optional<GpFont*> font) {
  if (font) {
    ReplaceFont(*font);
    PaintNow();
  }
  return font_.get();
}

GpStringFormat* Button::StringFormat(std::optional<GpStringFormat*> format) {
  if (format) {
    if (*format != format_.get()) format_.reset(*format);
    PaintNow();
  }
  return format_.get();
}

ARGB Button::GlowColour(std::optional<ARGB> colour) {
  if (colour) {
    glow_colour_ = *colour;
    PaintNow();
  }
  return glow_colour_;
}

bool Button::Rounded(std::optional<bool> rounded) {
  if (rounded) {
    rounded_ = *rounded;
    PaintNow();
  }
  return rounded_;
}

bool Button::AutoContrast(std::optional<bool> on) {
  if (on) {
    auto_contrast_ = *on;
    PaintNow();
  }
  return auto_contrast_;
}

ByteSet Button::Image(std::optional<const ByteSetBlock*> image) {
  if (image) {
    image_ = ByteSet(ByteSetData(*image), ByteSetLength(*image));
    PaintNow();
  }
  return image_;
}

int Button::ImagePosition(std::optional<int> code) {
  if (code) {
    image_position_ = *code;
    PaintNow();
  }
  return image_position_;
}

int Button::OffsetX(std::optional<int> value) {
  if (value) {
    offset_x_ = *value;
    PaintNow();
  }
  return offset_x_;
}

int Button::OffsetY(std::optional<int> value) {
  if (value) {
    offset_y_ = *value;
    PaintNow();
  }
  return offset_y_;
}

int Button::Gap(std::optional<int> value) {
  if (value) {
    gap_ = *value;
    PaintNow();
  }
  return gap_;
}

void Button::DeleteFont() {
  font_.reset();
}

// ---- Painting ------------------------------------------------------------------------------

void Button::DrawFace(GpGraphics* graphics, const GpRectF& area, const ButtonLook& look) {
  HostWindow* host = Host();
  const uint32_t base = host != nullptr ? static_cast<uint32_t>(host->BaseColour()) : 0;
  const DpiScale& scale = Scale();
  const float one = scale.Float(1.0f);  // outlines and insets are one logical pixel
  const GpRectF face = {area.X, area.Y, area.Width, area.Height - one};
  const float diameter = scale.Float(kFaceDiameter);
  OwnedPath clip;
  if (rounded_) {
    clip.reset(RoundRectPath(face, scale.Float(kFaceClipDiameter)));
    if (clip != nullptr) dll::GdipSetClipPath(graphics, clip.get(), kClipReplace);
  }
  if (OwnedPath fill{RoundRectPath(face, diameter)}) {
    FillSolidPath(graphics, fill.get(), ArgbFromColor(look.colours[kLookFace], look.alphas[kLookFace], 1));
  }
  FillGradientRect(graphics, face, ArgbFromColor(base, look.alphas[kLookGradientTop], 1),
                   ArgbFromColor(base, look.alphas[kLookGradientBottom], 1), kGradientVertical);
  const ARGB outer = ArgbFromColor(look.colours[kLookOuterBorder], look.alphas[kLookOuterBorder], 1);
  const ARGB inner = ArgbFromColor(look.colours[kLookInnerBorder], look.alphas[kLookInnerBorder], 1);
  const GpRectF shrunk = {face.X + one, face.Y + one, face.Width - 2 * one, face.Height - 2 * one};
  if (rounded_) {
    clip.reset();
    dll::GdipResetClip(graphics);
    DrawRoundRect(graphics, face, diameter, outer, kDashSolid, one);
    DrawRoundRect(graphics, shrunk, diameter, inner, kDashSolid, one);
  } else {
    DrawOutline(graphics, face, outer, kDashSolid, one);
    DrawOutline(graphics, shrunk, inner, kDashSolid, one);
  }
  const ARGB line = ArgbFromColor(look.colours[kLookBottomLine], look.alphas[kLookBottomLine], 1);
  DrawLine(graphics, line, one, shrunk.X, shrunk.Height + 2 * one, shrunk.Width, shrunk.Height + 2 * one);
}

GpRectF Button::MeasureCaption(GpGraphics* graphics, const std::wstring& caption, const GpRectF& layout) {
  GpRectF bounds = {0, 0, 0, 0};
  if (caption.empty() || font_ == nullptr || format_ == nullptr) return bounds;
  const int range[2] = {0, static_cast<int>(caption.size())};
  dll::GdipSetStringFormatMeasurableCharacterRanges(format_.get(), 1, range);
  OwnedRegion region;
  if (dll::GdipCreateRegion(Receive(region)) != 0) return bounds;
  GpRegion* regions[1] = {region.get()};
  if (dll::GdipMeasureCharacterRanges(graphics, caption.c_str(), static_cast<INT>(caption.size()), font_.get(),
                                      &layout, format_.get(), 1, regions) == 0) {
    dll::GdipGetRegionBounds(region.get(), graphics, &bounds);
  }
  // Some GDI+ builds (Wine's) measure a range short when the caption holds a
  // hotkey "&"; the caption must never be cut, so the plain measure bounds it.
  GpRectF box = {0, 0, 0, 0};
  dll::GdipMeasureString(graphics, caption.c_str(), static_cast<INT>(caption.size()), font_.get(), &layout,
                         format_.get(), &box, nullptr, nullptr);
  if (box.Width > bounds.Width) bounds.Width = box.Width;
  if (box.Height > bounds.Height) bounds.Height = box.Height;
  return bounds;
}

void Button::Paint(ControlRef, std::optional<int> look, std::optional<bool> redraw) {
  state_ = look.value_or(state_);
  PaintContext context;
  GpRectF area;
  if (!BeginControlPaint(&context, &area, false, redraw.value_or(true))) return;
  ++repaints_;
  GpGraphics* graphics = Graphics();
  if (graphics == nullptr) {
    EndControlPaint(&context);
    return;
  }
  if (OnPaintBackground(context, state_) == 0) DrawFace(graphics, area, ButtonLookFor(state_));

  const DpiScale& scale = Scale();
  const float one = scale.Float(1.0f);
  const GpRectF content = {area.X + one, area.Y + one, area.Width - 2 * one, area.Height - 2 * one};
  ClipToRect(graphics, content, kClipReplace);
  GpImage* image = image_.empty() ? nullptr : ImageFromBytes(image_.get(), false, false);
  const int iw = image != nullptr ? static_cast<int>(ImageWidth(image)) : 0;
  const int ih = image != nullptr ? static_cast<int>(ImageHeight(image)) : 0;
  const std::wstring caption = WideString(caption_.get());
  const GpRectF measured = MeasureCaption(graphics, caption, content);
  ButtonPlacement place = PlaceButtonContent(image_position_, static_cast<int>(area.Width),
                                             static_cast<int>(area.Height), iw, ih, static_cast<int>(measured.Width),
                                             static_cast<int>(measured.Height), offset_x_, offset_y_, gap_);
  if (state_ == kLookPressed) {
    const float shift = scale.Whole(kPressedShift);
    place.image.X += shift;
    place.image.Y += shift;
    place.caption.X += shift;
    place.caption.Y += shift;
  }
  last_caption_rect_ = place.caption;
  last_image_rect_ = place.image;
  const int content_drawn = OnPaintContent(context, state_, place.image, place.caption);
  if (image != nullptr) {
    DrawImageRect(graphics, image, place.image);
    DisposeImage(image);
  }
  if (!caption.empty()) {
    ARGB colour = text_colour_;
    if (auto_contrast_) colour = AutoContrastColour(GetHostWindow(), BoundsRect(), text_colour_);
    DrawControlText(graphics, place.caption, caption.c_str(), font_.get(), colour, format_.get(), text_effect_,
                    glow_colour_, scale);
  }
  ResetClip(graphics);
  HostWindow* host = Host();
  if (content_drawn == 0 && host != nullptr && host->KeyboardFocusControl() == GetRef()) {
    const GpRectF focus = {area.X + scale.Float(kFocusInset), area.Y + scale.Float(kFocusInset),
                           area.Width - scale.Float(kFocusShrinkWidth), area.Height - scale.Float(kFocusShrinkHeight)};
    DrawBorder(graphics, focus, kBorderDashed, std::nullopt, one);
  }
  EndControlPaint(&context);
}


AccessibleDescription Button::DescribeForAccessibility() const {
  AccessibleDescription description;
  const std::wstring caption = WideString(caption_.get());
  description.role = ROLE_SYSTEM_PUSHBUTTON;
  description.name = AccessibleNameFromCaption(caption);
  description.default_action = kAccessibleActionPress;
  // The host clicks the button on Alt and its key (WM_SYSCHAR).
  if (const wchar_t key = AccessKeyOfCaption(caption)) description.keyboard_shortcut = std::wstring(L"Alt+") + key;
  if (state_ == kLookPressed) description.states |= STATE_SYSTEM_PRESSED;
  return description;
}

}  // namespace quillet
