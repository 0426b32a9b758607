// An ordered list of sibling controls (a host's top-level controls or one
// control's children), first drawn first. The list owns its two ends and
// every insertion and removal; the links between neighbours live in the
// controls, which hand them over through a LinksOf function.
#pragma once
#include "ui/core/hosted_control.h"

namespace quillet {

struct SiblingLinks {
  ControlRef previous = kNoControl;
  ControlRef next = kNoControl;
};

class ControlList {
 public:
  using LinksOf = SiblingLinks& (*)(ControlRef control);

  ControlRef First() const { return first_; }
  ControlRef Last() const { return last_; }
  bool Empty() const { return first_ == kNoControl; }

  // At the end: drawn last, hit first.
  void Append(ControlRef control, LinksOf links);
  // At the start: drawn first, under the others.
  void Prepend(ControlRef control, LinksOf links);
  // Takes a listed control out and clears its links.
  void Remove(ControlRef control, LinksOf links);
  bool Contains(ControlRef control, LinksOf links) const;
  // Forgets every control without touching their links.
  void Clear() { first_ = last_ = kNoControl; }

 private:
  ControlRef first_ = kNoControl;
  ControlRef last_ = kNoControl;
};

}  // namespace quillet
