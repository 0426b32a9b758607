// Shared by the ui/core tests: toolkit start-up, a message pump, a probe
// control that records what the host delivers, and pixel readers.
#pragma once
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "runtime/program_dll_commands.h"
#include "support/message_pump.h"
#include "support/screen_pixel.h"
#include "support/runtime_for_tests.h"
#include "ui/core/back_buffer.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/hosted_control.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"

namespace quillet::core_tests {

inline void StartToolkitOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  testing_support::InitialiseRuntimeForTests();
  ToolkitStartup();
}

using testing_support::PumpFor;

// A GDI+ flat function the product does not use, looked up for a test.
template <typename Fn>
Fn GdipExtra(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"gdiplus.dll"), name)));
}

inline LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

// Describes 32-bit pixels, top row first.
inline BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// Every premultiplied BGRA pixel of a 32-bit DIB, top row first.
inline std::vector<uint32_t> DibPixels(HBITMAP dib) {
  DIBSECTION section = {};
  GetObjectW(dib, sizeof(section), &section);
  const int width = section.dsBm.bmWidth, height = section.dsBm.bmHeight;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  BITMAPINFO info = TopDownInfo(width, height);
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, dib, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Premultiplied BGRA pixel of a 32-bit DIB, (x, y) from the top.
inline uint32_t DibPixel(HBITMAP dib, int x, int y) {
  DIBSECTION section = {};
  GetObjectW(dib, sizeof(section), &section);
  return DibPixels(dib)[static_cast<size_t>(y) * section.dsBm.bmWidth + x];
}
inline int A(uint32_t p) { return static_cast<int>(p >> 24); }
inline int R(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
inline int G(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
inline int B(uint32_t p) { return static_cast<int>(p & 0xFF); }

using testing_support::ScreenPixel;

inline DWORD GdiObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }
inline DWORD UserObjects() { return GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS); }
inline DWORD Handles() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}
inline SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
  return counters.PrivateUsage;
}

// A 32bpp ARGB bitmap filled with one colour.
inline GpBitmap* SolidBitmap(int width, int height, ARGB colour) {
  GpBitmap* bitmap = nullptr;
  dll::GdipCreateBitmapFromScan0(width, height, 0, kPixelFormatArgb32, nullptr, &bitmap);
  GpGraphics* g = nullptr;
  dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(bitmap), &g);
  dll::GdipGraphicsClear(g, colour);
  dll::GdipDeleteGraphics(g);
  return bitmap;
}

// A solid-colour RGBA PNG (stored deflate blocks), for background pictures.
inline std::string SolidPng(int width, int height, uint32_t rgba_be) {
  auto crc32 = [](const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
      crc ^= c;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  };
  auto be32 = [](uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(v >> (24 - 8 * i));
    return out;
  };
  auto chunk = [&](const char* kind, const std::string& data) {
    std::string body = std::string(kind, 4) + data;
    return be32(static_cast<uint32_t>(data.size())) + body + be32(crc32(body));
  };
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) raw += be32(rgba_be);
  }
  std::string z = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size(); at += 65535) {
    size_t n = std::min<size_t>(65535, raw.size() - at);
    z += static_cast<char>(at + n == raw.size() ? 1 : 0);
    z += static_cast<char>(n & 0xFF);
    z += static_cast<char>(n >> 8);
    z += static_cast<char>(~n & 0xFF);
    z += static_cast<char>((~n >> 8) & 0xFF);
    z += raw.substr(at, n);
  }
  z += be32((b << 16) | a);
  std::string ihdr = be32(width) + be32(height) + std::string("\x08\x06\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", z) + chunk("IEND", "");
}

struct Delivery {
  ControlRef control;
  UINT message;
  intptr_t wparam;
  intptr_t lparam;
};

// Records every delivery into a shared log; answers are configurable.
class ProbeControl : public HostedControl {
 public:
  ProbeControl(HostWindow* host, GpRectF bounds, ARGB colour, std::vector<Delivery>* log, int kind = kKindButton)
      : host_(host), bounds_(bounds), previous_bounds_(bounds), log_(log), kind_(kind) {
    bitmap_ = SolidBitmap(static_cast<int>(bounds.Width), static_cast<int>(bounds.Height), colour);
    Link();
  }
  ~ProbeControl() override {
    if (created_) DestroyControl();
  }

  ControlRef SelfRef() const override { return created_ ? RefOf(this) : kNoControl; }
  HWND HostWindowHandle() const override { return host_->Window(); }
  ControlRef ParentRef() const override { return parent_; }
  ControlRef FirstChildRef() const override { return children_.First(); }
  ControlRef LastChildRef() const override { return children_.Last(); }
  ControlRef PreviousSiblingRef() const override { return links_.previous; }
  ControlRef NextSiblingRef() const override { return links_.next; }
  bool IsVisible() const override { return visible; }
  bool IsDisabled() const override { return disabled; }
  bool IsFocusable() const override { return focusable; }
  int KindCode() const override { return kind_; }
  int AlphaValue() const override { return alpha; }
  HCURSOR CursorHandle() const override { return cursor; }
  const char* TooltipText() const override { return tooltip; }
  const GpRectF& BoundsRect() const override { return bounds_; }
  const GpRectF& PreviousBoundsRect() const override { return previous_bounds_; }
  GpBitmap* BackBufferBitmap() const override { return bitmap_; }
  GpImage* TransitionSnapshot() const override { return snapshot; }
  int TransitionPeriodMs() const override { return transition_period; }
  int TransitionFrameCount() const override { return transition_frames; }
  int TransitionFrameIndex() const override { return transition_frame; }
  int TransitionEffectCode() const override { return transition_effect; }

