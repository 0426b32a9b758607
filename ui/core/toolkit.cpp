#include "ui/core/toolkit.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "runtime/program_dll_commands.h"
#include "runtime/runtime_error.h"
#include "ui/core/decode_ahead.h"
#include "ui/core/drawing.h"
#include "ui/core/gdi_owners.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

namespace {

constexpr uint32_t kGdiplusVersion = 1;
constexpr UINT kNonClientMetricsSize = 340;  // NONCLIENTMETRICSA without iPaddedBorderWidth
constexpr size_t kMenuFaceOffset = 188;
constexpr size_t kCaptionFaceOffset = 52;
constexpr size_t kMessageFaceOffset = 308;
constexpr size_t kFaceNameBytes = 32;
constexpr int kFamilyNameChars = 32;
constexpr int kWindowTitleChars = 512;
constexpr UINT kGetWorkArea = SPI_GETWORKAREA;
constexpr UINT kGetNonClientMetrics = SPI_GETNONCLIENTMETRICS;
constexpr int kFontStyleRegular = 0;
constexpr int kColourBtnFaceBrush = COLOR_BTNFACE + 1;

// PEB offsets of OSMajorVersion.
#if defined(_WIN64)
constexpr size_t kPebOsMajorOffset = 0x118;
#else
constexpr size_t kPebOsMajorOffset = 0xA4;
#endif

const char kSongTi[] = "宋体";
const char kTahoma[] = "Tahoma";

LRESULT CALLBACK ForwardToDefWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return dll::DefWindowProcW(window, message, wparam, lparam);
}

UINT EffectiveCodePage(UINT code_page) { return code_page == 0 ? kCodePageGbk : code_page; }

GpStatus FamilyByNameFromGdiplus(const wchar_t* name, GpFontFamily** family) {
  return dll::GdipCreateFontFamilyFromName(name, nullptr, family);
}

// GDI+ hands out the generic family itself, not a copy: it is fetched once and
// never deleted; users take clones.
GpStatus GenericSansSerifFromGdiplus(GpFontFamily** family) {
  static GpFontFamily* generic = nullptr;
  static const GpStatus status = dll::GdipGetGenericFontFamilySansSerif(&generic);
  *family = status == 0 ? generic : nullptr;
  return status;
}

HFONT StockDefaultGuiFont() { return static_cast<HFONT>(dll::GetStockObject(DEFAULT_GUI_FONT)); }

FontFamilySource g_family_source = {FamilyByNameFromGdiplus, GenericSansSerifFromGdiplus, StockDefaultGuiFont};

OwnedFontFamily FamilyFromName(const char* face) {
  ByteSet wide = ToWide(face);
  OwnedFontFamily family;
  if (g_family_source.by_name(WideData(wide), Receive(family)) != 0) return nullptr;
  return family;
}

// The family of that name, else the default font's family (when there is one).
OwnedFontFamily NamedOrDefaultFamily(const char* face) {
  OwnedFontFamily family = FamilyFromName(face);
  if (family || !Toolkit().default_font) return family;
  if (dll::GdipGetFamily(Toolkit().default_font, Receive(family)) != 0) return nullptr;
  return family;
}

GpFont* FontOfFamily(const GpFontFamily* family, float size, int style) {
  if (!family) return nullptr;
  GpFont* font = nullptr;
  if (dll::GdipCreateFont(family, size, style, kUnitPixel, &font) != 0) return nullptr;
  return font;
}

// The family GDI maps the default GUI font to (a substitute name such as
// "MS Shell Dlg" resolves to a real face this way, not by name).
OwnedFontFamily DefaultGuiFontFamily() {
  LOGFONTW logfont = {};
  HFONT gui_font = g_family_source.default_gui_font();
  if (!gui_font || dll::GetObjectW(gui_font, sizeof(logfont), &logfont) != static_cast<int>(sizeof(logfont))) {
    return nullptr;
  }
  HDC screen = dll::GetDC(nullptr);
  OwnedFont font;
  const GpStatus status = dll::GdipCreateFontFromLogfontW(screen, &logfont, Receive(font));
  dll::ReleaseDC(nullptr, screen);
  if (status != 0 || !font) return nullptr;
  OwnedFontFamily family;
  if (dll::GdipGetFamily(font.get(), Receive(family)) != 0) return nullptr;
  return family;
}

