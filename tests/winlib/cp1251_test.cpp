// Windows-1251 to Unicode.
#include "winlib/Cp1251.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1251, AsciiPassesAndCyrillicBecomesUnicode) {
  EXPECT_EQ(Cp1251ToUtf8("OK"), "OK");
  // "Записать" in Windows-1251 bytes.
  EXPECT_EQ(Cp1251ToUtf8("\xC7\xE0\xEF\xE8\xF1\xE0\xF2\xFC"), "\xD0\x97\xD0\xB0\xD0\xBF\xD0\xB8\xD1\x81\xD0\xB0\xD1\x82\xD1\x8C");
  EXPECT_EQ(Cp1251ToUtf16("\xA8\xB8"), std::u16string(u"\u0401\u0451"));  // Ё ё
  EXPECT_EQ(Cp1251ToUnicode(0x88), u'\u20AC');                              // euro sign
  EXPECT_EQ(Cp1251ToUnicode(0x98), u'\uFFFD');                              // no character
  EXPECT_EQ(Cp1251ToUtf8(std::string("\0", 1)), std::string("\0", 1));
}

TEST(Cp1251, EveryByteGivesOneCharacter) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(Cp1251ToUtf16(all).size(), 256u);
}

}  // namespace
