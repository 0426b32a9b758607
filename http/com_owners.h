// Owners for COM resources: an interface reference, a VARIANT, the strings an
// invocation's exception record may carry, and the calling thread's place in
// a single-threaded apartment. Each gives back what it holds exactly once.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <utility>

namespace quillet {

// One counted reference to a COM interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopt) : p_(adopt) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    Reset(other.Detach());
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Releases the reference held and keeps `adopt`, whose reference it takes over.
  void Reset(T* adopt = nullptr) {
    T* old = std::exchange(p_, adopt);
    if (old != nullptr) old->Release();
  }
  // Hands the reference over to the caller; nothing is released.
  T* Detach() { return std::exchange(p_, nullptr); }
  // For an out-parameter: releases what was held, then lends the slot.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  bool empty() const { return p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// One VARIANT, VT_EMPTY at first, cleared when it goes.
class ScopedVariant {
 public:
  ScopedVariant();
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant();

  void Clear();  // VariantClear
  // Takes the contents of `other` and leaves it VT_EMPTY; what this held is cleared.
  void TakeFrom(ScopedVariant& other);
  // Hands the contents over; this is left VT_EMPTY, so they are not cleared here.
  VARIANT Detach();

  VARIANT* get() { return &value_; }
  const VARIANT* get() const { return &value_; }
  VARIANT& operator*() { return value_; }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

// The exception record IDispatch::Invoke may fill in; its strings are freed with it.
class ScopedExceptionInfo {
 public:
  ScopedExceptionInfo() = default;
  ScopedExceptionInfo(const ScopedExceptionInfo&) = delete;
  ScopedExceptionInfo& operator=(const ScopedExceptionInfo&) = delete;
  ~ScopedExceptionInfo();

  EXCEPINFO* get() { return &info_; }

 private:
  EXCEPINFO info_{};
};

// Joins the calling thread to a single-threaded COM apartment for a scope.
// A thread that is already in the multithreaded apartment stays there:
// CoInitialize then answers RPC_E_CHANGED_MODE, and uninitialising would take
// the caller's own apartment down, so only a successful join is undone.
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
