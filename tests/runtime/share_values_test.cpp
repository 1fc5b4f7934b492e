// Value records: kinds, conversions, chains, fonts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "runtime/Share.h"
#include "winlib/StrStreams.h"

namespace {

TData Str(const std::string& s) {
  TData d;
  SetString(d, s);
  return d;
}
TData Int(std::int32_t v) {
  TData d;
  SetInteger(d, v);
  return d;
}
TData Real(double v) {
  TData d;
  SetReal(d, v);
  return d;
}

TEST(DataKinds, NamesTable) {
  EXPECT_STREQ(DataKindNames[kindNull], "NULL");
  EXPECT_STREQ(DataKindNames[kindString], "String");
  EXPECT_STREQ(DataKindNames[kindReal], "Real");
  EXPECT_STREQ(DataKindNames[kindStream], "Stream");
  EXPECT_STREQ(DataKindNames[kindComboEx], "ComboEx");
  EXPECT_STREQ(DataKindNames[kindBreak], "Break");
  EXPECT_STREQ(DataKindNames[21], "Type");
}

TEST(DataConversions, AsIntegerOfStrings) {
  EXPECT_EQ(AsInteger(Str("")), 0);
  EXPECT_EQ(AsInteger(Str("abc")), 0);
  EXPECT_EQ(AsInteger(Str("+7")), 7);
  EXPECT_EQ(AsInteger(Str("-0012x")), -12);
}

TEST(DataConversions, AsIndex) {
  EXPECT_EQ(AsIndex(Str("0")), 0);
  EXPECT_EQ(AsIndex(Str("00")), 0);
  EXPECT_EQ(AsIndex(Str("x")), -1);
  EXPECT_EQ(AsIndex(Str("")), -1);
  EXPECT_EQ(AsIndex(Str("-0")), -1);  // parses to 0 and does not start with the digit 0
  EXPECT_EQ(AsIndex(Str("12")), 12);
  EXPECT_EQ(AsIndex(Int(-5)), -5);
  EXPECT_EQ(AsIndex(Real(2.5)), 2);
  TData null;
  EXPECT_EQ(AsIndex(null), -1);
  EXPECT_EQ(AsInteger(null), 0);
  TData reserved;
  reserved.DataKind = kindFont;
  reserved.IntValue = 9;
  EXPECT_EQ(AsIndex(reserved), -1);
  EXPECT_EQ(AsInteger(reserved), 0);
}

TEST(DataConversions, AsBoolIsFalseOnlyForIntegerZero) {
  TData null;
  EXPECT_TRUE(AsBool(null));
  EXPECT_TRUE(AsBool(Str("0")));
  EXPECT_TRUE(AsBool(Real(0.0)));
  EXPECT_FALSE(AsBool(Int(0)));
  EXPECT_TRUE(AsBool(Int(-1)));
}

TEST(DataConversions, AsStringAndAsReal) {
  EXPECT_EQ(AsString(Int(std::numeric_limits<std::int32_t>::min())), "-2147483648");
  EXPECT_EQ(AsString(Real(0.5)), "0.5");
  EXPECT_EQ(AsString(Str(std::string("a\0b", 3))), std::string("a\0b", 3));
  TData reserved;
  reserved.DataKind = kindColor;
  reserved.StrValue = "x";
  EXPECT_EQ(AsString(reserved), "");
  EXPECT_EQ(AsReal(Int(-3)), -3.0);
  EXPECT_DOUBLE_EQ(AsReal(Str("2.5")), 2.5);
  EXPECT_EQ(AsReal(reserved), 0.0);
}

TEST(DataConversions, RealToIntegerRoundsToEvenAndKeepsTheLow32Bits) {
  EXPECT_EQ(AsInteger(Real(2.5)), 2);
  EXPECT_EQ(AsInteger(Real(3.5)), 4);
  EXPECT_EQ(AsInteger(Real(-2.5)), -2);
  EXPECT_EQ(AsInteger(Real(4294967296.0 + 7)), 7);
  EXPECT_EQ(AsInteger(Real(2147483648.0)), std::numeric_limits<std::int32_t>::min());
  // Outside the 64-bit range, infinities and NaN: the indefinite value, low 32 bits 0.
  EXPECT_EQ(AsInteger(Real(9223372036854775808.0)), 0);
  EXPECT_EQ(AsInteger(Real(-9223372036854777856.0)), 0);
  EXPECT_EQ(AsInteger(Real(std::numeric_limits<double>::infinity())), 0);
  EXPECT_EQ(AsInteger(Real(-std::numeric_limits<double>::infinity())), 0);
  EXPECT_EQ(AsInteger(Real(std::numeric_limits<double>::quiet_NaN())), 0);
  EXPECT_EQ(AsInteger(Real(-9223372036854775808.0)), 0);  // exactly -2^63: low bits 0
  EXPECT_EQ(AsInteger(Real(9223372036854774784.0)), -1024);  // largest double below 2^63
  EXPECT_EQ(AsInteger(Real(-4294967297.0)), -1);
}

TEST(DataConversions, RealToIntegerMatchesWideArithmeticOnRandomValues) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> wide(-1e18, 1e18);
  for (int i = 0; i < 5000; ++i) {
    const double x = wide(rng);
    const auto expected = static_cast<std::int32_t>(static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(static_cast<std::int64_t>(std::nearbyint(x)))));
    ASSERT_EQ(AsInteger(Real(x)), expected) << x;
  }
}

