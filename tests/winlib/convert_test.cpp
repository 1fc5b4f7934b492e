// Number and text conversions, against plain references and hostile input.
#include "winlib/Convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace {

// ---- Independent references, written plainly ------------------------------------------

std::int32_t RefStr2Int(const std::string& s) {
  std::int64_t v = 0;  // kept modulo 2^32 by hand
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    neg = s[i] == '-';
    ++i;
  }
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    v = (v * 10 + (s[i] - '0')) % 4294967296LL;
    ++i;
  }
  if (neg) v = (4294967296LL - v) % 4294967296LL;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

std::int32_t RefHex2Int(const std::string& s) {
  std::uint64_t v = 0;
  std::size_t i = (!s.empty() && s[0] == '$') ? 1 : 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else break;
    v = ((v << 4) | static_cast<unsigned>(d)) & 0xFFFFFFFFu;
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

std::string RandomText(std::mt19937& rng, const std::string& alphabet, std::size_t maxLen) {
  std::uniform_int_distribution<std::size_t> len(0, maxLen);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string s(len(rng), ' ');
  for (char& c : s) c = alphabet[pick(rng)];
  return s;
}

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

// ---- Integers --------------------------------------------------------------------------

TEST(Int2Str, SignAndExtremes) {
  EXPECT_EQ(Int2Str(0), "0");
  EXPECT_EQ(Int2Str(-5), "-5");
  EXPECT_EQ(Int2Str(1015), "1015");
  EXPECT_EQ(Int2Str(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(Int2Str(std::numeric_limits<std::int32_t>::max()), "2147483647");
}

TEST(Int2Str, RoundTripsThroughStr2IntOnRandomValues) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<std::int32_t> any(std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max());
  for (int i = 0; i < 5000; ++i) {
    const std::int32_t v = any(rng);
    const std::string s = Int2Str(v);
    ASSERT_EQ(Str2Int(s), v) << s;
    ASSERT_TRUE(s == "0" || (s[0] != '0' && !(s[0] == '-' && s[1] == '0'))) << s;
    ASSERT_EQ(s.find('+'), std::string::npos);
  }
}

TEST(Str2Int, Rules) {
  EXPECT_EQ(Str2Int(""), 0);
  EXPECT_EQ(Str2Int("-"), 0);
  EXPECT_EQ(Str2Int("+7"), 7);
  EXPECT_EQ(Str2Int("-0012x"), -12);
  EXPECT_EQ(Str2Int("12ab"), 12);
  EXPECT_EQ(Str2Int("ab"), 0);
  EXPECT_EQ(Str2Int(" 5"), 0);  // no blanks are skipped
  EXPECT_EQ(Str2Int("--5"), 0);
  EXPECT_EQ(Str2Int("4294967297"), 1);  // wraps modulo 2^32
  EXPECT_EQ(Str2Int("2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(Str2Int(std::string("12\0" "34", 5)), 12);
}

TEST(Str2Int, MatchesPlainParserOnRandomTexts) {
  std::mt19937 rng(2);
  for (int i = 0; i < 5000; ++i) {
    const std::string s = RandomText(rng, "0123456789+- x\0", 24);
    ASSERT_EQ(Str2Int(s), RefStr2Int(s)) << s;
  }
}

TEST(Int2Hex, DigitsAndWidth) {
  EXPECT_EQ(Int2Hex(255, 4), "00FF");
  EXPECT_EQ(Int2Hex(0, 0), "0");
  EXPECT_EQ(Int2Hex(0x12345, 2), "12345");
  EXPECT_EQ(Int2Hex(static_cast<std::uint32_t>(-1), 0), "FFFFFFFF");
  EXPECT_EQ(Int2Hex(1015, 1), "3F7");
  EXPECT_EQ(Int2Hex(5, 16), "5");           // 16 mod 16 = 0: at least one digit
  EXPECT_EQ(Int2Hex(5, 17), "5");
  EXPECT_EQ(Int2Hex(5, 15), "000000000000005");
  EXPECT_EQ(Int2Hex(5, -1), "000000000000005");  // -1 mod 16 = 15
}

TEST(Int2Hex, RoundTripsThroughHex2IntOnRandomValues) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<std::uint32_t> any;
  std::uniform_int_distribution<int> width(-40, 40);
  for (int i = 0; i < 5000; ++i) {
    const std::uint32_t v = any(rng);
    const int w = width(rng);
    const std::string s = Int2Hex(v, w);
    ASSERT_EQ(static_cast<std::uint32_t>(Hex2Int(s)), v) << s;
    ASSERT_GE(s.size(), static_cast<std::size_t>(std::max(1, w & 15)));
    ASSERT_LE(s.size(), std::max<std::size_t>(8, static_cast<std::size_t>(w & 15)));
    ASSERT_EQ(s.find_first_not_of("0123456789ABCDEF"), std::string::npos) << s;
  }
}

TEST(Hex2Int, Rules) {
  EXPECT_EQ(Hex2Int("$ff"), 255);
  EXPECT_EQ(Hex2Int("0x10"), 0);
  EXPECT_EQ(Hex2Int(""), 0);
  EXPECT_EQ(Hex2Int("$"), 0);
  EXPECT_EQ(Hex2Int("$$1"), 0);
  EXPECT_EQ(Hex2Int("EDB88320"), static_cast<std::int32_t>(0xEDB88320u));
  EXPECT_EQ(Hex2Int("123456789"), 0x23456789);  // wraps at 32 bits
  EXPECT_EQ(Hex2Int("aBc"), 0xABC);
}

TEST(Hex2Int, MatchesPlainParserOnRandomTexts) {
  std::mt19937 rng(4);
  for (int i = 0; i < 5000; ++i) {
    const std::string s = RandomText(rng, "0123456789abcdefABCDEFgG$x ", 20);
    ASSERT_EQ(Hex2Int(s), RefHex2Int(s)) << s;
  }
}

// ---- Reals -----------------------------------------------------------------------------

TEST(Str2Double, Rules) {
  EXPECT_EQ(Str2Double(""), 0.0);
  EXPECT_DOUBLE_EQ(Str2Double("1.2.3"), 1.2);
  EXPECT_EQ(Str2Double("e5"), 0.0);
  EXPECT_DOUBLE_EQ(Str2Double("1,5"), 15.0);
  EXPECT_DOUBLE_EQ(Str2Double("-2.5e2"), -250.0);
  EXPECT_DOUBLE_EQ(Str2Double("12 345"), 12345.0);
  EXPECT_DOUBLE_EQ(Str2Double("+3"), 3.0);
  EXPECT_DOUBLE_EQ(Str2Double("2E-3"), 0.002);
  EXPECT_DOUBLE_EQ(Str2Double("5e+2x"), 500.0);
  EXPECT_TRUE(std::isinf(Str2Double("1e400")));
  EXPECT_EQ(Str2Double("1e-400"), 0.0);
  EXPECT_DOUBLE_EQ(Str2Double("1e-2147483648"), 0.0);  // |e| of the smallest exponent
}

TEST(Double2Str, Examples) {
  EXPECT_EQ(Double2Str(0.0), "0");
  EXPECT_EQ(Double2Str(-0.0), "0");
  EXPECT_EQ(Double2Str(1.0), "1");
  EXPECT_EQ(Double2Str(0.5), "0.5");
  EXPECT_EQ(Double2Str(1015.0), "1015");
  EXPECT_EQ(Double2Str(1e20), "1" + std::string(20, '0'));
  EXPECT_EQ(Double2Str(0.00001), "0.00001");
  EXPECT_EQ(Double2Str(1.0 / 3.0), "0." + std::string(15, '3'));
  EXPECT_EQ(Double2Str(-0.25), "-0.25");
  EXPECT_EQ(Double2Str(123456789012345678.0), "123456789012346000");
  EXPECT_EQ(Double2Str(2.5), "2.5");
  EXPECT_EQ(Double2Str(-1234.5678), "-1234.5678");
}

TEST(Double2Str, ValuesWithoutDigitsHaveDefinedTexts) {
  EXPECT_EQ(Double2Str(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(Double2Str(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(Double2Str(std::numeric_limits<double>::quiet_NaN()), "NAN");
}

TEST(Double2Str, ExtremesEnd) {
  const std::string big = Double2Str(std::numeric_limits<double>::max());
  EXPECT_EQ(big.size(), 309u);
  EXPECT_EQ(big.substr(0, 15), "179769313486232");
  const std::string tiny = Double2Str(std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tiny.substr(0, 2), "0.");
  EXPECT_NE(tiny.find("494065645841"), std::string::npos);
}

TEST(Double2Str, ReadsBackThroughStr2DoubleWithin15Digits) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> mant(1.0, 10.0);
  std::uniform_int_distribution<int> exp10(-20, 20);
  std::bernoulli_distribution sign;
  for (int i = 0; i < 3000; ++i) {
    const double x = (sign(rng) ? -1 : 1) * mant(rng) * std::pow(10.0, exp10(rng));
    const std::string s = Double2Str(x);
    ASSERT_EQ(s.find_first_not_of("-0123456789."), std::string::npos) << s;
    ASSERT_NE(s.back(), '.') << s;
    if (s.find('.') != std::string::npos) {
      ASSERT_NE(s.back(), '0') << s;
    }
    std::string digits;
    for (char c : s) {
      if (c >= '0' && c <= '9') digits.push_back(c);
    }
    digits.erase(0, digits.find_first_not_of('0'));
    digits.erase(digits.find_last_not_of('0') + 1);
    ASSERT_LE(digits.size(), 15u) << s;
    const double back = Str2Double(s);
    ASSERT_NEAR(back, x, std::fabs(x) * 1e-13) << s;
  }
}

// ---- Texts -----------------------------------------------------------------------------

TEST(CopyEnd, Positions) {
  EXPECT_EQ(CopyEnd("abcdef", 3), "cdef");
  EXPECT_EQ(CopyEnd("abcdef", 0), "abcdef");
  EXPECT_EQ(CopyEnd("abcdef", -100), "abcdef");
  EXPECT_EQ(CopyEnd("abcdef", 6), "f");
  EXPECT_EQ(CopyEnd("abcdef", 7), "");
  EXPECT_EQ(CopyEnd("", 1), "");
  EXPECT_EQ(CopyEnd(std::string("a\0b", 3), 2), std::string("\0b", 2));
}

TEST(SysErrorText, KnownAndUnknownCodes) {
  EXPECT_FALSE(SysErrorText(2).empty());  // file not found on both systems
  const std::string t = SysErrorText(2);
  EXPECT_GE(static_cast<unsigned char>(t.back()), '!');
  EXPECT_EQ(SysErrorText(0x7ffffff0u), "");
}

TEST(ParamStr, ProgramPathIsNonEmpty) { EXPECT_FALSE(ParamStr(0).empty()); }

// ---- Hostile input ---------------------------------------------------------------------

TEST(Conversions, SurviveAnyBytes) {
  std::mt19937 rng(6);
  const std::string all = AllBytes();
  std::string huge(1 << 20, '9');
  huge[0] = '-';
  std::string hugeHex(1 << 20, 'f');
  std::string hugeReal(1 << 20, '7');
  hugeReal[10] = '.';
  const std::string texts[] = {all, huge, hugeHex, hugeReal, std::string(1 << 20, '\0'),
                               std::string("e") + huge, "1e" + huge};
  for (const std::string& s : texts) {
    (void)Str2Int(s);
    (void)Hex2Int(s);
    (void)Str2Double(s);
    (void)CopyEnd(s, 1 << 19);
  }
  for (int i = 0; i < 2000; ++i) {
    const std::string s = RandomText(rng, all, 40);
    ASSERT_EQ(Str2Int(s), RefStr2Int(s));
    ASSERT_EQ(Hex2Int(s), RefHex2Int(s));
    (void)Double2Str(Str2Double(s));
  }
  EXPECT_EQ(Str2Int(huge), RefStr2Int(huge));
  EXPECT_EQ(Hex2Int(hugeHex), -1);
  EXPECT_TRUE(std::isinf(Str2Double(huge)));
}

}  // namespace
