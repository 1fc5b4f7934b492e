// Loop element: steps, bounds, termination at the 32-bit limits.
#include "elements/kvFor.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

class For : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvFor> f{New<TKvFor>()};
  Sink step, stop;
  void SetUp() override {
    f->onEvent = step.Point();
    f->onStop = stop.Point();
  }
  // Runs once; returns the stop value (the steps are in step).
  std::int32_t Run(std::int32_t start, std::int32_t end, std::int32_t by, std::uint8_t includeEnd = 1,
                   TData in = TData{}) {
    f->Start = start, f->End = end, f->Step = by, f->IncludeEnd = includeEnd;
    step.hits.clear();
    stop.hits.clear();
    FireEvent(MakePoint<&TKvFor::doFor>(0, f.get()), in);
    EXPECT_EQ(stop.count(), 1u);
    return stop.count() ? AsInteger(stop.last()) : 0;
  }
};

TEST_F(For, OrdinaryLoops) {
  EXPECT_EQ(Run(0, 255, 1), 256);
  ASSERT_EQ(step.count(), 256u);
  EXPECT_EQ(step.integers().front(), 0);
  EXPECT_EQ(step.integers().back(), 255);
  EXPECT_EQ(Run(0, 255, 1, 0), 255);
  EXPECT_EQ(step.integers().back(), 254);
  EXPECT_EQ(Run(10, 3, 1), 10);
  EXPECT_EQ(step.count(), 0u);
  EXPECT_EQ(Run(4, 9, 0), 4);
  EXPECT_EQ(step.count(), 0u);
  EXPECT_EQ(Run(5, 0, -2, 0), -1);
  EXPECT_EQ(step.integers(), (std::vector<std::int32_t>{5, 3, 1}));
}

TEST_F(For, BoundsComeFromPointsThenPropertiesThenTheArrivingChain) {
  Source end = Source::Integer(2);
  f->EndPoint = end.Point();
  TData second = IntData(50);
  TData first = IntData(40);
  first.Next = &second;
  EXPECT_EQ(Run(0, 9, 1, 1, first), 3);  // KeepInput 0: the chain is dropped
  f->EndPoint = TEventPoint{};
  f->KeepInput = 1;
  EXPECT_EQ(Run(0, 0, 5, 1, first), 55);
  EXPECT_EQ(step.integers(), (std::vector<std::int32_t>{40, 45, 50}));
}

TEST_F(For, EndsNearThe32BitLimitsAndWithHugeSteps) {
  EXPECT_EQ(Run(kMax - 2, kMax, 1), kMin);  // past the top: the low 32 bits
  EXPECT_EQ(step.integers(), (std::vector<std::int32_t>{kMax - 2, kMax - 1, kMax}));
  EXPECT_EQ(Run(0, kMax, kMax), -2);  // the low 32 bits of 2 * kMax
  EXPECT_EQ(step.integers(), (std::vector<std::int32_t>{0, kMax}));
  EXPECT_EQ(Run(kMin + 1, kMin, -1), kMax);
  EXPECT_EQ(step.integers(), (std::vector<std::int32_t>{kMin + 1, kMin}));
  EXPECT_EQ(Run(kMax, kMin, kMin), kMax);
  EXPECT_EQ(step.integers(), (std::vector<std::int32_t>{kMax, -1}));
  EXPECT_EQ(Run(kMin, kMin, 1, 0), kMin);  // end - 1 is below every start
  EXPECT_EQ(Run(kMax, kMax, -1, 0), kMax);
  EXPECT_EQ(step.count(), 0u);
}

}  // namespace

