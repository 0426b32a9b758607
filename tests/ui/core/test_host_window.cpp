// The host window on real windows: attach and its flag rules, the composed
// frame read back pixel by pixel, presentation counts, detach without leaks.
#include "core_test_support.h"

namespace quillet::core_tests {
namespace {

int g_layered_pushes = 0;
int g_blits = 0;
void CountPresent(HWND, bool layered) { (layered ? g_layered_pushes : g_blits)++; }

class HostWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StartToolkitOnce();
    ProbeFactory::Install();
    SetPresentObserver(CountPresent);
  }
  void SetUp() override {
    ProbeFactory::ButtonTypes().clear();
    ProbeFactory::Titles().clear();
    g_layered_pushes = g_blits = 0;
  }
  void TearDown() override {
    controls_.clear();
    host_.reset();
    for (HWND w : windows_) DestroyWindow(w);
  }
  HWND Window(int x, int y, int w, int h, DWORD style = WS_OVERLAPPEDWINDOW) {
    HWND window = MakeWindow(x, y, w, h, style);
    windows_.push_back(window);
    return window;
  }
  AttachOptions Options(HWND window, int alpha = 190) {
    AttachOptions o;
    o.window = window;
    o.frame_flags = 0;
    o.alpha = alpha;
    o.base_colour = static_cast<int>(RGB(40, 80, 160));
    o.animate_first_show = 0;
    o.resizable = 0;
    return o;
  }
  uint32_t Frame(int x, int y) { return DibPixel(host_->FrameSurface().dib, x, y); }

  std::unique_ptr<HostWindow> host_ = std::make_unique<HostWindow>();
  std::vector<std::unique_ptr<ProbeControl>> controls_;
  std::vector<HWND> windows_;
  std::vector<Delivery> log_;
};

TEST_F(HostWindowTest, AttachRefusesBadHandlesAndTheWindowItHolds) {
  AttachOptions o = Options(nullptr);
  EXPECT_FALSE(host_->Attach(o));
  o.window = reinterpret_cast<HWND>(static_cast<intptr_t>(0x12345));
  EXPECT_FALSE(host_->Attach(o));
  EXPECT_EQ(host_->Window(), nullptr);
  HWND first = Window(0, 0, 300, 200);
  ASSERT_TRUE(host_->Attach(Options(first)));
  EXPECT_FALSE(host_->Attach(Options(first)));
  EXPECT_EQ(host_->Window(), first);
  host_->Detach(first);
  HWND second = Window(0, 0, 300, 200);
  EXPECT_TRUE(host_->Attach(Options(second)));
  EXPECT_EQ(host_->Window(), second);
  EXPECT_EQ(HostFromWindow(second), host_.get());
  EXPECT_EQ(HostFromWindow(first), nullptr);
}

TEST_F(HostWindowTest, FrameFlagsFromTheWindowStyle) {
  HWND window = Window(0, 0, 400, 300, WS_OVERLAPPEDWINDOW);
  AttachOptions o = Options(window);
  o.frame_flags = kFrameFromStyle | kFrameMinimize | kFrameClose;
  o.resizable.reset();
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_EQ(host_->FrameFlags(), kFrameIcon | kFrameTitle | kFrameClose | kFrameMaximize | kFrameMinimize | kFrameShadow);
  EXPECT_EQ(ProbeFactory::ButtonTypes(), (std::vector<int>{kFrameClose, kFrameMaximize, kFrameMinimize}));
  ASSERT_EQ(ProbeFactory::Titles().size(), 1u);
  EXPECT_EQ(ProbeFactory::Titles()[0], "Quillet test");
  ASSERT_NE(host_->IconControl(), nullptr);
  EXPECT_FLOAT_EQ(host_->IconControl()->BoundsRect().X, 11);
  EXPECT_FLOAT_EQ(host_->IconControl()->BoundsRect().Width, 16);
  // Close at the right, 6 pixels inside the edge; maximise and minimise leftwards.
  const auto& buttons = host_->SystemButtons();
  ASSERT_EQ(buttons.size(), 3u);
  const GpRectF& close = buttons[0]->BoundsRect();
  EXPECT_FLOAT_EQ(close.X + close.Width, 400 - 6);
  EXPECT_FLOAT_EQ(close.Width, 39);
  EXPECT_FLOAT_EQ(close.Y, 7);
  EXPECT_FLOAT_EQ(close.Height, 19);
  EXPECT_FLOAT_EQ(buttons[1]->BoundsRect().X + 28, close.X);
  EXPECT_FLOAT_EQ(buttons[2]->BoundsRect().X + 28, buttons[1]->BoundsRect().X);
  // The title spans from 28 (after the icon) to the leftmost button.
  const GpRectF& title = host_->TitleControl()->BoundsRect();
  EXPECT_FLOAT_EQ(title.X, 28);
  EXPECT_FLOAT_EQ(title.Y, 10);
  EXPECT_FLOAT_EQ(title.X + title.Width, buttons[2]->BoundsRect().X);
  EXPECT_FLOAT_EQ(title.Height, 20);
  // Style: popup, no system frame, layered; resizable by default from WS_THICKFRAME.
  LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_TRUE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_DLGFRAME);
  EXPECT_TRUE(host_->Resizable());
  EXPECT_TRUE(style & WS_THICKFRAME) << "given back at the end for a resizable window";
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_EQ(host_->FirstControl(), RefOf(host_->IconControl()));
}

