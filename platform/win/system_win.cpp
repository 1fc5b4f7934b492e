// Windows implementation of the system services.
#include <windows.h>

#include "platform/system.h"

namespace zorv::platform {

int ScreenLogPixelsY() {
  HDC dc = GetDC(nullptr);
  if (!dc) return 96;
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

void MessageBoxOk(void* owner, const std::string& text, const std::string& caption) {
  MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), MB_OK);
}

std::string SystemErrorText(std::uint32_t code) {
  char buf[256];
  // FORMAT_MESSAGE_ARGUMENT_ARRAY with no arguments keeps inserts such as %1 from being
  // expanded out of thin air.
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                 nullptr, code, 0, buf, sizeof buf, nullptr);
  return std::string(buf, n);
}

bool ProcessCpuTimes(double& userSeconds, double& systemSeconds) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return false;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  userSeconds = seconds(user);
  systemSeconds = seconds(kernel);
  return true;
}

std::string ProgramPath() {
  char buf[261];
  const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::string(buf, n < sizeof buf ? n : sizeof buf - 1);
}

std::string CommandLineParam(int n) {
  if (n < 1) return std::string();
  return CommandLineToken(GetCommandLineA(), n);
}

}  // namespace zorv::platform
