// Windows resources: the module's own resource section.
#include <windows.h>

#include "platform/resources.h"
#include "platform/win/utf8_win.h"

namespace zorv::platform {

ProgramResource::ProgramResource(const std::string& name, int type) {
  std::wstring wide;
  if (name.find('\0') != std::string::npos || !Utf8ToWide(name, wide)) return;
  HRSRC info = FindResourceW(nullptr, wide.c_str(), MAKEINTRESOURCEW(type));
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
