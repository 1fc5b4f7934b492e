// Tokens of a Windows command line.
#include <gtest/gtest.h>

#include "platform/system.h"

namespace {

using zorv::platform::CommandLineToken;

TEST(CommandLineToken, SplitsAtBlanksOutsideQuotes) {
  const std::string line = "prog.exe  one \"two words\" three";
  EXPECT_EQ(CommandLineToken(line, 0), "prog.exe");
  EXPECT_EQ(CommandLineToken(line, 1), "one");
  EXPECT_EQ(CommandLineToken(line, 2), "two words");
  EXPECT_EQ(CommandLineToken(line, 3), "three");
  EXPECT_EQ(CommandLineToken(line, 4), "");
}

TEST(CommandLineToken, QuotesInsideATokenAndEmptyPairs) {
  EXPECT_EQ(CommandLineToken("p a\"b c\"d", 1), "a\"b c\"d");
  EXPECT_EQ(CommandLineToken("p \"\" x", 1), "x");     // a pair of quotes before a token is skipped
  EXPECT_EQ(CommandLineToken("p \"", 1), "\"");        // one character: quotes stay
  EXPECT_EQ(CommandLineToken("p \"abc", 1), "\"abc");  // unbalanced: kept as typed
  EXPECT_EQ(CommandLineToken("\"C:\\My Prog\\p.exe\" -x", 1), "-x");
}

TEST(CommandLineToken, ControlCharactersSeparateAndNulEnds) {
  EXPECT_EQ(CommandLineToken("p\ta\x01" "b", 2), "b");
  EXPECT_EQ(CommandLineToken(std::string("p a\0b c", 7), 2), "");
  EXPECT_EQ(CommandLineToken("", 0), "");
  EXPECT_EQ(CommandLineToken("   ", 1), "");
}

}  // namespace
