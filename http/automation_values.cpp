// The values of automation calls: object references, Variants, the runtime
// values handed to a call and their conversion to and from VARIANTs and BSTRs.
#include "http/automation.h"

#include <cstring>
#include <string>
#include <utility>

#include "http/text_codec.h"
#include "runtime/program_dll_commands.h"

namespace quillet {
namespace {

constexpr USHORT kNoChangeFlags = 0;

}  // namespace

// ---- ObjectRef ----------------------------------------------------------------

ObjectRef::ObjectRef(const ObjectRef& other) : unknown_(other.unknown_), auxiliary_(other.auxiliary_) {
  if (unknown_) unknown_->AddRef();
}

ObjectRef::ObjectRef(ObjectRef&& other) noexcept
    : unknown_(std::exchange(other.unknown_, nullptr)), auxiliary_(std::exchange(other.auxiliary_, 0)) {}

ObjectRef& ObjectRef::operator=(const ObjectRef& other) {
  if (this != &other) {
    if (other.unknown_) other.unknown_->AddRef();
    Reset(other.unknown_);
    auxiliary_ = other.auxiliary_;
  }
  return *this;
}

ObjectRef& ObjectRef::operator=(ObjectRef&& other) noexcept {
  if (this != &other) {
    Reset(std::exchange(other.unknown_, nullptr));
    auxiliary_ = std::exchange(other.auxiliary_, 0);
  }
  return *this;
}

void ObjectRef::Release() { Reset(nullptr); }

void ObjectRef::Reset(IUnknown* adopt) {
  IUnknown* old = unknown_;
  unknown_ = adopt;
  auxiliary_ = 0;
  if (old) old->Release();
}

// ---- Variant ----------------------------------------------------------------

Variant::Variant() {
  dll::VariantInit(&value_);
  value_.vt = VT_I4;
  value_.lVal = 0;
}

Variant::Variant(const Variant& other) {
  dll::VariantInit(&value_);
  dll::VariantCopy(&value_, &other.value_);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    ScopedVariant copy;
    dll::VariantCopy(copy.get(), &other.value_);
    TakeFrom(copy);
  }
  return *this;
}

Variant::~Variant() { dll::VariantClear(&value_); }

void Variant::TakeFrom(ScopedVariant& source) {
  dll::VariantClear(&value_);
  value_ = source.Detach();
}

void Variant::Clear() {
  dll::VariantClear(&value_);
  std::memset(&value_, 0, sizeof(value_));
}

// ---- AutoArg ----------------------------------------------------------------

AutoArg AutoArg::WithInteger(Kind kind, int64_t value) {
  AutoArg a;
  a.kind_ = kind;
  a.value_.integer = value;
  return a;
}
AutoArg AutoArg::WithReal(Kind kind, double value) {
  AutoArg a;
  a.kind_ = kind;
  a.value_.real = value;
  return a;
}
AutoArg AutoArg::BoundTo(AutoArg value, void* variable) {
  value.variable_ = variable;
  return value;
}

AutoArg AutoArg::FromText(const char* text) {
  AutoArg a;
  a.kind_ = Kind::kText;
  a.value_.text = text;
  return a;
}
AutoArg AutoArg::FromBool(bool value) { return WithInteger(Kind::kBool, value ? 1 : 0); }
AutoArg AutoArg::FromInt(int32_t value) { return WithInteger(Kind::kInt, value); }
AutoArg AutoArg::FromLong(int64_t value) { return WithInteger(Kind::kLong, value); }
AutoArg AutoArg::FromShort(int16_t value) { return WithInteger(Kind::kShort, value); }
AutoArg AutoArg::FromByte(uint8_t value) { return WithInteger(Kind::kByte, value); }
AutoArg AutoArg::FromFloat(float value) { return WithReal(Kind::kFloat, value); }
AutoArg AutoArg::FromDouble(double value) { return WithReal(Kind::kDouble, value); }
AutoArg AutoArg::FromDateTime(double days) { return WithReal(Kind::kDateTime, days); }
AutoArg AutoArg::FromByteSet(const ByteSetBlock* bytes) {
  AutoArg a;
  a.kind_ = Kind::kByteSet;
  a.value_.bytes = bytes;
  return a;
}
AutoArg AutoArg::FromObject(const ObjectRef* object) {
  AutoArg a;
  a.kind_ = Kind::kObject;
  a.value_.object = object;
  return a;
}
AutoArg AutoArg::FromVariant(const Variant* variant) {
  AutoArg a;
  a.kind_ = Kind::kVariant;
  a.value_.variant = variant;
  return a;
}
AutoArg AutoArg::TextVariable(Text* variable) { return BoundTo(FromText(variable->c_str()), variable); }
AutoArg AutoArg::IntVariable(int32_t* variable) { return BoundTo(FromInt(*variable), variable); }
AutoArg AutoArg::BoolVariable(bool* variable) { return BoundTo(FromBool(*variable), variable); }
AutoArg AutoArg::DoubleVariable(double* variable) { return BoundTo(FromDouble(*variable), variable); }
AutoArg AutoArg::VariantVariable(Variant* variable) { return BoundTo(FromVariant(variable), variable); }

