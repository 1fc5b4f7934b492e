// Delay element: holds the event that passes through it for Delay microseconds by
// busy-waiting on the high-resolution counter, then fires onSleep with the caller's own
// record. The calling thread is fully busy meanwhile.
//
// Points: input doSleep; output onSleep.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvSleep : public TObj {
 public:
  // Properties.
  std::int32_t Delay = 0;  // microseconds; 0 or negative: no wait

  // The counter the delay is measured on: the system's, unless a test puts in its own.
  struct TCounter {
    std::function<std::int64_t()> Now;
    std::function<std::int64_t()> Frequency;  // ticks per second
  };
  TCounter Counter = SystemCounter();
  static TCounter SystemCounter();

  // Points.
  void doSleep(TData& d, std::uint16_t index);
  TEventPoint onSleep;

 protected:
  ~TKvSleep() override = default;
};

// Whole microseconds in a count of ticks of a counter with the given frequency (> 0),
// exact for every frequency and free of overflow for any tick count a counter can reach.
std::int64_t TicksToMicroseconds(std::int64_t ticks, std::int64_t frequency);
