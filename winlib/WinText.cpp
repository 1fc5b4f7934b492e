#include "winlib/WinText.h"

#include <vector>

#include "winlib/Cp1251.h"

TWideString ToWide(const std::string& cp1251) {
  TWideString out;
  out.reserve(cp1251.size());
  for (char c : cp1251) out.push_back(static_cast<WCHAR>(Cp1251ToUnicode(static_cast<unsigned char>(c))));
  return out;
}

std::string FromWide(const WCHAR* s, std::size_t n) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int b = UnicodeToCp1251(static_cast<char16_t>(s[i]));
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return out;
}

std::string WindowText(HWND wnd) {
  const int n = GetWindowTextLengthW(wnd);
  if (n <= 0) return std::string();
  std::vector<WCHAR> buf(static_cast<std::size_t>(n) + 1);
  const int got = GetWindowTextW(wnd, buf.data(), n + 1);
  return FromWide(buf.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

BOOL SetWindowText1251(HWND wnd, const std::string& text) {
  const TWideString w = ToWide(text);
  return SetWindowTextW(wnd, w.c_str());
}
