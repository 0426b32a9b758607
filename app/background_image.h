// The window's background picture: a progressive JPEG of 665 x 420 pixels,
// compiled into the constant region (see scripts/app/make-background.sh).
#pragma once
#include "runtime/value.h"

namespace quillet::app {

constexpr int kBackgroundWidth = 665;
constexpr int kBackgroundHeight = 420;

// A Byte set in the constant region: never freed, never written.
const ByteSetBlock* BackgroundImage();

}  // namespace quillet::app
