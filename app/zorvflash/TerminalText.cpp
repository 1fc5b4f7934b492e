#include "app/zorvflash/TerminalText.h"

#include "winlib/Cp1251.h"

std::string ProgramText(std::string cp1251) {
  for (std::size_t p = cp1251.find("\r\n"); p != std::string::npos; p = cp1251.find("\r\n", p)) cp1251.erase(p, 1);
  return Cp1251ToUtf8(cp1251);
}

std::string ForTerminal(const std::string& cp1251) {
  static const char kDigits[] = "0123456789abcdef";
  std::string safe;
  safe.reserve(cp1251.size());
  for (char c : cp1251) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      safe += "\\x";
      safe += kDigits[b >> 4];
      safe += kDigits[b & 15];
    } else if (c == '\\') {
      safe += "\\\\";
    } else {
      safe += c;
    }
  }
  // Every byte left is printable in Windows-1251; its one undefined byte (0x98) becomes
  // U+FFFD, so no C1 control character can come out of the conversion either.
  return Cp1251ToUtf8(safe);
}
