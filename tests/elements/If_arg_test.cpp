// CompareData: the comparison shared by the conditional elements.
#include "elements/If_arg.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

TData RealData(double v) {
  TData d;
  SetReal(d, v);
  return d;
}

TEST(CompareData, KindOfTheFirstOperandDecides) {
  EXPECT_TRUE(CompareData(IntData(5), StrData("5"), cmpEqual));
  EXPECT_TRUE(CompareData(StrData("5"), IntData(5), cmpEqual));
  EXPECT_TRUE(CompareData(IntData(-2), StrData("7"), cmpLess));  // signed
  EXPECT_TRUE(CompareData(RealData(2.5), IntData(2), cmpGreater));
  EXPECT_FALSE(CompareData(RealData(2.5), StrData("2.5"), cmpNotEqual));
  TData stream;
  SetStream(stream, nullptr);
  for (std::uint8_t op = 0; op <= 5; ++op) {
    EXPECT_TRUE(CompareData(TData{}, TData{}, op)) << int(op);
    EXPECT_FALSE(CompareData(TData{}, IntData(0), op)) << int(op);
    EXPECT_FALSE(CompareData(stream, stream, op)) << int(op);
  }
  EXPECT_FALSE(CompareData(IntData(1), IntData(1), 6));  // unknown operator
}

TEST(CompareData, StringsAreExactForEqualityAndFoldedForOrder) {
  const TData abc = StrData("abc"), ABC = StrData("ABC");
  EXPECT_FALSE(CompareData(abc, ABC, cmpEqual));
  EXPECT_TRUE(CompareData(abc, ABC, cmpNotEqual));
  EXPECT_FALSE(CompareData(abc, ABC, cmpLess));
  EXPECT_FALSE(CompareData(abc, ABC, cmpGreater));
  EXPECT_TRUE(CompareData(abc, ABC, cmpLessOrEqual));
  EXPECT_TRUE(CompareData(abc, ABC, cmpGreaterOrEqual));
  EXPECT_TRUE(CompareData(StrData("ab"), ABC, cmpLess));  // a prefix is smaller
  // Only a-z fold: Cyrillic bytes (0xE0 small a, 0xC0 capital A) compare as values, above ASCII.
  EXPECT_TRUE(CompareData(StrData("\xC0"), StrData("\xE0"), cmpLess));
  EXPECT_TRUE(CompareData(StrData("\xC0"), StrData("z"), cmpGreater));
}

}  // namespace