TEST_F(HostWindowTest, WithoutAMaximiseBoxNoMaximiseButton) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX);
  AttachOptions o = Options(window);
  o.frame_flags = kFrameFromStyle | kFrameMinimize | kFrameClose;
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_EQ(ProbeFactory::ButtonTypes(), (std::vector<int>{kFrameClose, kFrameMinimize}));
  EXPECT_FALSE(GetWindowLongW(window, GWL_STYLE) & WS_MAXIMIZEBOX);
  EXPECT_FALSE(host_->Resizable());
}

TEST_F(HostWindowTest, FlagsNotGivenDeriveFromStyleAndZeroAddsNoSysMenu) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP | WS_MAXIMIZEBOX);
  AttachOptions o = Options(window);
  o.frame_flags.reset();
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_EQ(host_->FrameFlags(), kFrameIcon | kFrameTitle | kFrameClose | kFrameMaximize | kFrameShadow);
  EXPECT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU);
  HostWindow other;
  HWND bare = Window(0, 0, 300, 200, WS_POPUP);
  ASSERT_TRUE(other.Attach(Options(bare)));  // flags given as 0
  EXPECT_EQ(other.FrameFlags(), kFrameShadow);
  EXPECT_FALSE(GetWindowLongW(bare, GWL_STYLE) & WS_SYSMENU);
  EXPECT_TRUE(other.SystemButtons().empty());
}