// A family that exists whatever faces the system lacks, so text is never
// drawn with no font at all: the generic sans-serif family, else the default
// GUI font's.
OwnedFontFamily FallbackFamily() {
  GpFontFamily* generic = nullptr;
  if (g_family_source.generic_sans_serif(&generic) == 0 && generic) {
    OwnedFontFamily clone;
    const GpStatus status = dll::GdipCloneFontFamily(generic, Receive(clone));
    if (status == 0 && clone) return clone;
  }
  return DefaultGuiFontFamily();
}

}  // namespace

ToolkitState& Toolkit() {
  static ToolkitState state;
  return state;
}

void ControlFontRelease::operator()(GpFont* font) const {
  if (font != Toolkit().default_font) GdiplusRelease()(font);
}

int ReadOsMajorVersion() {
  const unsigned char* peb = nullptr;
#if defined(_WIN64)
  __asm__("movq %%gs:0x60, %0" : "=r"(peb));
#else
  __asm__("movl %%fs:0x30, %0" : "=r"(peb));
#endif
  uint32_t major = 0;
  std::memcpy(&major, peb + kPebOsMajorOffset, sizeof(major));
  return static_cast<int>(major);
}

void ToolkitStartup() {
  ToolkitState& state = Toolkit();
  GdiplusStartupInputFlat input = {kGdiplusVersion, nullptr, 0, 0};
  dll::GdiplusStartup(&state.gdiplus_token, &input, nullptr);
  // The strip the screen's scale needs decodes on another thread while the
  // window is made; the title bar's first paint takes it.
  if (DpiScale::ForScreen().IsUnscaled()) {
    if (state.system_button_strip == nullptr) DecodeAhead(SystemButtonStrip(), true);
  } else if (state.large_system_button_strip == nullptr) {
    DecodeAhead(LargeSystemButtonStrip(), true);
  }
  state.os_major_version = ReadOsMajorVersion();
  state.default_font = DefaultFont();
  SetDefaultCursor(reinterpret_cast<intptr_t>(IDC_ARROW), false);
  RegisterToolkitClass(kToolkitClassName, CS_DBLCLKS, nullptr, nullptr, ForwardToDefWindowProc);
  static const EditMenuEntry kEditMenu[5] = {
      {"剪切(&T)", kEditCut}, {"复制(&C)", kEditCopy}, {"粘贴(&P)", kEditPaste}, {nullptr, 0},
      {"全部选择(&A)", kEditSelectAll}};
  std::memcpy(state.edit_menu, kEditMenu, sizeof(kEditMenu));
  state.edit_menu_count = 5;
}

uint32_t ArgbFromColor(uint32_t colour, int alpha, int use_alpha) {
  if (use_alpha == 0 || alpha == 255) alpha = 254;
  unsigned char bytes[4];
  std::memcpy(bytes, &colour, 4);  // R, G, B, 0
  unsigned char red = bytes[0];
  bytes[0] = bytes[2];
  bytes[2] = red;
  bytes[3] = static_cast<unsigned char>(alpha & 0xFF);
  uint32_t argb = 0;
  std::memcpy(&argb, bytes, 4);
  return argb;
}

ByteSet ToWide(const char* text, UINT code_page) {
  const char* source = text ? text : "";
  UINT cp = EffectiveCodePage(code_page);
  int chars = dll::MultiByteToWideChar(cp, 0, source, -1, nullptr, 0);
  if (chars <= 0) return ByteSet();
  std::string zeros(static_cast<size_t>(chars) * 2, '\0');
  ByteSet wide(zeros.data(), zeros.size());
  dll::MultiByteToWideChar(cp, 0, source, -1, reinterpret_cast<wchar_t*>(wide.data()), chars);
  return wide;
}

