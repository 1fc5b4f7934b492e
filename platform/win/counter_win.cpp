// Windows high-resolution counter: the performance counter.
#include <windows.h>

#include "platform/counter.h"

namespace zorv::platform {

std::int64_t PerformanceCounter() {
  LARGE_INTEGER v{};
  QueryPerformanceCounter(&v);
  return v.QuadPart;
}

std::int64_t PerformanceFrequency() {
  LARGE_INTEGER f{};
  if (!QueryPerformanceFrequency(&f)) return 0;
  return f.QuadPart;
}

}  // namespace zorv::platform
