// Popup menu records, window geometry and placement, and item painting.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "menu_test_support.h"

#include <psapi.h>
#include "ui/controls/check_mark_image.h"
#include "ui/controls/text_drawing.h"
#include "ui/core/drawing.h"

namespace quillet::menu_tests {
namespace {

int ExtentOf(const wchar_t* text) {
  HDC screen = GetDC(nullptr);
  SIZE size = {0, 0};
  GetTextExtentPoint32W(screen, text, static_cast<int>(wcslen(text)), &size);
  ReleaseDC(nullptr, screen);
  return size.cx;
}

void AddCommands(PopupMenu& menu, int count) {
  for (int i = 0; i < count; ++i) menu.AddItem("命令(&M)", nullptr, kItemNormal, kItemCommand, kNotifyOwner, 100 + i);
}

// A 20 x 20 bottom-up 32-bit BMP of one colour: an encoded picture GDI+ reads.
std::vector<unsigned char> SolidBmp(uint32_t bgra) {
  const uint32_t pixels = 20 * 20;
  const uint32_t data_offset = 14 + 40;
  const uint32_t file_size = data_offset + pixels * 4;
  std::vector<unsigned char> bmp(file_size, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&bmp[at], &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&bmp[at], &v, 2); };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, file_size);
  put32(10, data_offset);
  put32(14, 40);
  put32(18, 20);
  put32(22, 20);
  put16(26, 1);
  put16(28, 32);
  put32(34, pixels * 4);
  for (uint32_t i = 0; i < pixels; ++i) put32(data_offset + i * 4, bgra);
  return bmp;
}

ARGB Pixel(const MenuItem* item, int x, int y) {
  ARGB pixel = 0;
  dll::GdipBitmapGetPixel(item->BackBufferBitmap(), x, y, &pixel);
  return pixel;
}
int Red(ARGB c) { return (c >> 16) & 0xFF; }
int Green(ARGB c) { return (c >> 8) & 0xFF; }
int Blue(ARGB c) { return c & 0xFF; }
int Alpha(ARGB c) { return c >> 24; }

// ---- Records -----------------------------------------------------------------

TEST(PopupMenuRecords, AddItemFillsTheTenFieldsWithDefaults) {
  StartToolkitOnce();
  PopupMenu menu;
  menu.AddItem("复制(&C)", nullptr, kItemNormal, kItemCommand, kNotifyOwner, kEditCopy);
  const MenuItemRecord* record = menu.Record(1);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(record->text.data(), record->text.data() + record->text.size()),
            Utf16(L"复制(&C)"));
  EXPECT_TRUE(record->image.empty());
  EXPECT_EQ(record->command, kEditCopy);
  EXPECT_EQ(record->notify, kNotifyOwner);
  EXPECT_EQ(record->text_colour, 0xD2000000u);
  EXPECT_EQ(record->highlight_colour, 0xE63086C6u);  // COLORREF 0xC68630 at alpha 230
  EXPECT_EQ(record->glow_colour, 0u);
  menu.AddItem("x", nullptr, kItemNormal, kItemCommand, kNotifyOwner, 1, 0x80112233u, 3, 0x11223344u, 0x55667788u);
  EXPECT_EQ(menu.Record(2)->text_colour, 0x80112233u);
  EXPECT_EQ(menu.Record(2)->text_effect, 3);
  EXPECT_EQ(menu.Record(2)->glow_colour, 0x11223344u);
  EXPECT_EQ(menu.Record(2)->highlight_colour, 0x55667788u);
}

