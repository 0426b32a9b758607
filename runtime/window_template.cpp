#include "runtime/window_template.h"

#include <cstring>

#include "runtime/runtime_error.h"

namespace quillet {
namespace {

constexpr char kTemplateWindowClass[] = "QuilletTemplateWindow";

// Bounds-checked reader over the serialised bytes.
class Reader {
 public:
  Reader(const void* data, size_t length) : p_(static_cast<const unsigned char*>(data)), left_(data ? length : 0) {}
  bool U32(uint32_t* v) { return Bytes(v, 4); }
  bool I32(int32_t* v) { return Bytes(v, 4); }
  bool Str(std::string* s) {
    uint16_t n = 0;
    if (!Bytes(&n, 2) || n > left_) return false;
    s->assign(reinterpret_cast<const char*>(p_), n);
    Skip(n);
    return true;
  }
  bool Bytes(void* out, size_t n) {
    if (n > left_) return false;
    std::memcpy(out, p_, n);
    Skip(n);
    return true;
  }
  size_t left() const { return left_; }

 private:
  void Skip(size_t n) {
    p_ += n;
    left_ -= n;
  }
  const unsigned char* p_;
  size_t left_;
};

bool ReadEvents(Reader& r, uintptr_t base, std::vector<TemplateEvent>* events) {
  uint32_t count = 0;
  if (!r.U32(&count) || count > r.left() / 8) return false;
  for (uint32_t i = 0; i < count; ++i) {
    TemplateEvent e;
    int32_t offset = 0;
    if (!r.U32(&e.number) || !r.I32(&offset)) return false;
    if (offset != kNoEventHandler) {
      e.routine = reinterpret_cast<EventRoutine>(base + static_cast<uintptr_t>(static_cast<intptr_t>(offset)));
    }
    events->push_back(e);
  }
  return true;
}

bool ReadUnit(Reader& r, uintptr_t base, TemplateUnit* u) {
  return r.U32(&u->id) && r.Str(&u->name) && r.Str(&u->class_name) && r.Str(&u->caption) && r.I32(&u->left) &&
         r.I32(&u->top) && r.I32(&u->width) && r.I32(&u->height) && r.U32(&u->style) && ReadEvents(r, base, &u->events);
}

bool ReadWindow(Reader& r, uintptr_t base, TemplateWindow* w) {
  if (!(r.U32(&w->id) && r.I32(&w->left) && r.I32(&w->top) && r.I32(&w->width) && r.I32(&w->height) &&
        r.U32(&w->style) && r.U32(&w->extended_style) && r.U32(&w->flags) && r.Str(&w->name) && r.Str(&w->caption))) {
    return false;
  }
  uint32_t units = 0;
  if (!r.U32(&units) || units > r.left()) return false;
  w->units.resize(units);
  for (TemplateUnit& u : w->units) {
    if (!ReadUnit(r, base, &u)) return false;
  }
  return ReadEvents(r, base, &w->events);
}

struct LoadedWindow {
  const TemplateWindow* layout;
  HWND window;
  std::vector<HWND> units;  // parallel to layout->units
};

std::vector<TemplateWindow> g_windows;
std::vector<LoadedWindow> g_loaded;

void RunEvent(const std::vector<TemplateEvent>& events, uint32_t number) {
  for (const TemplateEvent& e : events) {
    if (e.number == number && e.routine != nullptr) e.routine();
  }
}

LRESULT CALLBACK TemplateWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
        for (const LoadedWindow& loaded : g_loaded) {
          if (loaded.window != window) continue;
          for (size_t i = 0; i < loaded.units.size(); ++i) {
            if (loaded.units[i] == reinterpret_cast<HWND>(lparam)) {
              RunEvent(loaded.layout->units[i].events, kUnitEventClicked);
            }
          }
        }
        return 0;
      }
      break;
    case WM_NCDESTROY: {
      bool any_left = false;
      for (LoadedWindow& loaded : g_loaded) {
        if (loaded.window == window) loaded.window = nullptr;
        if (loaded.window != nullptr) any_left = true;
      }
      // The last window gone ends the message loop.
      if (!any_left) PostQuitMessage(0);
      break;
    }
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// The program's icon at the size of one pair of system metrics; null when the
// module has none. Shared: the system owns it.
HICON ProgramIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kProgramIconId), IMAGE_ICON,
                                       GetSystemMetrics(width_metric), GetSystemMetrics(height_metric), LR_SHARED));
}

