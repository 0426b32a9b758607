// A demo window with a label, a button and the title bar, shown for real
// and saved as a PNG (the composed frame, alpha included). The environment
// may name the PNG (QUILLET_CONTROLS_DEMO_OUT) and keep the window on screen
// longer for a screenshot (QUILLET_CONTROLS_DEMO_HOLD_MS).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/ui/controls/host_fixture.h"
#include "ui/controls/button.h"
#include "ui/controls/label.h"
#include "ui/controls/text_drawing.h"

namespace quillet::testing_support {
namespace {


// {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder.
constexpr GUID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr int kPixelFormat32bppPARGB = 0xE200B;

// Saves a bottom-up premultiplied 32-bit DIB as PNG through GDI+.
bool SaveDibAsPng(HBITMAP dib, const wchar_t* path) {
  using SaveFn = GpStatus(WINAPI*)(GpImage*, const wchar_t*, const GUID*, const void*);
  auto save = reinterpret_cast<SaveFn>(GetProcAddress(GetModuleHandleW(L"gdiplus.dll"), "GdipSaveImageToFile"));
  DIBSECTION section = {};
  if (save == nullptr || GetObjectW(dib, sizeof(section), &section) != sizeof(section)) return false;
  const int stride = section.dsBm.bmWidthBytes;
  BYTE* top = static_cast<BYTE*>(section.dsBm.bmBits) + static_cast<ptrdiff_t>(section.dsBm.bmHeight - 1) * stride;
  GpBitmap* bitmap = nullptr;
  if (dll::GdipCreateBitmapFromScan0(section.dsBm.bmWidth, section.dsBm.bmHeight, -stride, kPixelFormat32bppPARGB, top,
                                     &bitmap) != 0) {
    return false;
  }
  const bool ok = save(reinterpret_cast<GpImage*>(bitmap), path, &kPngEncoder, nullptr) == 0;
  dll::GdipDisposeImage(reinterpret_cast<GpImage*>(bitmap));
  return ok;
}

class DemoWindowTest : public HostFixture {
 protected:
  int FrameFlags() const override { return kFrameFromStyle | kFrameMinimize | kFrameClose; }
  std::optional<int> BaseColour() const override { return 0x7A4B2A; }  // a dark blue (0x00BBGGRR)
  bool ShowForReal() const override { return true; }
};

TEST_F(DemoWindowTest, RendersLabelButtonAndTitleBarToAPng) {
  Label label;
  LabelOptions options;
  options.gradient_mode = kGradientNone;
  options.multi_line = true;
  options.auto_contrast = true;
  options.font_size = 20.0f;
  options.alignment = 1;
  options.text_effect = kEffectGlow;
  label.Create(window_, 20, 50, 340, 120, "你好", options);
  Button button;
  button.Create(window_, 150, 190, 80, 30, "获取(&G)");
  host_.PresentFrame();
  PumpFor(200);
  const char* out = std::getenv("QUILLET_CONTROLS_DEMO_OUT");
  const std::string path = out != nullptr ? out : std::string(QUILLET_BINARY_DIR) + "/controls-demo.png";
  const std::wstring wide(path.begin(), path.end());
  ASSERT_TRUE(SaveDibAsPng(host_.FrameSurface().dib, wide.c_str()));
  std::printf("demo frame written to %s\n", path.c_str());
  std::fflush(stdout);
  if (const char* hold = std::getenv("QUILLET_CONTROLS_DEMO_HOLD_MS")) PumpFor(std::atoi(hold));

  // The pieces are there: white label text (auto contrast over the dark base),
  // the close button at the top right, the button face at the bottom.
  EXPECT_EQ(label.LastTextColour() & 0x00FFFFFFu, 0x00FFFFFFu);
  EXPECT_EQ(host_.SystemButtons().size(), 3u);
  EXPECT_NE(button.BackBufferBitmap(), nullptr);
  HDC frame = host_.FrameDC();
  const COLORREF face = GetPixel(frame, 190, 200);
  EXPECT_GT(GetRValue(face) + GetGValue(face) + GetBValue(face), 150);  // the light button face
}

}  // namespace
}  // namespace quillet::testing_support