TEST(PopupMenuRecords, InvalidIndexesChangeNothingAndAnswerEmpty) {
  StartToolkitOnce();
  PopupMenu menu;
  AddCommands(menu, 2);
  EXPECT_FALSE(menu.IsValidIndex(0));
  EXPECT_FALSE(menu.IsValidIndex(3));
  EXPECT_TRUE(menu.IsValidIndex(2));
  EXPECT_FALSE(menu.RemoveItem(0));
  EXPECT_FALSE(menu.RemoveItem(3));
  EXPECT_EQ(menu.ItemCount(), 2);
  EXPECT_EQ(menu.ItemState(3, kItemChecked), 0);
  EXPECT_TRUE(menu.ItemText(-1, "x").empty());
  EXPECT_TRUE(menu.ItemTextW(9).empty());
  EXPECT_TRUE(menu.ItemImage(0).empty());
  EXPECT_EQ(menu.Record(3), nullptr);
}

TEST(PopupMenuRecords, ItemPropertiesRoundTripAndRemoveKeepsOrder) {
  StartToolkitOnce();
  PopupMenu menu;
  menu.AddItem("一");
  menu.AddItem("二");
  menu.AddItem("三");
  EXPECT_EQ(menu.ItemState(2, kItemChecked), kItemChecked);
  EXPECT_EQ(menu.ItemState(2), kItemChecked);
  EXPECT_STREQ(menu.ItemText(3).c_str(), "三");
  EXPECT_STREQ(menu.ItemText(3, "全部选择(&A)").c_str(), "全部选择(&A)");
  const std::vector<unsigned char> wide = Utf16(L"粘贴");
  ByteSet wide_set(wide.data(), wide.size());
  EXPECT_EQ(menu.ItemTextW(1, wide_set.get()).size(), wide.size());
  EXPECT_STREQ(menu.ItemText(1).c_str(), "粘贴");
  const std::vector<unsigned char> bmp = SolidBmp(0xFFFF0000);
  ByteSet image(bmp.data(), bmp.size());
  EXPECT_EQ(menu.ItemImage(1, image.get()).size(), bmp.size());
  EXPECT_TRUE(menu.RemoveItem(1));
  EXPECT_EQ(menu.ItemCount(), 2);
  EXPECT_EQ(menu.ItemState(1), kItemChecked);
  EXPECT_STREQ(menu.ItemText(2).c_str(), "全部选择(&A)");
  std::unique_ptr<PopupMenu> copy = menu.Copy();
  menu.Clear();
  EXPECT_EQ(menu.ItemCount(), 0);
  ASSERT_EQ(copy->ItemCount(), 2);
  EXPECT_STREQ(copy->ItemText(2).c_str(), "全部选择(&A)");
}

// ---- Size ----------------------------------------------------------------------

TEST(PopupMenuSize, NarrowWidthIsRaisedTo50AndHeightCountsItemsAndSeparators) {
  StartToolkitOnce();
  PopupMenu menu;
  menu.SetWidth(30);
  AddCommands(menu, 2);
  menu.AddItem("", nullptr, kItemNormal, kItemSeparator);
  AddCommands(menu, 1);
  const SIZE size = menu.MeasureWindow();
  EXPECT_EQ(size.cx, 50);
  EXPECT_EQ(size.cy, 3 * 22 + 3 + 16);
}

TEST(PopupMenuSize, HiddenItemTakesNoSpaceButKeepsItsIndex) {
  StartToolkitOnce();
  PopupMenu menu;
  menu.SetWidth(120);
  AddCommands(menu, 2);
  menu.AddItem("隐藏", nullptr, kItemHidden);
  AddCommands(menu, 1);
  menu.AddItem("", nullptr, kItemHidden, kItemSeparator);
  EXPECT_EQ(menu.MeasureWindow().cy, 3 * 22 + 16);
  EXPECT_EQ(menu.MeasureWindow().cx, 120);
  EXPECT_STREQ(menu.ItemText(3).c_str(), "隐藏");
  EXPECT_EQ(menu.ItemState(3), kItemHidden);
}

