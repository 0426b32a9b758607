// Runtime heap: every Text, Byte set and Array lives in the process heap.
// Blocks inside the constant region are never freed or resized in place.
#pragma once
#include <cstddef>

namespace quillet {

// Allocation failure never returns: it ends the process through the error reporter.
void* RtAlloc(size_t size);
void* RtAllocZeroed(size_t size);
void* RtRealloc(void* block, size_t size);
void RtFree(void* block);

// Like RtAlloc, but answers null instead of ending the process.
void* RtTryAlloc(size_t size);

// The read-only region that compiled-in constants live in.
void SetConstantRegion(const void* start, size_t length);
bool IsInConstantRegion(const void* p);
const unsigned char* ConstantRegionStart();
const unsigned char* ConstantRegionEnd();

// Bounds of the linker section that QUILLET_CONST places data into.
const unsigned char* LinkedConstantSectionStart();
size_t LinkedConstantSectionLength();

}  // namespace quillet

// Places a compiled-in constant into the read-only constant region.
#define QUILLET_CONST __attribute__((section(".rdata$quillet_m"), used))
