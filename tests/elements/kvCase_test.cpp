// Case element: match against one fixed value.
#include "elements/kvCase.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

TEST(Case, MatchFiresResultOtherwiseTheArrivingValueGoesToDefault) {
  EventsOnScope events;
  TObjPtr<TKvCase> e{New<TKvCase>()};
  e->Value = IntData(0);
  Sink match, other;
  e->onMatch = match.Point();
  e->onDefault = other.Point();
  const TEventPoint in = MakePoint<&TKvCase::doCase>(0, e.get());

  TData zeroText = StrData("0"), null, port = IntData(3);
  FireEvent(in, zeroText);
  FireEvent(in, null);
  FireEvent(in, port);
  ASSERT_EQ(match.count(), 1u);
  EXPECT_EQ(match.last().DataKind, kindNull);  // Result is NULL
  ASSERT_EQ(other.count(), 2u);
  EXPECT_EQ(other.hits[0].value.DataKind, kindNull);
  EXPECT_EQ(other.integers()[1], 3);

  e->Result = StrData("failed");
  TData zero = IntData(0);
  FireEvent(in, zero);
  EXPECT_EQ(match.strings().back(), "failed");
}

}  // namespace
