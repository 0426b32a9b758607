// An accessibility client in a process of its own, the way a screen reader
// meets the real widget: it reads the window's MSAA tree, presses "获取" by its
// default action, listens to the widget's WinEvents, moves the focus with a
// real Tab, reads the edit menu a real right-click opens, and closes the
// widget by the close button's default action. Run by widget_e2e.py
// (scenario "accessibility"), which serves the sentence and holds its reply
// until this client creates the release file.
// Usage: quillet_msaa_client --expect-utf16 HEX --requests FILE --release FILE
#include <windows.h>
#include <ole2.h>
#include <oleacc.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/accessible_reading.h"
#include "support/xdotool.h"

namespace {

using quillet::testing_support::Child;
using quillet::testing_support::PumpFor;
using quillet::testing_support::RunXdotool;
using quillet::testing_support::ScreenAt;
using quillet::testing_support::TakeBstr;

// Defined here: MinGW's import library exports a code thunk under this name.
const IID kIidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr int kWaitMs = 30000;
constexpr int kXdotoolMs = 20000;
constexpr int kSettleMs = 1500;
constexpr int kQuietMs = 1000;

int g_failures = 0;

bool Check(bool ok, const std::string& what, const std::string& detail = std::string()) {
  std::printf("%s%s%s\n", ok ? "ok   " : "FAIL ", what.c_str(), (!ok && !detail.empty()) ? ("  -- " + detail).c_str() : "");
  std::fflush(stdout);
  if (!ok) ++g_failures;
  return ok;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring FromHexUtf16(const std::string& hex) {
  std::wstring out;
  for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
    const unsigned low = std::stoul(hex.substr(i, 2), nullptr, 16);
    const unsigned high = std::stoul(hex.substr(i + 2, 2), nullptr, 16);
    out += static_cast<wchar_t>(low | (high << 8));
  }
  return out;
}

struct WinEvent {
  DWORD event;
  HWND window;
  LONG object;
  LONG child;
};
std::vector<WinEvent> g_events;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
  g_events.push_back(WinEvent{event, window, object, child});
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    PumpFor(10);
  }
  return true;
}

bool SawEvent(DWORD event, HWND window, LONG object, LONG child) {
  for (const WinEvent& e : g_events) {
    if (e.event == event && (window == nullptr || e.window == window) && e.object == object && e.child == child) {
      return true;
    }
  }
  return false;
}

HWND FirstEventWindow(DWORD event) {
  for (const WinEvent& e : g_events) {
    if (e.event == event) return e.window;
  }
  return nullptr;
}

struct Node {
  LONG id = 0;
  LONG role = 0;
  std::wstring name;
  LONG state = 0;
  std::wstring action;
  std::wstring shortcut;
  RECT rect = {};
};

Node Read(IAccessible* object, LONG id) {
  Node node;
  node.id = id;
  VARIANT child = Child(id);
  VARIANT out;
  VariantInit(&out);
  if (object->get_accRole(child, &out) == S_OK && out.vt == VT_I4) node.role = out.lVal;
  VariantInit(&out);
  if (object->get_accState(child, &out) == S_OK && out.vt == VT_I4) node.state = out.lVal;
  BSTR text = nullptr;
  object->get_accName(child, &text);
  node.name = TakeBstr(text);
  text = nullptr;
  object->get_accDefaultAction(child, &text);
  node.action = TakeBstr(text);
  text = nullptr;
  object->get_accKeyboardShortcut(child, &text);
  node.shortcut = TakeBstr(text);
  long left = 0, top = 0, width = 0, height = 0;
  object->accLocation(&left, &top, &width, &height, child);
  node.rect = RECT{left, top, left + width, top + height};
  return node;
}

std::vector<Node> ReadChildren(IAccessible* object) {
  long count = 0;
  object->get_accChildCount(&count);
  std::vector<Node> nodes;
  for (LONG id = 1; id <= count; ++id) nodes.push_back(Read(object, id));
  for (const Node& n : nodes) {
    std::printf("  child %ld: role %ld name \"%s\" state 0x%lx action \"%s\" shortcut \"%s\" at %ld,%ld %ldx%ld\n",
                n.id, n.role, Utf8(n.name).c_str(), n.state, Utf8(n.action).c_str(), Utf8(n.shortcut).c_str(),
                n.rect.left, n.rect.top, n.rect.right - n.rect.left, n.rect.bottom - n.rect.top);
  }
  std::fflush(stdout);
  return nodes;
}

