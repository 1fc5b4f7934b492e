#include "app/zorvflash/Options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

const char kFlashUsage[] =
    "usage: zorvflash --port PORT[,PORT...]|auto [--all] [--image FILE] [--report FILE] [--trace FILE]\n"
    "                 [--vers-timeout SECONDS] [--pause SECONDS] [--block-writes] [--quiet] [--stats]\n"
    "       zorvflash --list | --image-info [FILE] | --help | --version\n";

namespace {

bool ParseSeconds(const std::string& text, double max, double& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) || v < 0 || v > max) return false;
  out = v;
  return true;
}

// Splits the value of --port at commas: names in order, or "auto" alone.
bool ParsePorts(const std::string& value, TFlashOptions& o, std::string& error) {
  o.ports.clear();
  o.autoPorts = false;
  if (value.find('\0') != std::string::npos) {
    error = "--port needs a port name";
    return false;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = value.find(',', start);
    const std::string name = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (name.empty()) {
      error = value.find(',') == std::string::npos ? "--port needs a port name" : "--port: an empty name in the list";
      return false;
    }
    for (const std::string& seen : o.ports) {
      // COM names are the same in any letter case; device paths are not.
      bool same = seen.size() == name.size();
      const bool path = name.find('/') != std::string::npos;
      for (std::size_t i = 0; same && i < name.size(); ++i) {
        same = path ? seen[i] == name[i]
                    : std::tolower(static_cast<unsigned char>(seen[i])) ==
                          std::tolower(static_cast<unsigned char>(name[i]));
      }
      if (same) {
        error = "--port: " + name + " is given twice";
        return false;
      }
    }
    o.ports.push_back(name);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (const std::string& name : o.ports) {
    if (name == "auto" && o.ports.size() > 1) {
      error = "--port: auto tries every port and takes no names beside it";
      return false;
    }
  }
  if (o.ports.size() > kMaxPorts) {
    error = "--port: " + std::to_string(o.ports.size()) + " ports; at most " + std::to_string(kMaxPorts);
    return false;
  }
  if (o.ports.size() == 1 && o.ports[0] == "auto") {
    o.ports.clear();
    o.autoPorts = true;
  }
  return true;
}

}  // namespace

double TFlashOptions::VersTimeoutFor(std::size_t portsTried) const {
  if (versTimeoutGiven) return versTimeout;
  return portsTried > 1 ? 1.0 : 5.0;
}

bool ParseFlashOptions(const std::vector<std::string>& args, TFlashOptions& o, std::string& error) {
  int actions = 0;
  auto setAction = [&](TFlashOptions::Action a) {
    o.action = a;
    ++actions;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--port") {
      if (!value(v)) return false;
      if (!ParsePorts(v, o, error)) return false;
      setAction(TFlashOptions::Action::Flash);
    } else if (a == "--vers-timeout") {
      if (!value(v)) return false;
      if (!ParseSeconds(v, 3600, o.versTimeout)) {
        error = "--vers-timeout takes seconds from 0 to 3600";
        return false;
      }
      o.versTimeoutGiven = true;
    } else if (a == "--pause") {
      // The pause is held in microseconds in a 32-bit value.
      if (!value(v)) return false;
      if (!ParseSeconds(v, 2000, o.pause)) {
        error = "--pause takes seconds from 0 to 2000";
        return false;
      }
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--stats") {
      o.stats = true;
    } else if (a == "--block-writes") {
      o.blockWrites = true;
    } else if (a == "--list") {
      setAction(TFlashOptions::Action::List);
    } else if (a == "--image-info") {
      setAction(TFlashOptions::Action::ImageInfo);
      // The file is optional: a next argument that is no option is the file.
      if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') o.infoPath = args[++i];
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--image" || a == "--report" || a == "--trace" || a == "--image-pipe") {
      if (!value(v)) return false;
      if (v.empty() || v.find('\0') != std::string::npos) {
        error = a + " needs a file name";
        return false;
      }
      (a == "--image" ? o.imagePath : a == "--report" ? o.reportPath : a == "--trace" ? o.tracePath : o.imagePipe) = v;
    } else if (a == "--worker") {
      o.worker = true;
    } else if (a == "--auto-found") {
      o.autoFound = true;
    } else if (a == "--help" || a == "-h") {
      setAction(TFlashOptions::Action::Help);
    } else if (a == "--version") {
      setAction(TFlashOptions::Action::Version);
    } else {
      error = "unknown argument: " + a;
      return false;
    }
  }
  if (actions == 0) {
    error = "nothing to do";
    return false;
  }
  if (actions > 1) {
    error = "--port, --list, --image-info, --help and --version exclude each other";
    return false;
  }
  const bool flash = o.action == TFlashOptions::Action::Flash;
  if (!flash && (o.all || !o.reportPath.empty() || !o.tracePath.empty() || o.worker)) {
    error = "--all, --report and --trace go with --port";
    return false;
  }
  if (!o.imagePath.empty() && !flash && o.action != TFlashOptions::Action::ImageInfo) {
    error = "--image goes with --port or --image-info";
    return false;
  }
  if (!o.infoPath.empty() && !o.imagePath.empty()) {
    error = "--image-info takes one file";
    return false;
  }
  if (o.worker && (o.all || o.autoPorts || o.ports.size() != 1 || !o.imagePath.empty())) {
    error = "--worker takes one port";
    return false;
  }
  if ((!o.imagePipe.empty() || o.autoFound) && !o.worker) {
    error = "--image-pipe goes with --worker";
    return false;
  }
  return true;
}
