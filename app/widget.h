// The sentence widget: its global objects, start-up and the fetch routines.
#pragma once
#include <windows.h>

#include <cstdint>

#include "app/sentence_fetch.h"

namespace quillet {
class HostWindow;
class Label;
class Button;
class PopupMenu;
}  // namespace quillet

namespace quillet::app {

// The start-up window in the window template.
constexpr uint32_t kMainWindowId = 0x52010001;

// Global objects, each in its own runtime heap block; null before
// GlobalInitialise and after ReleaseGlobals.
extern HostWindow* MainHost;
extern Label* SentenceLabel;
extern Label* SourceLabel;  // the sentence's source, under it
extern Button* FetchButton;
extern PopupMenu* EditMenu;  // the toolkit's shared edit context menu

// The program's global initialisation: creates the objects above and makes
// the labels the sink of fetched sentences.
void GlobalInitialise();
// The exit procedure: ends the fetch chains and drops the sink, then releases
// the objects in the order above, the edit menu last.
void ReleaseGlobals(int position);
// Module start-up: the toolkit's start-up, the title-bar controls (icon,
// title, system buttons) installed for the host window, then the edit menu
// filled with the toolkit's editing commands.
void ModuleStartup();
// The program's start-up sub; does nothing else but call an empty routine.
int StartupSub();
// Creation-completed handler of the start-up window.
void BuildMainWindow();
// DUIM_CLICK handler of the button: starts a fetch thread.
bool OnFetchClicked();

// Sent by the fetch workers to the host window: lParam points at the sentence
// and its source, set together on the window's thread.
constexpr UINT kShowSentenceMessage = WM_APP + 1;
// Message hook of the host window: that message, then copying the sentence.
LRESULT WidgetMessageHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace quillet::app
