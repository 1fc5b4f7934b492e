// The system's high-resolution monotonic counter.
#pragma once

#include <cstdint>

namespace zorv::platform {

// The counter's current value, in ticks.
std::int64_t PerformanceCounter();

// Ticks per second; 0 when the system has no such counter.
std::int64_t PerformanceFrequency();

}  // namespace zorv::platform
