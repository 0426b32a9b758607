// Automation objects: references, Variants, creation by ProgID and property /
// method access bound through the object's type information. Nothing here
// raises; a failed call answers the empty value of its kind and leaves a code
// in the calling thread's last-error cell.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <initializer_list>

#include "http/com_owners.h"
#include "runtime/value.h"

namespace quillet {

// Codes of the last-error cell; other non-zero values are the platform's HRESULT.
enum AutomationError : int32_t {
  kAutomationOk = 0,
  kAutomationNoObject = -1,
  kAutomationNoDispatch = -2,
  kAutomationUnknownName = -3,
  kAutomationNoTypeInfo = -4,
  kAutomationTooManyArguments = -5,
  kAutomationBadArgument = -7,
  kAutomationBadResult = -8,
};

int32_t AutomationLastError();
void SetAutomationLastError(int32_t code);

// One automation interface (or nothing). Copies share it with a reference added.
class ObjectRef {
 public:
  ObjectRef() = default;
  explicit ObjectRef(IUnknown* adopt) : unknown_(adopt) {}
  ObjectRef(const ObjectRef& other);
  ObjectRef(ObjectRef&& other) noexcept;
  ObjectRef& operator=(const ObjectRef& other);
  ObjectRef& operator=(ObjectRef&& other) noexcept;
  ~ObjectRef() { Release(); }

  void Release();
  void Reset(IUnknown* adopt);
  IUnknown* get() const { return unknown_; }
  bool empty() const { return unknown_ == nullptr; }

 private:
  IUnknown* unknown_ = nullptr;
  uintptr_t auxiliary_ = 0;
};

// One VARIANT; a new one holds the integer 0.
class Variant {
 public:
  Variant();
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  ~Variant();

  void Clear();  // VariantClear, then all zero (VT_EMPTY)
  // Takes the contents of `source`, leaving it VT_EMPTY; what this held is cleared.
  void TakeFrom(ScopedVariant& source);
  VARIANT* get() { return &value_; }
  const VARIANT* get() const { return &value_; }
  VARTYPE type() const { return value_.vt; }

 private:
  VARIANT value_;
};

// A runtime value handed to an automation call. A "variable" argument is
// passed by reference when the member declares the parameter so, and gets
// the final value written back.
class AutoArg {
 public:
  enum class Kind {
    kOmitted, kText, kBool, kInt, kLong, kShort, kByte, kFloat, kDouble, kDateTime, kByteSet, kObject, kVariant,
  };
  AutoArg() = default;
  static AutoArg Omitted() { return AutoArg(); }
  static AutoArg FromText(const char* text);
  static AutoArg FromBool(bool value);
  static AutoArg FromInt(int32_t value);
  static AutoArg FromLong(int64_t value);
  static AutoArg FromShort(int16_t value);
  static AutoArg FromByte(uint8_t value);
  static AutoArg FromFloat(float value);
  static AutoArg FromDouble(double value);
  static AutoArg FromDateTime(double days);
  static AutoArg FromByteSet(const ByteSetBlock* bytes);
  static AutoArg FromObject(const ObjectRef* object);
  static AutoArg FromVariant(const Variant* variant);
  // Variables (in/out).
  static AutoArg TextVariable(Text* variable);
  static AutoArg IntVariable(int32_t* variable);
  static AutoArg BoolVariable(bool* variable);
  static AutoArg DoubleVariable(double* variable);
  static AutoArg VariantVariable(Variant* variable);

  Kind kind() const { return kind_; }
  const ByteSetBlock* byte_set() const { return kind_ == Kind::kByteSet ? value_.bytes : nullptr; }
  bool is_variable() const { return variable_ != nullptr; }
  // Fills `out` (VariantInit'ed) with the value; false when the kind cannot be passed.
  bool ToVariant(VARIANT* out) const;
  // Writes a returned value back into the variable; false when it cannot be converted.
  bool WriteBack(const VARIANT& value) const;

 private:
  static AutoArg WithInteger(Kind kind, int64_t value);
  static AutoArg WithReal(Kind kind, double value);
  static AutoArg BoundTo(AutoArg value, void* variable);

  Kind kind_ = Kind::kOmitted;
  union {
    const char* text;
    int64_t integer;
    double real;
    const ByteSetBlock* bytes;
    const ObjectRef* object;
    const Variant* variant;
  } value_{};
  void* variable_ = nullptr;
};

using AutoArgs = std::initializer_list<AutoArg>;

// Creates an object by ProgID or by a class id written in braces.
bool CreateObject(ObjectRef& object, const char* prog_id_or_class_id);
void ReleaseObject(ObjectRef& object);
bool ObjectIsEmpty(const ObjectRef& object);
void CopyObject(ObjectRef& target, const ObjectRef& source);

// True when the last-error cell is 0 afterwards.
bool WriteProperty(const ObjectRef& object, const char* name, const AutoArg& value);
Text ReadPropertyText(const ObjectRef& object, const char* name, AutoArgs args = {});
double ReadPropertyDouble(const ObjectRef& object, const char* name, AutoArgs args = {});
ObjectRef ReadPropertyObject(const ObjectRef& object, const char* name, AutoArgs args = {});
Variant ReadPropertyVariant(const ObjectRef& object, const char* name, AutoArgs args = {});
void CallMethod(const ObjectRef& object, const char* name, AutoArgs args = {});
Text CallMethodText(const ObjectRef& object, const char* name, AutoArgs args = {});
ObjectRef CallMethodObject(const ObjectRef& object, const char* name, AutoArgs args = {});

// Sets the Variant from a runtime value; a Byte set becomes a SAFEARRAY of
// VT_UI1. False when the value cannot be held.
bool SetVariant(Variant& variant, const AutoArg& value);
void ClearVariant(Variant& variant);
void CopyVariant(Variant& target, const Variant& source);
Text VariantAsText(const Variant& variant);

// BSTR <-> GBK Text.
BSTR AllocBstrFromText(const char* text);
Text TextFromBstr(BSTR bstr);

}  // namespace quillet
