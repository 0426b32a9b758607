// 1000 create/paint/destroy cycles of every control kind leave no GDI
// objects, handles or private memory behind.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/ui/controls/probe_control.h"
#include "ui/controls/button.h"
#include "ui/controls/label.h"
#include "ui/controls/picture.h"
#include "ui/controls/text_drawing.h"
#include "ui/controls/title_bar_button.h"

namespace quillet::testing_support {
namespace {

struct Usage {
  DWORD gdi_objects;
  DWORD handles;
  SIZE_T private_bytes;
  long long heap_bytes;  // bytes in use in the process heaps
};

// Wine answers 0 for GDI objects, handles and private bytes, so the bytes in
// use in every heap of the process are counted as well (GDI+ allocates there).
long long HeapBytesInUse() {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  long long total = 0;
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

Usage Measure() {
  Usage u = {};
  u.gdi_objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  GetProcessHandleCount(GetCurrentProcess(), &u.handles);
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
  u.private_bytes = counters.PrivateUsage;
  u.heap_bytes = HeapBytesInUse();
  return u;
}

class ResourceCycleTest : public HostFixture {
 protected:
  // Not layered: presenting is a BitBlt, so the cycles measure the controls.
  int WindowAlpha() const override { return kNoAlpha; }
  void SetUp() override {
    HostFixture::SetUp();
    host_.DragAnywhere(0);
    red_ = ReadDataFile("red16.png");
    gif_ = ReadDataFile("three_frames.gif");
    icon_ = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  }

  void Cycle(int i) {
    Label label;
    LabelOptions options;
    options.gradient_mode = 1;
    options.gradient_colour1 = 0xFF336699u;
    options.gradient_colour2 = 0xFF6699CCu;
    options.auto_contrast = true;
    options.text_effect = kEffectGlow;
    label.Create(window_, 10, 40, 200, 30, "你好", options);
    label.Text(i % 2 ? "甲" : "乙", i % 3 == 0 ? std::optional<int>(3) : std::nullopt);  // sometimes animated
    Button button;
    button.Create(window_, 10, 80, 100, 30, "获取(&G)");
    button.Image(red_.get());
    Mouse(WM_MOUSEMOVE, 20, 90);  // starts a hover cross-fade, destroyed mid-way
    Picture picture, icon;
    picture.Create(window_, 120, 80, 16, 16, gif_.get(), true);
    icon.CreateFromHandle(window_, 150, 80, 16, 16, icon_);
    TitleBarButton close;
    close.Create(window_, 300, 7, 39, 19, kFrameClose);
    ProbeControl parent, child;
    const ControlRef rp = parent.Make(window_, 200, 120, 100, 50);
    child.Make(rp, 210, 130, 20, 20);
    child.SetEventHandler(DUIM_CLICK, static_cast<EventHandler>(nullptr));
    PumpFor(0);
  }

  ByteSet red_;
  ByteSet gif_;
  HICON icon_ = nullptr;
};

constexpr int kCycles = 1000;
constexpr int kWarmUpCycles = 30;

TEST_F(ResourceCycleTest, AThousandCyclesLeaveNothingBehind) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kWarmUpCycles; ++i) Cycle(i);  // caches of GDI+ and the system settle
  std::printf("warm-up: %lld ms\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                     std::chrono::steady_clock::now() - t0).count()));
  PumpFor(50);
  const Usage before = Measure();
  for (int i = 0; i < kCycles; ++i) Cycle(i);
  PumpFor(50);
  const Usage after = Measure();
  std::printf("gdi objects %lu -> %lu, handles %lu -> %lu, private bytes %llu -> %llu, heap %lld -> %lld bytes\n",
              static_cast<unsigned long>(before.gdi_objects), static_cast<unsigned long>(after.gdi_objects),
              static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
              static_cast<unsigned long long>(before.private_bytes), static_cast<unsigned long long>(after.private_bytes),
              before.heap_bytes, after.heap_bytes);
  EXPECT_LE(after.gdi_objects, before.gdi_objects + 2);
  EXPECT_LE(after.handles, before.handles + 2);
  // 1000 cycles: anything left per cycle (a font, a bitmap, a format) would show as megabytes.
  EXPECT_LT(static_cast<long long>(after.private_bytes) - static_cast<long long>(before.private_bytes),
            1024LL * 1024);
  EXPECT_LT(after.heap_bytes - before.heap_bytes, 64 * 1024);
  EXPECT_EQ(host_.FirstControl(), kNoControl);
  EXPECT_TRUE(host_.AccessKeys().empty());
}

// The measure itself must see a leak of the size a lost bitmap per cycle makes.
TEST(ResourceMeasure, SeesAThousandLostBitmaps) {
  StartToolkitOnce();
  const long long before = HeapBytesInUse();
  std::vector<GpBitmap*> lost;
  for (int i = 0; i < 1000; ++i) {
    GpBitmap* bitmap = nullptr;
    dll::GdipCreateBitmapFromScan0(40, 30, 0, kPixelFormat32bppARGB, nullptr, &bitmap);
    GpGraphics* g = nullptr;
    dll::GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(bitmap), &g);
    dll::GdipGraphicsClear(g, 0xFF00FF00u);
    dll::GdipDeleteGraphics(g);
    lost.push_back(bitmap);
  }
  const long long after = HeapBytesInUse();
  for (GpBitmap* bitmap : lost) dll::GdipDisposeImage(reinterpret_cast<GpImage*>(bitmap));
  EXPECT_GT(after - before, 2 * 1024 * 1024);
}

}  // namespace
}  // namespace quillet::testing_support