TEST(DataConstruction, SetNullLeavesTheStringButHidesIt) {
  TData d = Str("kept");
  SetNull(d);
  EXPECT_EQ(d.DataKind, kindNull);
  EXPECT_EQ(d.StrValue, "kept");
  EXPECT_EQ(AsString(d), "");
}

TEST(DataConstruction, StreamReferenceIsPointerSized) {
  TObjPtr<TStream> s(NewMemoryStream());
  TData d;
  SetStream(d, s.get());
  EXPECT_EQ(KindOf(d), kindStream);
  EXPECT_EQ(AsStream(d), s.get());
  EXPECT_EQ(AsInteger(d), 0);
  EXPECT_EQ(AsString(d), "");
  EXPECT_EQ(AsStream(Int(5)), nullptr);
}

TEST(Chains, CopyAndFree) {
  TData src = Str("a");
  src.Next = new TData(Str("b"));
  src.Next->Next = new TData(Str("c"));

  TData copy;
  CopyChain(copy, src);
  ASSERT_NE(copy.Next, nullptr);
  ASSERT_NE(copy.Next->Next, nullptr);
  EXPECT_NE(copy.Next, src.Next);
  EXPECT_NE(copy.Next->Next, src.Next->Next);
  EXPECT_EQ(copy.Next->Next->Next, nullptr);
  EXPECT_EQ(copy.Next->Next->StrValue, "c");

  FreeChain(copy);
  EXPECT_EQ(copy.Next, nullptr);
  EXPECT_EQ(copy.StrValue, "a");
  EXPECT_EQ(src.Next->Next->StrValue, "c");  // the source is intact
  FreeChain(src);
}

TEST(Chains, CopyStopsAtANullNode) {
  TData src = Str("a");
  src.Next = new TData();  // NULL node ends the chain
  src.Next->Next = new TData(Str("unreachable"));
  TData copy;
  CopyChain(copy, src);
  ASSERT_NE(copy.Next, nullptr);
  EXPECT_EQ(copy.Next->DataKind, kindNull);
  EXPECT_EQ(copy.Next->Next, nullptr);
  FreeChain(copy);
  FreeChain(src);
}

TEST(Fonts, RecordAndHeight) {
  TFontRec f;
  SetFontRec(f, "MS Sans Serif", 8, 1, 0xFF00000F, 1);
  EXPECT_EQ(f.Name, "MS Sans Serif");
  EXPECT_EQ(f.Size, 8);
  EXPECT_EQ(f.Style, 1);
  EXPECT_EQ(f.Color, 0xFF00000Fu);
  EXPECT_EQ(f.CharSet, 1);
  // 96 pixels per inch on POSIX and on wine's default screen.
  EXPECT_EQ(FontHeight(8), -11);
  EXPECT_EQ(FontHeight(10), -13);
}

}  // namespace
