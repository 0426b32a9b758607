// Shared by the popup-menu tests: toolkit start-up, an owner host window
// with a label, a message pump, and a timed script that drives a menu from
// inside its modal loop (a thread timer keeps firing in nested loops).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "runtime/program_dll_commands.h"
#include "support/message_pump.h"
#include "support/runtime_for_tests.h"
#include "tests/ui/controls/toolkit_once.h"
#include "ui/controls/control_messages.h"
#include "ui/controls/frame_controls.h"
#include "ui/controls/label.h"
#include "ui/controls/popup_menu.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet::menu_tests {

using testing_support::StartToolkitOnce;

using testing_support::PumpFor;

inline double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Every menu window that opened, in order (filled by RecordOpen).
struct OpenedMenu {
  HWND window;
  bool is_root;
  double at_ms;
};
inline std::vector<OpenedMenu>& Opened() {
  static std::vector<OpenedMenu> opened;
  return opened;
}
inline void RecordOpen(HWND window, bool is_root) { Opened().push_back({window, is_root, NowMs()}); }

// Steps run at given times after Start, from a 5 ms thread timer. A step may
// post input; it must not block.
class Script {
 public:
  struct Step {
    int at_ms;
    std::function<void()> action;
  };
  // With a gate, the clock starts at the first tick where the gate holds.
  void Start(std::vector<Step> steps, std::function<bool()> gate = nullptr) {
    gate_ = std::move(gate);
    steps_ = std::move(steps);
    std::stable_sort(steps_.begin(), steps_.end(), [](const Step& a, const Step& b) { return a.at_ms < b.at_ms; });
    next_ = 0;
    start_ = NowMs();
    Current() = this;
    timer_ = SetTimer(nullptr, 0, 5, &Script::Tick);
  }
  void Stop() {
    if (timer_ != 0) KillTimer(nullptr, timer_);
    timer_ = 0;
    Current() = nullptr;
  }
  ~Script() { Stop(); }
  double StartMs() const { return start_; }
  bool Finished() const { return next_ >= steps_.size(); }

 private:
  static Script*& Current() {
    static Script* current = nullptr;
    return current;
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script* script = Current();
    if (script == nullptr) return;
    if (script->gate_) {
      if (!script->gate_()) return;
      script->gate_ = nullptr;
      script->start_ = NowMs();
    }
    while (script->next_ < script->steps_.size() &&
           NowMs() - script->start_ >= script->steps_[script->next_].at_ms) {
      // Advance first: a step's effects may run nested loops that tick again.
      const size_t index = script->next_++;
      script->steps_[index].action();
      script = Current();
      if (script == nullptr) return;
    }
  }
  std::vector<Step> steps_;
  std::function<bool()> gate_;
  size_t next_ = 0;
  double start_ = 0;
  UINT_PTR timer_ = 0;
};

// Mouse input to a menu (or any toolkit) window at client point (x, y); the
// cursor is moved there too, as the menu looks at it.
inline void MoveMouse(HWND window, int x, int y) {
  RECT rect;
  GetWindowRect(window, &rect);
  SetCursorPos(rect.left + x, rect.top + y);
  PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}
inline void ClickMouse(HWND window, int x, int y) {
  MoveMouse(window, x, y);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}
// Centre of a menu item control, in its window's client coordinates.
inline POINT ItemCentre(const MenuItem* item) {
  const GpRectF& b = item->BoundsRect();
  return POINT{static_cast<int>(b.X + b.Width / 2), static_cast<int>(b.Y + b.Height / 2)};
}

inline std::vector<unsigned char> Utf16(const wchar_t* text) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  return std::vector<unsigned char>(bytes, bytes + wcslen(text) * sizeof(wchar_t));
}

// What the owner's host saw of WM_COMMAND.
struct CommandSeen {
  WPARAM wparam;
  LPARAM lparam;
};
inline std::vector<CommandSeen>& Commands() {
  static std::vector<CommandSeen> commands;
  return commands;
}
inline LRESULT RecordCommands(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND) Commands().push_back({wparam, lparam});
  return kNotHandled;
}

// An owner window like the widget's: a layered toolkit window at (50, 50)
// with a label at (20, 20, 200, 40).
class MenuFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }

  void SetUp() override {
    Opened().clear();
    Commands().clear();
    owner_ = CreateWindowExW(0, kToolkitClassName, L"Quillet", WS_POPUP, kOwnerLeft, kOwnerTop, 380, 250, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
    host_.OnMessageHook(RecordCommands);
    AttachOptions options;
    options.window = owner_;
    options.frame_flags = 0;
    options.alpha = 190;
    options.animate_first_show = 0;
    options.resizable = 0;
    ASSERT_TRUE(host_.Attach(options));
    ASSERT_NE(label_.Create(owner_, kLabelLeft, kLabelTop, 200, 40, "你好"), kNoControl);
    ShowWindow(owner_, SW_SHOWNORMAL);
    SetForegroundWindow(owner_);
    PumpFor(30);
  }

  void TearDown() override {
    script_.Stop();
    label_.Destroy();
    if (IsWindow(owner_)) DestroyWindow(owner_);
    PumpFor(0);
  }

  // Puts the cursor over the owner's label.
  void CursorOnLabel() { SetCursorPos(kOwnerLeft + kLabelLeft + 10, kOwnerTop + kLabelTop + 10); }

  // Runs `steps` while `menu` is shown at (x, y), timed from when the menu
  // is on screen; a last step closes any menu still open after `limit_ms`.
  // Answers how long Popup took; limit_hit_ tells whether the limit closed it.
  // (Closing includes hiding, which takes up to 2 s under Wine without a
  // window manager, so tests look at limit_hit_ rather than at times.)
  double PopupWithScript(PopupMenu& menu, int x, int y, std::vector<Script::Step> steps, int limit_ms = 3000) {
    limit_hit_ = false;
    steps.push_back({limit_ms, [this] {
                       for (const OpenedMenu& m : Opened()) {
                         if (m.is_root && IsWindow(m.window) && IsWindowVisible(m.window)) {
                           limit_hit_ = true;
                           PostMessageW(m.window, WM_CLOSE, 0, 0);
                         }
                       }
                     }});
    const double start = NowMs();
    script_.Start(std::move(steps), [&menu] { return menu.Window() != nullptr && IsWindowVisible(menu.Window()); });
    menu.Popup(owner_, x, y);
    const double took = NowMs() - start;
    script_.Stop();
    return took;
  }

  static constexpr int kOwnerLeft = 50;
  static constexpr int kOwnerTop = 50;
  static constexpr int kLabelLeft = 20;
  static constexpr int kLabelTop = 20;

  HWND owner_ = nullptr;
  bool limit_hit_ = false;
  HostWindow host_;
  Label label_;
  Script script_;
};

}  // namespace quillet::menu_tests
