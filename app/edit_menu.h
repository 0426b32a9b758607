// The toolkit's shared edit context menu, one of the program's global objects.
#pragma once

namespace quillet::app {

// Creates EditMenu in its own heap block (empty).
void CreateEditMenu();
// Adds the toolkit's editing commands, in the toolkit's order (after its start-up).
void FillEditMenu();
// Releases what the menu holds, then its block.
void ReleaseEditMenu();

}  // namespace quillet::app
