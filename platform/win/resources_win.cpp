// Windows resources: the module's own resource section.
#include <windows.h>

#include "platform/resources.h"

namespace zorv::platform {

ProgramResource::ProgramResource(const std::string& name, int type) {
  if (name.find('\0') != std::string::npos) return;
  HRSRC info = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(type));
  if (!info) return;
  HGLOBAL handle = LoadResource(nullptr, info);
  if (!handle) return;
  const DWORD size = SizeofResource(nullptr, info);
  const void* data = LockResource(handle);
  if (!data) {
    FreeResource(handle);
    return;
  }
  handle_ = handle;
  data_ = static_cast<const unsigned char*>(data);
  size_ = size;
}

ProgramResource::~ProgramResource() {
  if (handle_) FreeResource(static_cast<HGLOBAL>(handle_));
}

}  // namespace zorv::platform
