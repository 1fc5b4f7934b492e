// Wrapping counter: each doNext adds (or subtracts) Step and emits the new count; passing
// a bound lands exactly on the other bound.
//
// Points: inputs doNext, doReset (silent: back to Min, or to Max when counting down);
// output onNext (Integer); data output getCount (Integer).
//
// Any property values are safe: a step that would leave the 32-bit range counts as
// passing the bound in that direction (up past the top lands on Min, a negative step
// below the bottom lands on Max; the same mirrored when counting down).
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvCounter : public TObj {
 public:
  // Properties.
  std::int32_t Count = 0;
  std::int32_t Min = 0;
  std::int32_t Max = 0;
  std::int32_t Step = 0;
  std::uint8_t Direction = 0;  // 0 counts up, anything else down

  // Points.
  void doNext(TData& d, std::uint16_t index);
  void doReset(TData& d, std::uint16_t index);
  void getCount(TData& d, std::uint16_t index);
  TEventPoint onNext;

 protected:
  ~TKvCounter() override = default;
};
