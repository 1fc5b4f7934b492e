// Two-state switch.
#include "elements/kvSwitch.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class Switch : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvSwitch> s{New<TKvSwitch>()};
  std::vector<std::string> log;
  Sink on, off, sw;

  void SetUp() override {
    on.react = [&](TData& d, std::uint16_t) { log.push_back("on " + AsString(d)); };
    off.react = [&](TData& d, std::uint16_t) { log.push_back("off " + AsString(d)); };
    sw.react = [&](TData& d, std::uint16_t) {
      log.push_back("switch " + AsString(d));
      SetString(d, "spoiled");  // must not reach onOn/onOff
    };
    s->onOn = on.Point();
    s->onOff = off.Point();
    s->onSwitch = sw.Point();
  }
  void Toggle(TData in = TData{}) { FireEvent(MakePoint<&TKvSwitch::doSwitch>(0, s.get()), in); }
  std::int32_t Current() {
    TData r;
    ReadPoint(MakePoint<&TKvSwitch::getCurrent>(0, s.get()), r);
    return AsInteger(r);
  }
};

TEST_F(Switch, StartsOffAndAlternates) {
  s->DataOn = IntData(1);
  s->DataOff = IntData(0);
  s->SetDefault(1);
  EXPECT_FALSE(s->State);
  EXPECT_EQ(Current(), 0);
  Toggle();
  EXPECT_EQ(Current(), 1);
  Toggle();
  EXPECT_EQ(log, (std::vector<std::string>{"switch 1", "on 1", "switch 0", "off 0"}));
  EXPECT_EQ(Current(), 0);
}

TEST_F(Switch, DefaultZeroStartsOnAndEmptyStateTakesTheArrivingValue) {
  s->DataOn = IntData(7);
  s->SetDefault(0);
  EXPECT_TRUE(s->State);
  EXPECT_EQ(Current(), 7);
  Toggle(IntData(42));  // DataOff NULL, no point: the arriving value
  EXPECT_EQ(Current(), 42);
  Source point = Source::Integer(9);
  s->DataOnPoint = point.Point();
  Toggle(IntData(5));
  EXPECT_EQ(log, (std::vector<std::string>{"switch 42", "off 42", "switch 9", "on 9"}));
}

}  // namespace
