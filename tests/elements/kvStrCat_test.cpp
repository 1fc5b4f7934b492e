// Concatenation element.
#include "elements/kvStrCat.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class StrCat : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvStrCat> el{New<TKvStrCat>()};
  Sink out;
  void SetUp() override { el->onStrCat = out.Point(); }
  std::string Run(TData in) {
    FireEvent(MakePoint<&TKvStrCat::doStrCat>(0, el.get()), in);
    return AsString(out.last());
  }
};

TEST_F(StrCat, AppendsTheSecondPropertyToTheIncomingText) {
  el->Str2 = "465A";
  EXPECT_EQ(Run(StrData("1B2C")), "1B2C465A");
  EXPECT_EQ(el->Result(), "1B2C465A");
  EXPECT_EQ(out.last().DataKind, kindString);
}

TEST_F(StrCat, ThePointsWinAndTheFirstHalfIsReadFirst) {
  // As in the upload: Str1 read from the stored checksum, Str2 the property.
  Source stored = Source::String("ABCD");
  el->Str1Point = stored.Point();
  el->Str2 = "465A";
  EXPECT_EQ(Run(StrData("ignored")), "ABCD465A");

  std::vector<std::string> order;
  Source second = Source::String("2");
  stored.before = [&](TData&) { order.push_back("Str1"); };
  second.before = [&](TData&) { order.push_back("Str2"); };
  el->Str2Point = second.Point();
  EXPECT_EQ(Run(TData{}), "ABCD2");
  EXPECT_EQ(order, (std::vector<std::string>{"Str1", "Str2"}));

  // A Break answer falls back to the property.
  Source brk = Source::Break();
  el->Str1Point = brk.Point();
  el->Str1 = "one";
  EXPECT_EQ(Run(TData{}), "one2");
}

TEST_F(StrCat, EmptyPropertiesTakeTheIncomingChainInOrder) {
  TData b = StrData("b");
  TData a = StrData("a");
  a.Next = &b;
  EXPECT_EQ(Run(a), "ab");
  EXPECT_EQ(Run(TData{}), "");
}

}  // namespace
