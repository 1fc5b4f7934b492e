// Commutator: gating, input restriction and output selection.
#include "elements/kvCommutator.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class Commutator : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvCommutator> c{New<TKvCommutator>()};
  Sink out0, out1;

  void SetUp() override {
    c->SetOutCount(2);
    c->onEvent[0] = out0.Point();
    c->onEvent[1] = out1.Point();
  }
  void Send(const std::string& s, std::uint16_t input = 0) {
    TData in = StrData(s);
    FireEvent(MakePoint<&TKvCommutator::doWork>(input, c.get()), in);
    EXPECT_EQ(AsString(in), s);  // never consumed, nothing passed on
  }
};

TEST_F(Commutator, EnabledGatesAndBreakMeansEnabled) {
  Source off = Source::Integer(0), brk = Source::Break();
  c->Enabled = off.Point();
  Send("a");
  c->Enabled = brk.Point();
  Send("b");
  EXPECT_EQ(out0.strings(), (std::vector<std::string>{"b"}));
  EXPECT_EQ(out1.strings(), (std::vector<std::string>{"b"}));
}

TEST_F(Commutator, OutIndexPicksOneAllOrNone) {
  Source sel = Source::Integer(1);
  c->OutIndex = sel.Point();
  Send("one");
  SetInteger(sel.value, 5);
  Send("none");
  SetInteger(sel.value, -3);
  Send("all");
  EXPECT_EQ(out0.strings(), (std::vector<std::string>{"all"}));
  EXPECT_EQ(out1.strings(), (std::vector<std::string>{"one", "all"}));
}

TEST_F(Commutator, InIndexRestrictsToOneInput) {
  Source only0 = Source::Integer(0);
  c->InIndex = only0.Point();
  Send("from1", 1);
  Send("from0", 0);
  EXPECT_EQ(out0.strings(), (std::vector<std::string>{"from0"}));
}

TEST_F(Commutator, RecordedCountLimitsOutputsWhateverTheArraySize) {
  c->SetOutCount(0);  // records 0, keeps the stale points, fires none of them
  EXPECT_EQ(c->onEvent.size(), 2u);
  Send("x");
  c->OutCount = 9;  // set without the setter: only the existing points can fire
  Source sel = Source::Integer(4);
  c->OutIndex = sel.Point();
  Send("y");
  c->OutIndex = TEventPoint{};
  Send("z");
  EXPECT_EQ(out0.strings(), (std::vector<std::string>{"z"}));
  EXPECT_EQ(out1.strings(), (std::vector<std::string>{"z"}));
}

}  // namespace