TEST_F(HostWindowTest, FramedFrameOutlinesAndShadowAlphas) {
  HWND window = Window(100, 100, 400, 300, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  // Inside: the base colour at the window alpha.
  uint32_t inside = Frame(200, 150);
  EXPECT_NEAR(A(inside), 190, 2);
  EXPECT_NEAR(B(inside), 160 * 190 / 255, 3);
  EXPECT_NEAR(R(inside), 40 * 190 / 255, 3);
  // Outer outline at 6 (grey 96 at 204 over the base), inner at 7 (white at 102).
  uint32_t outer = Frame(6, 150), inner = Frame(7, 150);
  EXPECT_GT(A(outer), 225);
  EXPECT_LT(B(outer) - R(outer), 30);
  EXPECT_GT(R(inner), R(inside) + 60);
  // The shadow: four outlines further out, alphas 45, 25, 10, 5; nothing beyond.
  EXPECT_NEAR(A(Frame(5, 150)), 45, 3);
  EXPECT_NEAR(A(Frame(4, 150)), 25, 3);
  EXPECT_NEAR(A(Frame(3, 150)), 10, 2);
  EXPECT_NEAR(A(Frame(2, 150)), 5, 2);
  EXPECT_EQ(A(Frame(1, 150)), 0);
  EXPECT_EQ(R(Frame(5, 150)), 0);
  // Right and bottom edges mirror it.
  EXPECT_NEAR(A(Frame(400 - 6, 150)), 45, 3);
  EXPECT_NEAR(A(Frame(200, 300 - 6)), 45, 3);
  // Corners are cut by the rounded clip.
  EXPECT_LT(A(Frame(6, 6)), 150);
  // The background buffer holds the same frame before any control.
  EXPECT_EQ(DibPixel(host_->BackgroundBuffer().dib, 200, 150), inside);
}

TEST_F(HostWindowTest, LayeredWindowOnScreenShowsTheComposedFrame) {
  // Placed away from where other test exes put their windows.
  HWND back = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 560, 400, 450, 340, nullptr, nullptr, nullptr,
                              nullptr);
  windows_.push_back(back);
  UpdateWindow(back);
  PumpFor(100);
  const uint32_t behind = ScreenPixel(570, 580);
  HWND window = Window(600, 430, 400, 300, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  host_->PresentFrame();
  PumpFor(300);
  // Without a compositing manager the X server shows the premultiplied pixels;
  // fully transparent ones are cut out of the window's shape.
  uint32_t inside = ScreenPixel(800, 580);
  EXPECT_NEAR(static_cast<int>(inside >> 16), 40 * 190 / 255, 4);
  EXPECT_NEAR(static_cast<int>(inside & 0xFF), 160 * 190 / 255, 4);
  EXPECT_EQ(ScreenPixel(605, 580), 0u) << "the black shadow ring";
  EXPECT_EQ(ScreenPixel(600, 580), behind) << "the transparent margin shows the window behind";
  EXPECT_EQ(ScreenPixel(600, 430), behind);
}

TEST_F(HostWindowTest, PictureAtTopLeftFadesIntoTheBaseColour) {
  HWND window = Window(0, 0, 400, 300, WS_POPUP);
  std::string png = SolidPng(100, 60, 0xFF0000FFu);  // opaque red
  ByteSet picture(png.data(), png.size());
  AttachOptions o = Options(window, 255);
  o.picture = picture.get();
  o.picture_given = true;
  o.base_colour = static_cast<int>(RGB(0, 0, 255));
  ASSERT_TRUE(host_->Attach(o));
  uint32_t in_picture = Frame(20, 20);
  EXPECT_GT(R(in_picture), 200);
  EXPECT_LT(B(in_picture), 40);
  // Bottom and right edges glow into blue; the rest of the inner area is blue.
  EXPECT_GT(B(Frame(20, 64)), 150);
  EXPECT_LT(R(Frame(20, 64)), 100);
  EXPECT_GT(B(Frame(103, 30)), 150);
  EXPECT_GT(R(Frame(20, 38)), 150) << "the glow starts transparent";
  EXPECT_GT(B(Frame(250, 200)), 240);
  EXPECT_EQ(R(Frame(250, 200)), 0);
  EXPECT_EQ(host_->BaseColour(), static_cast<int>(RGB(0, 0, 255)));
}

TEST_F(HostWindowTest, TheWindowAlphaScalesTheFramedPicturePremultiplied) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  std::string png = SolidPng(100, 60, 0xFF0000FFu);  // opaque red
  ByteSet picture(png.data(), png.size());
  AttachOptions o = Options(window, 128);
  o.picture = picture.get();
  o.picture_given = true;
  o.base_colour = static_cast<int>(RGB(0, 0, 255));
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_EQ(Frame(20, 20), 0x80800000u) << "red at alpha 128, premultiplied";
  // The base colour is cleared at alpha 254, so its blue is 254 before the scaling.
  EXPECT_EQ(Frame(250, 150), 0x8000007Fu) << "the base colour the same way";
  EXPECT_EQ(Frame(0, 100), 0u) << "outside the frame nothing is drawn";
}

TEST_F(HostWindowTest, BaseColourIsThePictureAverageAndPlacementsDiffer) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  std::string png = SolidPng(40, 30, 0x20C040FFu);
  ByteSet picture(png.data(), png.size());
  AttachOptions o = Options(window, 255);
  o.picture = picture.get();
  o.picture_given = true;
  o.base_colour.reset();
  o.image_placement = kPlaceCentre;
  o.edge_glow = 0;
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_EQ(host_->BaseColour(), static_cast<int>(RGB(0x20, 0xC0, 0x40)));
  // Centred: (130, 85) .. (170, 115) is the picture; the base colour is the same here.
  EXPECT_NEAR(G(Frame(150, 100)), 0xC0, 3);
  host_->Detach(window);
  o.image_placement = kPlaceStretch;
  o.base_colour = static_cast<int>(RGB(0, 0, 0));
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_NEAR(G(Frame(20, 180)), 0xC0, 3) << "stretched over the inner area";
  EXPECT_NEAR(G(Frame(270, 100)), 0xC0, 3);
}

