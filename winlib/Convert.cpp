#include "winlib/Convert.h"

#include <charconv>
#include <cmath>

#include "platform/system.h"
#include "winlib/Cp1251.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// 10 to the power e by repeated squaring; 1 / 10^|e| for negative e.
double Power10(std::int32_t e) {
  std::uint32_t m = e < 0 ? 0u - static_cast<std::uint32_t>(e) : static_cast<std::uint32_t>(e);
  double result = 1.0;
  double base = 10.0;
  while (m != 0) {
    if (m & 1u) result *= base;
    base *= base;
    m >>= 1;
  }
  return e < 0 ? 1.0 / result : result;
}

}  // namespace

std::string Int2Str(std::int32_t value) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::int32_t Str2Int(const std::string& s) {
  std::size_t i = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    i = 1;
  }
  std::uint32_t value = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    value = value * 10u + static_cast<std::uint32_t>(s[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::string Int2Hex(std::uint32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  int width = digits & 15;
  if (width < 1) width = 1;
  char buf[16];
  int n = 0;
  do {
    buf[n++] = kDigits[value & 15u];
    value >>= 4;
  } while (value != 0);
  while (n < width) buf[n++] = '0';
  std::string out;
  out.reserve(static_cast<std::size_t>(n));
  while (n > 0) out.push_back(buf[--n]);
  return out;
}

std::int32_t Hex2Int(const std::string& s) { return Hex2Int(s.data(), s.size()); }

std::int32_t Hex2Int(const char* p, std::size_t n) {
  std::size_t i = (n > 0 && p[0] == '$') ? 1 : 0;
  std::uint32_t value = 0;
  for (; i < n; ++i) {
    const int d = HexDigit(p[i]);
    if (d < 0) break;
    value = value * 16u + static_cast<std::uint32_t>(d);
  }
  return static_cast<std::int32_t>(value);
}

double Str2Double(const std::string& s) {
  if (s.empty()) return 0.0;
  std::size_t i = 0;
  const bool negative = s[0] == '-';
  if (negative) i = 1;
  double value = 0.0;
  double scale = 1.0;
  bool fraction = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (IsDigit(c)) {
      const int d = c - '0';
      if (!fraction) {
        value = value * 10.0 + d;
      } else {
        scale *= 0.1;
        value += d * scale;
      }
    } else if (c == '.') {
      if (fraction) break;
      fraction = true;
      scale = 1.0;
    } else if (c == 'E' || c == 'e') {
      value *= Power10(Str2Int(s.substr(i + 1)));
      break;
    }
    // Any other character is skipped.
  }
  return negative ? -value : value;
}

std::string Double2Str(double x) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
  if (x == 0.0) return "0";

  double a = std::fabs(x);
  int n = 15;
  bool scaledUp = false;
  while (a < 5e12) {
    a *= 10.0;
    --n;
    scaledUp = true;
  }
  if (!scaledUp) {
    while (a >= 1e13) {
      a /= 10.0;
      ++n;
    }
  }
  double r = std::nearbyint(a);
  while (r < 1e14) {
    a *= 10.0;
    --n;
    r = std::nearbyint(a);
  }
  std::uint64_t mantissa;
  if (r >= 1e15) {
    mantissa = 100000000000000ull;
    ++n;
  } else {
    mantissa = static_cast<std::uint64_t>(r);
  }
  char buf[16];
  const auto conv = std::to_chars(buf, buf + sizeof buf, mantissa);
  const std::string digits(buf, conv.ptr);  // 15 digits

  std::string out;
  if (n >= 15) {
    out = digits + std::string(static_cast<std::size_t>(n - 15), '0');
  } else if (n > 0) {
    out = digits.substr(0, static_cast<std::size_t>(n)) + "." + digits.substr(static_cast<std::size_t>(n));
  } else {
    out = "0." + std::string(static_cast<std::size_t>(-n), '0') + digits;
  }
  if (out.find('.') != std::string::npos) {
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
  }
  return x < 0 ? "-" + out : out;
}

std::string CopyEnd(const std::string& s, int from) {
  if (from < 1) from = 1;
  const std::size_t start = static_cast<std::size_t>(from) - 1;
  return start >= s.size() ? std::string() : s.substr(start);
}

std::string SysErrorText(std::uint32_t code) {
  std::string text = Utf8ToCp1251(zorv::platform::SystemErrorText(code));
  while (!text.empty() && static_cast<unsigned char>(text.back()) < '!') text.pop_back();
  return text;
}

std::string ParamStr(int n) {
  return Utf8ToCp1251(n == 0 ? zorv::platform::ProgramPath() : zorv::platform::CommandLineParam(n));
}
