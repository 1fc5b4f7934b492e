#include "elements/kvStrMask.h"

#include <array>

namespace {

// The Windows-1251 letters outside the two contiguous ranges, upper to lower.
constexpr unsigned char kPairs[][2] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E},
    {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4}, {0xA8, 0xB8}, {0xAA, 0xBA},
    {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};

constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = static_cast<unsigned char>(c);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c + 32);
  for (int c = 0xC0; c <= 0xDF; ++c) t[c] = static_cast<unsigned char>(c + 32);
  for (const auto& p : kPairs) t[p[0]] = p[1];
  return t;
}

constexpr std::array<unsigned char, 256> kLower = MakeLowerTable();

bool Same(unsigned char a, unsigned char b, bool fold) { return fold ? kLower[a] == kLower[b] : a == b; }

// One mask character other than "*" against one text character.
bool One(unsigned char m, unsigned char t, bool fold) {
  if (m == '#') return t >= '0' && t <= '9';
  if (m == '?') return t != 0;
  return Same(m, t, fold);
}

}  // namespace

namespace zorv::mask {

unsigned char Lower1251(unsigned char c) { return kLower[c]; }

bool Matches(const std::string& text, const std::string& mask, bool ignoreCase) {
  // Every other mask character takes exactly one text character, so on a mismatch only
  // the last star needs another try, one character further on: earlier stars could only
  // reach positions that the last one reaches too. No recursion, no exponential search.
  const std::size_t n = text.size();
  const std::size_t m = mask.size();
  std::size_t i = 0;
  std::size_t j = 0;
  std::size_t star = std::string::npos;  // mask position of the last star seen
  std::size_t resume = 0;                // text position the last star's run ends at
  while (i < n) {
    if (j < m && mask[j] == '*') {
      star = j++;
      resume = i;
    } else if (j < m && One(static_cast<unsigned char>(mask[j]), static_cast<unsigned char>(text[i]), ignoreCase)) {
      ++i;
      ++j;
    } else if (star != std::string::npos) {
      j = star + 1;
      i = ++resume;
    } else {
      return false;
    }
  }
  while (j < m && mask[j] == '*') ++j;
  return j == m;
}

}  // namespace zorv::mask

void TKvStrMask::doCompare(TData& d, std::uint16_t) {
  std::string text = ReadString(d, Str, std::string());
  const bool matched = zorv::mask::Matches(text, Mask, IgnoreCase == 1);
  PassOnString(d, matched ? onTrue : onFalse, std::move(text));
}

void TKvStrMask::doSetMask(TData& d, std::uint16_t) { Mask = AsString(d); }
