// Read access to the resources embedded in the program file (Windows module resources,
// or the blob table that POSIX builds link in).
#pragma once

#include <cstddef>
#include <string>

namespace zorv::platform {

// One entry of the POSIX resource table (generated at build time).
struct ResourceBlob {
  const char* name;
  int type;
  const unsigned char* begin;
  const unsigned char* end;
};

// The table itself, defined by the build's generated resource object.
extern const ResourceBlob kResourceTable[];
extern const std::size_t kResourceCount;

// A resource of the running program, found by name (case-insensitive, as the Windows
// resource compiler stores names; UTF-8) and numeric type. Released when destroyed.
class ProgramResource {
 public:
  ProgramResource(const std::string& name, int type);
  ~ProgramResource();
  ProgramResource(const ProgramResource&) = delete;
  ProgramResource& operator=(const ProgramResource&) = delete;

  bool found() const { return data_ != nullptr; }
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  void* handle_ = nullptr;  // HGLOBAL of the loaded resource on Windows
};

}  // namespace zorv::platform
