// Pending partial redraws of a host window, flushed in one go with a single
// presentation of a layered window per flush.
//
// Inside a batch (the host handling an input message, or a caller changing
// several controls at once) appended redraws wait for the end of it: the look
// changes one press makes reach the screen in one presentation, after the
// handler's own work such as a click starting a fetch. When more input is
// already waiting, the batch is left to a posted flush, so a press and its
// release are presented together. The posted flush also serves handlers that
// run a modal loop: the window is redrawn inside the loop instead of waiting
// for the handler to return.
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

  void BeginBatch() { ++batch_depth_; }
  bool InBatch() const { return batch_depth_ > 0; }
  // Posts the batch's flush unless it is already on its way.
  void EnsureFlushPosted();
  // more_input_waiting: another input message is queued behind this one.
  void EndBatch(bool more_input_waiting);
  // The flush posted for a batch arrived.
  void OnPostedFlush();

  size_t PendingCount() const { return entries_.size(); }

 private:
  HWND window_ = nullptr;
  HostWindow* host_ = nullptr;
  GpGraphics* graphics_ = nullptr;
  std::deque<Entry> entries_;
  bool flushing_ = false;
  int batch_depth_ = 0;
  bool flush_posted_ = false;
};


}  // namespace quillet
