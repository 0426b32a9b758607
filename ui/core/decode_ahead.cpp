#include "ui/core/decode_ahead.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "ui/core/drawing.h"

namespace quillet {
namespace {

struct Decoding {
  ByteSet bytes;
  bool add_png_signature = false;
  HANDLE thread = nullptr;
  GpImage* image = nullptr;  // written by the worker before it ends
};

SRWLOCK g_lock = SRWLOCK_INIT;
std::vector<std::unique_ptr<Decoding>>& Decodings() {
  static std::vector<std::unique_ptr<Decoding>> decodings;
  return decodings;
}
std::atomic<int> g_pending{0};  // lets ImageFromBytes skip the lock when nothing is ahead

bool SameBytes(const ByteSet& copy, const ByteSetBlock* data) {
  const size_t length = ByteSetLength(data);
  return copy.size() == length && std::memcmp(copy.data(), ByteSetData(data), length) == 0;
}

DWORD WINAPI DecodeOnWorker(void* parameter) {
  auto* decoding = static_cast<Decoding*>(parameter);
  decoding->image = DecodeImageBytes(decoding->bytes.get(), decoding->add_png_signature);
  return 0;
}

}  // namespace

void DecodeAhead(const ByteSetBlock* data, bool add_png_signature) {
  if (ByteSetLength(data) == 0) return;
  AcquireSRWLockExclusive(&g_lock);
  auto& decodings = Decodings();
  const bool already = std::any_of(decodings.begin(), decodings.end(), [&](const std::unique_ptr<Decoding>& d) {
    return d->add_png_signature == add_png_signature && SameBytes(d->bytes, data);
  });
  if (!already) {
    auto decoding = std::make_unique<Decoding>();
    decoding->bytes = ByteSet(ByteSetData(data), ByteSetLength(data));
    decoding->add_png_signature = add_png_signature;
    decoding->thread = CreateThread(nullptr, 0, DecodeOnWorker, decoding.get(), 0, nullptr);
    if (decoding->thread != nullptr) {
      decodings.push_back(std::move(decoding));
      g_pending.fetch_add(1);
    }
  }
  ReleaseSRWLockExclusive(&g_lock);
}

bool TakeDecodedAhead(const ByteSetBlock* data, bool add_png_signature, GpImage** image) {
  if (g_pending.load() == 0) return false;
  std::unique_ptr<Decoding> taken;
  AcquireSRWLockExclusive(&g_lock);
  auto& decodings = Decodings();
  const auto found = std::find_if(decodings.begin(), decodings.end(), [&](const std::unique_ptr<Decoding>& d) {
    return d->add_png_signature == add_png_signature && SameBytes(d->bytes, data);
  });
  if (found != decodings.end()) {
    taken = std::move(*found);
    decodings.erase(found);
    g_pending.fetch_sub(1);
  }
  ReleaseSRWLockExclusive(&g_lock);
  if (!taken) return false;
  // Outside the lock: another picture may be asked for meanwhile.
  WaitForSingleObject(taken->thread, INFINITE);
  CloseHandle(taken->thread);
  *image = taken->image;
  return true;
}

int DecodingsAhead() { return g_pending.load(); }

}  // namespace quillet
