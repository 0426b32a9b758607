#include "http/com_apartment.h"

#include "runtime/program_dll_commands.h"

namespace quillet {

ComApartment::ComApartment() {
  const HRESULT result = dll::CoInitialize(nullptr);
  joined_ = result == S_OK || result == S_FALSE;
}

ComApartment::~ComApartment() {
  if (joined_) dll::CoUninitialize();
}

}  // namespace quillet
