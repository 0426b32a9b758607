#include "support/window_template_builder.h"

#include <cstring>

namespace quillet::testing_support {
namespace {

void Word(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
void Text(std::string& out, const std::string& s) {
  uint16_t n = static_cast<uint16_t>(s.size());
  out.append(reinterpret_cast<const char*>(&n), 2);
  out += s;
}
void Events(std::string& out, const std::vector<EventSpec>& events) {
  Word(out, static_cast<uint32_t>(events.size()));
  for (const EventSpec& e : events) {
    Word(out, e.number);
    Word(out, static_cast<uint32_t>(e.offset));
  }
}

}  // namespace

std::string WindowTemplateBuilder::Bytes() const {
  std::string out = "QWT1";
  Word(out, static_cast<uint32_t>(windows_.size()));
  for (const WindowSpec& w : windows_) {
    Word(out, w.id);
    for (int32_t v : {w.left, w.top, w.width, w.height}) Word(out, static_cast<uint32_t>(v));
    Word(out, w.style);
    Word(out, w.extended_style);
    Word(out, w.flags);
    Text(out, w.name);
    Text(out, w.caption);
    Word(out, static_cast<uint32_t>(w.units.size()));
    for (const UnitSpec& u : w.units) {
      Word(out, u.id);
      Text(out, u.name);
      Text(out, u.class_name);
      Text(out, u.caption);
      for (int32_t v : {u.left, u.top, u.width, u.height}) Word(out, static_cast<uint32_t>(v));
      Word(out, u.style);
      Events(out, u.events);
    }
    Events(out, w.events);
  }
  return out;
}

int32_t EventOffset(void (*routine)(), int (*base)()) {
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(routine) - reinterpret_cast<intptr_t>(base));
}

}  // namespace quillet::testing_support