TEST(PopupMenuSize, AutomaticWidthIsWidestTextPlus50AndSubmenuAdds15) {
  StartToolkitOnce();
  PopupMenu menu;
  menu.AddItem("剪切(&T)");
  menu.AddItem("全部选择(&A)");
  menu.AddItem("很长很长的一个菜单项");
  const int widest = std::max({ExtentOf(L"剪切(&T)"), ExtentOf(L"全部选择(&A)"), ExtentOf(L"很长很长的一个菜单项")});
  bool has_submenu = true;
  EXPECT_EQ(menu.MeasureWindow(&has_submenu).cx, widest + 50);
  EXPECT_FALSE(has_submenu);
  PopupMenu sub;
  menu.AddItem("子", nullptr, kItemNormal, kItemSubmenu, kNotifyOwner, reinterpret_cast<intptr_t>(&sub));
  EXPECT_EQ(menu.MeasureWindow(&has_submenu).cx, widest + 50 + 15);
  EXPECT_TRUE(has_submenu);
  // A hidden long item does not widen the menu.
  PopupMenu hidden;
  hidden.AddItem("短");
  hidden.AddItem("很长很长的一个菜单项", nullptr, kItemHidden);
  EXPECT_EQ(hidden.MeasureWindow().cx, ExtentOf(L"短") + 50);
}

TEST(PopupMenuSize, SeparatorsAloneGiveTheNarrowestMenu) {
  StartToolkitOnce();
  PopupMenu menu;
  menu.AddItem("", nullptr, kItemNormal, kItemSeparator);
  const SIZE size = menu.MeasureWindow();
  EXPECT_EQ(size.cx, 50);
  EXPECT_EQ(size.cy, 3 + 16);
}

// ---- Shown window --------------------------------------------------------------

class PopupMenuWindow : public MenuFixture {};

TEST_F(PopupMenuWindow, OpensAtTheGivenPointWithItsLayoutAndChainProperties) {
  PopupMenu menu;
  menu.SetWidth(30);
  AddCommands(menu, 2);
  menu.AddItem("", nullptr, kItemNormal, kItemSeparator);
  menu.AddItem("隐藏", nullptr, kItemHidden);
  menu.AddItem("禁用", nullptr, kItemDisabled);
  menu.SetOnOpen(RecordOpen);
  RECT rect = {};
  LONG_PTR ex_style = 0;
  HANDLE flags = nullptr, root = nullptr;
  std::vector<GpRectF> bounds;
  bool hidden_has_control = true, disabled = false;
  HostWindow* host = nullptr;
  int host_alpha = 0, host_mode = 0;
  PopupWithScript(menu, 200, 150,
                  {{100,
                    [&] {
                      HWND w = menu.Window();
                      GetWindowRect(w, &rect);
                      ex_style = GetWindowLongPtrW(w, GWL_EXSTYLE);
                      flags = GetPropW(w, kPopupFlagsProperty);
                      root = GetPropW(w, kMenuRootProperty);
                      for (int i : {1, 2, 3, 5}) bounds.push_back(menu.ItemControl(i)->BoundsRect());
                      hidden_has_control = menu.ItemControl(4) != nullptr;
                      disabled = menu.ItemControl(5)->IsDisabled();
                      host = HostFromWindow(w);
                      host_alpha = host ? host->WindowAlpha() : 0;
                      host_mode = host ? host->BackgroundModeValue() : 0;
                    }},
                   {150, [&] { PostMessageW(menu.Window(), WM_KEYDOWN, VK_ESCAPE, 0); }}});
  EXPECT_FALSE(limit_hit_) << "closed by Escape, not by the script's limit";
  ASSERT_EQ(Opened().size(), 1u);
  EXPECT_TRUE(Opened()[0].is_root);
  EXPECT_FALSE(IsWindow(Opened()[0].window)) << "Escape closes the menu";
  EXPECT_EQ(menu.Window(), nullptr);
  EXPECT_EQ(rect.left, 200);
  EXPECT_EQ(rect.top, 150);
  EXPECT_EQ(rect.right - rect.left, 50);
  EXPECT_EQ(rect.bottom - rect.top, 3 * 22 + 3 + 16);
  EXPECT_EQ(ex_style & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_LAYERED),
            WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_LAYERED);
  EXPECT_EQ(reinterpret_cast<intptr_t>(flags), kPopupMenuWindow);
  EXPECT_EQ(static_cast<HWND>(root), Opened()[0].window) << "the root holds itself";
  EXPECT_EQ(host_alpha, 240);
  EXPECT_EQ(host_mode, kBackgroundSkin);
  ASSERT_EQ(bounds.size(), 4u);
  const GpRectF expected[] = {{8, 8, 34, 22}, {8, 30, 34, 22}, {33, 52, 10, 3}, {8, 55, 34, 22}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_FLOAT_EQ(bounds[i].X, expected[i].X) << i;
    EXPECT_FLOAT_EQ(bounds[i].Y, expected[i].Y) << i;
    EXPECT_FLOAT_EQ(bounds[i].Width, expected[i].Width) << i;
    EXPECT_FLOAT_EQ(bounds[i].Height, expected[i].Height) << i;
  }
  EXPECT_FALSE(hidden_has_control);
  EXPECT_TRUE(disabled);
}