TEST_F(HostWindowTest, NonLayeredWindowGetsARegionAndBitBltPresentation) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window, kNoAlpha)));
  EXPECT_FALSE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window, region), ERROR);
  RECT box;
  GetRgnBox(region, &box);
  EXPECT_EQ(box.left, 6);
  EXPECT_EQ(box.top, 6);
  EXPECT_EQ(box.right, 300 - 6);
  EXPECT_FALSE(PtInRegion(region, 6, 6)) << "5-pixel corners";
  EXPECT_TRUE(PtInRegion(region, 150, 6));
  DeleteObject(region);
  EXPECT_EQ(A(Frame(150, 100)), 254) << "no picture, alpha -1: the base colour at 255";
  g_layered_pushes = g_blits = 0;
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{20, 20, 30, 30}, 0xFFFF0000u, &log_));
  host_->QueueRedraw(GpRectF{20, 20, 30, 30}, kRedrawAppend);
  EXPECT_EQ(g_layered_pushes, 0);
  EXPECT_EQ(g_blits, 1);
  EXPECT_EQ(host_->PresentRect(GpRectF{0, 0, 10, 10}), TRUE);
  EXPECT_EQ(g_blits, 2);
}

// A probe in mid-transition that queues more redraws while it is being drawn.
class RequeueingProbe : public ProbeControl {
 public:
  using ProbeControl::ProbeControl;
  intptr_t DeliverEvent(UINT message, intptr_t wparam, intptr_t lparam) override {
    if (message == DUIM_CUSTOMDRAW && requeues > 0) {
      --requeues;
      host->QueueRedraw(GpRectF{200, 100, 10, 10}, kRedrawAppend);
      host->QueueRedraw(GpRectF{220, 100, 10, 10}, kRedrawFirst);
    }
    return ProbeControl::DeliverEvent(message, wparam, lparam);
  }
  HostWindow* host = nullptr;
  int requeues = 1;
};

TEST_F(HostWindowTest, OneLayeredPushPerFlushHoweverManyRectangles) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  EXPECT_EQ(g_layered_pushes, 1) << "the first frame is pushed as the window appears";
  auto probe = std::make_unique<RequeueingProbe>(host_.get(), GpRectF{20, 20, 40, 40}, 0xFFFF0000u, &log_);
  probe->host = host_.get();
  probe->transition_period = 30;
  probe->transition_frames = 4;
  probe->transition_frame = 1;
  probe->custom_draw = 1;  // draws the transition itself
  g_layered_pushes = 0;
  host_->QueueRedraw(GpRectF{20, 20, 40, 40}, kRedrawAppend);
  EXPECT_EQ(g_layered_pushes, 1);
  EXPECT_EQ(probe->requeues, 0) << "the nested requests were flushed in the same pass";
  // The control's own rectangle went through the custom-draw path with a full record.
  auto custom = std::find_if(log_.begin(), log_.end(), [](const Delivery& d) { return d.message == DUIM_CUSTOMDRAW; });
  ASSERT_NE(custom, log_.end());
  EXPECT_EQ(custom->wparam, 0);
  g_layered_pushes = 0;
  host_->QueueRedraw(GpRectF{0, 0, 5, 5}, kRedrawNow);
  EXPECT_EQ(g_layered_pushes, 1);
}

