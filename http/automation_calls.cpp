// Creating automation objects and reaching their properties and methods:
// names bound through the object's type information (or by name where it has
// none), arguments converted to VARIANTs, the outcome left in the calling
// thread's last-error cell.
#include "http/automation.h"

#include <vector>

#include "http/com_owners.h"
#include "http/text_codec.h"
#include "runtime/program_dll_commands.h"

namespace quillet {
namespace {

thread_local int32_t t_last_error = kAutomationOk;

// Class context: in-process server and handler, local and remote server; the
// narrower one for platforms that reject the remote bit.
constexpr DWORD kClassContextAll = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                   CLSCTX_REMOTE_SERVER;
constexpr DWORD kClassContextLocal = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
constexpr USHORT kNoChangeFlags = 0;
constexpr SYSKIND kThisSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
const GUID kNullIid = {};

enum class Access { kGet, kPut, kCall };

// The platform declares member names writable but only reads them.
LPOLESTR MemberName(const WideText& name) { return const_cast<LPOLESTR>(name.c_str()); }

// A member bound through type information; releases what Bind handed out.
class BoundMember {
 public:
  BoundMember() = default;
  BoundMember(const BoundMember&) = delete;
  BoundMember& operator=(const BoundMember&) = delete;
  ~BoundMember() { Reset(); }

  void Reset() {
    if (!info_.empty()) {
      // The descriptions belong to the type information: they go before it.
      if (kind_ == DESCKIND_FUNCDESC && bind_.lpfuncdesc) info_->ReleaseFuncDesc(bind_.lpfuncdesc);
      if (kind_ == DESCKIND_VARDESC && bind_.lpvardesc) info_->ReleaseVarDesc(bind_.lpvardesc);
      info_.Reset();
    } else if (kind_ == DESCKIND_TYPECOMP) {
      ComPtr<ITypeComp> nested(bind_.lptcomp);  // a reference Bind handed over, dropped here
    }
    kind_ = DESCKIND_NONE;
    bind_ = BINDPTR{};
  }

  // Binds `name` for one invocation kind; false when nothing of that kind binds.
  bool Bind(ITypeComp* comp, LPOLESTR name, ULONG hash, WORD invoke_kind) {
    Reset();
    if (FAILED(comp->Bind(name, hash, invoke_kind, info_.Put(), &kind_, &bind_))) {
      Reset();
      return false;
    }
    if (kind_ == DESCKIND_FUNCDESC) {
      if ((bind_.lpfuncdesc->invkind & invoke_kind) != 0) return true;
    } else if (kind_ == DESCKIND_VARDESC) {
      if (invoke_kind != INVOKE_FUNC) return true;
    }
    Reset();
    return false;
  }

  DESCKIND kind() const { return kind_; }
  const FUNCDESC* func() const { return bind_.lpfuncdesc; }
  const VARDESC* var() const { return bind_.lpvardesc; }

