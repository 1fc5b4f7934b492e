// UTF-8 and UTF-16 at the boundary of the wide Windows calls.
#pragma once

#include <windows.h>

#include <string>

namespace zorv::platform {

inline std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

inline std::string Narrow(const wchar_t* wide, std::size_t size) {
  if (size == 0) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(size), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

// Closes a kernel handle when it goes out of scope.
class THandleOwner {
 public:
  THandleOwner() = default;
  explicit THandleOwner(HANDLE h) : h_(h) {}
  ~THandleOwner() { Reset(); }
  THandleOwner(const THandleOwner&) = delete;
  THandleOwner& operator=(const THandleOwner&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void Reset(HANDLE h = nullptr) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace zorv::platform