TEST_F(HostWindowTest, PartialRedrawRestoresBackgroundAndDrawsOverlappingControls) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window, 255)));
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{20, 20, 30, 30}, 0xFFFF0000u, &log_));
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{100, 20, 30, 30}, 0xFF00FF00u, &log_));
  controls_[1]->disabled = true;
  host_->QueueRedraw(GpRectF{0, 0, 300, 200}, kRedrawAppend);
  EXPECT_GT(R(Frame(30, 30)), 240);
  // Disabled: green at half alpha over the base (premultiplied 127 + 80 * 0.5).
  EXPECT_NEAR(G(Frame(110, 30)), 127 + 40, 6);
  controls_[1]->disabled_look = 0;  // the control draws its own disabled look: full alpha
  host_->QueueRedraw(GpRectF{100, 20, 30, 30}, kRedrawAppend);
  EXPECT_GT(G(Frame(110, 30)), 245);
  log_.clear();
  controls_[0]->visible = false;
  host_->QueueRedraw(GpRectF{20, 20, 10, 10}, kRedrawAppend);
  EXPECT_LT(R(Frame(25, 25)), 60) << "hidden control is gone: background restored";
  EXPECT_GT(R(Frame(45, 45)), 240) << "outside the dirty rectangle nothing changed";
  for (const Delivery& d : log_) EXPECT_NE(d.control, RefOf(controls_[1].get())) << "no overlap, not drawn";
}

// A probe whose picture differs in every pixel, so a part drawn from the wrong place shows.
class PatternProbe : public ProbeControl {
 public:
  PatternProbe(HostWindow* host, GpRectF bounds, std::vector<Delivery>* log)
      : ProbeControl(host, bounds, 0xFF000000u, log),
        pixels_(static_cast<size_t>(bounds.Width) * static_cast<size_t>(bounds.Height)) {
    const int width = static_cast<int>(bounds.Width);
    for (size_t i = 0; i < pixels_.size(); ++i) {
      const int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
      pixels_[i] = 0xFF000000u | (static_cast<ARGB>(x * 4) << 16) | (static_cast<ARGB>(y * 6) << 8) | 0x40;
    }
    dll::GdipCreateBitmapFromScan0(width, static_cast<int>(bounds.Height), width * 4, kPixelFormatArgb32,
                                   reinterpret_cast<BYTE*>(pixels_.data()), &pattern_);
  }
  ~PatternProbe() override { dll::GdipDisposeImage(reinterpret_cast<GpImage*>(pattern_)); }
  GpBitmap* BackBufferBitmap() const override { return pattern_; }

 private:
  std::vector<ARGB> pixels_;
  GpBitmap* pattern_ = nullptr;
};

// Paints a block of the frame in one premultiplied colour, as a stale picture would be.
void ScribbleOnFrame(HDC frame, const RECT& r, uint32_t bgra) {
  const int width = r.right - r.left, height = r.bottom - r.top;
  std::vector<uint32_t> block(static_cast<size_t>(width) * height, bgra);
  const BITMAPINFO info = TopDownInfo(width, height);
  SetDIBitsToDevice(frame, r.left, r.top, width, height, 0, 0, 0, height, block.data(), &info, DIB_RGB_COLORS);
}

TEST_F(HostWindowTest, RedrawingPartOfAControlDrawsWhatAWholeRedrawDraws) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  auto probe = std::make_unique<PatternProbe>(host_.get(), GpRectF{20, 30, 60, 40}, &log_);
  for (int alpha : {255, 128}) {
    probe->alpha = alpha;
    host_->QueueRedraw(GpRectF{0, 0, 300, 200}, kRedrawAppend);
    const std::vector<uint32_t> whole = DibPixels(host_->FrameSurface().dib);
    // A rectangle cutting through the control's lower right, beyond its edges.
    const RECT cut = {45, 50, 110, 90};
    ScribbleOnFrame(host_->FrameDC(), cut, 0xFFFF00FFu);
    host_->QueueRedraw(GpRectF{45, 50, 65, 40}, kRedrawAppend);
    const std::vector<uint32_t> partial = DibPixels(host_->FrameSurface().dib);
    EXPECT_EQ(std::mismatch(whole.begin(), whole.end(), partial.begin()).first, whole.end())
        << "the frame differs from the whole redraw, alpha " << alpha;
    EXPECT_EQ(Frame(100, 80), Frame(150, 150)) << "background restored beside the control, alpha " << alpha;
  }
}

