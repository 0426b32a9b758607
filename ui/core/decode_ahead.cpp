#include "ui/core/decode_ahead.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/runtime_state.h"
#include "ui/core/drawing.h"

namespace quillet {
namespace {

struct Decoding {
  ByteSet bytes;
  bool add_png_signature = false;
  bool started = false;
  bool done = false;
  GpImage* image = nullptr;  // written by the worker before `done`
};

// One worker decodes the requests in turn: two first decodings at once gain
// little on two cores and race each other through the codecs' first load.
struct DecodeQueue {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE finished = CONDITION_VARIABLE_INIT;
  std::vector<std::unique_ptr<Decoding>> decodings;  // asked for, not yet taken
  bool worker_running = false;
  std::vector<HANDLE> workers;  // every worker started and not yet joined

  // A worker still decoding when the process ends would be killed inside the
  // codecs or the loader, and the end of the process could then hang on a
  // lock it held: the process waits for it instead.
  ~DecodeQueue() { JoinWorkers(); }

  void JoinWorkers() {
    AcquireSRWLockExclusive(&lock);
    std::vector<HANDLE> joined;
    joined.swap(workers);
    ReleaseSRWLockExclusive(&lock);
    for (HANDLE worker : joined) {
      WaitForSingleObject(worker, INFINITE);
      CloseHandle(worker);
    }
  }

  // Under the lock: forgets workers that have ended.
  void CloseEndedWorkers() {
    workers.erase(std::remove_if(workers.begin(), workers.end(),
                                 [](HANDLE worker) {
                                   if (WaitForSingleObject(worker, 0) != WAIT_OBJECT_0) return false;
                                   CloseHandle(worker);
                                   return true;
                                 }),
                  workers.end());
  }

  Decoding* Find(const ByteSetBlock* data, bool add_png_signature) {
    const size_t length = ByteSetLength(data);
    for (const std::unique_ptr<Decoding>& d : decodings) {
      if (d->add_png_signature == add_png_signature && d->bytes.size() == length &&
          std::memcmp(d->bytes.data(), ByteSetData(data), length) == 0) {
        return d.get();
      }
    }
    return nullptr;
  }
};

DecodeQueue& Queue() {
  static DecodeQueue queue;
  return queue;
}
std::atomic<int> g_pending{0};  // lets ImageFromBytes skip the lock when nothing is ahead

DWORD WINAPI DecodeOnWorker(void*) {
  DecodeQueue& queue = Queue();
  AcquireSRWLockExclusive(&queue.lock);
  for (;;) {
    const auto next = std::find_if(queue.decodings.begin(), queue.decodings.end(),
                                   [](const std::unique_ptr<Decoding>& d) { return !d->started; });
    if (next == queue.decodings.end()) break;
    Decoding* decoding = next->get();
    decoding->started = true;
    // The entry stays in the list (only a taker removes it, and only when done).
    ReleaseSRWLockExclusive(&queue.lock);
    GpImage* image = DecodeImageBytes(decoding->bytes.get(), decoding->add_png_signature);
    AcquireSRWLockExclusive(&queue.lock);
    decoding->image = image;
    decoding->done = true;
    WakeAllConditionVariable(&queue.finished);
  }
  queue.worker_running = false;
  ReleaseSRWLockExclusive(&queue.lock);
  ProgramThreadEnded();
  return 0;
}

}  // namespace

void DecodeAhead(const ByteSetBlock* data, bool add_png_signature) {
  if (ByteSetLength(data) == 0) return;
  DecodeQueue& queue = Queue();
  AcquireSRWLockExclusive(&queue.lock);
  if (queue.Find(data, add_png_signature) == nullptr) {
    queue.CloseEndedWorkers();
    bool queued = queue.worker_running;
    if (!queued) {
      // Counted among the program's threads: the runtime's shutdown waits for
      // it before it frees the DLLs it is decoding in.
      ProgramThreadStarted();
      HANDLE worker = CreateThread(nullptr, 0, DecodeOnWorker, nullptr, 0, nullptr);
      if (worker != nullptr) {
        queue.workers.push_back(worker);
        queue.worker_running = queued = true;
      } else {
        ProgramThreadEnded();
      }
    }
    // The worker waits for the lock, so it finds this entry.
    if (queued) {
      auto decoding = std::make_unique<Decoding>();
      decoding->bytes = ByteSet(ByteSetData(data), ByteSetLength(data));
      decoding->add_png_signature = add_png_signature;
      queue.decodings.push_back(std::move(decoding));
      g_pending.fetch_add(1);
    }
  }
  ReleaseSRWLockExclusive(&queue.lock);
}

bool TakeDecodedAhead(const ByteSetBlock* data, bool add_png_signature, GpImage** image) {
  if (g_pending.load() == 0) return false;
  DecodeQueue& queue = Queue();
  AcquireSRWLockExclusive(&queue.lock);
  Decoding* decoding = queue.Find(data, add_png_signature);
  if (decoding != nullptr) {
    while (!decoding->done) SleepConditionVariableSRW(&queue.finished, &queue.lock, INFINITE, 0);
    *image = decoding->image;
    queue.decodings.erase(std::find_if(queue.decodings.begin(), queue.decodings.end(),
                                       [&](const std::unique_ptr<Decoding>& d) { return d.get() == decoding; }));
    g_pending.fetch_sub(1);
  }
  ReleaseSRWLockExclusive(&queue.lock);
  return decoding != nullptr;
}

int DecodingsAhead() { return g_pending.load(); }

void FinishDecodingsAhead() {
  DecodeQueue& queue = Queue();
  queue.JoinWorkers();
  AcquireSRWLockExclusive(&queue.lock);
  std::vector<std::unique_ptr<Decoding>> left;
  left.swap(queue.decodings);
  g_pending.store(0);
  ReleaseSRWLockExclusive(&queue.lock);
  for (const std::unique_ptr<Decoding>& decoding : left) DisposeImage(decoding->image);
}

}  // namespace quillet
