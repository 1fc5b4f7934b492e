// Conditional element: operands from points, properties or the incoming chain.
#include "elements/kvIf_else.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class IfElse : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvIf_else> e{New<TKvIf_else>()};
  Sink yes, no;
  void SetUp() override {
    e->onTrue = yes.Point();
    e->onFalse = no.Point();
  }
  void Compare(TData in) { FireEvent(MakePoint<&TKvIf_else::doCompare>(0, e.get()), in); }
};

TEST_F(IfElse, DataPointAgainstPropertyCarriesTheArrivingValue) {
  Source counter = Source::Integer(3);
  e->Op1Point = counter.Point();
  e->Op2 = IntData(3);
  Compare(StrData("tick"));
  SetInteger(counter.value, 4);
  Compare(StrData("tock"));
  EXPECT_EQ(yes.strings(), (std::vector<std::string>{"tick"}));
  EXPECT_EQ(no.strings(), (std::vector<std::string>{"tock"}));
}

TEST_F(IfElse, WithoutPointsOrPropertiesComparesTheFirstTwoArrivingValues) {
  e->Compare = cmpLess;
  TData second = IntData(9);
  TData first = IntData(2);
  first.Next = &second;
  Compare(first);
  ASSERT_EQ(yes.count(), 1u);
  EXPECT_EQ(AsInteger(yes.last()), 2);  // the chain as it arrived, not an operand
}

}  // namespace
