#include "elements/kvCounter.h"

#include <limits>

namespace {

constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();

}  // namespace

void TKvCounter::doNext(TData& d, std::uint16_t) {
  // 64-bit sums hold any pair of 32-bit operands; a result outside the 32-bit range has
  // passed every bound on that side.
  if (Direction == 0) {
    const std::int64_t next = static_cast<std::int64_t>(Count) + Step;
    if (next > Max) {
      Count = Min;
    } else if (next < kLow) {
      Count = Max;
    } else {
      Count = static_cast<std::int32_t>(next);
    }
  } else {
    const std::int64_t next = static_cast<std::int64_t>(Count) - Step;
    if (next < Min) {
      Count = Max;
    } else if (next > kHigh) {
      Count = Min;
    } else {
      Count = static_cast<std::int32_t>(next);
    }
  }
  PassOnInteger(d, onNext, Count);
}

void TKvCounter::doReset(TData&, std::uint16_t) { Count = Direction == 0 ? Min : Max; }

void TKvCounter::getCount(TData& d, std::uint16_t) { SetInteger(d, Count); }
