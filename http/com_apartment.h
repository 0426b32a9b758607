// Joins the calling thread to a single-threaded COM apartment for a scope.
// A thread that is already in the multithreaded apartment stays there:
// CoInitialize then answers RPC_E_CHANGED_MODE, and uninitialising would take
// the caller's own apartment down, so only a successful join is undone.
#pragma once
#include <windows.h>

namespace quillet {

class ComApartment {
 public:
  ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment();

 private:
  bool joined_;
};

}  // namespace quillet
