#include "elements/If_arg.h"

#include <string>

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

// Ordering of two texts with only a-z folded; other bytes, Cyrillic included, compare as
// unsigned values; a proper prefix is the smaller.
int CompareFolded(const std::string& a, const std::string& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
    const unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

template <class T>
bool Apply(const T& x, const T& y, std::uint8_t op) {
  switch (op) {
    case cmpEqual: return x == y;
    case cmpLess: return x < y;
    case cmpGreater: return x > y;
    case cmpLessOrEqual: return x <= y;
    case cmpGreaterOrEqual: return x >= y;
    case cmpNotEqual: return x != y;
    default: return false;
  }
}

}  // namespace

bool CompareData(const TData& a, const TData& b, std::uint8_t op) {
  switch (a.DataKind) {
    case kindNull: return b.DataKind == kindNull;
    case kindInteger: return Apply(a.IntValue, AsInteger(b), op);
    case kindReal: return Apply(a.RealValue, AsReal(b), op);
    case kindString: {
      const std::string t = AsString(b);
      if (op == cmpEqual) return a.StrValue == t;
      if (op == cmpNotEqual) return a.StrValue != t;
      return Apply(CompareFolded(a.StrValue, t), 0, op);
    }
    default: return false;
  }
}
