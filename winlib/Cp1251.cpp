#include "winlib/Cp1251.h"

namespace {

// Unicode code points of the bytes 0x80..0xFF (0x98 has no character: U+FFFD).
constexpr char16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// Calls emit(code point) for each character of a UTF-8 text; a byte that does not begin a
// well-formed sequence (overlong, surrogate, past U+10FFFF, cut short) gives U+FFFD.
template <class F>
void DecodeUtf8(const std::string& s, F emit) {
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      emit(static_cast<char32_t>(b));
      ++i;
      continue;
    }
    // The continuation bytes a lead byte announces, its own bits, the least code point
    // that needs that many bytes.
    const int more = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 0;
    if (more == 0) {
      emit(U'\xFFFD');
      ++i;
      continue;
    }
    char32_t cp = b & (0x3F >> more);
    const char32_t least = more == 1 ? 0x80 : more == 2 ? 0x800 : 0x10000;
    std::size_t j = i + 1;
    for (; j < n && j <= i + static_cast<std::size_t>(more); ++j) {
      const unsigned char c = static_cast<unsigned char>(s[j]);
      if ((c & 0xC0) != 0x80) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (j != i + 1 + static_cast<std::size_t>(more) || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      emit(U'\xFFFD');
      i = j > i + 1 ? j : i + 1;
      continue;
    }
    emit(cp);
    i = j;
  }
}

}  // namespace

char16_t Cp1251ToUnicode(unsigned char c) { return c < 0x80 ? static_cast<char16_t>(c) : kHigh[c - 0x80]; }

std::u16string Cp1251ToUtf16(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (char c : s) out.push_back(Cp1251ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::string Cp1251ToUtf8(const std::string& s) {
  std::string out;
  out.reserve(s.size() * 2);
  for (char c : s) {
    const char16_t u = Cp1251ToUnicode(static_cast<unsigned char>(c));
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

int UnicodeToCp1251(char16_t u) {
  if (u < 0x80) return u;
  // 128 entries: a linear search is as fast as any table for the few characters that
  // leave a window at a time.
  for (int i = 0; i < 128; ++i) {
    if (kHigh[i] == u && u != 0xFFFD) return 0x80 + i;
  }
  return -1;
}

std::string Utf16ToCp1251(const char16_t* s, std::size_t n) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int b = UnicodeToCp1251(s[i]);
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return out;
}

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  DecodeUtf8(s, [&out](char32_t cp) {
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
  });
  return out;
}

std::string Utf8ToCp1251(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  DecodeUtf8(s, [&out](char32_t cp) {
    const int b = cp < 0x10000 ? UnicodeToCp1251(static_cast<char16_t>(cp)) : -1;
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
  });
  return out;
}
