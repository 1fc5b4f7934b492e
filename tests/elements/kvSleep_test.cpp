// Busy-wait delay on the real counter and on slow fake counters.
#include "elements/kvSleep.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;
using namespace std::chrono_literals;

// A counter that moves by a fixed step on every reading.
struct FakeCounter {
  std::uint64_t value = 0, step = 1, first = 0;
  std::int64_t frequency = 1000000;
  int reads = 0;

  TKvSleep::TCounter Counter() {
    return TKvSleep::TCounter{[this] {
                                if (reads++ == 0) first = value;
                                value += step;
                                return static_cast<std::int64_t>(value - step);
                              },
                              [this] { return frequency; }};
  }
  // Ticks between the first reading and the last one.
  std::uint64_t Waited() const { return value - step - first; }
};

class Sleep : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvSleep> sleep{New<TKvSleep>()};
  FakeCounter fake;
  Sink out;
  void SetUp() override {
    sleep->onSleep = out.Point();
    sleep->Counter = fake.Counter();
  }
  std::uint64_t Run(std::int32_t delay, std::int64_t frequency, std::uint64_t step = 1) {
    sleep->Delay = delay;
    fake.frequency = frequency;
    fake.step = step;
    fake.reads = 0;
    TData d = StrData("payload");
    sleep->doSleep(d, 0);
    return fake.Waited();
  }
};

TEST(TicksToMicroseconds, ExactForAnyFrequencyWithoutOverflow) {
  EXPECT_EQ(TicksToMicroseconds(1, 1), 1000000);
  EXPECT_EQ(TicksToMicroseconds(3, 3579545), 0);
  EXPECT_EQ(TicksToMicroseconds(53693176, 3579545), 15000000);
  EXPECT_EQ(TicksToMicroseconds(INT64_MAX, 1000000000), 9223372036854775);
  EXPECT_EQ(TicksToMicroseconds(INT64_MAX, 1), INT64_MAX);  // beyond the range: saturates
  EXPECT_EQ(TicksToMicroseconds(-1000, 1000), -1000000);
  EXPECT_EQ(TicksToMicroseconds(19999999999999, 20000000000000), 999999);
}

TEST_F(Sleep, FiresTheCallersOwnRecord) {
  out.react = [](TData& d, std::uint16_t) { SetInteger(d, 7); };
  TData d = StrData("payload");
  sleep->Delay = 10;
  sleep->doSleep(d, 0);
  EXPECT_EQ(out.strings(), (std::vector<std::string>{"payload"}));
  EXPECT_EQ(AsInteger(d), 7);  // the receiver wrote into the caller's record
}

TEST_F(Sleep, ZeroOrNegativeDelayTakesOneMeasurement) {
  for (std::int32_t delay : {0, -1, INT32_MIN}) {
    Run(delay, 1000000);
    EXPECT_EQ(fake.reads, 2) << delay;  // the start and one measurement
  }
  EXPECT_EQ(out.count(), 3u);
}

TEST_F(Sleep, EndsOnceElapsedExceedsTheDelay) {
  EXPECT_EQ(Run(500, 1000000), 501u);
  EXPECT_EQ(Run(1000000, 32768), 32769u);  // below 1 MHz; 32768 ticks are exactly 1 s
  EXPECT_EQ(Run(1, 1), 1u);
  // 3.579545 MHz: 15 s and 1 us take 53693179 ticks (3 ticks per microsecond would end
  // the wait 2.4 s early).
  const std::uint64_t waited = Run(15000000, 3579545, 1000);
  EXPECT_GE(waited, 53693179u);
  EXPECT_LT(waited, 53693179u + 1000u);
  EXPECT_EQ(out.count(), 4u);
}

TEST_F(Sleep, LongestDelayOnAFastCounterAndACounterThatWraps) {
  // 10 GHz: ticks * 1000000 would leave 64 bits; 0.1 s per reading.
  EXPECT_EQ(Run(INT32_MAX, 10000000000, 1000000000), 21475000000000u);
  fake.value = static_cast<std::uint64_t>(INT64_MAX) - 5;
  EXPECT_EQ(Run(20, 1000000, 3), 21u);
}

TEST_F(Sleep, CounterWithoutFrequencyDoesNotWait) {
  Run(1000, 0);
  EXPECT_EQ(out.count(), 1u);
  EXPECT_LE(fake.reads, 2);
}

TEST(SleepOnTheSystemCounter, HoldsTheThreadForTheDelay) {
  EventsOnScope events;
  TObjPtr<TKvSleep> sleep{New<TKvSleep>()};
  Sink out;
  sleep->onSleep = out.Point();
  sleep->Delay = 20000;
  const auto start = std::chrono::steady_clock::now();
  TData d = IntData(1);
  sleep->doSleep(d, 0);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(out.count(), 1u);
  EXPECT_GE(took, 20ms);
  EXPECT_LT(took, 5s);
}

}  // namespace
