// The program's global objects (see widget.h); apart from the routines so
// that code reaching only the label does not pull in the whole start-up.
#include "app/widget.h"

namespace quillet::app {

HostWindow* MainHost = nullptr;
Label* SentenceLabel = nullptr;
Label* SourceLabel = nullptr;
Button* FetchButton = nullptr;
PopupMenu* EditMenu = nullptr;

}  // namespace quillet::app
