// Windows console: a real console gets UTF-16 through WriteConsoleW (the console's code
// page may not be able to show the texts); a redirected output gets the UTF-8 bytes.
#include <windows.h>

#include <cstdio>

#include "platform/console.h"

namespace zorv::platform {

namespace {

HANDLE HandleOf(Stream s) { return GetStdHandle(s == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode) != 0;
}

}  // namespace

bool IsTerminal(Stream s) { return IsConsole(HandleOf(s)); }

bool EnableTerminalControl(Stream s) {
  HANDLE h = HandleOf(s);
  DWORD mode = 0;
  if (!IsConsole(h) || !GetConsoleMode(h, &mode)) return false;
  constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
  return (mode & kVirtualTerminal) != 0 || SetConsoleMode(h, mode | kVirtualTerminal) != 0;
}

void WriteUtf8(Stream s, const std::string& text) {
  FILE* f = s == Stream::Out ? stdout : stderr;
  HANDLE h = HandleOf(s);
  if (!text.empty() && IsConsole(h)) {
    std::fflush(f);
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n > 0) {
      std::wstring wide(static_cast<std::size_t>(n), L'\0');
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
      DWORD written = 0;
      WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      return;
    }
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::fflush(f);
}

}  // namespace zorv::platform
