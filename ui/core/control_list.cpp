#include "ui/core/control_list.h"

namespace quillet {

void ControlList::Append(ControlRef control, LinksOf links) {
  SiblingLinks& own = links(control);
  own.previous = last_;
  own.next = kNoControl;
  if (last_ == kNoControl) {
    first_ = control;
  } else {
    links(last_).next = control;
  }
  last_ = control;
}

void ControlList::Prepend(ControlRef control, LinksOf links) {
  if (first_ == kNoControl) {
    Append(control, links);
    return;
  }
  SiblingLinks& own = links(control);
  links(first_).previous = control;
  own.previous = kNoControl;
  own.next = first_;
  first_ = control;
}

void ControlList::Remove(ControlRef control, LinksOf links) {
  SiblingLinks& own = links(control);
  if (first_ == control) first_ = own.next;
  if (last_ == control) last_ = own.previous;
  if (own.previous != kNoControl) links(own.previous).next = own.next;
  if (own.next != kNoControl) links(own.next).previous = own.previous;
  own = SiblingLinks();
}

bool ControlList::Contains(ControlRef control, LinksOf links) const {
  for (ControlRef c = first_; c != kNoControl; c = links(c).next) {
    if (c == control) return true;
  }
  return false;
}

}  // namespace quillet
