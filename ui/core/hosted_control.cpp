#include "ui/core/hosted_control.h"

#include "ui/core/drawing.h"

namespace quillet {

namespace {
FrameControlFactory g_factory = {};
}  // namespace

FrameControlFactory SetFrameControlFactory(const FrameControlFactory& factory) {
  FrameControlFactory previous = g_factory;
  g_factory = factory;
  return previous;
}

const FrameControlFactory& CurrentFrameControlFactory() { return g_factory; }

ControlRef HitTest(ControlRef start, float x, float y) {
  for (ControlRef ref = start; ref != kNoControl;) {
    HostedControl* control = ControlFromRef(ref);
    const GpRectF& b = control->BoundsRect();
    if (control->IsVisible() && !control->IsDisabled() && x >= b.X - kFloatTolerance && y >= b.Y - kFloatTolerance &&
        x < b.X + b.Width && y < b.Y + b.Height) {
      ControlRef child = HitTest(control->LastChildRef(), x, y);
      return child != kNoControl ? child : ref;
    }
    ref = control->PreviousSiblingRef();
  }
  return kNoControl;
}

}  // namespace quillet
