// The host window's accessible object (MSAA IAccessible): the window's client
// area with the exposed controls as simple children, numbered from 1 in the
// order the host lists them (depth first, visible controls only).
#pragma once
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <vector>

#include "ui/core/hosted_control.h"

namespace quillet {

class HostWindow;

// IID_IAccessible, defined here: the MinGW import library's symbol of that
// name is a code thunk, not the GUID.
extern const IID kIidAccessible;

struct ComRelease {
  void operator()(IUnknown* object) const {
    if (object != nullptr) object->Release();
  }
};
using AccessibleRef = std::unique_ptr<IUnknown, ComRelease>;

// A new object for `host` (one reference, the caller's).
AccessibleRef CreateHostAccessible(HostWindow* host);
// From now on every call answers CO_E_OBJNOTCONNECTED and no control is
// touched; remote clients are cut off so their references go away.
void DisconnectHostAccessible(IUnknown* object);
// Objects alive in this process (for leak checks).
int LiveHostAccessibleObjects();

// The exposed controls of a host, in child-id order (id = index + 1).
std::vector<ControlRef> AccessibleChildrenOf(const HostWindow& host);
// The child id of an exposed control; a hidden one gets the place it would
// take among the visible ones. 0 (the client itself) for no control.
LONG AccessibleChildIdOf(const HostWindow& host, ControlRef control);

// The accessible name of a caption: "&" markers and a parenthesised access
// key such as "(&C)" are left out, "&&" is one "&", a tab and what follows it
// (accelerator text) are dropped.
std::wstring AccessibleNameFromCaption(const std::wstring& caption);
// The character after the caption's first single "&", upper-cased; 0 for none.
wchar_t AccessKeyOfCaption(const std::wstring& caption);

// Default-action names.
constexpr wchar_t kAccessibleActionPress[] = L"按下";
constexpr wchar_t kAccessibleActionExecute[] = L"执行";
constexpr wchar_t kAccessibleActionOpen[] = L"打开";

}  // namespace quillet
