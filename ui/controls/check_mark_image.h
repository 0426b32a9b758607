// The menu's built-in check mark, compiled into the constant region.
#pragma once
#include "runtime/value.h"

namespace quillet {

constexpr int kCheckMarkSize = 20;

// A 20 x 20 RGBA PNG with its signature: load with ImageFromBytes(.., false, false).
const ByteSetBlock* CheckMarkImage();
// The same tick drawn at twice the size, the source above 100 % display scale.
const ByteSetBlock* LargeCheckMarkImage();

}  // namespace quillet
