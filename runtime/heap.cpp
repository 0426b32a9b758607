#include "runtime/heap.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "runtime/runtime_error.h"

namespace quillet {
namespace {

// Markers around the constant section; the linker sorts .rdata$ groups by name.
__attribute__((section(".rdata$quillet_a"), used)) const unsigned char kConstantSectionBegin[1] = {0};
__attribute__((section(".rdata$quillet_z"), used)) const unsigned char kConstantSectionEnd[1] = {0};

const unsigned char* g_constant_start = nullptr;
const unsigned char* g_constant_end = nullptr;

[[noreturn]] void ReportAllocationFailure(size_t size) {
  // Printed unsigned so a request of 2 GB or more is not shown as negative.
  char message[64];
  std::snprintf(message, sizeof message, "分配 %llu 字节内存失败!", static_cast<unsigned long long>(size));
  ReportFatalMessage(message);
}

}  // namespace

void* RtTryAlloc(size_t size) {
  // A zero-byte request still gets a real block so callers can tell it from failure.
  return HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
}

void* RtAlloc(size_t size) {
  void* block = RtTryAlloc(size);
  if (block == nullptr) ReportAllocationFailure(size);
  return block;
}

void* RtAllocZeroed(size_t size) {
  void* block = RtAlloc(size);
  std::memset(block, 0, size);
  return block;
}

void* RtRealloc(void* block, size_t size) {
  if (block == nullptr) return RtAlloc(size);
  if (IsInConstantRegion(block)) {
    auto* source = static_cast<const unsigned char*>(block);
    size_t available = static_cast<size_t>(g_constant_end - source);
    void* copy = RtAlloc(size);
    std::memcpy(copy, source, size < available ? size : available);
    return copy;
  }
  void* moved = HeapReAlloc(GetProcessHeap(), 0, block, size == 0 ? 1 : size);
  if (moved == nullptr) ReportAllocationFailure(size);
  return moved;
}

void RtFree(void* block) {
  if (block == nullptr || IsInConstantRegion(block)) return;
  HeapFree(GetProcessHeap(), 0, block);
}

void SetConstantRegion(const void* start, size_t length) {
  if (length == 0) return;
  g_constant_start = static_cast<const unsigned char*>(start);
  g_constant_end = g_constant_start + length;
}

bool IsInConstantRegion(const void* p) {
  auto* q = static_cast<const unsigned char*>(p);
  return g_constant_start != nullptr && q >= g_constant_start && q < g_constant_end;
}

const unsigned char* ConstantRegionStart() { return g_constant_start; }
const unsigned char* ConstantRegionEnd() { return g_constant_end; }

const unsigned char* LinkedConstantSectionStart() { return kConstantSectionBegin; }
size_t LinkedConstantSectionLength() {
  return static_cast<size_t>(kConstantSectionEnd - kConstantSectionBegin) + sizeof kConstantSectionEnd;
}

}  // namespace quillet
