// Toolkit-wide state and start-up, text conversion at the wide-character
// boundary, fonts, cursors, the window class, scratch memory, style bits and
// small window helpers.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

#include "runtime/value.h"
#include "runtime/window_template.h"
#include "ui/core/back_buffer.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/gdiplus_types.h"

namespace quillet {

constexpr int kDefaultFontPixels = 12;
constexpr UINT kCodePageGbk = 936;
constexpr wchar_t kToolkitClassName[] = L"Kv_DirectUI";

// Edit-menu command ids: the letters of the matching Ctrl shortcuts.
constexpr int kEditCut = 'X';
constexpr int kEditCopy = 'C';
constexpr int kEditPaste = 'V';
constexpr int kEditSelectAll = 'A';

// An entry of the shared edit context menu (the menu class itself lives elsewhere).
struct EditMenuEntry {
  const char* caption;  // GBK; null = separator
  int command;
};

// Toolkit-wide state: built once by ToolkitStartup, never freed before exit.
struct ToolkitState {
  ULONG_PTR gdiplus_token = 0;
  int os_major_version = 0;
  GpFont* default_font = nullptr;
  HCURSOR default_cursor = nullptr;
  HICON default_icon = nullptr;
  // Both taken on first use (SystemButtonStripFor); start-up decodes them ahead.
  GpBitmap* system_button_strip = nullptr;
  GpBitmap* large_system_button_strip = nullptr;  // at a scale above 100 %
  BackBuffer scratch;                      // shared scratch surface
  EditMenuEntry edit_menu[5] = {};
  int edit_menu_count = 0;
};
ToolkitState& Toolkit();

// A control's font: one it made, or the toolkit's default font, which stays.
struct ControlFontRelease {
  void operator()(GpFont* font) const;
};
using ControlFont = std::unique_ptr<GpFont, ControlFontRelease>;

// Runs once: GDI+, OS version, default font, cursor, button strip, window class, edit menu.
void ToolkitStartup();
// Major version from the process environment block.
int ReadOsMajorVersion();

// Win32 colour (0x00BBGGRR) + alpha -> GDI+ ARGB; alpha 255 (or unused) becomes 254.
uint32_t ArgbFromColor(uint32_t colour, int alpha, int use_alpha);

// Text <-> UTF-16. Code page 0 is the program's ANSI page, which is GBK (936).
ByteSet ToWide(const char* text, UINT code_page = 0);
Text FromWide(const ByteSetBlock* wide, UINT code_page = 0);
Text FromWideChars(const wchar_t* wide, int count, UINT code_page = 0);
inline const wchar_t* WideData(const ByteSet& wide) {
  static const wchar_t kEmpty[1] = {0};
  return wide.empty() ? kEmpty : reinterpret_cast<const wchar_t*>(wide.data());
}

// Fonts. Where no candidate face can be made, the default font (and a font
// asked for by a name that does not exist, when there is no default font)
// takes GDI+'s generic sans-serif family, else the default GUI font's family.
GpFont* DefaultFont();
Text SystemFontFace(int kind = 2);  // 1 menu, 2 caption, 3 message
// The face of font `kind` in a 340-byte non-client metrics block: "Tahoma"
// and faces GDI+ cannot make become 宋体.
Text FaceFromNonClientMetrics(const unsigned char* block, int kind);
GpFont* CreateFontByName(const char* face, float size, int style);
// The default font for a window of this scale: the shared one unscaled, else a
// new font of its family at the scaled size (the caller owns it).
GpFont* DefaultFontAt(const DpiScale& scale);
Text FontFamilyName(GpFont* font);

// Where font families come from: by name (the caller owns the family), the
// generic sans-serif family (borrowed, never deleted) and the default GUI
// font (borrowed). Tests replace them to stand for a system that lacks faces;
// a null member restores the platform's own. Answers the previous source.
struct FontFamilySource {
  GpStatus (*by_name)(const wchar_t* name, GpFontFamily** family);
  GpStatus (*generic_sans_serif)(GpFontFamily** family);
  HFONT (*default_gui_font)();
};
FontFamilySource SetFontFamilySource(const FontFamilySource& source);

// Cursors and the window class.
void SetDefaultCursor(intptr_t cursor_or_id, bool is_handle);
bool RegisterToolkitClass(const wchar_t* class_name = kToolkitClassName, UINT style = CS_DBLCLKS,
                          HICON icon = nullptr, HCURSOR cursor = nullptr, WNDPROC window_proc = nullptr);

// Executable scratch memory (thunks, packed messages, Win32 records).
void* AllocScratch(size_t size);
void FreeScratch(void* address);

// Style bits on GWL_STYLE (or GWL_EXSTYLE when extended).
bool HasStyle(HWND window, LONG bits, bool extended);
void AddStyle(HWND window, LONG bits, bool extended);
void RemoveStyle(HWND window, LONG bits, bool extended);

// Grows the shared scratch surface to at least width x height.
void EnsureScratchSurface(int width, int height);

// Window helpers.
RECT WorkArea();  // left, top, width, height
bool TrackMouseLeave(HWND window, DWORD flags = TME_LEAVE);
void FocusWindow(HWND window);
HICON WindowIcon(HWND window, bool big);
Text WindowTitle(HWND window);

// The compiled-in button strip (constant region): PNG without its 8-byte signature.
const ByteSetBlock* SystemButtonStrip();
// The same strip drawn at kLargeStripScale times the size.
const ByteSetBlock* LargeSystemButtonStrip();
constexpr int kLargeStripScale = 2;
// The strip to draw from at a scale: the plain one unscaled, else the large one
// (decoded on first use), so glyphs are brought down, never blown up.
GpBitmap* SystemButtonStripFor(const DpiScale& scale);

}  // namespace quillet
