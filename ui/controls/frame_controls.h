// Makes the host window's icon, title and system buttons from the control
// classes: registers the factory hook the host window calls at attach.
#pragma once

namespace quillet {

// Registers the factory; idempotent. A program calls it at start-up, before
// the first attach of a host window with a title bar; without it such a
// host has no icon, title or system buttons.
void InstallFrameControls();

}  // namespace quillet
