#include "http/com_owners.h"

#include "runtime/program_dll_commands.h"

namespace quillet {

ScopedVariant::ScopedVariant() { dll::VariantInit(&value_); }

ScopedVariant::~ScopedVariant() { dll::VariantClear(&value_); }

void ScopedVariant::Clear() { dll::VariantClear(&value_); }

void ScopedVariant::TakeFrom(ScopedVariant& other) {
  if (&other == this) return;
  dll::VariantClear(&value_);
  value_ = other.Detach();
}

VARIANT ScopedVariant::Detach() {
  const VARIANT contents = value_;
  dll::VariantInit(&value_);
  return contents;
}

ScopedExceptionInfo::~ScopedExceptionInfo() {
  dll::SysFreeString(info_.bstrSource);
  dll::SysFreeString(info_.bstrDescription);
  dll::SysFreeString(info_.bstrHelpFile);
}

ComApartment::ComApartment() {
  const HRESULT result = dll::CoInitialize(nullptr);
  joined_ = result == S_OK || result == S_FALSE;
}

ComApartment::~ComApartment() {
  if (joined_) dll::CoUninitialize();
}

}  // namespace quillet
