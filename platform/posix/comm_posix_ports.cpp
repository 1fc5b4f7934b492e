// The COM names of a POSIX system: registered paths (pseudo-terminals, links) and the
// serial devices found under /dev, so that a port is named "COMn" as on Windows.
#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/comm_posix.h"

namespace zorv::comm {

namespace {

std::mutex g_mutex;
std::map<std::string, int> g_registered;  // path -> number

bool IsDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// /dev/<prefix><digits>, in numeric order.
std::vector<std::string> Devices(const std::string& prefix) {
  std::vector<std::pair<long, std::string>> found;
  if (DIR* dir = opendir("/dev")) {
    while (dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string digits = name.substr(prefix.size());
      if (!IsDigits(digits) || digits.size() > 6) continue;
      found.emplace_back(std::strtol(digits.c_str(), nullptr, 10), "/dev/" + name);
    }
    closedir(dir);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

}  // namespace

namespace posix {

std::vector<TPortAlias> PortAliases() {
  std::vector<TPortAlias> out;
  bool used[256] = {};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& [path, number] : g_registered) {
      out.push_back({number, path});
      used[number] = true;
    }
  }
  int next = 1;
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    for (const std::string& path : Devices(prefix)) {
      if (std::any_of(out.begin(), out.end(), [&](const TPortAlias& a) { return a.path == path; })) continue;
      while (next <= 255 && used[next]) ++next;
      if (next > 255) break;
      used[next] = true;
      out.push_back({next, path});
    }
  }
  std::sort(out.begin(), out.end(), [](const TPortAlias& a, const TPortAlias& b) { return a.number < b.number; });
  return out;
}

std::string ResolveComName(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return std::string();
  for (int i = 0; i < 3; ++i) {
    if ((name[i] & ~0x20) != "COM"[i]) return std::string();
  }
  const std::string digits = name.substr(3);
  if (!IsDigits(digits) || digits[0] == '0') return std::string();
  const int number = std::atoi(digits.c_str());
  for (const TPortAlias& a : PortAliases()) {
    if (a.number == number) return a.path;
  }
  return std::string();
}

}  // namespace posix

std::string RegisterSerialPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_registered.find(path);
  if (it == g_registered.end()) {
    bool used[256] = {};
    for (const auto& r : g_registered) used[r.second] = true;
    int n = 1;
    while (n <= 255 && used[n]) ++n;
    if (n > 255) return std::string();
    it = g_registered.emplace(path, n).first;
  }
  return "COM" + std::to_string(it->second);
}

void UnregisterSerialPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_registered.erase(path);
}

}  // namespace zorv::comm
