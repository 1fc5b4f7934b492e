// Texts for the terminal: bytes from the device never reach it as control characters.
#include <gtest/gtest.h>

#include <string>

#include "app/zorvflash/TerminalText.h"

namespace {

TEST(TerminalText, ControlBytesFromOutsideAreShownEscaped) {
  EXPECT_EQ(ForTerminal("TPX2 6.0"), "TPX2 6.0");
  EXPECT_EQ(ForTerminal("\x1b[2J\x1b]0;owned\x07"), "\\x1b[2J\\x1b]0;owned\\x07");
  EXPECT_EQ(ForTerminal(std::string("a\0b\r\n\x7f\x1f", 7)), "a\\x00b\\x0d\\x0a\\x7f\\x1f");
  // A backslash is doubled, so an escape shown can always be told from the same text sent.
  EXPECT_EQ(ForTerminal("\\x1b"), "\\\\x1b");
}

TEST(TerminalText, EveryByteComesOutPrintable) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string shown = ForTerminal(all);
  // No C0 control, DEL, or C1 control (U+0080..U+009F, UTF-8 C2 80..C2 9F) in the output.
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto c = static_cast<unsigned char>(shown[i]);
    EXPECT_FALSE(c < 0x20 || c == 0x7F) << "byte " << i;
    if (c == 0xC2 && i + 1 < shown.size()) {
      EXPECT_FALSE(static_cast<unsigned char>(shown[i + 1]) < 0xA0) << "C1 control at " << i;
    }
  }
  // Windows-1251 letters convert as they are.
  EXPECT_EQ(ForTerminal("\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE"), "Устройство");
}

TEST(TerminalText, ProgramTextsTakeTheTerminalsLineEnds) {
  EXPECT_EQ(ProgramText("a\r\nb\r\n"), "a\nb\n");
  EXPECT_EQ(ProgramText("\xCE\xE4\xE8\xED"), "Один");
}

}  // namespace