Text FromWideChars(const wchar_t* wide, int count, UINT code_page) {
  if (!wide || count <= 0) return Text();
  UINT cp = EffectiveCodePage(code_page);
  int bytes = dll::WideCharToMultiByte(cp, 0, wide, count, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return Text();
  std::string buffer(static_cast<size_t>(bytes), '\0');
  dll::WideCharToMultiByte(cp, 0, wide, count, buffer.data(), bytes, nullptr, nullptr);
  return Text(buffer.data(), buffer.size());
}

Text FromWide(const ByteSetBlock* wide, UINT code_page) {
  size_t length = ByteSetLength(wide);
  if (length < 2) return Text();
  const wchar_t* chars = reinterpret_cast<const wchar_t*>(ByteSetData(wide));
  int count = 0;
  int limit = static_cast<int>(length / 2);
  while (count < limit && chars[count] != 0) ++count;
  return FromWideChars(chars, count, code_page);
}

GpFont* DefaultFont() {
  OwnedFontFamily family = FamilyFromName(kSongTi);
  // The caption face is read only when it is needed: reading it makes a font.
  if (!family) family = FamilyFromName(SystemFontFace(2).c_str());
  if (!family) family = FallbackFamily();
  return FontOfFamily(family.get(), static_cast<float>(kDefaultFontPixels), kFontStyleRegular);
}

Text FaceFromNonClientMetrics(const unsigned char* block, int kind) {
  size_t offset = 0;
  switch (kind) {
    case 1: offset = kMenuFaceOffset; break;
    case 2: offset = kCaptionFaceOffset; break;
    case 3: offset = kMessageFaceOffset; break;
    default: RaiseRuntimeError(kErrorIndexOutOfRange);
  }
  const char* name = reinterpret_cast<const char*>(block + offset);
  Text face(name, strnlen(name, kFaceNameBytes));
  if (std::strcmp(face.c_str(), kTahoma) == 0) return Text::Copy(kSongTi);
  // Only the face itself (or the default font's family) counts here, not the
  // last-resort families: a face nothing can make gives way to 宋体.
  OwnedFontFamily family = NamedOrDefaultFamily(face.c_str());
  OwnedFont probe(FontOfFamily(family.get(), static_cast<float>(kDefaultFontPixels), kFontStyleRegular));
  if (!probe) return Text::Copy(kSongTi);
  return face;
}

Text SystemFontFace(int kind) {
  if (kind < 1 || kind > 3) RaiseRuntimeError(kErrorIndexOutOfRange);
  unsigned char* block = static_cast<unsigned char*>(AllocScratch(kNonClientMetricsSize));
  if (!block) return Text::Copy(kSongTi);
  std::memcpy(block, &kNonClientMetricsSize, sizeof(UINT));
  Text face = dll::SystemParametersInfoA(kGetNonClientMetrics, 0, block, 0) ? FaceFromNonClientMetrics(block, kind)
                                                                           : Text::Copy(kSongTi);
  FreeScratch(block);
  return face;
}

GpFont* CreateFontByName(const char* face, float size, int style) {
  OwnedFontFamily family = NamedOrDefaultFamily(face);
  if (!family) family = FallbackFamily();
  return FontOfFamily(family.get(), size, style);
}

GpBitmap* SystemButtonStripFor(const DpiScale& scale) {
  ToolkitState& state = Toolkit();
  if (!scale.IsUnscaled()) {
    if (state.large_system_button_strip == nullptr) {
      state.large_system_button_strip =
          reinterpret_cast<GpBitmap*>(ImageFromBytes(LargeSystemButtonStrip(), true, false));
    }
    if (state.large_system_button_strip != nullptr) return state.large_system_button_strip;
  }
  if (state.system_button_strip == nullptr) {
    state.system_button_strip = reinterpret_cast<GpBitmap*>(ImageFromBytes(SystemButtonStrip(), true, false));
  }
  return state.system_button_strip;
}

GpFont* DefaultFontAt(const DpiScale& scale) {
  GpFont* shared = Toolkit().default_font;
  if (scale.IsUnscaled() || shared == nullptr) return shared;
  const Text face = FontFamilyName(shared);
  return CreateFontByName(face.c_str(), scale.Float(static_cast<float>(kDefaultFontPixels)), kFontStyleRegular);
}

Text FontFamilyName(GpFont* font) {
  if (!font) return Text();
  OwnedFontFamily family;
  if (dll::GdipGetFamily(font, Receive(family)) != 0) return Text();
  if (!family) return Text();
  wchar_t name[kFamilyNameChars] = {};
  dll::GdipGetFamilyName(family.get(), name, LANG_NEUTRAL);
  name[kFamilyNameChars - 1] = 0;
  return FromWideChars(name, static_cast<int>(wcsnlen(name, kFamilyNameChars)));
}

FontFamilySource SetFontFamilySource(const FontFamilySource& source) {
  const FontFamilySource previous = g_family_source;
  g_family_source.by_name = source.by_name ? source.by_name : FamilyByNameFromGdiplus;
  g_family_source.generic_sans_serif = source.generic_sans_serif ? source.generic_sans_serif : GenericSansSerifFromGdiplus;
  g_family_source.default_gui_font = source.default_gui_font ? source.default_gui_font : StockDefaultGuiFont;
  return previous;
}

void SetDefaultCursor(intptr_t cursor_or_id, bool is_handle) {
  Toolkit().default_cursor =
      is_handle ? reinterpret_cast<HCURSOR>(cursor_or_id)
                : dll::LoadCursorW(nullptr, MAKEINTRESOURCEW(static_cast<WORD>(cursor_or_id)));
}

bool RegisterToolkitClass(const wchar_t* class_name, UINT style, HICON icon, HCURSOR cursor, WNDPROC window_proc) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(WNDCLASSEXW);
  wc.style = style ? style : CS_DBLCLKS;
  wc.lpfnWndProc = window_proc ? window_proc : ForwardToDefWindowProc;
  wc.hInstance = dll::GetModuleHandleW(nullptr);
  if (!icon) {
    icon = dll::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(kProgramIconId));
    Toolkit().default_icon = icon;
  }
  wc.hIcon = icon;
  wc.hCursor = cursor ? cursor : Toolkit().default_cursor;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(kColourBtnFaceBrush));
  wc.lpszClassName = class_name;
  return dll::RegisterClassExW(&wc) != 0;
}

