// The message hook shared by the toolkit's popup windows (menus, plain
// popups, message boxes): closes them when they lose activation or on Escape
// and removes their window properties when they are destroyed.
#pragma once
#include <windows.h>

namespace quillet {

// Runs before the popup's host window procedure; always answers -1 (go on).
LRESULT PopupMessageHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace quillet
