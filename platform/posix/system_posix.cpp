// POSIX implementation of the system services.
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/system.h"

namespace zorv::platform {

int ScreenLogPixelsY() { return 96; }

void MessageBoxOk(void* /*owner*/, const std::string& text, const std::string& caption) {
  std::string line = caption + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

std::string SystemErrorText(std::uint32_t code) {
  if (code > 0x7fffffffu) return std::string();
  // strerrordesc_np gives nullptr for codes the system does not know (strerror would
  // make up "Unknown error N").
  const char* text = strerrordesc_np(static_cast<int>(code));
  return text ? std::string(text) : std::string();
}

bool ProcessCpuTimes(double& userSeconds, double& systemSeconds) {
  rusage u{};
  if (getrusage(RUSAGE_SELF, &u) != 0) return false;
  userSeconds = static_cast<double>(u.ru_utime.tv_sec) + u.ru_utime.tv_usec / 1e6;
  systemSeconds = static_cast<double>(u.ru_stime.tv_sec) + u.ru_stime.tv_usec / 1e6;
  return true;
}

std::uint64_t PeakMemoryBytes() {
  rusage u{};
  if (getrusage(RUSAGE_SELF, &u) != 0 || u.ru_maxrss < 0) return 0;
  return static_cast<std::uint64_t>(u.ru_maxrss) * 1024;  // kilobytes on Linux
}

std::string HostName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return std::string();
  return buf;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

std::string ProgramPath() {
  std::vector<char> buf(4096);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string CommandLineParam(int n) {
  if (n < 1) return std::string();
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  int index = 0;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    if (index == n) return all.substr(start, end - start);
    ++index;
    start = end + 1;
  }
  return std::string();
}

}  // namespace zorv::platform