TEST_F(PopupMenuWindow, AtTheCursorNearTheRightAndBottomEdgesOpensLeftAndUp) {
  const RECT work = WorkArea();  // left, top, width, height
  PopupMenu menu;
  menu.SetWidth(100);
  AddCommands(menu, 3);
  menu.SetOnOpen(RecordOpen);
  const POINT cursor = {work.right - 20, work.bottom - 10};
  SetCursorPos(cursor.x, cursor.y);
  RECT rect = {};
  PopupWithScript(menu, 0, 0,
                  {{80, [&] { GetWindowRect(menu.Window(), &rect); }},
                   {100, [&] { PostMessageW(menu.Window(), WM_CLOSE, 0, 0); }}});
  EXPECT_EQ(rect.left, cursor.x - 100);
  EXPECT_EQ(rect.top, cursor.y - (3 * 22 + 16) + 5);
}

TEST_F(PopupMenuWindow, AtTheCursorWithRoomOpensRightAndDownOfIt) {
  PopupMenu menu;
  menu.SetWidth(100);
  AddCommands(menu, 3);
  menu.SetOnOpen(RecordOpen);
  SetCursorPos(300, 200);
  RECT rect = {};
  PopupWithScript(menu, 0, 0,
                  {{80, [&] { GetWindowRect(menu.Window(), &rect); }},
                   {100, [&] { PostMessageW(menu.Window(), WM_CLOSE, 0, 0); }}});
  EXPECT_EQ(rect.left, 300);
  EXPECT_EQ(rect.top, 200);
}

TEST_F(PopupMenuWindow, ShowingAgainRebuildsTheItemsAndLeaksNothing) {
  const std::vector<unsigned char> bmp = SolidBmp(0xFF00FF00);
  ByteSet green(bmp.data(), bmp.size());
  PopupMenu menu;
  AddCommands(menu, 2);
  menu.AddItem("图", green.get());
  menu.AddItem("勾", nullptr, kItemChecked);
  menu.AddItem("", nullptr, kItemNormal, kItemSeparator);
  menu.SetOnOpen(RecordOpen);
  auto show_once = [&] {
    PopupWithScript(menu, 120, 120, {{30, [&] { PostMessageW(menu.Window(), WM_KEYDOWN, VK_ESCAPE, 0); }}});
  };
  show_once();
  PROCESS_MEMORY_COUNTERS_EX memory_before = {};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory_before),
                       sizeof(memory_before));
  DWORD handles_before = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles_before);
  const DWORD gdi_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD user_before = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  for (int i = 0; i < 10; ++i) show_once();
  EXPECT_EQ(Opened().size(), 11u);
  EXPECT_FALSE(limit_hit_);
  DWORD handles_after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles_after);
  PROCESS_MEMORY_COUNTERS_EX memory_after = {};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory_after),
                       sizeof(memory_after));
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi_before + 2);
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user_before + 2);
  EXPECT_LE(handles_after, handles_before + 4);
  EXPECT_LT(memory_after.PrivateUsage, memory_before.PrivateUsage + 512 * 1024);
}

