// Makes the host window's icon, title and system buttons from the control
// classes: registers the factory hook the host window calls at attach.
#pragma once

namespace quillet {

// Registers the factory; idempotent. Done automatically when the label is
// linked in; callable explicitly before the first attach.
void InstallFrameControls();

}  // namespace quillet
