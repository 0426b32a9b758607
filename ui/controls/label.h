// The toolkit's text control: one GDI+ string on an optional gradient, with
// an optional frame, glow, automatic contrast and animated text changes.
#pragma once
#include <optional>
#include <string>

#include "ui/controls/control.h"
#include "ui/controls/control_messages.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/toolkit.h"

namespace quillet {

constexpr ARGB kLabelDefaultTextColour = 0xD2000000;  // black at alpha 210
constexpr int kGradientNone = -1;
constexpr int kVerticalTop = 0;
constexpr int kVerticalCentre = 1;
constexpr int kVerticalBottom = 2;
constexpr int kDefaultChangeFrames = 5;
constexpr int kDefaultChangePeriodMs = 60;
constexpr float kDefaultFontSize = 12.0f;

// Arguments of Label::Create after the place and the text; an empty optional
// is "not given" and takes the default named beside it.
struct LabelOptions {
  std::optional<ARGB> text_colour;          // kLabelDefaultTextColour
  std::optional<int> gradient_mode;         // kGradientHorizontal; kGradientNone: no gradient
  std::optional<ARGB> gradient_colour1;     // transparent
  std::optional<ARGB> gradient_colour2;     // transparent
  std::optional<bool> multi_line;           // one line
  std::optional<bool> auto_contrast;        // off
  // Without any of these three the label shares the toolkit's default font.
  std::optional<const char*> font_name;     // the default font's family
  std::optional<float> font_size;           // kDefaultFontSize
  std::optional<int> font_style;            // regular
  std::optional<int> alignment;             // kAlignNear
  std::optional<int> trimming;              // kTrimmingNone
  std::optional<int> text_effect;           // kEffectNone
  std::optional<ARGB> glow_colour;          // automatic
  std::optional<int64_t> frame;             // no frame
  std::optional<bool> visible;              // visible
};

class Label : public Control {
 public:
  Label() = default;
  ~Label() override;

  // Handles creation, paint, focus, size, backdrop and text-change events.
  intptr_t ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool HasClassProcedure() const override { return true; }
  // Measures the text into MeasuredWidth and MeasuredHeight.
  virtual void Measure();
  // A tip set here is the application's: it comes back when a cut text fits again.
  quillet::Text Tooltip(std::optional<const char*> text = std::nullopt, bool apply = false) override;
  const wchar_t* TooltipTextW() const override;
  // Static text named with its whole text, however much of it is drawn.
  AccessibleDescription DescribeForAccessibility() const override;
  // Makes the control at (left, top) with the GBK `text`.
  virtual ControlRef Create(ControlParent parent, int left, int top, int width, int height, const char* text,
                            const LabelOptions& options = {});
  // Safe from any thread: a change asked for on another thread is carried
  // out on the host window's thread while the caller waits.
  virtual quillet::Text Text(std::optional<const char*> text = std::nullopt, std::optional<int> effect = std::nullopt,
                    std::optional<int> frames = std::nullopt, std::optional<int> period = std::nullopt);
  virtual ByteSet TextW(std::optional<const ByteSetBlock*> text = std::nullopt,
                        std::optional<int> effect = std::nullopt, std::optional<int> frames = std::nullopt,
                        std::optional<int> period = std::nullopt);
  virtual ARGB TextColour(std::optional<ARGB> colour = std::nullopt);
  virtual ARGB GlowColour(std::optional<ARGB> colour = std::nullopt);
  virtual ARGB GradientColour1(std::optional<ARGB> colour = std::nullopt);
  virtual ARGB GradientColour2(std::optional<ARGB> colour = std::nullopt);
  virtual int GradientMode(std::optional<int> mode = std::nullopt);
  virtual quillet::Text FontName(std::optional<const char*> name = std::nullopt);
  virtual int FontStyle(std::optional<int> style = std::nullopt);
  virtual float FontSize(std::optional<float> size = std::nullopt);
  virtual int Trimming(std::optional<int> trimming = std::nullopt);
  virtual int FormatFlags(std::optional<int> flags = std::nullopt);
  virtual GpFont* Font(std::optional<GpFont*> font = std::nullopt);
  virtual GpStringFormat* StringFormat(std::optional<GpStringFormat*> format = std::nullopt);
  virtual int Alignment(std::optional<int> alignment = std::nullopt);
  virtual bool MultiLine(std::optional<bool> multi_line = std::nullopt);
  virtual int VerticalAlign(std::optional<int> align = std::nullopt);
  virtual int TextEffect(std::optional<int> effect = std::nullopt);
  virtual int64_t Frame(std::optional<int64_t> frame = std::nullopt);
  virtual bool AutoContrast(std::optional<bool> on = std::nullopt);
  virtual void DeleteFont();
  virtual void Paint(ControlRef sender);
  virtual void OnTextRect(GpRectF* rect, int stage) { (void)rect, (void)stage; }
  virtual intptr_t OnEvent(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam);
  virtual void OnCreate(ControlRef sender) { (void)sender; }

  // Read-outs for layout and tests.
  int MeasuredWidth() const {
    MeasureIfPending();
    return measured_width_;
  }
  int MeasuredHeight() const {
    MeasureIfPending();
    return measured_height_;
  }
  // The text rectangle of the last paint (back-buffer coordinates).
  const GpRectF& LastTextRect() const { return last_text_rect_; }
  // The text the last paint drew: a multi-line text cut to whole lines ends in "…".
  const std::wstring& ShownText() const { return shown_text_; }
  ARGB LastTextColour() const { return last_text_colour_; }
  int Repaints() const { return repaints_; }

 private:
  // One text change, carried to the UI thread when asked for elsewhere.
  struct TextChange {
    bool has_text;
    const ByteSetBlock* utf16;
    std::optional<int> effect;
    std::optional<int> frames;
    std::optional<int> period;
    ByteSet* result;  // the stored text afterwards
  };
  void ApplyTextChange(const TextChange& change);
  void RunTextChange(const TextChange& change);
  void ReplaceFont(GpFont* font);
  void Repaint();
  // What of `text` fits in whole lines into `visible`; cut, it ends in an ellipsis.
  std::wstring FitWholeLines(GpGraphics* graphics, const std::wstring& text, const GpRectF& visible) const;
  // A cut text's tip holds the whole text; the tip goes again when the text fits.
  void UpdateTrimmedTooltip(bool trimmed, const std::wstring& whole);

  ControlFont font_;
  ByteSet text_;
  ARGB text_colour_ = kLabelDefaultTextColour;
  int gradient_mode_ = 0;
  ARGB gradient_colour1_ = 0;
  ARGB gradient_colour2_ = 0;
  bool multi_line_ = false;
  int vertical_align_ = kVerticalCentre;
  int text_effect_ = 0;
  int64_t frame_ = 0;
  bool auto_contrast_ = false;
  ARGB glow_colour_ = 0;
  OwnedStringFormat format_;
  // A new text is measured once something reads the size: a multi-line
  // label's paint never does.
  void MeasureIfPending() const;
  mutable bool measure_pending_ = false;
  int measured_width_ = 0;
  int measured_height_ = 0;
  bool change_pending_ = false;
  int change_period_ = 0;
  int change_frames_ = 0;

  GpRectF last_text_rect_ = {0, 0, 0, 0};
  std::wstring shown_text_;
  bool tooltip_is_text_ = false;  // the tip was set to the whole of a cut text
  quillet::Text application_tip_;  // the tip before that
  std::wstring whole_text_tip_;     // that tip as UTF-16
  ARGB last_text_colour_ = 0;
  int repaints_ = 0;
};

}  // namespace quillet
