// Counted loop: fires onEvent with the loop variable once per step, each step with all it
// triggers finishing before the next, then passes on onStop the first value past the end.
//
// Points: input doFor; data points EndPoint, StartPoint (read before the properties);
// outputs onEvent (Integer, per step), onStop (Integer, once).
//
// The loop always ends: the variable is kept in 64 bits, so an end near the 32-bit limits
// or a huge step cannot wrap it back into range. A stop value beyond the 32-bit range is
// reported as its low 32 bits.
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvFor : public TObj {
 public:
  // Properties.
  std::int32_t Start = 0;
  std::int32_t End = 0;
  std::int32_t Step = 0;         // 0 runs no step
  std::uint8_t IncludeEnd = 0;   // non-zero: End itself is a step
  std::uint8_t KeepInput = 0;    // non-zero: the arriving chain may supply Start and End

  // State: the loop variable.
  std::int32_t Index = 0;

  // Points.
  void doFor(TData& d, std::uint16_t index);
  TEventPoint EndPoint;
  TEventPoint StartPoint;
  TEventPoint onEvent;
  TEventPoint onStop;

 protected:
  ~TKvFor() override = default;
};