const Node* Find(const std::vector<Node>& nodes, LONG role, const std::wstring& name) {
  for (const Node& n : nodes) {
    if (n.role == role && n.name == name) return &n;
  }
  return nullptr;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

int ReadCount(const std::wstring& path) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (f == nullptr) return 0;
  int count = 0;
  if (std::fscanf(f, "%d", &count) != 1) count = 0;
  std::fclose(f);
  return count;
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const wchar_t* units = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = units;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

std::wstring Argument(int argc, wchar_t** argv, const wchar_t* name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wstring(argv[i]) == name) return argv[i + 1];
  }
  return std::wstring();
}

// Client rectangle of the widget in screen coordinates offset by a control's place.
RECT At(const RECT& window, int x, int y, int width, int height) {
  return RECT{window.left + x, window.top + y, window.left + x + width, window.top + y + height};
}

int Run(int argc, wchar_t** argv) {
  const std::wstring expected = FromHexUtf16(Utf8(Argument(argc, argv, L"--expect-utf16")));
  const std::wstring requests_file = Argument(argc, argv, L"--requests");
  const std::wstring release_file = Argument(argc, argv, L"--release");
  if (expected.empty() || requests_file.empty() || release_file.empty()) {
    std::fprintf(stderr, "usage: quillet_msaa_client --expect-utf16 HEX --requests FILE --release FILE\n");
    return 2;
  }

  HWND widget = nullptr;
  PumpUntil([&] { return (widget = FindWindowW(nullptr, L"Quillet")) != nullptr && IsWindowVisible(widget); },
            kWaitMs);
  if (!Check(widget != nullptr, "the widget window \"Quillet\" is found")) return 1;
  PumpFor(kSettleMs);  // the first show animation
  DWORD pid = 0;
  GetWindowThreadProcessId(widget, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, OnWinEvent, pid, 0, WINEVENT_OUTOFCONTEXT);
  Check(hook != nullptr, "a WinEvent hook on the widget's process");

  IAccessible* client = nullptr;
  HRESULT hr = AccessibleObjectFromWindow(widget, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                          reinterpret_cast<void**>(&client));
  if (!Check(hr == S_OK && client != nullptr, "AccessibleObjectFromWindow(OBJID_CLIENT) answers an object")) return 1;

  // ---- The tree ----
  const Node self = Read(client, CHILDID_SELF);
  Check(self.role == ROLE_SYSTEM_CLIENT, "the window's object is a client", std::to_string(self.role));
  Check(self.name == L"Quillet", "the client is named \"Quillet\"", Utf8(self.name));
  RECT window = {};
  GetWindowRect(widget, &window);
  Check(SameRect(self.rect, window), "the client covers the window", RectText(self.rect));
  const std::vector<Node> tree = ReadChildren(client);
  const std::vector<std::pair<LONG, std::wstring>> expected_tree = {
      {ROLE_SYSTEM_GRAPHIC, L""},        {ROLE_SYSTEM_STATICTEXT, L"Quillet"}, {ROLE_SYSTEM_PUSHBUTTON, L"关闭"},
      {ROLE_SYSTEM_PUSHBUTTON, L"最小化"}, {ROLE_SYSTEM_STATICTEXT, L"你好"},    {ROLE_SYSTEM_STATICTEXT, L""},
      {ROLE_SYSTEM_PUSHBUTTON, L"获取"}};
  bool tree_matches = tree.size() == expected_tree.size();
  for (size_t i = 0; tree_matches && i < tree.size(); ++i) {
    tree_matches = tree[i].role == expected_tree[i].first && tree[i].name == expected_tree[i].second;
  }
  Check(tree_matches, "children in list order: icon, title, close, minimise, sentence, source line, fetch button");
  if (!tree_matches) return 1;
  const Node& close = tree[2];
  const Node& minimize = tree[3];
  const Node& label = tree[4];
  const Node& button = tree[6];
  Check(button.action == L"按下" && close.action == L"按下" && minimize.action == L"按下",
        "the buttons' default action is \"press\" (U+6309 U+4E0B)");
  Check(label.action.empty(), "the sentence has no default action");
  Check((button.state & STATE_SYSTEM_FOCUSABLE) && !(button.state & STATE_SYSTEM_UNAVAILABLE),
        "the fetch button is focusable and available");
  Check(!(close.state & STATE_SYSTEM_FOCUSABLE), "the title-bar buttons never take the focus");
  Check(label.state & STATE_SYSTEM_READONLY, "the sentence is read-only text");
  Check(SameRect(label.rect, At(window, 8, 88, 376, 88)), "the sentence's location on screen", RectText(label.rect));
  Check(SameRect(button.rect, At(window, 248, 168, 112, 40)), "the fetch button's location on screen", RectText(button.rect));
  Check(SameRect(close.rect, At(window, 335, 7, 39, 19)), "the close button's location on screen", RectText(close.rect));

  // Hit testing, from this process through the system and directly.
  const POINT centre = {(button.rect.left + button.rect.right) / 2, (button.rect.top + button.rect.bottom) / 2};
  IAccessible* at_point = nullptr;
  VARIANT found;
  VariantInit(&found);
  hr = AccessibleObjectFromPoint(centre, &at_point, &found);
  BSTR text = nullptr;
  if (hr == S_OK && at_point != nullptr) at_point->get_accName(found, &text);
  Check(hr == S_OK && TakeBstr(text) == L"获取", "AccessibleObjectFromPoint at the fetch button names it");
  if (at_point != nullptr) at_point->Release();
  VariantInit(&found);
  hr = client->accHitTest(window.left + 200, window.top + 60, &found);
  Check(hr == S_OK && found.vt == VT_I4 && found.lVal == CHILDID_SELF, "a point on no control hits the client");
  VARIANT next;
  VariantInit(&next);
  hr = client->accNavigate(NAVDIR_NEXT, Child(label.id), &next);
  Check(hr == S_OK && next.vt == VT_I4 && next.lVal == label.id + 1, "the source line follows the sentence");
  VariantInit(&next);
  hr = client->accNavigate(NAVDIR_LASTCHILD, Child(CHILDID_SELF), &next);
  Check(hr == S_OK && next.vt == VT_I4 && next.lVal == button.id, "the button is the last child");
  VariantInit(&next);
  hr = client->accNavigate(NAVDIR_LEFT, Child(button.id), &next);
  Check(hr == S_OK && next.vt == VT_I4 && next.lVal == label.id + 1, "left of the button is the source line");

  // ---- 获取 by its default action: one request, then the new name ----
  g_events.clear();
  hr = client->accDoDefaultAction(Child(button.id));
  Check(hr == S_OK, "accDoDefaultAction on the fetch button answers S_OK");
  Check(PumpUntil([&] { return ReadCount(requests_file) >= 1; }, kWaitMs), "the press reaches the service");
  // The service holds its reply until the release file exists: the call has
  // long returned while the fetch is still open.
  text = nullptr;
  client->get_accName(Child(label.id), &text);
  Check(TakeBstr(text) == L"你好", "the sentence is unchanged while the reply is held");
  if (FILE* f = _wfopen(release_file.c_str(), L"wb")) std::fclose(f);
  const bool renamed = PumpUntil(
      [&] { return SawEvent(EVENT_OBJECT_NAMECHANGE, widget, OBJID_CLIENT, label.id); }, kWaitMs);
  Check(renamed, "EVENT_OBJECT_NAMECHANGE arrives for the sentence");
  text = nullptr;
  client->get_accName(Child(label.id), &text);
  const std::wstring shown = TakeBstr(text);
  Check(shown == expected, "the sentence's new name is the served sentence, UTF-16 byte for byte",
        Utf8(shown) + " vs " + Utf8(expected));
  PumpFor(kQuietMs);
  Check(ReadCount(requests_file) == 1, "one press made one request", std::to_string(ReadCount(requests_file)));

  // ---- Tab with the real keyboard moves the focus to the button ----
  g_events.clear();
  RunXdotool(L"mousemove " + ScreenAt(window.left + 200, window.top + 60) + L" key Tab", kXdotoolMs);
  Check(PumpUntil([&] { return SawEvent(EVENT_OBJECT_FOCUS, widget, OBJID_CLIENT, button.id); }, kWaitMs),
        "Tab raises EVENT_OBJECT_FOCUS for the fetch button");
  VARIANT focus;
  VariantInit(&focus);
  hr = client->get_accFocus(&focus);
  Check(hr == S_OK && focus.vt == VT_I4 && focus.lVal == button.id, "get_accFocus names the fetch button");
  Check(Read(client, button.id).state & STATE_SYSTEM_FOCUSED, "the fetch button is focused");

  // ---- A real right-click on the sentence opens the edit menu ----
  g_events.clear();
  RunXdotool(L"mousemove " + ScreenAt((label.rect.left + label.rect.right) / 2, label.rect.top + 20) + L" click 3",
             kXdotoolMs);
  Check(PumpUntil([&] { return FirstEventWindow(EVENT_SYSTEM_MENUPOPUPSTART) != nullptr; }, kWaitMs),
        "EVENT_SYSTEM_MENUPOPUPSTART arrives");
  HWND menu_window = FirstEventWindow(EVENT_SYSTEM_MENUPOPUPSTART);
  IAccessible* menu = nullptr;
  if (menu_window != nullptr) {
    AccessibleObjectFromWindow(menu_window, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                               reinterpret_cast<void**>(&menu));
  }
  if (Check(menu != nullptr, "the menu window answers an object")) {
    Check(Read(menu, CHILDID_SELF).role == ROLE_SYSTEM_MENUPOPUP, "the menu is a menu popup");
    const std::vector<Node> items = ReadChildren(menu);
    const std::vector<std::pair<std::wstring, bool>> expected_items = {
        {L"剪切", false}, {L"复制", true}, {L"粘贴", false}, {L"", false}, {L"全部选择", false}};
    bool items_match = items.size() == expected_items.size();
    for (size_t i = 0; items_match && i < items.size(); ++i) {
      const bool separator = expected_items[i].first.empty();
      items_match = items[i].role == (separator ? ROLE_SYSTEM_SEPARATOR : ROLE_SYSTEM_MENUITEM) &&
                    items[i].name == expected_items[i].first &&
                    (separator || ((items[i].state & STATE_SYSTEM_UNAVAILABLE) == 0) == expected_items[i].second);
    }
    Check(items_match, "items cut, copy, paste, separator, select all; only copy available");
    if (items_match) {
      Check(items[1].action == L"执行" && items[1].shortcut == L"C", "copy's default action is \"execute\" (U+6267 U+884C), shortcut C");
      RECT menu_rect = {};
      GetWindowRect(menu_window, &menu_rect);
      Check(items[1].rect.left >= menu_rect.left && items[1].rect.right <= menu_rect.right &&
                items[1].rect.top >= menu_rect.top && items[1].rect.bottom <= menu_rect.bottom,
            "the copy item lies inside the menu window", RectText(items[1].rect));
      Check(menu->accDoDefaultAction(Child(items[0].id)) == E_FAIL, "a disabled item's default action fails");
      Check(menu->accDoDefaultAction(Child(items[1].id)) == S_OK, "the copy item's default action answers S_OK");
      Check(PumpUntil([&] { return SawEvent(EVENT_SYSTEM_MENUPOPUPEND, menu_window, OBJID_CLIENT, CHILDID_SELF); },
                      kWaitMs),
            "EVENT_SYSTEM_MENUPOPUPEND arrives");
      PumpUntil([&] { return ClipboardText() == expected; }, kWaitMs);
      Check(ClipboardText() == expected, "the copy item put the sentence on the clipboard");
    }
    long count = 0;
    PumpUntil([&] { return !IsWindow(menu_window); }, kWaitMs);
    Check(FAILED(menu->get_accChildCount(&count)), "the closed menu's object answers an error");
    menu->Release();
  }

  // ---- 关闭 by its default action ends the widget ----
  hr = client->accDoDefaultAction(Child(close.id));
  Check(hr == S_OK, "accDoDefaultAction on the close button answers S_OK");
  DWORD exit_code = STILL_ACTIVE;
  if (process != nullptr) {
    // Messages keep flowing meanwhile: the hook's events are delivered here.
    PumpUntil([&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, kWaitMs);
    GetExitCodeProcess(process, &exit_code);
    CloseHandle(process);
  }
  Check(exit_code == 0, "the widget ends with exit code 0", std::to_string(exit_code));
  text = nullptr;
  hr = client->get_accName(Child(CHILDID_SELF), &text);
  SysFreeString(text);
  Check(FAILED(hr), "the object held past the window's end answers an error");
  client->Release();
  if (hook != nullptr) UnhookWinEvent(hook);
  std::printf("%d failure(s)\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitialize(nullptr);
  const int result = Run(argc, argv);
  CoUninitialize();
  return result;
}
