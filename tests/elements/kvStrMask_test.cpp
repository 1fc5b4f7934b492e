// Wildcard masks and Windows-1251 letter case.
#include "elements/kvStrMask.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;
using zorv::mask::Lower1251;
using zorv::mask::Matches;

class StrMask : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvStrMask> el{New<TKvStrMask>()};
  Sink yes, no;
  bool lastTrue = false;

  void SetUp() override {
    el->onTrue = yes.Point();
    el->onFalse = no.Point();
    yes.react = [this](TData&, std::uint16_t) { lastTrue = true; };
    no.react = [this](TData&, std::uint16_t) { lastTrue = false; };
  }
  bool Compare(const std::string& mask, const std::string& text, std::uint8_t ignoreCase = 1) {
    el->Mask = mask;
    el->IgnoreCase = ignoreCase;
    const std::size_t before = yes.count() + no.count();
    FireData(MakePoint<&TKvStrMask::doCompare>(0, el.get()), StrData(text));
    EXPECT_EQ(yes.count() + no.count(), before + 1) << "exactly one output fires";
    return lastTrue;
  }
};

TEST_F(StrMask, AcknowledgementMasksIgnoreCase) {
  EXPECT_TRUE(Compare("SZ", "sz"));
  EXPECT_TRUE(Compare("SZ", "Sz"));
  EXPECT_TRUE(Compare("SZ", "SZ"));
  EXPECT_FALSE(Compare("SZ", "SZ1"));
  EXPECT_FALSE(Compare("SZ", ""));
  EXPECT_FALSE(Compare("SZ", "S"));
  EXPECT_TRUE(Compare("1B2C465A", "1b2c465a"));
  EXPECT_TRUE(Compare("ZORVANTIQUE", "zorvantique"));
}

TEST_F(StrMask, OnlyIgnoreCaseOneFoldsLetters) {
  EXPECT_FALSE(Compare("SZ", "sz", 0));
  EXPECT_FALSE(Compare("SZ", "sz", 2));
  EXPECT_TRUE(Compare("SZ", "SZ", 2));
}

TEST_F(StrMask, OutputsCarryTheTextAsRead) {
  Compare("ab*", "ABC");
  EXPECT_EQ(yes.strings(), (std::vector<std::string>{"ABC"}));
  Compare("ab", "XYZ");
  EXPECT_EQ(no.strings(), (std::vector<std::string>{"XYZ"}));
  EXPECT_EQ(no.last().DataKind, kindString);
}

