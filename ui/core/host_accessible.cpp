#include "ui/core/host_accessible.h"

#include <oleacc.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "runtime/program_dll_commands.h"
#include "ui/core/host_window.h"
#include "ui/core/toolkit.h"
#include "ui/core/toolkit_messages.h"

namespace quillet {

const IID kIidAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

namespace {

const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr int kMaxCaptionChars = 512;

std::atomic<int> g_live_objects{0};

bool SameIid(REFIID a, const IID& b) { return std::memcmp(&a, &b, sizeof(IID)) == 0; }

void CollectExposed(ControlRef first, std::vector<ControlRef>* out) {
  for (ControlRef ref = first; ref != kNoControl; ref = ControlFromRef(ref)->NextSiblingRef()) {
    HostedControl* control = ControlFromRef(ref);
    if (!control->IsVisible()) continue;
    if (control->DescribeForAccessibility().role != 0) out->push_back(ref);
    CollectExposed(control->FirstChildRef(), out);
  }
}

// Visible as far as its ancestors go, hidden or not itself.
bool AncestorsVisible(ControlRef ref) {
  for (ControlRef parent = ControlFromRef(ref)->ParentRef(); parent != kNoControl;
       parent = ControlFromRef(parent)->ParentRef()) {
    if (!ControlFromRef(parent)->IsVisible()) return false;
  }
  return true;
}

// Pre-order position of `target` among the exposed controls that are visible.
bool CountBefore(ControlRef first, ControlRef target, LONG* count) {
  for (ControlRef ref = first; ref != kNoControl; ref = ControlFromRef(ref)->NextSiblingRef()) {
    if (ref == target) return true;
    HostedControl* control = ControlFromRef(ref);
    if (!control->IsVisible()) continue;
    if (control->DescribeForAccessibility().role != 0) ++*count;
    if (CountBefore(control->FirstChildRef(), target, count)) return true;
  }
  return false;
}

BSTR MakeBstr(const std::wstring& text) {
  return dll::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
}

// Answers `text` as a BSTR, or S_FALSE and null when there is none.
HRESULT AnswerText(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = MakeBstr(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

void SetChildVariant(VARIANT* out, LONG id) {
  out->vt = VT_I4;
  out->lVal = id;
}

RECT ScreenRectOf(HWND window, const GpRectF& bounds) {
  POINT origin = {static_cast<LONG>(bounds.X), static_cast<LONG>(bounds.Y)};
  dll::ClientToScreen(window, &origin);
  return RECT{origin.x, origin.y, origin.x + static_cast<LONG>(bounds.Width),
              origin.y + static_cast<LONG>(bounds.Height)};
}

bool RectContains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

class HostAccessible final : public IAccessible {
 public:
  explicit HostAccessible(HostWindow* host) : host_(host) { g_live_objects.fetch_add(1); }
  ~HostAccessible() { g_live_objects.fetch_sub(1); }
  HostAccessible(const HostAccessible&) = delete;
  HostAccessible& operator=(const HostAccessible&) = delete;

  void Disconnect() {
    host_ = nullptr;
    standard_.reset();
  }

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (SameIid(iid, kIidUnknown) || SameIid(iid, kIidDispatch) || SameIid(iid, kIidAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(references_.fetch_add(1) + 1); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // ---- IDispatch: no type information; clients use the vtable ----
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // ---- IAccessible ----
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    if (!Connected()) return CO_E_OBJNOTCONNECTED;
    IAccessible* standard = Standard();
    return standard != nullptr ? standard->get_accParent(parent) : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    if (!Connected()) return CO_E_OBJNOTCONNECTED;
    *count = static_cast<long>(AccessibleChildrenOf(*host_).size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    // The children are simple elements of this object, not objects of their own.
    return control == kNoControl ? E_INVALIDARG : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    return AnswerText(control == kNoControl ? host_->AccessibleName() : Describe(control).name, name);
  }

  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return NoText(child, value, DISP_E_MEMBERNOTFOUND);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return NoText(child, text, S_FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return NoText(child, text, S_FALSE); }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    role->vt = VT_EMPTY;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    role->vt = VT_I4;
    role->lVal = control == kNoControl ? host_->AccessibleRole() : Describe(control).role;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (state == nullptr) return E_POINTER;
    state->vt = VT_EMPTY;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    state->vt = VT_I4;
    state->lVal = control == kNoControl ? SelfState() : ChildState(control);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    if (file != nullptr) *file = nullptr;
    if (topic != nullptr) *topic = 0;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    return hr != S_OK ? hr : DISP_E_MEMBERNOTFOUND;
  }

  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    if (shortcut == nullptr) return E_POINTER;
    *shortcut = nullptr;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    return AnswerText(control == kNoControl ? std::wstring() : Describe(control).keyboard_shortcut, shortcut);
  }

  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (focus == nullptr) return E_POINTER;
    focus->vt = VT_EMPTY;
    if (!Connected()) return CO_E_OBJNOTCONNECTED;
    if (!WindowHasFocus()) return S_FALSE;
    const ControlRef focused = host_->FocusControl();
    const std::vector<ControlRef> children = AccessibleChildrenOf(*host_);
    for (size_t i = 0; i < children.size(); ++i) {
      if (children[i] == focused) {
        SetChildVariant(focus, static_cast<LONG>(i + 1));
        return S_OK;
      }
    }
    SetChildVariant(focus, CHILDID_SELF);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection == nullptr) return E_POINTER;
    selection->vt = VT_EMPTY;
    return Connected() ? S_FALSE : CO_E_OBJNOTCONNECTED;
  }

  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (action == nullptr) return E_POINTER;
    *action = nullptr;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    return AnswerText(control == kNoControl ? std::wstring() : Describe(control).default_action, action);
  }

  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    if (flags != SELFLAG_TAKEFOCUS) return DISP_E_MEMBERNOTFOUND;
    FocusWindow(host_->Window());
    if (control == kNoControl) return WindowHasFocus() ? S_OK : S_FALSE;
    host_->SetFocusControl(control, true);
    return host_->FocusControl() == control ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    *left = *top = *width = *height = 0;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    const RECT r = control == kNoControl ? ClientScreenRect() : ScreenRectOf(host_->Window(), Bounds(control));
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (end == nullptr) return E_POINTER;
    end->vt = VT_EMPTY;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(start, &control);
    if (hr != S_OK) return hr;
    const std::vector<ControlRef> children = AccessibleChildrenOf(*host_);
    const LONG count = static_cast<LONG>(children.size());
    if (control == kNoControl) {
      if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
        if (count == 0) return S_FALSE;
        SetChildVariant(end, direction == NAVDIR_FIRSTCHILD ? 1 : count);
        return S_OK;
      }
      // Among the window's own siblings: the system's object knows those.
      IAccessible* standard = Standard();
      return standard != nullptr ? standard->accNavigate(direction, start, end) : S_FALSE;
    }
    const LONG id = start.lVal;
    switch (direction) {
      case NAVDIR_FIRSTCHILD:
      case NAVDIR_LASTCHILD:
        return E_INVALIDARG;  // a simple element has no children
      case NAVDIR_NEXT:
        if (id >= count) return S_FALSE;
        SetChildVariant(end, id + 1);
        return S_OK;
      case NAVDIR_PREVIOUS:
        if (id <= 1) return S_FALSE;
        SetChildVariant(end, id - 1);
        return S_OK;
      case NAVDIR_LEFT:
      case NAVDIR_RIGHT:
      case NAVDIR_UP:
      case NAVDIR_DOWN: {
        const LONG nearest = NearestInDirection(children, id, direction);
        if (nearest == 0) return S_FALSE;
        SetChildVariant(end, nearest);
        return S_OK;
      }
      default:
        return E_INVALIDARG;
    }
  }

  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
    if (hit == nullptr) return E_POINTER;
    hit->vt = VT_EMPTY;
    if (!Connected()) return CO_E_OBJNOTCONNECTED;
    const POINT point = {x, y};
    if (!RectContains(ClientScreenRect(), point)) return S_FALSE;
    // Last drawn is on top, and a child comes after its parent: search backwards.
    const std::vector<ControlRef> children = AccessibleChildrenOf(*host_);
    for (size_t i = children.size(); i-- > 0;) {
      if (RectContains(ScreenRectOf(host_->Window(), Bounds(children[i])), point)) {
        SetChildVariant(hit, static_cast<LONG>(i + 1));
        return S_OK;
      }
    }
    SetChildVariant(hit, CHILDID_SELF);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    if (hr != S_OK) return hr;
    if (control == kNoControl || Describe(control).default_action.empty()) return DISP_E_MEMBERNOTFOUND;
    if (ControlFromRef(control)->IsDisabled()) return E_FAIL;
    // Posted: the client gets its answer before any handler of the click runs.
    host_->PostAccessibleClick(control);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return DISP_E_MEMBERNOTFOUND; }

 private:
  bool Connected() const { return host_ != nullptr && host_->Window() != nullptr; }

  // S_OK with the control (none for the object itself), or the error to answer.
  HRESULT Resolve(const VARIANT& child, ControlRef* control) {
    *control = kNoControl;
    if (!Connected()) return CO_E_OBJNOTCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return S_OK;
    const std::vector<ControlRef> children = AccessibleChildrenOf(*host_);
    if (child.lVal < 1 || child.lVal > static_cast<LONG>(children.size())) return E_INVALIDARG;
    *control = children[static_cast<size_t>(child.lVal - 1)];
    return S_OK;
  }

  HRESULT NoText(const VARIANT& child, BSTR* out, HRESULT none) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    ControlRef control = kNoControl;
    HRESULT hr = Resolve(child, &control);
    return hr != S_OK ? hr : none;
  }

  static AccessibleDescription Describe(ControlRef control) {
    return ControlFromRef(control)->DescribeForAccessibility();
  }
  static const GpRectF& Bounds(ControlRef control) { return ControlFromRef(control)->BoundsRect(); }

  bool WindowHasFocus() const { return dll::GetFocus() == host_->Window(); }

  LONG SelfState() const {
    LONG state = STATE_SYSTEM_FOCUSABLE;
    if (WindowHasFocus()) state |= STATE_SYSTEM_FOCUSED;
    if (!dll::IsWindowVisible(host_->Window())) state |= STATE_SYSTEM_INVISIBLE;
    return state;
  }

  LONG ChildState(ControlRef ref) const {
    HostedControl* control = ControlFromRef(ref);
    const AccessibleDescription description = Describe(ref);
    LONG state = description.states;
    if (control->IsDisabled()) state |= STATE_SYSTEM_UNAVAILABLE;
    // What Tab and a press can focus: title-bar buttons never take the focus.
    if (description.takes_focus && control->IsFocusable() && control->KindCode() != kKindTitleBarButton &&
        !control->IsDisabled()) {
      state |= STATE_SYSTEM_FOCUSABLE;
    }
    if (host_->FocusControl() == ref && WindowHasFocus()) state |= STATE_SYSTEM_FOCUSED;
    if (host_->IsCaptured() && host_->PressedControl() == ref) state |= STATE_SYSTEM_PRESSED;
    if (host_->HoverControl() == ref) state |= STATE_SYSTEM_HOTTRACKED;
    return state;
  }

  RECT ClientScreenRect() const {
    RECT client = {};
    dll::GetClientRect(host_->Window(), &client);
    POINT origin = {0, 0};
    dll::ClientToScreen(host_->Window(), &origin);
    return RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  }

  // The closest child whose rectangle lies wholly on that side of child `id`.
  LONG NearestInDirection(const std::vector<ControlRef>& children, LONG id, long direction) const {
    const RECT from = ScreenRectOf(host_->Window(), Bounds(children[static_cast<size_t>(id - 1)]));
    LONG best = 0;
    long long best_distance = LLONG_MAX;
    for (size_t i = 0; i < children.size(); ++i) {
      if (static_cast<LONG>(i + 1) == id) continue;
      const RECT r = ScreenRectOf(host_->Window(), Bounds(children[i]));
      const bool beside = (direction == NAVDIR_LEFT && r.right <= from.left) ||
                          (direction == NAVDIR_RIGHT && r.left >= from.right) ||
                          (direction == NAVDIR_UP && r.bottom <= from.top) ||
                          (direction == NAVDIR_DOWN && r.top >= from.bottom);
      if (!beside) continue;
      const long long dx = (r.left + r.right) / 2 - (from.left + from.right) / 2;
      const long long dy = (r.top + r.bottom) / 2 - (from.top + from.bottom) / 2;
      const long long distance = dx * dx + dy * dy;
      if (distance < best_distance) {
        best_distance = distance;
        best = static_cast<LONG>(i + 1);
      }
    }
    return best;
  }

  // The system's own object for the client area, for what lies outside it
  // (its parent, its siblings).
  IAccessible* Standard() {
    if (!standard_ && host_ != nullptr) {
      void* object = nullptr;
      if (SUCCEEDED(dll::CreateStdAccessibleObject(host_->Window(), OBJID_CLIENT, &kIidAccessible, &object))) {
        standard_.reset(static_cast<IUnknown*>(object));
      }
    }
    return static_cast<IAccessible*>(standard_.get());
  }

  std::atomic<long> references_{1};
  HostWindow* host_;
  AccessibleRef standard_;
};

}  // namespace