  intptr_t DeliverEvent(UINT message, intptr_t wparam, intptr_t lparam) override {
    if (log_) log_->push_back(Delivery{RefOf(this), message, wparam, lparam});
    if (message == DUIM_CANPRESS) return can_press;
    if (message == DUIM_DISABLEDLOOK) return disabled_look;
    if (message == DUIM_CUSTOMDRAW) return custom_draw;
    if (message == WM_KEYDOWN) return key_answer;
    return kNotHandled;
  }
  void MoveTo(float x, float y, float width, float height) override {
    previous_bounds_ = bounds_;
    bounds_ = GpRectF{x, y, width, height};
    moves++;
    if (host_->Window()) SendMessageW(host_->Window(), DUIM_MOVED, RefOf(this), 1);
  }
  void DestroyControl() override {
    if (!created_) return;
    for (ControlRef c = children_.First(); c;) {
      ControlRef next = ControlFromRef(c)->NextSiblingRef();
      ControlFromRef(c)->DestroyControl();
      c = next;
    }
    host_->ForgetControl(RefOf(this));
    Unlink();
    created_ = false;
    destroyed++;
    if (bitmap_) dll::GdipDisposeImage(reinterpret_cast<GpImage*>(bitmap_));
    bitmap_ = nullptr;
  }

  // Makes this control a child of `parent` (appended to its list).
  void AdoptInto(ProbeControl* parent) {
    Unlink();
    parent_ = RefOf(parent);
    parent->children_.Append(RefOf(this), &LinksOf);
  }

  bool visible = true;
  bool disabled = false;
  bool focusable = true;
  int alpha = 255;
  HCURSOR cursor = nullptr;
  const char* tooltip = "";
  intptr_t can_press = kNotHandled;
  intptr_t disabled_look = kNotHandled;
  intptr_t custom_draw = 0;
  intptr_t key_answer = kNotHandled;
  GpImage* snapshot = nullptr;
  int transition_period = 0, transition_frames = 0, transition_frame = 0, transition_effect = 0;
  int moves = 0;
  int destroyed = 0;

 private:
  static SiblingLinks& LinksOf(ControlRef ref) { return static_cast<ProbeControl*>(ControlFromRef(ref))->links_; }
  void Link() { host_->Controls().Append(RefOf(this), &LinksOf); }
  void Unlink() {
    ControlList& list =
        parent_ ? static_cast<ProbeControl*>(ControlFromRef(parent_))->children_ : host_->Controls();
    list.Remove(RefOf(this), &LinksOf);
    parent_ = kNoControl;
  }

  HostWindow* host_;
  GpRectF bounds_;
  GpRectF previous_bounds_;
  std::vector<Delivery>* log_;
  int kind_;
  bool created_ = true;
  GpBitmap* bitmap_ = nullptr;
  ControlRef parent_ = kNoControl;
  ControlList children_;
  SiblingLinks links_;
};

// A frame-control factory that makes probes, so the host's icon, title and
// system buttons can be seen without the control library.
struct ProbeFactory {
  static std::vector<int>& ButtonTypes() {
    static std::vector<int> types;
    return types;
  }
  static std::vector<std::string>& Titles() {
    static std::vector<std::string> titles;
    return titles;
  }
  static std::unique_ptr<HostedControl> Icon(HWND window, const GpRectF& bounds, HICON) {
    return std::make_unique<ProbeControl>(HostFromWindow(window), bounds, 0xFF00FF00u, nullptr, kKindPicture);
  }
  static std::unique_ptr<HostedControl> Title(HWND window, const GpRectF& bounds, const char* title, ARGB) {
    Titles().push_back(title ? title : "");
    GpRectF b = bounds;
    if (b.Width < 1) b.Width = 1;
    auto probe = std::make_unique<ProbeControl>(HostFromWindow(window), b, 0x00000000u, nullptr, kKindLabel);
    probe->focusable = false;
    return probe;
  }
  static std::unique_ptr<HostedControl> Button(HWND window, int type, const GpRectF& bounds) {
    ButtonTypes().push_back(type);
    auto probe =
        std::make_unique<ProbeControl>(HostFromWindow(window), bounds, 0xFF0000FFu, nullptr, kKindTitleBarButton);
    probe->focusable = false;
    return probe;
  }
  static void SetTitle(HostedControl*, const ByteSetBlock* utf16) {
    Titles().push_back(std::string(reinterpret_cast<const char*>(ByteSetData(utf16)), ByteSetLength(utf16)));
  }
  static void Install() {
    FrameControlFactory f = {&Icon, &Title, &Button, &SetTitle};
    SetFrameControlFactory(f);
  }
};

// A plain top-level window of the toolkit class, not yet attached.
inline HWND MakeWindow(int x, int y, int width, int height, DWORD style = WS_OVERLAPPEDWINDOW,
                       const wchar_t* title = L"Quillet test") {
  return CreateWindowExW(0, kToolkitClassName, title, style, x, y, width, height, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace quillet::core_tests
