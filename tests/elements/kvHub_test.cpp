// Hub: fan-out in index order, each output with the value as it arrived.
#include "elements/kvHub.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class Hub : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvHub> hub{New<TKvHub>()};
  TEventPoint In(std::uint16_t k = 0) { return MakePoint<&TKvHub::doEvent>(k, hub.get()); }
};

TEST_F(Hub, FiresEveryOutputInOrderWithTheValueAsItArrived) {
  hub->SetOutCount(3);
  std::vector<std::string> order;
  Sink a, b, c;
  a.react = [&](TData& d, std::uint16_t) {
    order.push_back("a");
    SetString(d, "spoiled");  // does not reach b
  };
  b.react = [&](TData& d, std::uint16_t) {
    order.push_back("b");
    PassOnInteger(d, c.Point(9), 5);  // b's own tail firing completes before c's turn
  };
  c.react = [&](TData&, std::uint16_t) { order.push_back("c"); };
  hub->onEvent[0] = a.Point();
  hub->onEvent[1] = b.Point();
  hub->onEvent[2] = c.Point();

  TData in = StrData("v");
  FireEvent(In(1), in);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "c"}));
  EXPECT_EQ(a.strings(), (std::vector<std::string>{"v"}));
  EXPECT_EQ(b.strings(), (std::vector<std::string>{"v"}));
  EXPECT_EQ(c.strings(), (std::vector<std::string>{"5", "v"}));
  EXPECT_EQ(in.StrValue, "v");  // nothing is passed on
}

TEST_F(Hub, WithoutOutputsSwallowsEverything) {
  TData in = IntData(1);
  FireEvent(In(), in);
  hub->SetOutCount(2);
  hub->SetOutCount(0);
  FireEvent(In(), in);
  EXPECT_TRUE(hub->onEvent.empty());
}

}  // namespace
