// Builds serialised window templates (layout in runtime/window_template.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quillet::testing_support {

struct EventSpec {
  uint32_t number;
  int32_t offset;  // from the start-up sub; -1: no handler
};

struct UnitSpec {
  uint32_t id;
  std::string name, class_name, caption;
  int32_t left, top, width, height;
  uint32_t style;
  std::vector<EventSpec> events;
};

struct WindowSpec {
  uint32_t id;
  int32_t left, top, width, height;
  uint32_t style, extended_style, flags;
  std::string name, caption;
  std::vector<UnitSpec> units;
  std::vector<EventSpec> events;
};

class WindowTemplateBuilder {
 public:
  WindowTemplateBuilder& Add(const WindowSpec& window) {
    windows_.push_back(window);
    return *this;
  }
  std::string Bytes() const;

 private:
  std::vector<WindowSpec> windows_;
};

// Offset of `routine` from `base`, as a template stores it.
int32_t EventOffset(void (*routine)(), int (*base)());

}  // namespace quillet::testing_support
