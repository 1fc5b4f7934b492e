// Windows-1251 to Unicode and back, and the system's UTF-8 texts to both.
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

TEST(Cp1251, BackFromUnicodeRoundTripsEveryMappedByte) {
  for (int b = 0; b < 256; ++b) {
    const char16_t u = Cp1251ToUnicode(static_cast<unsigned char>(b));
    if (u == u'\uFFFD') {
      EXPECT_EQ(UnicodeToCp1251(u), -1) << "the byte without a character does not come back";
      continue;
    }
    EXPECT_EQ(UnicodeToCp1251(u), b) << "byte " << b;
  }
  EXPECT_EQ(Utf16ToCp1251(Cp1251ToUtf16("\xC7\xE0\xEF\xE8\xF1\xE0\xF2\xFC")), "\xC7\xE0\xEF\xE8\xF1\xE0\xF2\xFC");
}

TEST(Cp1251, CharactersTheCodePageLacksBecomeQuestionMarks) {
  EXPECT_EQ(UnicodeToCp1251(u'\u00E9'), -1);  // e acute: Latin-1, not 1251
  EXPECT_EQ(UnicodeToCp1251(u'\u4E2D'), -1);
  EXPECT_EQ(UnicodeToCp1251(u'\uFFFD'), -1);
  EXPECT_EQ(Utf16ToCp1251(u"a\xD800" u"b"), "a?b");  // a lone surrogate
  EXPECT_EQ(Utf16ToCp1251(std::u16string(u"\0x", 2)), std::string("\0x", 2));
  EXPECT_EQ(Utf16ToCp1251(nullptr, 0), "");
}

TEST(Cp1251, Utf8FromTheSystemSideOneCharacterAtATime) {
  // "Мир", a character 1251 lacks (e acute), and one beyond the 16-bit plane.
  const std::string text = "\xD0\x9C\xD0\xB8\xD1\x80 \xC3\xA9 \xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8ToCp1251(text), "\xCC\xE8\xF0 ? ?");
  EXPECT_EQ(Utf8ToUtf16(text), std::u16string(u"\u041C\u0438\u0440 \u00E9 \xD83D\xDE00"));
  // Bytes that are no UTF-8 stand for one replacement each: a stray continuation, a lead
  // byte cut short, an overlong form, an encoded surrogate.
  EXPECT_EQ(Utf8ToUtf16("a\x80" "b"), std::u16string(u"a\uFFFDb"));
  EXPECT_EQ(Utf8ToUtf16("a\xD0"), std::u16string(u"a\uFFFD"));
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), std::u16string(u"\uFFFD"));
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80z"), std::u16string(u"\uFFFDz"));
  EXPECT_EQ(Utf8ToCp1251("\xFF"), "?");
  EXPECT_EQ(Utf8ToCp1251(std::string("\0", 1)), std::string("\0", 1));
}

}  // namespace
