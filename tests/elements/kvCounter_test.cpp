// Counter: wrapping up and down, reset, extreme properties.
#include "elements/kvCounter.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

class Counter : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvCounter> c{New<TKvCounter>()};
  Sink out;
  void SetUp() override { c->onNext = out.Point(); }
  void Set(std::int32_t count, std::int32_t min, std::int32_t max, std::int32_t step, std::uint8_t dir = 0) {
    c->Count = count, c->Min = min, c->Max = max, c->Step = step, c->Direction = dir;
  }
  std::vector<std::int32_t> Next(int n) {
    out.hits.clear();
    for (int i = 0; i < n; ++i) {
      TData in = StrData("ignored");
      FireEvent(MakePoint<&TKvCounter::doNext>(0, c.get()), in);
    }
    return out.integers();
  }
};

TEST_F(Counter, EmitsTheNewValueAndWrapsOntoTheOtherBound) {
  Set(0, 0, 1, 1);
  EXPECT_EQ(Next(4), (std::vector<std::int32_t>{1, 0, 1, 0}));
  Set(6, 0, 7, 5);
  EXPECT_EQ(Next(1), (std::vector<std::int32_t>{0}));  // not the overshoot 3
  Set(0, 0, 100, 1, 1);
  EXPECT_EQ(Next(2), (std::vector<std::int32_t>{100, 99}));
  Set(1014, 0, 1015, 1);
  EXPECT_EQ(Next(2), (std::vector<std::int32_t>{1015, 0}));
}

TEST_F(Counter, ResetIsSilentAndGoesToTheStartingBound) {
  Set(5, 2, 9, 1);
  TData none;
  FireEvent(MakePoint<&TKvCounter::doReset>(0, c.get()), none);
  EXPECT_EQ(out.count(), 0u);
  TData r;
  ReadPoint(MakePoint<&TKvCounter::getCount>(0, c.get()), r);
  EXPECT_EQ(AsInteger(r), 2);
  EXPECT_EQ(Next(1), (std::vector<std::int32_t>{3}));
  c->Direction = 1;
  FireEvent(MakePoint<&TKvCounter::doReset>(0, c.get()), none);
  EXPECT_EQ(c->Count, 9);
}

TEST_F(Counter, LeavingThe32BitRangeCountsAsPassingTheBound) {
  Set(kMax - 1, -5, kMax, 1);
  EXPECT_EQ(Next(2), (std::vector<std::int32_t>{kMax, -5}));
  Set(kMax, kMin, kMax, kMax);
  EXPECT_EQ(Next(1), (std::vector<std::int32_t>{kMin}));
  Set(kMin + 1, kMin, 3, 1, 1);
  EXPECT_EQ(Next(2), (std::vector<std::int32_t>{kMin, 3}));
  Set(kMin, kMin, kMax, kMin, 1);  // down by the most negative step, then up past the top
  EXPECT_EQ(Next(2), (std::vector<std::int32_t>{0, kMin}));
  Set(kMin + 1, 0, 10, -2);  // up by a negative step, below every bound
  EXPECT_EQ(Next(1), (std::vector<std::int32_t>{10}));
}

}  // namespace