void* AllocScratch(size_t size) { return dll::VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_EXECUTE_READWRITE); }

void FreeScratch(void* address) {
  if (address) dll::VirtualFree(address, 0, MEM_RELEASE);
}

PackedMessage* PackMessage(UINT message, intptr_t wparam, intptr_t lparam) {
  auto* packet = static_cast<PackedMessage*>(AllocScratch(sizeof(PackedMessage)));
  if (packet) *packet = PackedMessage{static_cast<intptr_t>(message), wparam, lparam};
  return packet;
}

bool HasStyle(HWND window, LONG bits, bool extended) {
  return (dll::GetWindowLongW(window, extended ? GWL_EXSTYLE : GWL_STYLE) & bits) != 0;
}

void AddStyle(HWND window, LONG bits, bool extended) {
  int index = extended ? GWL_EXSTYLE : GWL_STYLE;
  LONG style = dll::GetWindowLongW(window, index);
  if ((style & bits) == 0) dll::SetWindowLongW(window, index, style | bits);
}

void RemoveStyle(HWND window, LONG bits, bool extended) {
  int index = extended ? GWL_EXSTYLE : GWL_STYLE;
  LONG style = dll::GetWindowLongW(window, index);
  if ((style & bits) != 0) dll::SetWindowLongW(window, index, style & ~bits);
}

void EnsureScratchSurface(int width, int height) {
  BackBuffer& scratch = Toolkit().scratch;
  if (scratch.dib) {
    SIZE current = BackBufferSize(scratch);
    int w = current.cx > width ? current.cx : width;
    int h = current.cy > height ? current.cy : height;
    if (w == current.cx && h == current.cy) return;
    width = w;
    height = h;
  }
  CreateSurface(nullptr, nullptr, width, height, &scratch);
}

RECT WorkArea() {
  RECT result = {0, 0, 0, 0};
  RECT* block = static_cast<RECT*>(AllocScratch(sizeof(RECT)));
  if (!block) return result;
  if (dll::SystemParametersInfoA(kGetWorkArea, 0, block, 0)) {
    result = {block->left, block->top, block->right - block->left, block->bottom - block->top};
  }
  FreeScratch(block);
  return result;
}

bool TrackMouseLeave(HWND window, DWORD flags) {
  TRACKMOUSEEVENT* record = static_cast<TRACKMOUSEEVENT*>(AllocScratch(sizeof(TRACKMOUSEEVENT)));
  if (!record) return false;
  record->cbSize = sizeof(TRACKMOUSEEVENT);
  record->dwFlags = flags;
  record->hwndTrack = window;
  record->dwHoverTime = 0;
  bool ok = dll::TrackMouseEvent(record) != 0;
  FreeScratch(record);
  return ok;
}

void FocusWindow(HWND window) {
  HWND focus = dll::GetFocus();
  if (focus == window) return;
  if (focus) dll::SendMessageW(focus, WM_KILLFOCUS, 0, 0);
  dll::SetFocus(window);
}

HICON WindowIcon(HWND window, bool big) {
  HICON icon = reinterpret_cast<HICON>(dll::SendMessageW(window, WM_GETICON, big ? ICON_BIG : ICON_SMALL, 0));
  if (icon) return icon;
#if defined(_WIN64)
  return reinterpret_cast<HICON>(dll::GetClassHandleA(window, big ? GCLP_HICON : GCLP_HICONSM));
#else
  return reinterpret_cast<HICON>(dll::GetClassHandleA(window, big ? GCL_HICON : GCL_HICONSM));
#endif
}

Text WindowTitle(HWND window) {
  wchar_t* block = static_cast<wchar_t*>(AllocScratch(kWindowTitleChars * sizeof(wchar_t)));
  if (!block) return Text();
  int count = dll::GetWindowTextW(window, block, kWindowTitleChars);
  Text title = FromWideChars(block, count);
  FreeScratch(block);
  return title;
}

}  // namespace quillet
