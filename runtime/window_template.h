// Windows loaded from the program's window template.
//
// Serialised layout (little-endian, read from memory):
//   "QWT1", u32 window count, then per window:
//     u32 identifier, i32 left, top, width, height, u32 style, u32 extended style,
//     u32 flags (kWindowFlagVisible), text name, text caption,
//     u32 unit count, units, u32 event count, events
//   unit: u32 identifier, text name, text class name, text caption,
//         i32 left, top, width, height, u32 style, u32 event count, events
//   event: u32 event number, i32 handler offset from the start-up sub (-1: none)
//   text: u16 byte count, GBK bytes (no terminator)
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

constexpr char kWindowTemplateMagic[4] = {'Q', 'W', 'T', '1'};
// The program's icon resource: the template's windows and the toolkit's window class show it.
constexpr int kProgramIconId = 129;
constexpr uint32_t kWindowFlagVisible = 1;
constexpr int32_t kNoEventHandler = -1;
// The unit identifier that stands for the window itself.
constexpr uint32_t kUnitIsWindow = 0x06010000;
constexpr uint32_t kEventCreationCompleted = 0;
constexpr uint32_t kUnitEventClicked = 0;

using EventRoutine = void (*)();

struct TemplateEvent {
  uint32_t number = 0;
  EventRoutine routine = nullptr;  // null: no handler
};

struct TemplateUnit {
  uint32_t id = 0;
  std::string name;
  std::string class_name;
  std::string caption;
  int32_t left = 0, top = 0, width = 0, height = 0;
  uint32_t style = 0;
  std::vector<TemplateEvent> events;
};

struct TemplateWindow {
  uint32_t id = 0;
  int32_t left = 0, top = 0, width = 0, height = 0;
  uint32_t style = 0;
  uint32_t extended_style = 0;
  uint32_t flags = 0;
  std::string name;
  std::string caption;
  std::vector<TemplateUnit> units;
  std::vector<TemplateEvent> events;
};

// Parses the serialised template; handler offsets become base + offset.
// False when the data is malformed (nothing is kept then).
bool ParseWindowTemplate(const void* data, size_t length, uintptr_t handler_base, std::vector<TemplateWindow>* out);

// Initialisation step: reads the template into the runtime's list of windows,
// or reports "载入窗口模板数据段出错!" (does not return then).
void ReadWindowTemplate(const void* data, size_t length, uintptr_t handler_base);
const std::vector<TemplateWindow>& TemplateWindows();

// The service table's load_window entry: creates the window and its units, runs its creation-completed
// event, then shows it when the template says visible. Reports "载入启动窗口失败"
// with the identifier as location when it cannot be found or created.
void LoadWindow(uint32_t window_id);

// The platform handle of a loaded window (unit kUnitIsWindow) or unit; null
// when it is not loaded.
HWND LoadedUnitHandle(uint32_t window_id, uint32_t unit_id);
// True while at least one loaded window still exists.
bool AnyLoadedWindowExists();
// Destroys the loaded windows that still exist and empties the list.
void ReleaseLoadedWindows();

struct WindowUnitNames {
  bool window_found = false;
  std::string window_name;
  bool unit_found = false;
  std::string unit_name;
};

// Names for the error box: the window `window_id` and its unit `position`
// (its first unit when position is 0).
WindowUnitNames LookUpWindowUnitNames(uint32_t window_id, uint32_t position);

}  // namespace quillet