bool RegisterTemplateWindowClass(HINSTANCE instance) {
  WNDCLASSEXA existing = {};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExA(instance, kTemplateWindowClass, &existing)) return true;
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = TemplateWindowProc;
  window_class.hInstance = instance;
  // Big for the taskbar and Alt+Tab, small for the title bar.
  window_class.hIcon = ProgramIcon(instance, SM_CXICON, SM_CYICON);
  window_class.hIconSm = ProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kTemplateWindowClass;
  return RegisterClassExA(&window_class) != 0;
}

[[noreturn]] void ReportLoadFailure(uint32_t window_id) {
  ReportFatalMessage("载入启动窗口失败", static_cast<int32_t>(window_id), 0);
}

}  // namespace

bool ParseWindowTemplate(const void* data, size_t length, uintptr_t handler_base, std::vector<TemplateWindow>* out) {
  Reader r(data, length);
  char magic[4];
  uint32_t count = 0;
  if (!r.Bytes(magic, 4) || std::memcmp(magic, kWindowTemplateMagic, 4) != 0 || !r.U32(&count)) return false;
  if (count > r.left()) return false;
  std::vector<TemplateWindow> windows(count);
  for (TemplateWindow& w : windows) {
    if (!ReadWindow(r, handler_base, &w)) return false;
  }
  out->swap(windows);
  return true;
}

void ReadWindowTemplate(const void* data, size_t length, uintptr_t handler_base) {
  std::vector<TemplateWindow> windows;
  if (!ParseWindowTemplate(data, length, handler_base, &windows)) ReportFatalMessage("载入窗口模板数据段出错!");
  g_loaded.clear();
  g_windows.swap(windows);
}

const std::vector<TemplateWindow>& TemplateWindows() { return g_windows; }

void LoadWindow(uint32_t window_id) {
  const TemplateWindow* layout = nullptr;
  for (const TemplateWindow& w : g_windows) {
    if (w.id == window_id) layout = &w;
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (layout == nullptr || !RegisterTemplateWindowClass(instance)) ReportLoadFailure(window_id);

  // Created hidden: the creation-completed event runs before the first show.
  HWND window = CreateWindowExA(layout->extended_style, kTemplateWindowClass, layout->caption.c_str(),
                                layout->style & ~WS_VISIBLE, layout->left, layout->top, layout->width,
                                layout->height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) ReportLoadFailure(window_id);

  LoadedWindow loaded{layout, window, {}};
  for (const TemplateUnit& unit : layout->units) {
    HWND child = CreateWindowExA(0, unit.class_name.c_str(), unit.caption.c_str(), unit.style | WS_CHILD, unit.left,
                                 unit.top, unit.width, unit.height, window,
                                 reinterpret_cast<HMENU>(static_cast<uintptr_t>(unit.id & 0xFFFF)), instance, nullptr);
    if (child == nullptr) {
      DestroyWindow(window);
      ReportLoadFailure(window_id);
    }
    loaded.units.push_back(child);
  }
  g_loaded.push_back(loaded);

  RunEvent(layout->events, kEventCreationCompleted);
  if ((layout->flags & kWindowFlagVisible) != 0 && IsWindow(window)) ShowWindow(window, SW_SHOW);
}

HWND LoadedUnitHandle(uint32_t window_id, uint32_t unit_id) {
  for (const LoadedWindow& loaded : g_loaded) {
    if (loaded.layout->id != window_id || loaded.window == nullptr) continue;
    if (unit_id == kUnitIsWindow) return loaded.window;
    for (size_t i = 0; i < loaded.units.size(); ++i) {
      if (loaded.layout->units[i].id == unit_id) return loaded.units[i];
    }
  }
  return nullptr;
}

bool AnyLoadedWindowExists() {
  for (const LoadedWindow& loaded : g_loaded) {
    if (loaded.window != nullptr && IsWindow(loaded.window)) return true;
  }
  return false;
}

void ReleaseLoadedWindows() {
  std::vector<LoadedWindow> loaded;
  loaded.swap(g_loaded);
  for (const LoadedWindow& w : loaded) {
    if (w.window != nullptr && IsWindow(w.window)) DestroyWindow(w.window);
  }
}

WindowUnitNames LookUpWindowUnitNames(uint32_t window_id, uint32_t position) {
  WindowUnitNames names;
  for (const TemplateWindow& w : g_windows) {
    if (w.id != window_id) continue;
    names.window_found = true;
    names.window_name = w.name;
    for (const TemplateUnit& u : w.units) {
      if (position == 0 || u.id == position) {
        names.unit_found = true;
        names.unit_name = u.name;
        break;
      }
    }
    break;
  }
  return names;
}

}  // namespace quillet