 private:
  ComPtr<ITypeInfo> info_;
  DESCKIND kind_ = DESCKIND_NONE;
  BINDPTR bind_{};
};

bool IsObjectOrArrayType(VARTYPE vt) {
  const VARTYPE base = vt & VT_TYPEMASK;
  return (vt & VT_ARRAY) != 0 || base == VT_DISPATCH || base == VT_UNKNOWN || base == VT_PTR ||
         base == VT_SAFEARRAY || base == VT_CARRAY || base == VT_USERDEFINED;
}

bool ParameterIsByReference(const FUNCDESC* func, size_t index) {
  if (func == nullptr || index >= static_cast<size_t>(func->cParams)) return false;
  const ELEMDESC& param = func->lprgelemdescParam[index];
  return param.tdesc.vt == VT_PTR || (param.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0;
}

class VariantList {
 public:
  explicit VariantList(size_t count) : values_(count), referenced_(count) {
    for (size_t i = 0; i < count; ++i) {
      dll::VariantInit(&values_[i]);
      dll::VariantInit(&referenced_[i]);
    }
  }
  VariantList(const VariantList&) = delete;
  VariantList& operator=(const VariantList&) = delete;
  ~VariantList() {
    for (size_t i = 0; i < values_.size(); ++i) {
      if (values_[i].vt != (VT_BYREF | VT_VARIANT)) dll::VariantClear(&values_[i]);
      dll::VariantClear(&referenced_[i]);
    }
  }
  VARIANT& value(size_t i) { return values_[i]; }
  VARIANT& referenced(size_t i) { return referenced_[i]; }
  VARIANT* data() { return values_.data(); }

 private:
  std::vector<VARIANT> values_;
  std::vector<VARIANT> referenced_;
};

const WORD* InvocationOrder(Access access, size_t& count) {
  static const WORD kGetOrder[] = {INVOKE_PROPERTYGET, INVOKE_FUNC};
  static const WORD kPutOrder[] = {INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF, INVOKE_FUNC};
  static const WORD kCallOrder[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF};
  switch (access) {
    case Access::kGet:
      count = 2;
      return kGetOrder;
    case Access::kPut:
      count = 3;
      return kPutOrder;
    default:
      count = 4;
      return kCallOrder;
  }
}

size_t WithoutTrailingOmitted(const AutoArg* args, size_t count) {
  while (count > 0 && args[count - 1].kind() == AutoArg::Kind::kOmitted && !args[count - 1].is_variable()) --count;
  return count;
}

HRESULT InvokeWithFlags(IDispatch* dispatch, DISPID member, LCID locale, WORD flags, VARIANT* arguments,
                        size_t count, ScopedVariant* result) {
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = count > 0 ? arguments : nullptr;
  params.cArgs = static_cast<UINT>(count);
  const bool is_put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (is_put) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  ScopedExceptionInfo exception;
  UINT argument_error = 0;
  VARIANT* result_slot = is_put || result == nullptr ? nullptr : result->get();
  return dispatch->Invoke(member, kNullIid, locale, flags, &params, result_slot, exception.get(), &argument_error);
}

// Objects without type information (some platform collections) are bound by
// name instead; the invocation kinds are tried in the same order, moving on
// only while the object answers that the member is not of that kind.
int32_t InvokeByName(IDispatch* dispatch, LCID locale, const char* name, Access access, const AutoArg* args,
                     size_t arg_count, ScopedVariant* result) {
  const WideText wide_name(name);
  LPOLESTR names[] = {MemberName(wide_name)};
  DISPID member = DISPID_UNKNOWN;
  if (FAILED(dispatch->GetIDsOfNames(kNullIid, names, 1, locale, &member))) return kAutomationNoTypeInfo;
  arg_count = WithoutTrailingOmitted(args, arg_count);
  VariantList variants(arg_count);
  for (size_t i = 0; i < arg_count; ++i) {
    if (!args[i].ToVariant(&variants.value(arg_count - 1 - i))) return kAutomationBadArgument;
  }
  size_t order_count = 0;
  const WORD* order = InvocationOrder(access, order_count);
  HRESULT hr = DISP_E_MEMBERNOTFOUND;
  for (size_t i = 0; i < order_count && hr == DISP_E_MEMBERNOTFOUND; ++i) {
    if (result != nullptr) result->Clear();
    hr = InvokeWithFlags(dispatch, member, locale, order[i], variants.data(), arg_count, result);
  }
  return FAILED(hr) ? static_cast<int32_t>(hr) : kAutomationOk;
}

// Binds and invokes one member. `result` may be null (property write).
int32_t InvokeMember(const ObjectRef& object, const char* name, Access access, const AutoArg* args,
                     size_t arg_count, ScopedVariant* result) {
  if (object.empty()) return kAutomationNoObject;
  ComPtr<IDispatch> dispatch;
  if (FAILED(object.get()->QueryInterface(IID_IDispatch, dispatch.PutVoid())) || dispatch.empty()) {
    return kAutomationNoDispatch;
  }
  const LCID locale = dll::GetUserDefaultLCID();
  ComPtr<ITypeInfo> info;
  ComPtr<ITypeComp> comp;
  if (FAILED(dispatch->GetTypeInfo(0, locale, info.Put())) || info.empty() ||
      FAILED(info->GetTypeComp(comp.Put())) || comp.empty()) {
    return InvokeByName(dispatch.get(), locale, name, access, args, arg_count, result);
  }

  const WideText wide_name(name);
  LPOLESTR bind_name = MemberName(wide_name);
  const ULONG hash = dll::LHashValOfNameSys(kThisSysKind, locale, bind_name);
  size_t order_count = 0;
  const WORD* order = InvocationOrder(access, order_count);
  BoundMember member;
  WORD bound_kind = 0;
  for (size_t i = 0; i < order_count && bound_kind == 0; ++i) {
    if (member.Bind(comp.get(), bind_name, hash, order[i])) bound_kind = order[i];
  }
  if (bound_kind == 0) return kAutomationUnknownName;

  MEMBERID member_id;
  WORD invoke_flags;
  size_t declared_count;
  bool variable_count = false;
  const FUNCDESC* func = nullptr;
  if (member.kind() == DESCKIND_FUNCDESC) {
    func = member.func();
    member_id = func->memid;
    invoke_flags = static_cast<WORD>(func->invkind);
    declared_count = static_cast<size_t>(func->cParams);
    variable_count = func->cParamsOpt == -1;
  } else {
    const VARDESC* var = member.var();
    member_id = var->memid;
    declared_count = access == Access::kGet ? 0 : 1;
    if (bound_kind == INVOKE_PROPERTYGET) {
      invoke_flags = DISPATCH_PROPERTYGET;
    } else {
      invoke_flags = IsObjectOrArrayType(var->elemdescVar.tdesc.vt) ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    }
  }

  // Trailing omitted arguments are dropped.
  arg_count = WithoutTrailingOmitted(args, arg_count);
  if (arg_count > declared_count && !variable_count) return kAutomationTooManyArguments;

  VariantList variants(arg_count);
  for (size_t i = 0; i < arg_count; ++i) {
    const size_t slot = arg_count - 1 - i;  // DISPPARAMS holds arguments last first
    const AutoArg& arg = args[i];
    if (arg.is_variable() && ParameterIsByReference(func, i)) {
      if (!arg.ToVariant(&variants.referenced(slot))) return kAutomationBadArgument;
      variants.value(slot).vt = VT_BYREF | VT_VARIANT;
      variants.value(slot).pvarVal = &variants.referenced(slot);
    } else if (!arg.ToVariant(&variants.value(slot))) {
      return kAutomationBadArgument;
    }
  }

  const HRESULT hr =
      InvokeWithFlags(dispatch.get(), member_id, locale, invoke_flags, variants.data(), arg_count, result);
  if (FAILED(hr)) return static_cast<int32_t>(hr);

  int32_t outcome = kAutomationOk;
  for (size_t i = 0; i < arg_count; ++i) {
    const size_t slot = arg_count - 1 - i;
    if (variants.value(slot).vt == (VT_BYREF | VT_VARIANT) && !args[i].WriteBack(variants.referenced(slot))) {
      outcome = kAutomationBadResult;
    }
  }
  return outcome;
}

int32_t Call(const ObjectRef& object, const char* name, Access access, AutoArgs args, ScopedVariant* result) {
  const int32_t outcome = InvokeMember(object, name, access, args.begin(), args.size(), result);
  t_last_error = outcome;
  return outcome;
}

// Converts `result` to `type` in place; false (and kAutomationBadResult in the
// cell) when it cannot.
bool ConvertResult(ScopedVariant& result, VARTYPE type) {
  if ((*result).vt == type) return true;
  ScopedVariant converted;
  if (FAILED(dll::VariantChangeType(converted.get(), result.get(), kNoChangeFlags, type))) {
    t_last_error = kAutomationBadResult;
    return false;
  }
  result.TakeFrom(converted);
  return true;
}

Text ResultAsText(ScopedVariant& result) {
  if (!ConvertResult(result, VT_BSTR)) return Text();
  return TextFromBstr((*result).bstrVal);
}

ObjectRef ResultAsObject(ScopedVariant& result) {
  VARTYPE vt = (*result).vt;
  if (vt != VT_UNKNOWN && vt != VT_DISPATCH) {
    if (!ConvertResult(result, VT_UNKNOWN)) return ObjectRef();
    vt = VT_UNKNOWN;
  }
  IUnknown* source = vt == VT_DISPATCH ? (*result).pdispVal : (*result).punkVal;
  IUnknown* unknown = nullptr;
  if (source != nullptr && FAILED(source->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)))) {
    t_last_error = kAutomationBadResult;
    return ObjectRef();
  }
  return ObjectRef(unknown);
}

}  // namespace

