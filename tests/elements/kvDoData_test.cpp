// Constant value element.
#include "elements/kvDoData.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class DoData : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvDoData> e{New<TKvDoData>()};
  Sink out;
  void SetUp() override { e->onEmit = out.Point(); }
  void Emit(TData in) { FireEvent(MakePoint<&TKvDoData::doEmit>(0, e.get()), in); }
};

TEST_F(DoData, NullPropertyEmitsNullWhateverArrives) {
  Emit(StrData("incoming"));
  Emit(IntData(7));
  ASSERT_EQ(out.count(), 2u);
  EXPECT_EQ(out.hits[0].value.DataKind, kindNull);
  EXPECT_EQ(out.hits[1].value.DataKind, kindNull);
}

TEST_F(DoData, DataPointWinsUnlessItAnswersBreak) {
  e->Value = StrData("VERS");
  Emit(StrData("x"));
  Source point = Source::Integer(42);
  e->ValuePoint = point.Point();
  Emit(StrData("x"));
  point.value.DataKind = kindBreak;
  Emit(StrData("x"));
  EXPECT_EQ(out.strings(), (std::vector<std::string>{"VERS", "42", "VERS"}));
}

}  // namespace
