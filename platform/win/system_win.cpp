// Windows implementation of the system services.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cwchar>

#include "platform/system.h"
#include "platform/win/wide_win.h"

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

std::uint64_t PeakMemoryBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

std::string HostName() {
  wchar_t buf[256];
  DWORD n = 256;
  if (!GetComputerNameExW(ComputerNameDnsHostname, buf, &n)) return std::string();
  return Narrow(buf, n);
}

std::vector<std::string> ProgramArguments(int, char**) {
  // The narrow argv holds the arguments in the system's code page, which may lack the
  // characters of a path: the wide command line has them all.
  std::vector<std::string> args;
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (!wide) return args;
  for (int i = 1; i < n; ++i) args.push_back(Narrow(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return args;
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
