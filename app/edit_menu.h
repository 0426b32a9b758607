// The toolkit's shared edit context menu, one of the program's global objects
// (created and released with the others).
#pragma once

namespace quillet::app {

// Adds the toolkit's editing commands to EditMenu, in the toolkit's order
// (after its start-up).
void FillEditMenu();

}  // namespace quillet::app