TEST_F(HostWindowTest, DirtyPresentationPushesOnlyTheChangedPart) {
  constexpr int kLeft = 80, kTop = 420;
  HWND window = Window(kLeft, kTop, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window, 255)));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  host_->PresentFrame();
  PumpFor(200);
  const uint32_t base = ScreenPixel(kLeft + 150, kTop + 100);
  const uint32_t kPremultipliedRed = 0xFFFF0000u;
  ScribbleOnFrame(host_->FrameDC(), RECT{40, 60, 70, 90}, kPremultipliedRed);
  ScribbleOnFrame(host_->FrameDC(), RECT{200, 60, 230, 90}, kPremultipliedRed);
  g_layered_pushes = 0;
  host_->PresentDirty(GpRectF{40, 60, 30, 30});
  PumpFor(200);
  EXPECT_EQ(g_layered_pushes, 1);
  EXPECT_EQ(ScreenPixel(kLeft + 55, kTop + 75), 0xFF0000u) << "the dirty part is on screen";
  EXPECT_EQ(ScreenPixel(kLeft + 215, kTop + 75), base) << "the rest still shows the last frame";
  host_->PresentDirty(GpRectF{-50, -50, 10, 10});
  EXPECT_EQ(g_layered_pushes, 1) << "a rectangle outside the window pushes nothing";
  host_->PresentFrame();
  PumpFor(200);
  EXPECT_EQ(ScreenPixel(kLeft + 215, kTop + 75), 0xFF0000u);
}

TEST_F(HostWindowTest, AHiddenLayeredWindowIsPushedOnceAsItIsShown) {
  constexpr int kLeft = 760, kTop = 420;
  HWND window = Window(kLeft, kTop, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window, 255)));
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{40, 60, 30, 30}, 0xFFFF0000u, &log_));
  host_->QueueRedraw(GpRectF{40, 60, 30, 30}, kRedrawAppend);
  host_->PresentFrame();
  EXPECT_EQ(g_layered_pushes, 0) << "a hidden window shows none of its pushes";
  ShowWindow(window, SW_SHOWNOACTIVATE);
  EXPECT_EQ(g_layered_pushes, 1) << "the whole frame goes once, as the window appears";
  PumpFor(200);
  EXPECT_EQ(ScreenPixel(kLeft + 55, kTop + 75), 0xFF0000u) << "with what was drawn while it was hidden";
  host_->QueueRedraw(GpRectF{40, 60, 30, 30}, kRedrawAppend);
  EXPECT_EQ(g_layered_pushes, 2);
  ShowWindow(window, SW_HIDE);
  host_->QueueRedraw(GpRectF{40, 60, 30, 30}, kRedrawAppend);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  EXPECT_EQ(g_layered_pushes, 3) << "hidden again: held again, pushed whole as it comes back";
}

TEST_F(HostWindowTest, APartialPushAfterAnUnpushedFrameSendsTheWholeFrame) {
  constexpr int kLeft = 420, kTop = 420;
  HWND window = Window(kLeft, kTop, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window, 255)));
  ShowWindow(window, SW_SHOWNOACTIVATE);
  PumpFor(200);
  // The frame is redrawn in a new colour but not pushed; then a small rectangle is.
  host_->SetBackground(nullptr, false, static_cast<int>(RGB(200, 40, 40)), true, kPresentNone, false);
  g_layered_pushes = 0;
  host_->QueueRedraw(GpRectF{20, 20, 10, 10}, kRedrawAppend);
  PumpFor(200);
  EXPECT_EQ(g_layered_pushes, 1);
  EXPECT_NEAR(static_cast<int>(ScreenPixel(kLeft + 150, kTop + 150) >> 16), 200, 3)
      << "far from the rectangle the new frame shows";
  // From now on a partial push is enough.
  ScribbleOnFrame(host_->FrameDC(), RECT{200, 60, 230, 90}, 0xFF00FF00u);
  host_->QueueRedraw(GpRectF{20, 20, 10, 10}, kRedrawAppend);
  PumpFor(200);
  EXPECT_NEAR(static_cast<int>(ScreenPixel(kLeft + 215, kTop + 75) >> 16), 200, 3)
      << "an untouched part is not pushed again";
}

