// Messages of the control library beyond the toolkit's shared ones, and the
// window properties of the toolkit's popup windows.
#pragma once
#include <windows.h>

namespace quillet {

// A label text change asked for on another thread, carried out on the host
// window's thread (lParam: the change record, valid while the sender waits).
constexpr UINT DUIM_APPLYTEXT = 0x2840;

// Popup window properties.
constexpr const wchar_t kPopupFlagsProperty[] = L"Kv_Wnd_Flags";
constexpr const wchar_t kMenuRootProperty[] = L"Kv_DirectUI_Host";
constexpr const wchar_t kMenuSubProperty[] = L"Kv_DirectUI_Sub";
constexpr const wchar_t kMenuActiveItemProperty[] = L"Kv_DirectUI_Act";
constexpr const wchar_t kMenuEventProperty[] = L"Kv_DirectUI_Event";
constexpr const wchar_t kMessageBoxProperty[] = L"Kv_DirectUI_MsgBox";

// Values of Kv_Wnd_Flags.
constexpr int kPopupMenuWindow = 1;
constexpr int kPopupPlain = 2;
constexpr int kPopupMessageBox = 3;

}  // namespace quillet
