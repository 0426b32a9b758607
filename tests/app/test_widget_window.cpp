// The widget as BuildMainWindow leaves it: host, label, button, handler, edit menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/background_image.h"
#include "support/clipboard.h"
#include "support/screen_pixel.h"
#include "runtime/library_commands.h"
#include "runtime/program_dll_commands.h"
#include "runtime/window_template.h"
#include "ui/controls/button.h"
#include "ui/controls/popup_menu.h"
#include "ui/controls/text_drawing.h"
#include "ui/controls/text_format.h"
#include "ui/core/back_buffer.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"
#include "widget_fixture.h"

namespace quillet::app::testing {
namespace {


class WidgetWindowTest : public WidgetTest {};

TEST_F(WidgetWindowTest, GlobalObjectsExist) {
  EXPECT_NE(MainHost, nullptr);
  EXPECT_NE(SentenceLabel, nullptr);
  EXPECT_NE(FetchButton, nullptr);
  EXPECT_NE(EditMenu, nullptr);
}

TEST_F(WidgetWindowTest, HostIsAttachedToTheStartupWindow) {
  HWND window = UnitHandle(kMainWindowId, kUnitIsWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(MainHost->Window(), window);
  RECT r;
  GetWindowRect(window, &r);
  const std::array<LONG, 4> left_top_width_height = {r.left, r.top, r.right - r.left, r.bottom - r.top};
  EXPECT_EQ(left_top_width_height, (std::array<LONG, 4>{50, 50, 380, 250}));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_EQ(MainHost->BackgroundMode(std::nullopt), kBackgroundDefault);
}

TEST_F(WidgetWindowTest, TheWholeFrameIsOnScreenNotOnlyTheControls) {
  // The label and the button paint after the frame; their partial pushes must not be all
  // the window ever shows.
  PumpFor(300);
  const POINT outside_the_controls[] = {{200, 30}, {40, 60}, {100, 215}, {360, 60}};
  for (const POINT& p : outside_the_controls) {
    const uint32_t shown = testing_support::ScreenPixel(50 + p.x, 50 + p.y);
    const int brightest = std::max({shown >> 16, (shown >> 8) & 0xFF, shown & 0xFF});
    EXPECT_GT(brightest, 40) << "the picture is missing at " << p.x << "," << p.y;
  }
}

TEST_F(WidgetWindowTest, TheEditMenusCopyCommandForTheSentencePutsItOnTheClipboard) {
  HWND window = UnitHandle(kMainWindowId, kUnitIsWindow);
  testing_support::EmptyTheClipboard();
  SendMessageW(window, WM_COMMAND, kEditCopy, static_cast<LPARAM>(SentenceLabel->GetRef()));
  EXPECT_EQ(testing_support::ClipboardText(), L"你好");
}

// A sentence longer than three lines: whole lines, the last ending in "…"; the tip and
// the copy hold all of it, whether it came as GBK or as UTF-16.
TEST_F(WidgetWindowTest, ALongSentenceShowsWholeLinesAndItsTipAndCopyHoldAllOfIt) {
  const char* sentence = "人生就像一场旅行，不必在乎目的地，在乎的是沿途的风景以及看风景的心情，让心灵去旅行吧，"
                         "走过的路都算数，每一步都有它的意义";
  HWND window = UnitHandle(kMainWindowId, kUnitIsWindow);
  const ByteSet wide = Utf16FromGbk(sentence);
  for (bool as_wide : {false, true}) {
    SCOPED_TRACE(as_wide ? "UTF-16" : "GBK");
    if (as_wide) {
      SentenceLabel->TextW(wide.get());
    } else {
      SentenceLabel->Text(sentence);
    }
    ASSERT_FALSE(SentenceLabel->ShownText().empty());
    EXPECT_EQ(SentenceLabel->ShownText().back(), L'\u2026');
    int ink_below = 0;  // where a fourth line would begin, above the bottom inset
    for (int y = 80; y < 86; ++y) {
      for (int x = 0; x < 370; ++x) {
        ARGB pixel = 0;
        dll::GdipBitmapGetPixel(SentenceLabel->BackBufferBitmap(), x, y, &pixel);
        ink_below += (pixel >> 24) > 100;
      }
    }
    EXPECT_EQ(ink_below, 0);
    EXPECT_STREQ(SentenceLabel->Tooltip().c_str(), sentence);
    testing_support::EmptyTheClipboard();
    SendMessageW(window, WM_COMMAND, kEditCopy, static_cast<LPARAM>(SentenceLabel->GetRef()));
    EXPECT_EQ(testing_support::ClipboardText(), WideString(wide.get()));
    SentenceLabel->Text("你好");
  }
}

TEST_F(WidgetWindowTest, ClientAreaIsTheWholeWindowSoClicksLandOnTheControls) {
  HWND window = UnitHandle(kMainWindowId, kUnitIsWindow);
  ASSERT_NE(window, nullptr);
  RECT client = {};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 380);
  EXPECT_EQ(client.bottom, 250);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  EXPECT_EQ(origin.x, 50);
  EXPECT_EQ(origin.y, 50);
}

// The start-up window shows the program's icon in the title bar (and, big, on the taskbar).
TEST_F(WidgetWindowTest, TheTitleBarShowsTheProgramIcon) {
  HWND window = UnitHandle(kMainWindowId, kUnitIsWindow);
  EXPECT_NE(WindowIcon(window, false), nullptr);
  EXPECT_NE(WindowIcon(window, true), nullptr);
  ASSERT_NE(MainHost->IconControl(), nullptr);
  const GpRectF& cell = MainHost->IconControl()->BoundsRect();
  EXPECT_FLOAT_EQ(cell.X, 11);
  EXPECT_FLOAT_EQ(cell.Width, 16);
  int blue = 0;  // the icon is a blue tile with white quotes
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      ARGB pixel = 0;
      dll::GdipBitmapGetPixel(MainHost->IconControl()->BackBufferBitmap(), x, y, &pixel);
      if ((pixel >> 24) > 200 && (pixel & 0xFF) > ((pixel >> 16) & 0xFF) + 60) ++blue;
    }
  }
  EXPECT_GT(blue, 100);
  PumpFor(300);
  // On screen: white in the left quote mark, the tile's blue below it.
  const uint32_t quote = testing_support::ScreenPixel(50 + 11 + 4, 50 + 11 + 8);
  const uint32_t tile = testing_support::ScreenPixel(50 + 11 + 2, 50 + 11 + 13);
  EXPECT_GT(static_cast<int>(std::min({quote >> 16, (quote >> 8) & 0xFF, quote & 0xFF})), 230) << std::hex << quote;
  EXPECT_GT(static_cast<int>(tile & 0xFF), static_cast<int>(tile >> 16) + 60) << std::hex << tile;
}

