#include "elements/kvSleep.h"

#include "platform/counter.h"

TKvSleep::TCounter TKvSleep::SystemCounter() {
  return TCounter{&zorv::platform::PerformanceCounter, &zorv::platform::PerformanceFrequency};
}

std::int64_t TicksToMicroseconds(std::int64_t ticks, std::int64_t frequency) {
  constexpr std::int64_t kPerSecond = 1000000;
  // Whole seconds first, then the rest of a second: neither product can overflow while
  // the frequency stays below 9.2e12 Hz; a faster one is first brought to microseconds.
  const std::int64_t seconds = ticks / frequency;
  const std::int64_t rest = ticks % frequency;
  const std::int64_t restUs = frequency <= INT64_MAX / kPerSecond ? rest * kPerSecond / frequency
                                                                  : rest / (frequency / kPerSecond);
  if (seconds > INT64_MAX / kPerSecond) return INT64_MAX;
  if (seconds < INT64_MIN / kPerSecond) return INT64_MIN;
  return seconds * kPerSecond + restUs;
}

void TKvSleep::doSleep(TData& d, std::uint16_t) {
  const std::int64_t t0 = Counter.Now();
  const std::int64_t f = Counter.Frequency();
  const std::int64_t delay = Delay;
  std::int64_t elapsed = 0;
  do {
    // Without a counter frequency there is nothing to measure with: one measurement, as
    // for no delay, rather than an endless wait.
    if (f <= 0) break;
    // The difference is taken modulo 2^64, so a counter that wraps still moves forward.
    const auto ticks =
        static_cast<std::int64_t>(static_cast<std::uint64_t>(Counter.Now()) - static_cast<std::uint64_t>(t0));
    elapsed = TicksToMicroseconds(ticks, f);
  } while (delay > 0 && elapsed <= delay);
  FireEvent(onSleep, d);
}
