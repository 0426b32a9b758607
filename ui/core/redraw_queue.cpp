#include "ui/core/redraw_queue.h"

#include "runtime/program_dll_commands.h"
#include "ui/core/drawing.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

void RedrawQueue::Bind(HWND window, HostWindow* host, GpGraphics* graphics) {
  window_ = window;
  host_ = host;
  graphics_ = graphics;
}

void RedrawQueue::Clear() {
  entries_.clear();
  flush_posted_ = false;
  window_ = nullptr;
  host_ = nullptr;
  graphics_ = nullptr;
}

void RedrawQueue::Add(const GpRectF& rect, int kind) {
  if (!host_) return;
  if (kind == kRedrawNow && flushing_) {
    // Inside a flush: the caller wants it on screen now, not after the queue.
    host_->RedrawRect(rect, true);
    return;
  }
  if (kind == kRedrawAppend) {
    entries_.push_back(Entry{rect, kind});
    if (batch_depth_ > 0) {
      EnsureFlushPosted();
      return;
    }
  } else {
    entries_.push_front(Entry{rect, kind});
  }
  if (!flushing_) Flush();
}

void RedrawQueue::EnsureFlushPosted() {
  if (!flush_posted_ && window_) flush_posted_ = dll::PostMessageW(window_, kHostFlushRedrawsMessage, 0, 0) != FALSE;
}

void RedrawQueue::EndBatch(bool more_input_waiting) {
  if (batch_depth_ > 0) --batch_depth_;
  if (batch_depth_ > 0 || flushing_ || !host_) return;
  if (entries_.empty() && !host_->HasDeferredPaints()) return;
  // Without a posted flush nothing else would present the batch.
  if (!more_input_waiting || !flush_posted_) Flush();
}

void RedrawQueue::OnPostedFlush() {
  flush_posted_ = false;
  if (!flushing_) Flush();
}

void RedrawQueue::Flush() {
  if (!host_) return;
  flushing_ = true;
  // Controls whose look changed during the batch paint now; their requests
  // join the queue drained below.
  host_->PaintDeferredControls();
  const bool present_each = host_->WindowAlpha() == kNoAlpha;
  bool redrew = false;
  GpRectF dirty = {0, 0, 0, 0};
  while (!entries_.empty()) {
    Entry entry = entries_.front();
    entries_.pop_front();
    host_->RedrawRect(entry.rect, present_each);
    dirty = redrew ? UnionOfRects(dirty, entry.rect) : entry.rect;
    redrew = true;
  }
  if (redrew && !present_each) {
    // Redrawn while busy: the window misses this part until the next whole push.
    if (host_->IsBusy()) host_->ForgetPresentedFrame();
    else host_->PresentDirty(dirty);
  }
  flushing_ = false;
}

}  // namespace quillet