TEST_F(WidgetWindowTest, LabelAsCreated) {
  const GpRectF& b = SentenceLabel->BoundsRect();
  EXPECT_FLOAT_EQ(b.X, 8);
  EXPECT_FLOAT_EQ(b.Y, 88);
  EXPECT_FLOAT_EQ(b.Width, 376);
  EXPECT_FLOAT_EQ(b.Height, 88);
  EXPECT_EQ(SentenceLabel->GetHostWindow(), MainHost->Window());
  EXPECT_EQ(SentenceLabel->TextColour(), 0xC8FF0000u);
  EXPECT_TRUE(SentenceLabel->MultiLine());
  EXPECT_FLOAT_EQ(SentenceLabel->FontSize(), 20.0f);
  EXPECT_EQ(SentenceLabel->TextEffect(), 3);
  EXPECT_TRUE(SentenceLabel->Visible());
  EXPECT_EQ(SentenceLabel->GradientMode(), 0);
  EXPECT_EQ(SentenceLabel->Frame(), 0);
  EXPECT_FALSE(SentenceLabel->AutoContrast());
}

TEST_F(WidgetWindowTest, SentenceLabelLetsThePlatformFallBackToOtherFonts) {
  EXPECT_EQ(SentenceLabel->FormatFlags() & kFormatNoFontFallback, 0);
  EXPECT_NE(SentenceLabel->FormatFlags() & kFormatLineLimit, 0);
}

