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
  std::uint64_t value = 0;
  std::uint64_t step = 1;
  std::int64_t frequency = 1000000;
  int reads = 0;
  std::uint64_t first = 0;

  TKvSleep::TCounter Counter() {
    return TKvSleep::TCounter{[this] {
                                if (reads++ == 0) first = value;
                                const auto v = static_cast<std::int64_t>(value);
                                value += step;
                                return v;
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
  void Run() {
    TData d = StrData("payload");
    sleep->doSleep(d, 0);
  }
};

TEST(TicksToMicroseconds, ExactForAnyFrequencyWithoutOverflow) {
  EXPECT_EQ(TicksToMicroseconds(1, 1), 1000000);
  EXPECT_EQ(TicksToMicroseconds(3, 3579545), 0);
  EXPECT_EQ(TicksToMicroseconds(3579545, 3579545), 1000000);
  EXPECT_EQ(TicksToMicroseconds(53693176, 3579545), 15000000);
  EXPECT_EQ(TicksToMicroseconds(32769, 32768), 1000030);
  EXPECT_EQ(TicksToMicroseconds(INT64_MAX, 1000000000), 9223372036854775);
  EXPECT_EQ(TicksToMicroseconds(INT64_MAX, 10000000), 922337203685477580);
  EXPECT_EQ(TicksToMicroseconds(INT64_MAX, 1), INT64_MAX);  // beyond the range: saturates
  EXPECT_EQ(TicksToMicroseconds(-1000, 1000), -1000000);
  EXPECT_EQ(TicksToMicroseconds(19999999999999, 20000000000000), 999999);
}

TEST_F(Sleep, FiresTheCallersOwnRecordOnce) {
  sleep->Delay = 10;
  out.react = [](TData& d, std::uint16_t) { SetInteger(d, 7); };
  TData d = StrData("payload");
  sleep->doSleep(d, 0);
  EXPECT_EQ(out.strings(), (std::vector<std::string>{"payload"}));
  EXPECT_EQ(AsInteger(d), 7);  // the receiver wrote into the caller's record
}

TEST_F(Sleep, ZeroOrNegativeDelayTakesOneMeasurement) {
  for (std::int32_t delay : {0, -1, INT32_MIN}) {
    fake.reads = 0;
    sleep->Delay = delay;
    Run();
    EXPECT_EQ(fake.reads, 2) << delay;  // the start and one measurement
  }
  EXPECT_EQ(out.count(), 3u);
}

TEST_F(Sleep, EndsOnceElapsedExceedsTheDelay) {
  fake.frequency = 1000000;  // one tick per microsecond
  sleep->Delay = 500;
  Run();
  EXPECT_EQ(fake.Waited(), 501u);
  EXPECT_EQ(out.count(), 1u);
}

TEST_F(Sleep, CounterBelowOneMegahertz) {
  fake.frequency = 32768;
  sleep->Delay = 1000000;
  Run();
  EXPECT_EQ(fake.Waited(), 32769u);  // 32768 ticks are exactly 1 s, not more

  fake.reads = 0;
  fake.frequency = 1;
  sleep->Delay = 1;
  Run();
  EXPECT_EQ(fake.Waited(), 1u);
  EXPECT_EQ(out.count(), 2u);
}

TEST_F(Sleep, CounterNotAMultipleOfOneMegahertzGivesTheFullDelay) {
  fake.frequency = 3579545;
  fake.step = 1000;
  sleep->Delay = 15000000;
  Run();
  // 15 s and one microsecond need 53693179 ticks; the fake moves by 1000.
  EXPECT_GE(fake.Waited(), 53693179u);
  EXPECT_LT(fake.Waited(), 53693179u + 1000u);
}

TEST_F(Sleep, LongestDelayOnAFastCounter) {
  fake.frequency = 10000000000;  // 10 GHz: ticks * 1000000 would leave 64 bits
  fake.step = 1000000000;        // 0.1 s per reading
  sleep->Delay = INT32_MAX;      // about 2147.5 s
  Run();
  EXPECT_EQ(fake.Waited(), 21475000000000u);
}

TEST_F(Sleep, CounterThatWrapsStillEnds) {
  fake.value = static_cast<std::uint64_t>(INT64_MAX) - 5;
  fake.step = 3;
  sleep->Delay = 20;
  Run();
  EXPECT_EQ(fake.Waited(), 21u);
}

TEST_F(Sleep, CounterWithoutFrequencyDoesNotWait) {
  fake.frequency = 0;
  sleep->Delay = 1000;
  Run();
  EXPECT_EQ(out.count(), 1u);
  EXPECT_LE(fake.reads, 2);
}

TEST_F(Sleep, UnconnectedOutputIsHarmless) {
  sleep->onSleep = TEventPoint{};
  sleep->Delay = 5;
  Run();
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

  sleep->Delay = -1;
  sleep->doSleep(d, 0);
  EXPECT_EQ(out.count(), 2u);
}

}  // namespace