AccessibleRef CreateHostAccessible(HostWindow* host) {
  return AccessibleRef(static_cast<IAccessible*>(new HostAccessible(host)));
}

void DisconnectHostAccessible(IUnknown* object) {
  if (object == nullptr) return;
  static_cast<HostAccessible*>(static_cast<IAccessible*>(object))->Disconnect();
  dll::CoDisconnectObject(object, 0);
}

int LiveHostAccessibleObjects() { return g_live_objects.load(); }

std::vector<ControlRef> AccessibleChildrenOf(const HostWindow& host) {
  std::vector<ControlRef> children;
  CollectExposed(host.FirstControl(), &children);
  return children;
}

LONG AccessibleChildIdOf(const HostWindow& host, ControlRef control) {
  if (control == kNoControl || !AncestorsVisible(control)) return CHILDID_SELF;
  LONG before = 0;
  if (!CountBefore(host.FirstControl(), control, &before)) return CHILDID_SELF;
  return before + 1;
}

std::wstring AccessibleNameFromCaption(const std::wstring& caption) {
  const std::wstring text = caption.substr(0, caption.find(L'\t'));
  std::wstring name;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'&') {
      name += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == L'&') {
      name += L'&';
      ++i;
    } else if (!name.empty() && name.back() == L'(' && i + 2 < text.size() && text[i + 2] == L')') {
      name.pop_back();  // "(&C)": the key is read out on its own
      i += 2;
    }
  }
  while (!name.empty() && name.back() == L' ') name.pop_back();
  return name;
}