int32_t AutomationLastError() { return t_last_error; }
void SetAutomationLastError(int32_t code) { t_last_error = code; }

bool CreateObject(ObjectRef& object, const char* prog_id_or_class_id) {
  const WideText name(prog_id_or_class_id);
  CLSID class_id{};
  const bool braced = name.c_str()[0] == L'{';
  const HRESULT found =
      braced ? dll::CLSIDFromString(name.c_str(), &class_id) : dll::CLSIDFromProgID(name.c_str(), &class_id);
  if (FAILED(found)) return false;
  ComPtr<IUnknown> created;
  HRESULT hr = dll::CoCreateInstance(&class_id, nullptr, kClassContextAll, &IID_IUnknown, created.PutVoid());
  if (hr == E_INVALIDARG) {
    hr = dll::CoCreateInstance(&class_id, nullptr, kClassContextLocal, &IID_IUnknown, created.PutVoid());
  }
  if (FAILED(hr) || created.empty()) return false;
  if (FAILED(dll::OleRun(created.get()))) return false;
  object.Reset(created.Detach());
  return true;
}

void ReleaseObject(ObjectRef& object) { object.Release(); }

bool ObjectIsEmpty(const ObjectRef& object) { return object.empty(); }

void CopyObject(ObjectRef& target, const ObjectRef& source) { target = source; }