bool AutoArg::ToVariant(VARIANT* out) const {
  switch (kind_) {
    case Kind::kOmitted:
      out->vt = VT_ERROR;
      out->scode = DISP_E_PARAMNOTFOUND;
      return true;
    case Kind::kText:
      out->vt = VT_BSTR;
      out->bstrVal = AllocBstrFromText(value_.text);
      return true;
    case Kind::kBool:
      out->vt = VT_BOOL;
      out->boolVal = value_.integer != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      return true;
    case Kind::kInt:
    case Kind::kLong:
      out->vt = VT_I4;
      out->lVal = static_cast<LONG>(value_.integer);
      return true;
    case Kind::kShort:
      out->vt = VT_I2;
      out->iVal = static_cast<SHORT>(value_.integer);
      return true;
    case Kind::kByte:
      out->vt = VT_UI1;
      out->bVal = static_cast<BYTE>(value_.integer);
      return true;
    case Kind::kFloat:
      out->vt = VT_R4;
      out->fltVal = static_cast<float>(value_.real);
      return true;
    case Kind::kDouble:
      out->vt = VT_R8;
      out->dblVal = value_.real;
      return true;
    case Kind::kDateTime:
      out->vt = VT_DATE;
      out->date = value_.real;
      return true;
    case Kind::kByteSet:
      return false;  // bytes travel only inside a Variant
    case Kind::kObject: {
      out->vt = VT_UNKNOWN;
      out->punkVal = nullptr;
      IUnknown* source = value_.object ? value_.object->get() : nullptr;
      if (source != nullptr) source->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&out->punkVal));
      return true;
    }
    case Kind::kVariant:
      return value_.variant != nullptr && SUCCEEDED(dll::VariantCopyInd(out, value_.variant->get()));
  }
  return false;
}

bool AutoArg::WriteBack(const VARIANT& value) const {
  if (variable_ == nullptr) return true;
  ScopedVariant converted;
  auto convert = [&](VARTYPE type) {
    return SUCCEEDED(dll::VariantChangeType(converted.get(), &value, kNoChangeFlags, type));
  };
  switch (kind_) {
    case Kind::kText:
      if (!convert(VT_BSTR)) return false;
      static_cast<Text*>(variable_)->Reset(TextFromBstr((*converted).bstrVal).release());
      return true;
    case Kind::kInt:
      if (!convert(VT_I4)) return false;
      *static_cast<int32_t*>(variable_) = (*converted).lVal;
      return true;
    case Kind::kBool:
      if (!convert(VT_BOOL)) return false;
      *static_cast<bool*>(variable_) = (*converted).boolVal != VARIANT_FALSE;
      return true;
    case Kind::kDouble:
      if (!convert(VT_R8)) return false;
      *static_cast<double*>(variable_) = (*converted).dblVal;
      return true;
    case Kind::kVariant: {
      Variant* target = static_cast<Variant*>(variable_);
      target->Clear();
      return SUCCEEDED(dll::VariantCopyInd(target->get(), &value));
    }
    default:
      return false;
  }
}

bool SetVariant(Variant& variant, const AutoArg& value) {
  ScopedVariant fresh;
  if (value.kind() == AutoArg::Kind::kByteSet) {
    const ByteSetBlock* bytes = value.byte_set();
    const ULONG length = static_cast<ULONG>(ByteSetLength(bytes));
    SAFEARRAY* array = dll::SafeArrayCreateVector(VT_UI1, 0, length);
    if (array == nullptr) return false;
    void* data = nullptr;
    if (length > 0 && SUCCEEDED(dll::SafeArrayAccessData(array, &data))) {
      std::memcpy(data, ByteSetData(bytes), length);
      dll::SafeArrayUnaccessData(array);
    }
    (*fresh).vt = VT_ARRAY | VT_UI1;
    (*fresh).parray = array;
  } else if (!value.ToVariant(fresh.get())) {
    return false;
  }
  variant.TakeFrom(fresh);
  return true;
}

void ClearVariant(Variant& variant) { variant.Clear(); }

void CopyVariant(Variant& target, const Variant& source) { target = source; }

Text VariantAsText(const Variant& variant) {
  ScopedVariant converted;
  if (FAILED(dll::VariantChangeType(converted.get(), variant.get(), kNoChangeFlags, VT_BSTR))) return Text();
  return TextFromBstr((*converted).bstrVal);
}

BSTR AllocBstrFromText(const char* text) {
  const WideText wide(text);
  return dll::SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.length()));
}

Text TextFromBstr(BSTR bstr) {
  if (bstr == nullptr) return Text();
  const int units = static_cast<int>(dll::SysStringLen(bstr));
  if (units == 0) return Text();
  const int bytes = dll::WideCharToMultiByte(kCodePageGbk, 0, bstr, units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return Text();
  std::string out(static_cast<size_t>(bytes), '\0');
  dll::WideCharToMultiByte(kCodePageGbk, 0, bstr, units, &out[0], bytes, nullptr, nullptr);
  return Text(out.c_str(), std::strlen(out.c_str()));
}

}  // namespace quillet
