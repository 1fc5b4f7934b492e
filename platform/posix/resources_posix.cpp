// POSIX resources: a lookup in the blob table that the build links into each program.
#include <strings.h>

#include "platform/resources.h"

namespace zorv::platform {

ProgramResource::ProgramResource(const std::string& name, int type) {
  if (name.find('\0') != std::string::npos) return;
  for (std::size_t i = 0; i < kResourceCount; ++i) {
    const ResourceBlob& blob = kResourceTable[i];
    if (blob.type == type && strcasecmp(blob.name, name.c_str()) == 0) {
      data_ = blob.begin;
      size_ = static_cast<std::size_t>(blob.end - blob.begin);
      return;
    }
  }
}

ProgramResource::~ProgramResource() = default;

}  // namespace zorv::platform
