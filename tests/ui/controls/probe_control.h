// A control that records every event its class procedure sees.
#pragma once
#include <vector>

#include "tests/ui/controls/host_fixture.h"

namespace quillet::testing_support {

class ProbeControl : public Control {
 public:
  explicit ProbeControl(std::vector<RecordedEvent>* log = nullptr) : log_(log) {}
  ~ProbeControl() override { Destroy(); }

  ControlRef Make(ControlParent parent, float x, float y, float w, float h, bool focusable = true,
                  int frames = 0, int period = 0) {
    return Create(parent, GpRectF{x, y, w, h}, kKindButton, true, focusable, std::nullopt, period, frames, 0);
  }

  bool HasClassProcedure() const override { return true; }
  intptr_t ClassProcedure(ControlRef sender, UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_PAINT) {
      ++paints;
      if (paint_for_real) {
        PaintContext context;
        GpRectF area;
        BeginControlPaint(&context, &area, false, true);
        EndControlPaint(&context);
      }
    } else if (message == DUIM_CANPRESS) {
      return can_press;
    } else if (message == DUIM_QUERYFOCUS) {
      return query_focus;
    }
    if (log_ != nullptr && message != WM_PAINT && message != WM_CREATE && message != DUIM_QUERYFOCUS &&
        message != DUIM_DISABLEDLOOK && message != DUIM_CUSTOMDRAW) {
      log_->push_back(RecordedEvent{sender, message, wparam, lparam});
    }
    if (message == WM_DESTROY) ++destroys;
    return answer;
  }

  intptr_t can_press = kNotHandled;
  intptr_t query_focus = kNotHandled;
  intptr_t answer = kNotHandled;
  bool paint_for_real = false;
  int paints = 0;
  int destroys = 0;

  using Control::BeginControlPaint;
  using Control::EndControlPaint;

 private:
  std::vector<RecordedEvent>* log_;
};

// Only the events with message `message`.
inline std::vector<RecordedEvent> Only(const std::vector<RecordedEvent>& log, UINT message) {
  std::vector<RecordedEvent> out;
  for (const auto& e : log) {
    if (e.message == message) out.push_back(e);
  }
  return out;
}

}  // namespace quillet::testing_support