TEST_F(WidgetWindowTest, SourceLineSitsLeftOfTheButtonUnderTheSentence) {
  const GpRectF& b = SourceLabel->BoundsRect();
  EXPECT_GE(b.X, 8);
  EXPECT_GE(b.Y, 176);
  EXPECT_LE(b.X + b.Width, 240);
  EXPECT_LE(b.Y + b.Height, 206);
  EXPECT_LE(b.X + b.Width, FetchButton->BoundsRect().X) << "left of the button";
  EXPECT_GE(SourceLabel->FontSize(), 12.0f);
  EXPECT_LE(SourceLabel->FontSize(), 14.0f);
  EXPECT_FALSE(SourceLabel->MultiLine());
  EXPECT_EQ(SourceLabel->TextEffect(), SentenceLabel->TextEffect()) << "the same glow";
  EXPECT_TRUE(SourceLabel->Visible());
  EXPECT_EQ(SourceLabel->GetHostWindow(), MainHost->Window());
  EXPECT_TRUE(SourceLabel->TextW().empty()) << "no source before the first sentence";
}

TEST_F(WidgetWindowTest, LabelShowsHelloUntilAPress) {
  EXPECT_EQ(LabelText(), "你好");
  EXPECT_EQ(ActiveFetchWorkers(), 0);  // nothing fetched at start-up
}

TEST_F(WidgetWindowTest, ButtonAsCreated) {
  const GpRectF& b = FetchButton->BoundsRect();
  EXPECT_FLOAT_EQ(b.X, 248);
  EXPECT_FLOAT_EQ(b.Y, 168);
  EXPECT_FLOAT_EQ(b.Width, 112);
  EXPECT_FLOAT_EQ(b.Height, 40);
  EXPECT_EQ(std::string(FetchButton->Text().c_str()), "获取");
  EXPECT_EQ(FetchButton->TextColour(), kButtonDefaultTextColour);
  EXPECT_FLOAT_EQ(FetchButton->FontSize(), 20.0f);
  EXPECT_TRUE(FetchButton->Visible());
  EXPECT_EQ(FetchButton->HandlerCount(), 1);
}

TEST_F(WidgetWindowTest, EditMenuHoldsTheEditingCommands) {
  ASSERT_EQ(EditMenu->ItemCount(), 5);
  EXPECT_EQ(std::string(EditMenu->ItemText(1).c_str()), "剪切(&T)");
  EXPECT_EQ(std::string(EditMenu->ItemText(2).c_str()), "复制(&C)");
  EXPECT_EQ(std::string(EditMenu->ItemText(3).c_str()), "粘贴(&P)");
  EXPECT_EQ(std::string(EditMenu->ItemText(4).c_str()), "");
  EXPECT_EQ(std::string(EditMenu->ItemText(5).c_str()), "全部选择(&A)");
}

TEST_F(WidgetWindowTest, BackgroundIsAProgressiveJpegInTheConstantRegion) {
  const ByteSetBlock* picture = BackgroundImage();
  ASSERT_NE(picture, nullptr);
  EXPECT_TRUE(IsInConstantRegion(picture));
  EXPECT_EQ(picture->dimension_count, 1);
  ASSERT_GT(picture->length, 4);
  EXPECT_EQ(picture->data[0], 0xFF);
  EXPECT_EQ(picture->data[1], 0xD8);
  // A progressive frame header (SOF2), with the height and width after it.
  std::string bytes(reinterpret_cast<const char*>(picture->data), picture->length);
  size_t sof2 = bytes.find("\xFF\xC2");
  ASSERT_NE(sof2, std::string::npos);
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  EXPECT_EQ(at(sof2 + 5) * 256 + at(sof2 + 6), kBackgroundHeight);
  EXPECT_EQ(at(sof2 + 7) * 256 + at(sof2 + 8), kBackgroundWidth);
  EXPECT_EQ(kBackgroundWidth, 665);
  EXPECT_EQ(kBackgroundHeight, 420);
  EXPECT_NEAR(picture->length, 8192, 2048);
}

TEST_F(WidgetWindowTest, ClickingTheButtonStartsOneFetchWorker) {
  HWND window = MainHost->Window();
  const int x = 248 + 56, y = 168 + 20;
  SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  EXPECT_EQ(ActiveFetchWorkers(), 1);
  // The service is out of reach here; the fixture ends the chain.
}

TEST_F(WidgetWindowTest, ClickHandlerAnswersWhetherTheThreadStarted) {
  EXPECT_TRUE(OnFetchClicked());
  StopFetching();
  EXPECT_FALSE(OnFetchClicked());  // no new chains while shutting down
}

// ---- Display scale ----------------------------------------------------------
// The suite runs these at 96 DPI and again in a prefix at 144 DPI, where
// QUILLET_EXPECT_DPI says so; the figures below are the 96-DPI layout.

