// Windows loaded from the program's window template.
#pragma once
#include <cstdint>
#include <string>

namespace quillet {

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