TEST_F(StrMask, Wildcards) {
  EXPECT_TRUE(Compare("A*B", "AB"));
  EXPECT_TRUE(Compare("A*B", "AxxB"));
  EXPECT_FALSE(Compare("A*B", "AxxBx"));
  EXPECT_TRUE(Compare("##?", "12x"));
  EXPECT_FALSE(Compare("##?", "1xx"));
  EXPECT_FALSE(Compare("##?", "12"));
  EXPECT_TRUE(Compare("*", ""));
  EXPECT_TRUE(Compare("**", "anything"));
  EXPECT_FALSE(Compare("", "a"));
  EXPECT_TRUE(Compare("", ""));
  EXPECT_TRUE(Compare("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(Compare("*a*b*", "xxbxxaxx"));
  EXPECT_TRUE(Compare("a*bc", "abcbc"));  // the star must take "bc" and not stop at the first
}

TEST_F(StrMask, ByteZeroIsAnOrdinaryByteButNeverAQuestionMark) {
  EXPECT_FALSE(Compare("A", std::string("A\0", 2)));
  EXPECT_FALSE(Compare("A?", std::string("A\0", 2)));
  EXPECT_TRUE(Compare("A*", std::string("A\0B", 3)));
  EXPECT_TRUE(Compare(std::string("A\0", 2), std::string("A\0", 2)));
  EXPECT_FALSE(Compare(std::string("A\0", 2), "A"));
}

TEST_F(StrMask, CyrillicFoldsAsWindows1251) {
  // "ЗОРВАНТИКА" against its lower case "зорвантика".
  EXPECT_TRUE(Compare("\xC7\xCE\xD0\xC2\xC0\xCD\xD2\xC8\xCA\xC0", "\xE7\xEE\xF0\xE2\xE0\xED\xF2\xE8\xEA\xE0"));
  EXPECT_FALSE(Compare("\xC7\xCE\xD0\xC2\xC0", "\xE7\xEE\xF0\xE2\xE0", 0));
  EXPECT_TRUE(Compare("\xA8\xEB\xEA\xE0", "\xB8\xCB\xCA\xC0"));  // Ёлка / ёЛКА
}

TEST(StrMaskFolding, EveryWindows1251PairAndNothingElse) {
  const int pairs[][2] = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
                          {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4},
                          {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};
  int expected[256];
  for (int c = 0; c < 256; ++c) expected[c] = c;
  for (int c = 'A'; c <= 'Z'; ++c) expected[c] = c + 32;
  for (int c = 0xC0; c <= 0xDF; ++c) expected[c] = c + 32;
  for (const auto& p : pairs) expected[p[0]] = p[1];
  for (int c = 0; c < 256; ++c) EXPECT_EQ(Lower1251(static_cast<unsigned char>(c)), expected[c]) << std::hex << c;

  for (const auto& p : pairs) {
    const std::string upper(1, static_cast<char>(p[0]));
    const std::string lower(1, static_cast<char>(p[1]));
    EXPECT_TRUE(Matches(lower, upper, true)) << std::hex << p[0];
    EXPECT_TRUE(Matches(upper, lower, true)) << std::hex << p[0];
    EXPECT_FALSE(Matches(lower, upper, false)) << std::hex << p[0];
  }
}

TEST_F(StrMask, SetMaskTakesTheIncomingValueAndFiresNothing) {
  TData d = IntData(1234);
  FireEvent(MakePoint<&TKvStrMask::doSetMask>(0, el.get()), d);
  EXPECT_EQ(el->Mask, "1234");
  EXPECT_EQ(yes.count() + no.count(), 0u);
  EXPECT_EQ(d.DataKind, kindInteger);
  EXPECT_TRUE(Compare("1234", "1234"));
}

TEST_F(StrMask, StrPointWinsOverTheIncomingValue) {
  Source text = Source::String("fz");
  el->Str = text.Point();
  EXPECT_TRUE(Compare("FZ", "something else"));
  EXPECT_EQ(yes.strings().back(), "fz");
}

// Matching defined recursively on stars, with the text and the mask each followed
// by a byte 0; positions past the appended byte match nothing.
bool Reference(const std::string& a, std::size_t i, const std::string& b, std::size_t j) {
  auto at = [](const std::string& s, std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : -1; };
  while (j < b.size() || i < a.size()) {
    const int m = at(b, j);
    const int t = at(a, i);
    if (m == '*') {
      if (Reference(a, i, b, j + 1)) return true;
      if (i + 1 >= a.size()) return false;
      for (std::size_t k = i + 1; k < a.size(); ++k) {
        if (Reference(a, k, b, j + 1)) return true;
      }
      return false;
    }
    if (m == '#') {
      if (t < '0' || t > '9') return false;
    } else if (m == '?') {
      if (t <= 0) return false;
    } else if (m != t) {
      return false;
    }
    ++i;
    ++j;
  }
  return true;
}

TEST(StrMaskMatcher, GivesTheRecursiveMatchersAnswers) {
  std::mt19937 rng(20240611);
  const std::string maskChars = "ab1*?#A";
  const std::string textChars = "ab1Ax";
  int matched = 0;
  for (int n = 0; n < 20000; ++n) {
    std::string mask, text;
    const int ml = static_cast<int>(rng() % 8);
    const int tl = static_cast<int>(rng() % 9);
    for (int k = 0; k < ml; ++k) mask.push_back(maskChars[rng() % maskChars.size()]);
    for (int k = 0; k < tl; ++k) text.push_back(textChars[rng() % textChars.size()]);
    for (bool fold : {false, true}) {
      std::string a = text, b = mask;
      if (fold) {
        for (char& c : a) c = static_cast<char>(Lower1251(static_cast<unsigned char>(c)));
        for (char& c : b) c = static_cast<char>(Lower1251(static_cast<unsigned char>(c)));
      }
      const bool expected = Reference(a + '\0', 0, b + '\0', 0);
      matched += expected;
      ASSERT_EQ(Matches(text, mask, fold), expected) << "mask '" << mask << "' text '" << text << "' fold " << fold;
    }
  }
  EXPECT_GT(matched, 1000);  // the sample is not all failures
}

TEST(StrMaskMatcher, HostileMasksAndTextsFinish) {
  // Many stars that each could start anywhere: exponential for naive backtracking.
  std::string mask;
  for (int k = 0; k < 1000; ++k) mask += "*a";
  EXPECT_FALSE(Matches(std::string(4000, 'a'), mask + "b", false));
  EXPECT_TRUE(Matches(std::string(4000, 'a') + "b", mask + "b", false));
  // Depth that recursion per character or per star would not survive.
  EXPECT_TRUE(Matches(std::string(200000, 'x'), std::string(100000, '*'), false));
  EXPECT_TRUE(Matches(std::string(200000, 'x'), "*" + std::string(199999, '?'), false));
  EXPECT_FALSE(Matches(std::string(200000, 'x'), std::string(200001, '?'), false));
}

}  // namespace
