#include "ui/controls/popup_hook.h"

#include "runtime/program_dll_commands.h"
#include "ui/controls/control_messages.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {
namespace {

int PopupFlags(HWND window) {
  return static_cast<int>(reinterpret_cast<intptr_t>(dll::GetPropW(window, kPopupFlagsProperty)));
}

}  // namespace

LRESULT PopupMessageHook(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const int flags = PopupFlags(window);
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) break;
      if (flags == kPopupMenuWindow) {
        // Activation moving to another window of the same menu chain keeps the chain open.
        HWND activated = reinterpret_cast<HWND>(lparam);
        if (activated == nullptr || dll::GetPropW(activated, kMenuRootProperty) == nullptr) {
          HWND root = static_cast<HWND>(dll::GetPropW(window, kMenuRootProperty));
          if (root != nullptr) dll::PostMessageW(root, WM_CLOSE, 0, 0);
        }
      } else if (flags == kPopupPlain) {
        dll::PostMessageW(window, WM_CLOSE, 0, 0);
      }
      break;
    case WM_KEYDOWN:
      if (flags == kPopupMenuWindow) dll::SendMessageW(window, WM_SYSCHAR, wparam, lparam);
      if (wparam == VK_ESCAPE) dll::PostMessageW(window, WM_CLOSE, 0, 0);
      break;
    case WM_DESTROY:
      if (flags == kPopupMenuWindow) {
        dll::NotifyWinEvent(EVENT_SYSTEM_MENUPOPUPEND, window, OBJID_CLIENT, CHILDID_SELF);
        dll::RemovePropW(window, kMenuRootProperty);
        dll::RemovePropW(window, kMenuSubProperty);
        dll::RemovePropW(window, kMenuActiveItemProperty);
        dll::RemovePropW(window, kMenuEventProperty);
      } else if (flags == kPopupMessageBox) {
        dll::RemovePropW(window, kMessageBoxProperty);
      }
      dll::RemovePropW(window, kPopupFlagsProperty);
      break;
    default:
      break;
  }
  return kNotHandled;
}

}  // namespace quillet
