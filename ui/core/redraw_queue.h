// Pending partial redraws of a host window, flushed in one go with a single
// presentation of a layered window per flush.
#pragma once
#include <windows.h>

#include <deque>

#include "ui/core/gdiplus_types.h"

namespace quillet {

class HostWindow;

class RedrawQueue {
 public:
  struct Entry {
    GpRectF rect;
    int kind;
  };

  RedrawQueue() = default;
  virtual ~RedrawQueue() = default;
  RedrawQueue(const RedrawQueue&) = delete;
  RedrawQueue& operator=(const RedrawQueue&) = delete;

  virtual void Bind(HWND window, HostWindow* host, GpGraphics* graphics);
  virtual void Clear();
  // kRedrawAppend appends, kRedrawNow redraws and presents at once,
  // kRedrawFirst puts the rectangle first; then flushes unless a flush is
  // already running.
  virtual void Add(const GpRectF& rect, int kind);
  virtual bool IsIdle() const { return !flushing_; }
  virtual void Flush();

  size_t PendingCount() const { return entries_.size(); }

 private:
  HWND window_ = nullptr;
  HostWindow* host_ = nullptr;
  GpGraphics* graphics_ = nullptr;
  std::deque<Entry> entries_;
  bool flushing_ = false;
};

}  // namespace quillet
