// The toolkit's push button: a translucent face tinted with the host's base
// colour, an optional image, a caption with an "&" accelerator, four looks and
// a cross-fade on hover.
#pragma once
#include <optional>

#include "ui/controls/button_looks.h"
#include "ui/controls/control.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/toolkit.h"

namespace quillet {

constexpr ARGB kButtonDefaultTextColour = 0xD2000000;  // black at alpha 210
constexpr int kButtonTransitionPeriodMs = 60;
constexpr int kButtonHoverFrames = 4;

// Image and caption placement codes.
enum ButtonLayout : int {
  kImageLeftOfCaption = 0,
  kCaptionLeftOfImage = 1,
  kImageAboveCaption = 2,
  kImageUnderCaption = 3,
  kImageAtLeftEdge = 4,
  kCaptionAtLeftEdge = 5,
  kImageAtTopEdge = 6,
};

// Where image and caption go inside a W x H button (all values whole pixels).
struct ButtonPlacement {
  GpRectF image;
  GpRectF caption;
};
ButtonPlacement PlaceButtonContent(int code, int width, int height, int image_width, int image_height,
                                   int caption_width, int caption_height, int offset_x, int offset_y, int gap);

// The accelerator of a GBK caption: the first byte after its first "&", 0 for none.
int AcceleratorOf(const char* caption);

class Button : public Control {
 public:
  Button() = default;
  ~Button() override;

  intptr_t ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool HasClassProcedure() const override { return true; }
  // A push button named with its caption, pressed by its default action.
  AccessibleDescription DescribeForAccessibility() const override;

  // Makes the control; "&" in the GBK caption marks its accelerator. Each
  // property accessor below answers its value and, given one, sets it first.
  virtual ControlRef Create(ControlParent parent, int left, int top, int width, int height, const char* caption,
                            std::optional<ARGB> text_colour = std::nullopt,
                            std::optional<const char*> font_name = std::nullopt,
                            std::optional<float> font_size = std::nullopt,
                            std::optional<int> font_style = std::nullopt,
                            std::optional<int> text_effect = std::nullopt,
                            std::optional<ARGB> glow_colour = std::nullopt,
                            std::optional<bool> rounded = std::nullopt, std::optional<bool> visible = std::nullopt);
  virtual quillet::Text Text(std::optional<const char*> caption = std::nullopt);
  virtual ByteSet TextW(std::optional<const ByteSetBlock*> caption = std::nullopt);
  virtual ARGB TextColour(std::optional<ARGB> colour = std::nullopt);
  virtual int TextEffect(std::optional<int> effect = std::nullopt);
  virtual quillet::Text FontName(std::optional<const char*> name = std::nullopt);
  virtual int FontStyle(std::optional<int> style = std::nullopt);
  virtual float FontSize(std::optional<float> size = std::nullopt);
  virtual GpFont* Font(std::optional<GpFont*> font = std::nullopt);
  virtual GpStringFormat* StringFormat(std::optional<GpStringFormat*> format = std::nullopt);
  virtual ARGB GlowColour(std::optional<ARGB> colour = std::nullopt);
  virtual bool Rounded(std::optional<bool> rounded = std::nullopt);
  virtual bool AutoContrast(std::optional<bool> on = std::nullopt);
  virtual ByteSet Image(std::optional<const ByteSetBlock*> image = std::nullopt);
  virtual int ImagePosition(std::optional<int> code = std::nullopt);
  virtual int OffsetX(std::optional<int> value = std::nullopt);
  virtual int OffsetY(std::optional<int> value = std::nullopt);
  virtual int Gap(std::optional<int> value = std::nullopt);
  virtual void DeleteFont();
  virtual void Paint(ControlRef sender, std::optional<int> look = std::nullopt,
                     std::optional<bool> redraw = std::nullopt);
  virtual int OnPaintBackground(PaintContext& context, int look) {
    (void)context, (void)look;
    return 0;
  }
  virtual int OnPaintContent(PaintContext& context, int look, const GpRectF& image_rect, const GpRectF& caption_rect) {
    (void)context, (void)look, (void)image_rect, (void)caption_rect;
    return 0;
  }
  virtual intptr_t OnEvent(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam);

  // Read-outs.
  int State() const { return state_; }
  const GpRectF& LastCaptionRect() const { return last_caption_rect_; }
  const GpRectF& LastImageRect() const { return last_image_rect_; }
  int Repaints() const { return repaints_; }

 private:
  void ChangeLook(ControlRef sender, int look);
  void RegisterAccelerator();
  void SetCaption(ByteSet caption);
  void ReplaceFont(GpFont* font);
  void DrawFace(GpGraphics* graphics, const GpRectF& area, const ButtonLook& look);
  GpRectF MeasureCaption(GpGraphics* graphics, const std::wstring& caption, const GpRectF& layout);

  int state_ = kLookNormal;
  ByteSet caption_;
  ControlFont font_;
  int text_effect_ = 0;
  ARGB text_colour_ = kButtonDefaultTextColour;
  bool rounded_ = true;
  OwnedStringFormat format_;
  ARGB glow_colour_ = 0;
  bool auto_contrast_ = false;
  ByteSet image_;
  int image_position_ = kImageLeftOfCaption;
  int offset_x_ = 0;
  int offset_y_ = 0;
  int gap_ = 0;

  // The look on screen when a batch first deferred a look change: a batch
  // that ends on that look again (a quick press and release over a hot
  // button) has nothing to paint.
  struct LookBeforeDeferral {
    int look;
    int repaints;
    bool focus_cue;
  };
  std::optional<LookBeforeDeferral> look_before_deferral_;

  GpRectF last_caption_rect_ = {0, 0, 0, 0};
  GpRectF last_image_rect_ = {0, 0, 0, 0};
  int repaints_ = 0;
};

}  // namespace quillet