struct LogicalRect {
  float x, y, width, height;
};
constexpr LogicalRect kLabelAt96 = {8, 88, 376, 88};
constexpr LogicalRect kSourceAt96 = {8, 176, 232, 30};
constexpr LogicalRect kButtonAt96 = {248, 168, 112, 40};
constexpr LogicalRect kCloseButtonAt96 = {335, 7, 39, 19};
constexpr LogicalRect kMinimizeButtonAt96 = {307, 7, 28, 19};
constexpr LogicalRect kIconAt96 = {11, 11, 16, 16};
constexpr float kSentenceFontAt96 = 20, kSourceFontAt96 = 13, kTitleFontAt96 = 12;
constexpr int kWindowAt96[4] = {50, 50, 380, 250};
constexpr float kPixelTolerance = 1.0f;

int ExpectedDpi() {
  const char* dpi = std::getenv("QUILLET_EXPECT_DPI");
  return dpi != nullptr && *dpi != 0 ? std::atoi(dpi) : 96;
}

void ExpectScaledRect(const GpRectF& actual, const LogicalRect& at96, float factor, const char* what) {
  EXPECT_NEAR(actual.X, at96.x * factor, kPixelTolerance) << what;
  EXPECT_NEAR(actual.Y, at96.y * factor, kPixelTolerance) << what;
  EXPECT_NEAR(actual.Width, at96.width * factor, kPixelTolerance) << what;
  EXPECT_NEAR(actual.Height, at96.height * factor, kPixelTolerance) << what;
}

std::array<LONG, 4> WindowLeftTopWidthHeight() {
  RECT r = {};
  GetWindowRect(MainHost->Window(), &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Rows from the first to the last one holding a pixel that `ink` accepts,
// inside `rect` of the frame surface (0 when none does).
template <typename Ink>
int InkHeight(const GpRectF& rect, Ink ink) {
  HBITMAP dib = MainHost->FrameSurface().dib;
  DIBSECTION section = {};
  if (GetObjectW(dib, sizeof(section), &section) != sizeof(section)) return 0;
  const int width = section.dsBm.bmWidth, height = section.dsBm.bmHeight;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, dib, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  int first = -1, last = -1;
  const int x0 = std::max(0, static_cast<int>(rect.X)), x1 = std::min(width, static_cast<int>(rect.X + rect.Width));
  const int y0 = std::max(0, static_cast<int>(rect.Y)), y1 = std::min(height, static_cast<int>(rect.Y + rect.Height));
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (!ink(pixels[static_cast<size_t>(y) * width + x])) continue;
      if (first < 0) first = y;
      last = y;
      break;
    }
  }
  return first < 0 ? 0 : last - first + 1;
}

// The sentence's red letters (premultiplied by the window alpha).
bool IsRedInk(uint32_t p) {
  const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return r > g + 50 && r > b + 50;
}

// The caption's dark letters on the light button face.
bool IsDarkInk(uint32_t p) {
  const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return (p >> 24) != 0 && std::max({r, g, b}) < 80;
}

// Inside the button's face, clear of its outlines.
GpRectF CaptionArea() {
  const GpRectF b = FetchButton->BoundsRect();
  const float edge = b.Height / 8;
  return GpRectF{b.X + edge, b.Y + edge, b.Width - 2 * edge, b.Height - 2 * edge};
}

HostedControl* SystemButton(size_t index) {
  const std::vector<HostedControl*>& buttons = MainHost->SystemButtons();
  return index < buttons.size() ? buttons[index] : nullptr;
}

