// POSIX high-resolution counter: CLOCK_MONOTONIC in nanoseconds.
#include <time.h>

#include "platform/counter.h"

namespace zorv::platform {

std::int64_t PerformanceCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::int64_t PerformanceFrequency() { return 1000000000; }

}  // namespace zorv::platform