// ---- Painting ----------------------------------------------------------------

TEST_F(PopupMenuWindow, ItemsPaintSeparatorHighlightCheckMarkAndImage) {
  const std::vector<unsigned char> bmp = SolidBmp(0xFFFF0000);  // opaque red
  ByteSet red(bmp.data(), bmp.size());
  PopupMenu menu;
  menu.SetWidth(160);
  menu.AddItem("图", red.get());                        // 1: own image
  menu.AddItem("勾", red.get(), kItemChecked);          // 2: check mark wins over the image
  menu.AddItem("", nullptr, kItemNormal, kItemSeparator);  // 3
  menu.AddItem("亮");                                     // 4: highlighted by the mouse
  menu.SetOnOpen(RecordOpen);
  ARGB image_pixel = 0, check_pixel = 0, check_ground = 0, separator_pixel = 0, highlight = 0, normal = 0;
  int look = -1;
  PopupWithScript(menu, 150, 150,
                  {{60,
                    [&] {
                      normal = Pixel(menu.ItemControl(4), 100, 2);
                      const POINT c = ItemCentre(menu.ItemControl(4));
                      MoveMouse(menu.Window(), c.x, c.y);
                    }},
                   {150,
                    [&] {
                      // The tick runs through (8, 13) of the 20 x 20 mark, drawn at (2, 1).
                      image_pixel = Pixel(menu.ItemControl(1), 10, 14);
                      check_pixel = Pixel(menu.ItemControl(2), 10, 14);
                      check_ground = Pixel(menu.ItemControl(2), 4, 3);
                      separator_pixel = Pixel(menu.ItemControl(3), 20, 1);
                      highlight = Pixel(menu.ItemControl(4), 100, 2);
                      look = menu.ItemControl(4)->Look();
                    }},
                   {170, [&] { PostMessageW(menu.Window(), WM_CLOSE, 0, 0); }}});
  EXPECT_EQ(Alpha(image_pixel), 255);
  EXPECT_GT(Red(image_pixel), 200);
  EXPECT_LT(Green(image_pixel), 40);
  // Dark grey-blue: blue above red, all dark.
  EXPECT_GT(Alpha(check_pixel), 200);
  EXPECT_LT(Red(check_pixel), 100);
  EXPECT_GT(Blue(check_pixel), Red(check_pixel));
  EXPECT_EQ(Alpha(check_ground), 0) << "the mark's ground is transparent, not the red image";
  // Separator line: COLORREF 0xCCC3B7 = R B7, G C3, B CC.
  EXPECT_EQ(Red(separator_pixel), 0xB7);
  EXPECT_EQ(Green(separator_pixel), 0xC3);
  EXPECT_EQ(Blue(separator_pixel), 0xCC);
  EXPECT_EQ(Alpha(normal), 0) << "no background when not highlighted";
  EXPECT_EQ(look, kMenuLookHighlighted);
  EXPECT_EQ(Alpha(highlight), 230);
  EXPECT_EQ(Red(highlight), 0x30);
  EXPECT_EQ(Green(highlight), 0x86);
  EXPECT_EQ(Blue(highlight), 0xC6);
}

TEST(MenuAccelerator, IsTheCharacterAfterTheFirstAmpersand) {
  const std::vector<unsigned char> a = Utf16(L"复制(&C)");
  ByteSet caption(a.data(), a.size());
  EXPECT_EQ(MenuAccelerator(caption.get()), 'C');
  const std::vector<unsigned char> b = Utf16(L"无");
  ByteSet plain(b.data(), b.size());
  EXPECT_EQ(MenuAccelerator(plain.get()), 0);
  const std::vector<unsigned char> c = Utf16(L"尾&");
  ByteSet trailing(c.data(), c.size());
  EXPECT_EQ(MenuAccelerator(trailing.get()), 0);
  EXPECT_EQ(MenuAccelerator(nullptr), 0);
}

}  // namespace
}  // namespace quillet::menu_tests