TEST_F(HostWindowTest, SetBackgroundWithCrossFadeAndBusyGuard) {
  HWND window = Window(0, 0, 200, 150, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  host_->SetBackground(nullptr, false, static_cast<int>(RGB(255, 0, 0)), true, kPresentCrossFade);
  EXPECT_TRUE(host_->IsBusy());
  g_layered_pushes = 0;
  host_->QueueRedraw(GpRectF{0, 0, 10, 10}, kRedrawAppend);
  EXPECT_EQ(g_layered_pushes, 0) << "busy: partial redraws and presentations are skipped";
  PumpFor(600);
  EXPECT_FALSE(host_->IsBusy());
  EXPECT_GT(R(Frame(100, 75)), 150);
}

TEST_F(HostWindowTest, OnSizeRecreatesBuffersAndCallsTheHandler) {
  static int reported_w = 0, reported_h = 0;
  HWND window = Window(0, 0, 200, 150, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  host_->OnSizeChanged([](HWND, int w, int h) { reported_w = w, reported_h = h; });
  SetWindowPos(window, nullptr, 0, 0, 260, 180, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(reported_w, 260);
  EXPECT_EQ(reported_h, 180);
  SIZE size = BackBufferSize(host_->FrameSurface());
  EXPECT_EQ(size.cx, 260);
  EXPECT_EQ(BackBufferSize(host_->BackgroundBuffer()).cy, 180);
  EXPECT_NEAR(A(Frame(260 - 6, 90)), 45, 3) << "repainted at the new size";
}

TEST_F(HostWindowTest, DetachRestoresTheProcedureAndLeaksNothing) {
  HWND window = Window(0, 0, 320, 240, WS_OVERLAPPEDWINDOW);
  LONG_PTR original = GetWindowLongPtrW(window, GWLP_WNDPROC);
  ASSERT_TRUE(host_->Attach(Options(window)));
  EXPECT_NE(GetWindowLongPtrW(window, GWLP_WNDPROC), original);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(host_->Thunk()));
  host_->Detach(window);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), original);
  EXPECT_EQ(GetPropW(window, kHostProperty), nullptr);
  EXPECT_EQ(host_->Window(), nullptr);
  EXPECT_EQ(host_->Thunk(), nullptr);
  host_->Detach(window);  // not attached: nothing

  AttachOptions o = Options(window);
  o.frame_flags = kFrameFromStyle | kFrameMinimize | kFrameClose;
  std::string png = SolidPng(50, 40, 0xFF00FFFFu);
  ByteSet picture(png.data(), png.size());
  o.picture = picture.get();
  o.picture_given = true;
  // Warm up lazily bound DLLs and caches before counting.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(host_->Attach(o));
    host_->Detach(window);
  }
  PumpFor(50);
  DWORD gdi = GdiObjects(), user = UserObjects(), handles = Handles();
  SIZE_T bytes = PrivateBytes();
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(host_->Attach(o));
    host_->QueueRedraw(GpRectF{0, 0, 50, 50}, kRedrawAppend);
    host_->Detach(window);
  }
  PumpFor(50);
  EXPECT_EQ(GdiObjects(), gdi);
  EXPECT_EQ(UserObjects(), user);
  EXPECT_LE(Handles(), handles + 2);
  EXPECT_LT(PrivateBytes(), bytes + (4u << 20));
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), original);
}

TEST_F(HostWindowTest, DestroyingTheWindowDetaches) {
  HWND window = MakeWindow(0, 0, 200, 150);
  AttachOptions o = Options(window);
  o.frame_flags = kFrameClose;
  ASSERT_TRUE(host_->Attach(o));
  ProbeControl* close = static_cast<ProbeControl*>(host_->SystemButtons()[0]);
  EXPECT_EQ(close->destroyed, 0);
  DestroyWindow(window);
  EXPECT_EQ(host_->Window(), nullptr);
  EXPECT_TRUE(host_->SystemButtons().empty());
  EXPECT_EQ(host_->FirstControl(), kNoControl);
  EXPECT_EQ(host_->FrameFlags(), 0);
}

