// Start-up's pictures decoded on one worker thread, in turn, while the window
// is being made. DecodeAhead queues one; the first ImageFromBytes of the same
// bytes (same signature flag, no stream kept) then takes that image, waiting
// for it if need be, instead of decoding the bytes again.
#pragma once
#include "runtime/value.h"
#include "ui/core/gdiplus_types.h"

namespace quillet {

// Starts decoding a copy of the bytes; nothing happens for empty bytes, for
// bytes already being decoded ahead, or when no thread can be started.
void DecodeAhead(const ByteSetBlock* data, bool add_png_signature);

// The image decoded ahead from bytes equal to `data` with the same flag, now the
// caller's (null when decoding failed); none, and false, when none was asked for.
bool TakeDecodedAhead(const ByteSetBlock* data, bool add_png_signature, GpImage** image);

// How many decodings ahead have not been taken yet.
int DecodingsAhead();

// Waits for the worker and drops the images nobody took; before the process
// ends (the end of the process waits for the worker too).
void FinishDecodingsAhead();

}  // namespace quillet
