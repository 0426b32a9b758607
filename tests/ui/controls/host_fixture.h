// A real host window for control tests: runtime and toolkit started once,
// one attached top-level window per test, messages pumped on demand.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/program_dll_commands.h"
#include "support/message_pump.h"
#include "support/runtime_for_tests.h"
#include "tests/ui/controls/toolkit_once.h"
#include "ui/controls/control.h"
#include "ui/controls/frame_controls.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"

namespace quillet::testing_support {

// A file of tests/ui/controls/data as a Byte set.
inline ByteSet ReadDataFile(const char* name) {
  std::string path = std::string(QUILLET_SOURCE_DIR) + "/tests/ui/controls/data/" + name;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return ByteSet();
  std::string bytes;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
  fclose(file);
  return ByteSet(bytes.data(), bytes.size());
}

inline LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

// ARGB channels.
inline int AlphaOf(ARGB c) { return static_cast<int>(c >> 24); }
inline int RedOf(ARGB c) { return static_cast<int>((c >> 16) & 0xFF); }
inline int GreenOf(ARGB c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int BlueOf(ARGB c) { return static_cast<int>(c & 0xFF); }

inline ARGB PixelOf(GpBitmap* bitmap, int x, int y) {
  ARGB pixel = 0;
  dll::GdipBitmapGetPixel(bitmap, x, y, &pixel);
  return pixel;
}

// One recorded event: which control, message, wParam, lParam.
struct RecordedEvent {
  ControlRef control;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool operator==(const RecordedEvent& o) const {
    return control == o.control && message == o.message && wparam == o.wparam && lparam == o.lparam;
  }
};
inline std::ostream& operator<<(std::ostream& out, const RecordedEvent& e) {
  return out << "{ctl " << std::hex << e.control << ", msg 0x" << e.message << ", w 0x" << e.wparam << ", l 0x"
             << e.lparam << std::dec << "}";
}

class HostFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartToolkitOnce(); }

  // Frame flags for the window; 0 = no frame controls.
  virtual int FrameFlags() const { return 0; }
  virtual int WindowAlpha() const { return 190; }
  virtual std::optional<int> BaseColour() const { return std::nullopt; }
  virtual DWORD WindowStyle() const { return WS_OVERLAPPEDWINDOW; }
  virtual bool ShowForReal() const { return false; }
  // Background picture file of tests/ui/controls/data, or null for none.
  virtual const char* PictureFile() const { return nullptr; }

  void SetUp() override {
    window_ = CreateWindowExW(0, kToolkitClassName, L"Quillet", WindowStyle(), 50, 50, 380, 250, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    AttachOptions options;
    options.window = window_;
    options.frame_flags = FrameFlags();
    options.alpha = WindowAlpha();
    options.base_colour = BaseColour();
    options.animate_first_show = 0;
    if (PictureFile() != nullptr) {
      picture_ = ReadDataFile(PictureFile());
      ASSERT_FALSE(picture_.empty());
      options.picture = picture_.get();
      options.picture_given = true;
    }
    options.resizable = 0;
    ASSERT_TRUE(host_.Attach(options));
    // Left unmapped: under Wine without a window manager, hiding or
    // destroying a mapped window waits two seconds for the X server.
    if (ShowForReal()) ShowWindow(window_, SW_SHOWNOACTIVATE);
    PumpFor(20);
  }

  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
    PumpFor(0);
  }

  LRESULT Mouse(UINT message, int x, int y, WPARAM keys = 0) {
    return SendMessageW(window_, message, keys, Point(x, y));
  }
  void Click(int x, int y) {
    Mouse(WM_MOUSEMOVE, x, y);
    Mouse(WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, x, y);
  }

  HWND window_ = nullptr;
  ByteSet picture_;
  HostWindow host_;
};

}  // namespace quillet::testing_support