bool WriteProperty(const ObjectRef& object, const char* name, const AutoArg& value) {
  return Call(object, name, Access::kPut, {value}, nullptr) == kAutomationOk;
}

Text ReadPropertyText(const ObjectRef& object, const char* name, AutoArgs args) {
  ScopedVariant result;
  if (Call(object, name, Access::kGet, args, &result) != kAutomationOk) return Text();
  return ResultAsText(result);
}

double ReadPropertyDouble(const ObjectRef& object, const char* name, AutoArgs args) {
  ScopedVariant result;
  if (Call(object, name, Access::kGet, args, &result) != kAutomationOk) return 0;
  if (!ConvertResult(result, VT_R8)) return 0;
  return (*result).dblVal;
}

ObjectRef ReadPropertyObject(const ObjectRef& object, const char* name, AutoArgs args) {
  ScopedVariant result;
  if (Call(object, name, Access::kGet, args, &result) != kAutomationOk) return ObjectRef();
  return ResultAsObject(result);
}

Variant ReadPropertyVariant(const ObjectRef& object, const char* name, AutoArgs args) {
  ScopedVariant result;
  Variant out;
  out.Clear();  // empty, not the integer 0, when the read fails
  if (Call(object, name, Access::kGet, args, &result) == kAutomationOk) dll::VariantCopyInd(out.get(), result.get());
  return out;
}

void CallMethod(const ObjectRef& object, const char* name, AutoArgs args) {
  ScopedVariant result;
  Call(object, name, Access::kCall, args, &result);
}

Text CallMethodText(const ObjectRef& object, const char* name, AutoArgs args) {
  ScopedVariant result;
  if (Call(object, name, Access::kCall, args, &result) != kAutomationOk) return Text();
  return ResultAsText(result);
}

ObjectRef CallMethodObject(const ObjectRef& object, const char* name, AutoArgs args) {
  ScopedVariant result;
  if (Call(object, name, Access::kCall, args, &result) != kAutomationOk) return ObjectRef();
  return ResultAsObject(result);
}

}  // namespace quillet
