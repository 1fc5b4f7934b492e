#include "app/zorvflash/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

const char kFlashUsage[] =
    "usage: zorvflash --port PORT [--vers-timeout SECONDS] [--pause SECONDS] [--quiet] [--stats]\n"
    "       zorvflash --list | --image-info | --help | --version\n";

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

}  // namespace

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
      if (!value(o.port)) return false;
      if (o.port.empty() || o.port.find('\0') != std::string::npos) {
        error = "--port needs a port name";
        return false;
      }
      setAction(TFlashOptions::Action::Flash);
    } else if (a == "--vers-timeout") {
      if (!value(v)) return false;
      if (!ParseSeconds(v, 3600, o.versTimeout)) {
        error = "--vers-timeout takes seconds from 0 to 3600";
        return false;
      }
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
    } else if (a == "--list") {
      setAction(TFlashOptions::Action::List);
    } else if (a == "--image-info") {
      setAction(TFlashOptions::Action::ImageInfo);
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
  return true;
}