wchar_t AccessKeyOfCaption(const std::wstring& caption) {
  const std::wstring text = caption.substr(0, caption.find(L'\t'));
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != L'&') continue;
    if (text[i + 1] == L'&') {
      ++i;
      continue;
    }
    const wchar_t key = text[i + 1];
    return (key >= L'a' && key <= L'z') ? static_cast<wchar_t>(key - L'a' + L'A') : key;
  }
  return 0;
}

// ---- The host's side ------------------------------------------------------------

void HostWindow::SetAccessibleIdentity(long role, std::optional<std::wstring> name) {
  accessible_role_ = role;
  accessible_name_ = std::move(name);
}

std::wstring HostWindow::AccessibleName() const {
  if (accessible_name_) return *accessible_name_;
  if (!window_) return std::wstring();
  wchar_t caption[kMaxCaptionChars] = {};
  const int length = dll::GetWindowTextW(window_, caption, kMaxCaptionChars);
  return std::wstring(caption, length > 0 ? static_cast<size_t>(length) : 0);
}

void HostWindow::NotifyAccessibleEvent(DWORD event, ControlRef control) {
  if (!window_) return;
  dll::NotifyWinEvent(event, window_, OBJID_CLIENT, AccessibleChildIdOf(*this, control));
}

void HostWindow::PostAccessibleClick(ControlRef control) {
  if (window_) dll::PostMessageW(window_, kHostAccessibleClickMessage, static_cast<WPARAM>(control), 0);
}

void HostWindow::ClickFromAccessibility(ControlRef control) {
  // The control may have gone, or changed, since the click was posted.
  if (!IsOwnControl(control)) return;
  const HostedControl* c = ControlFromRef(control);
  if (!c->IsVisible() || c->IsDisabled()) return;
  ClickControl(control, 0, 0, 0, 0);
}

LRESULT HostWindow::AnswerGetObject(WPARAM wparam, LPARAM lparam) {
  if (static_cast<LONG>(lparam) != OBJID_CLIENT) return PassOn(WM_GETOBJECT, wparam, lparam);
  if (!accessible_) accessible_ = CreateHostAccessible(this);
  const LRESULT result = dll::LresultFromObject(&kIidAccessible, wparam, accessible_.get());
  return result >= 0 ? result : PassOn(WM_GETOBJECT, wparam, lparam);
}

void HostWindow::DisconnectAccessible() {
  if (!accessible_) return;
  DisconnectHostAccessible(accessible_.get());
  accessible_.reset();
}

}  // namespace quillet
