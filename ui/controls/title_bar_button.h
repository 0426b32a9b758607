// A window title-bar button drawn from the toolkit's system-button strip:
// close, maximise/restore and minimise act on the host window themselves.
#pragma once
#include <optional>

#include "ui/controls/control.h"

namespace quillet {

constexpr int kTitleButtonPeriodMs = 60;
constexpr int kTitleButtonEnterFrames = 3;
constexpr int kTitleButtonLeaveFrames = 4;

// Strip geometry: every cell starts at y 2 and is 19 high.
constexpr float kStripCellTop = 2.0f;
constexpr float kStripCellHeight = 19.0f;
constexpr float kStripCloseCellWidth = 39.0f;
constexpr float kStripCellWidth = 28.0f;

// Look codes of a title-bar button.
constexpr int kTitleLookNormal = 0;
constexpr int kTitleLookHot = 1;
constexpr int kTitleLookPressed = 2;

// Source x of the strip cell for a button type, look and zoomed state; -1
// for a type without glyph.
int StripCellX(int type, int look, bool zoomed);
float StripCellWidth(int type);

class TitleBarButton : public Control {
 public:
  TitleBarButton() = default;
  ~TitleBarButton() override;

  intptr_t ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool HasClassProcedure() const override { return true; }
  // A push button named after what it does to the window.
  AccessibleDescription DescribeForAccessibility() const override;

  // Draws the strip cell of a look, fading over `frames`; the same look again
  // only when forced.
  virtual void Paint(ControlRef sender, int look, bool force, int frames);
  // `type` is the button's frame flag (kFrameClose, kFrameMaximize, kFrameMinimize, ...).
  virtual ControlRef Create(HWND host_window, int x, int y, int width, int height, int type,
                            std::optional<bool> visible = std::nullopt);
  virtual int Type() const { return type_; }

  int Look() const { return look_; }
  int Repaints() const { return repaints_; }
  // Source x of the cell painted last.
  int LastCellX() const { return last_cell_x_; }

 private:
  int type_ = 0;
  int look_ = kTitleLookNormal;
  int repaints_ = 0;
  int last_cell_x_ = -1;
};

}  // namespace quillet