void ExpectLayoutAtScale(float factor) {
  ExpectScaledRect(SentenceLabel->BoundsRect(), kLabelAt96, factor, "sentence label");
  ExpectScaledRect(SourceLabel->BoundsRect(), kSourceAt96, factor, "source line");
  ExpectScaledRect(FetchButton->BoundsRect(), kButtonAt96, factor, "button");
  ASSERT_EQ(MainHost->SystemButtons().size(), 2u);
  ExpectScaledRect(SystemButton(0)->BoundsRect(), kCloseButtonAt96, factor, "close button");
  ExpectScaledRect(SystemButton(1)->BoundsRect(), kMinimizeButtonAt96, factor, "minimize button");
  ASSERT_NE(MainHost->IconControl(), nullptr);
  ExpectScaledRect(MainHost->IconControl()->BoundsRect(), kIconAt96, factor, "icon");
  EXPECT_FLOAT_EQ(SentenceLabel->FontSize(), kSentenceFontAt96 * factor);
  EXPECT_FLOAT_EQ(SourceLabel->FontSize(), kSourceFontAt96 * factor);
  EXPECT_FLOAT_EQ(FetchButton->FontSize(), kSentenceFontAt96 * factor);
  auto* title = static_cast<Label*>(MainHost->TitleControl());
  ASSERT_NE(title, nullptr);
  EXPECT_FLOAT_EQ(title->FontSize(), kTitleFontAt96 * factor);
  const SIZE surface = BackBufferSize(MainHost->FrameSurface());
  const std::array<LONG, 4> window = WindowLeftTopWidthHeight();
  EXPECT_EQ(surface.cx, window[2]) << "the frame is drawn at the window's own size";
  EXPECT_EQ(surface.cy, window[3]);
}

class WidgetAtDisplayScaleTest : public WidgetTest {};

TEST_F(WidgetAtDisplayScaleTest, TheWindowAndEveryControlTakeTheDisplaysScale) {
  const int dpi = ExpectedDpi();
  ASSERT_EQ(MainHost->Scale().Dpi(), dpi) << "the prefix does not run at the expected DPI";
  const float factor = static_cast<float>(dpi) / 96.0f;
  std::array<LONG, 4> expected = {};
  for (int i = 0; i < 4; ++i) expected[i] = std::lround(kWindowAt96[i] * factor);
  EXPECT_EQ(WindowLeftTopWidthHeight(), expected) << "position and size both scale";
  ExpectLayoutAtScale(factor);
}

TEST_F(WidgetAtDisplayScaleTest, ADpiChangeTakesTheSuggestedRectangleAndRedrawsAtTheNewScale) {
  const int dpi = MainHost->Scale().Dpi();
  const std::array<LONG, 4> before = WindowLeftTopWidthHeight();
  PumpFor(300);
  const int sentence_height = InkHeight(SentenceLabel->BoundsRect(), IsRedInk);
  const int caption_height = InkHeight(CaptionArea(), IsDarkInk);
  ASSERT_GT(sentence_height, 0);
  ASSERT_GT(caption_height, 0);

  constexpr int kDoubleDpi = 192;
  RECT suggested = {100, 80, 100 + 760, 80 + 500};
  // Wine's GetDpiForWindow never changes: the host must take the DPI from the message.
  SendMessageW(MainHost->Window(), kDpiChangedMessage, MAKEWPARAM(kDoubleDpi, kDoubleDpi),
               reinterpret_cast<LPARAM>(&suggested));
  PumpFor(300);
  EXPECT_EQ(MainHost->Scale().Dpi(), kDoubleDpi);
  EXPECT_EQ(WindowLeftTopWidthHeight(), (std::array<LONG, 4>{100, 80, 760, 500}));
  ExpectLayoutAtScale(2.0f);
  const float growth = static_cast<float>(kDoubleDpi) / static_cast<float>(dpi);
  EXPECT_NEAR(InkHeight(SentenceLabel->BoundsRect(), IsRedInk), sentence_height * growth, kPixelTolerance + 0.5f)
      << "the sentence is drawn again at the new size";
  EXPECT_NEAR(InkHeight(CaptionArea(), IsDarkInk), caption_height * growth, kPixelTolerance + 0.5f)
      << "the caption is drawn again at the new size";
  // The background reaches the new corner: the frame was painted again, not only the controls.
  const uint32_t corner = testing_support::ScreenPixel(100 + 700, 80 + 450);
  EXPECT_GT(static_cast<int>(std::max({corner >> 16, (corner >> 8) & 0xFF, corner & 0xFF})), 40);

  // And back, as when the window returns to the first display.
  RECT back = {before[0], before[1], before[0] + before[2], before[1] + before[3]};
  SendMessageW(MainHost->Window(), kDpiChangedMessage, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&back));
  PumpFor(300);
  EXPECT_EQ(WindowLeftTopWidthHeight(), before);
  ExpectLayoutAtScale(static_cast<float>(dpi) / 96.0f);
  EXPECT_EQ(InkHeight(SentenceLabel->BoundsRect(), IsRedInk), sentence_height);
  EXPECT_EQ(InkHeight(CaptionArea(), IsDarkInk), caption_height);
}

}  // namespace
}  // namespace quillet::app::testing
