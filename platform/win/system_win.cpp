// Windows implementation of the system services: the W calls, their texts converted
// between UTF-16 and UTF-8 at the call.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cwchar>

#include <vector>

#include "platform/system.h"
#include "platform/win/utf8_win.h"

namespace zorv::platform {

namespace {

// The screen's DC for a question, given back when done.
class TScreenDC {
 public:
  TScreenDC() : dc_(GetDC(nullptr)) {}
  TScreenDC(const TScreenDC&) = delete;
  TScreenDC& operator=(const TScreenDC&) = delete;
  ~TScreenDC() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace

int ScreenLogPixelsY() {
  const TScreenDC screen;
  if (!screen.Get()) return 96;
  const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
  return dpi > 0 ? dpi : 96;
}

void MessageBoxOk(void* owner, const std::string& text, const std::string& caption) {
  const std::wstring t = Utf8ToWideLoose(text);
  const std::wstring c = Utf8ToWideLoose(caption);
  MessageBoxW(static_cast<HWND>(owner), t.c_str(), c.c_str(), MB_OK);
}

std::string SystemErrorText(std::uint32_t code) {
  wchar_t buf[256];
  // FORMAT_MESSAGE_ARGUMENT_ARRAY with no arguments keeps inserts such as %1 from being
  // expanded out of thin air. The W call gives the text in the user's language whatever
  // the ANSI code page.
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, code, 0, buf,
                                 sizeof buf / sizeof buf[0], nullptr);
  return WideToUtf8(buf, n);
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
  return WideToUtf8(buf, n);
}

std::vector<std::string> ProgramArguments(int, char**) {
  // The narrow argv holds the arguments in the system's code page, which may lack the
  // characters of a path: the wide command line has them all.
  std::vector<std::string> args;
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (!wide) return args;
  for (int i = 1; i < n; ++i) args.push_back(WideToUtf8(wide[i], wcslen(wide[i])));
  LocalFree(wide);
  return args;
}

std::string ProgramPath() {
  // A path may be longer than MAX_PATH: the buffer grows until the whole path fits.
  std::vector<wchar_t> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) return WideToUtf8(buf.data(), n);
    if (buf.size() >= 32768) return std::string();
    buf.resize(buf.size() * 2);
  }
}

std::string CommandLineParam(int n) {
  if (n < 1) return std::string();
  const wchar_t* line = GetCommandLineW();
  // UTF-8 keeps the separators (blanks, controls, quotes) as single bytes: the tokens come
  // out the same.
  return CommandLineToken(line ? WideToUtf8(line, wcslen(line)) : std::string(), n);
}

}  // namespace zorv::platform
