// The program's texts are Windows-1251 bytes; these turn them into Unicode for the places
// that must not depend on the system's code page (terminals, the "W" window calls).
#pragma once

#include <cstddef>
#include <string>

char16_t Cp1251ToUnicode(unsigned char c);
std::u16string Cp1251ToUtf16(const std::string& s);
std::string Cp1251ToUtf8(const std::string& s);

// The other way, for texts that come out of windows: the Windows-1251 byte of a UTF-16
// code unit, or -1 when the code page has no such character.
int UnicodeToCp1251(char16_t u);
// Characters the code page lacks (and lone surrogates) become '?'.
std::string Utf16ToCp1251(const char16_t* s, std::size_t n);
inline std::string Utf16ToCp1251(const std::u16string& s) { return Utf16ToCp1251(s.data(), s.size()); }

// Texts from the operating system's side of the platform layer (UTF-8): a byte that does
// not belong to a well-formed sequence stands for U+FFFD; as Windows-1251, characters the
// code page lacks become '?' (one for each character).
std::u16string Utf8ToUtf16(const std::string& s);
std::string Utf8ToCp1251(const std::string& s);
