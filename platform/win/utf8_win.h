// UTF-8 <-> UTF-16 at the Windows boundary: the platform layer's texts are UTF-8 and the
// system's W calls take and give UTF-16; the conversion is made here, at the call.
#pragma once

#include <windows.h>

#include <string>

namespace zorv::platform {

// The UTF-16 of a UTF-8 text; false (and nothing) when the bytes are not UTF-8.
inline bool Utf8ToWide(const std::string& utf8, std::wstring& wide) {
  wide.clear();
  if (utf8.empty()) return true;
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n);
  return true;
}

// The UTF-16 of a UTF-8 text, with U+FFFD for bytes that are not UTF-8 (for texts shown).
inline std::wstring Utf8ToWideLoose(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
  return wide;
}

inline std::string WideToUtf8(const wchar_t* s, std::size_t length) {
  if (length == 0) return std::string();
  const int size = static_cast<int>(length);
  const int n = WideCharToMultiByte(CP_UTF8, 0, s, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

}  // namespace zorv::platform
