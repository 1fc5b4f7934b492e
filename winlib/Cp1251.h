// The program's texts are Windows-1251 bytes; these turn them into Unicode for the places
// that must not depend on the system's code page (terminals, the "W" window calls).
#pragma once

#include <string>

char16_t Cp1251ToUnicode(unsigned char c);
std::u16string Cp1251ToUtf16(const std::string& s);
std::string Cp1251ToUtf8(const std::string& s);