TEST_F(HostWindowTest, BlurIsAskedForOnlyOnWindowsSix) {
  EXPECT_TRUE(BlurApplies(6, kBackgroundDefault, 190));
  EXPECT_TRUE(BlurApplies(6, kBackgroundSquare, 0));
  EXPECT_FALSE(BlurApplies(10, kBackgroundDefault, 190));
  EXPECT_FALSE(BlurApplies(5, kBackgroundDefault, 190));
  EXPECT_FALSE(BlurApplies(6, kBackgroundSkin, 190));
  EXPECT_FALSE(BlurApplies(6, kBackgroundDefault, kNoAlpha));
  int saved = Toolkit().os_major_version;
  Toolkit().os_major_version = 6;
  HWND window = Window(0, 0, 200, 150, WS_POPUP);
  AttachOptions o = Options(window);
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_TRUE(host_->BlurBehind()) << "not given, version 6";
  host_->Detach(window);
  o.blur_behind = 0;
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_FALSE(host_->BlurBehind());
  host_->Detach(window);
  o.blur_behind = 1;
  o.alpha.reset();
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_FALSE(host_->BlurBehind()) << "blur given without alpha is dropped";
  host_->Detach(window);
  Toolkit().os_major_version = saved;
  o.blur_behind.reset();
  o.alpha = 190;
  ASSERT_TRUE(host_->Attach(o));
  EXPECT_EQ(host_->BlurBehind(), saved == 6);
}

TEST_F(HostWindowTest, TooltipToolFollowsTheControl) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  ASSERT_NE(host_->TooltipWindow(), nullptr);
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{20, 30, 40, 25}, 0xFFFF0000u, &log_));
  controls_[0]->tooltip = "tip";
  host_->UpdateTooltip(RefOf(controls_[0].get()), std::nullopt);
  EXPECT_EQ(SendMessageW(host_->TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 1);
  TTTOOLINFOW info = {};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  wchar_t text[64] = {};
  info.lpszText = text;
  ASSERT_TRUE(SendMessageW(host_->TooltipWindow(), TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info)));
  EXPECT_EQ(info.rect.left, 20);
  EXPECT_EQ(info.rect.bottom, 55);
  EXPECT_STREQ(text, L"tip");
  // A Chinese tip reads as Chinese whatever the system's code page is (the suite runs under en_US).
  controls_[0]->tooltip = "\xCC\xE1\xCA\xBE";  // 提示 in GBK
  host_->UpdateTooltip(RefOf(controls_[0].get()), std::nullopt);
  text[0] = 0;
  ASSERT_TRUE(SendMessageW(host_->TooltipWindow(), TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info)));
  EXPECT_STREQ(text, L"提示");
  host_->UpdateTooltip(RefOf(controls_[0].get()), "");
  EXPECT_EQ(SendMessageW(host_->TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 0);
  // Destroying a control takes its tool away, and only its own.
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{80, 30, 40, 25}, 0xFF00FF00u, &log_));
  host_->UpdateTooltip(RefOf(controls_[0].get()), std::nullopt);
  controls_[1]->DestroyControl();
  EXPECT_EQ(SendMessageW(host_->TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 1);
  controls_[0]->DestroyControl();
  EXPECT_EQ(SendMessageW(host_->TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 0);
}

RECT ToolRect(HWND tooltip) {
  TTTOOLINFOW info = {};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  wchar_t text[64] = {};
  info.lpszText = text;
  SendMessageW(tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info));
  return info.rect;
}

TEST_F(HostWindowTest, TooltipToolMovesWithItsControl) {
  HWND window = Window(0, 0, 300, 200, WS_POPUP);
  ASSERT_TRUE(host_->Attach(Options(window)));
  ASSERT_NE(host_->TooltipWindow(), nullptr);
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{20, 30, 40, 25}, 0xFFFF0000u, &log_));
  controls_.push_back(std::make_unique<ProbeControl>(host_.get(), GpRectF{200, 30, 40, 25}, 0xFF00FF00u, &log_));
  controls_[0]->tooltip = "tip";
  host_->UpdateTooltip(RefOf(controls_[0].get()), std::nullopt);
  controls_[0]->MoveTo(100, 60, 50, 30);
  RECT r = ToolRect(host_->TooltipWindow());
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 60);
  EXPECT_EQ(r.right, 150);
  EXPECT_EQ(r.bottom, 90);
  controls_[1]->MoveTo(210, 120, 40, 25);  // another control's move leaves the tool where it is
  r = ToolRect(host_->TooltipWindow());
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.bottom, 90);
  EXPECT_EQ(SendMessageW(host_->TooltipWindow(), TTM_GETTOOLCOUNT, 0, 0), 1);
}

}  // namespace
}  // namespace quillet::core_tests
