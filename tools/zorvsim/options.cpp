#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace zorv::sim {
namespace {

constexpr long kMaxBlocks = 1L << 24;

bool ToLong(const std::string& text, long min, long max, long& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  out = v;
  return true;
}

bool ToSeconds(const std::string& text, double& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(v) || v <= 0 || v > 1e6) return false;
  out = v;
  return true;
}

}  // namespace

std::string UsageText() {
  return "usage: zorvsim [--pty | --device PATH] [--link PATH]\n"
         "               [--ident TEXT] [--name TEXT] [--version TEXT] [--blocks N]\n"
         "               [--no-vers-reply] [--ident-lower] [--ident-only] [--no-version]\n"
         "               [--split-ack K] [--bad-crc K] [--silence-from K] [--early-fz K]\n"
         "               [--garbage K] [--extra-after-ack K] [--hangup K] [--no-final-fz]\n"
         "               [--split-gap MS] [--pace none|usb|uart] [--baud N]\n"
         "               [--echo] [--idle-exit SECONDS] [--linger MS] [--help]\n"
         "\n"
         "A bootloader on the device end of the serial line. Prints \"PTY <slave>\" (or\n"
         "\"DEVICE <path>\") first and \"REPORT {json}\" at exit. Faults act at block K\n"
         "(1-based). Before the image, four bytes \"VERS\" are a query; in the identified\n"
         "state any other byte starts the image. --echo writes every chunk back unchanged.\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions r;
  Options& o = r.options;
  bool pty = false;

  auto fail = [&](std::string text) {
    r.ok = false;
    r.error = std::move(text);
    return r;
  };

  auto block = [](long& field) {
    return [&field](const std::string& v) { return ToLong(v, 1, kMaxBlocks, field); };
  };
  auto text = [](std::string& field) {
    return [&field](const std::string& v) {
      field = v;
      return true;
    };
  };
  const std::map<std::string, std::function<bool(const std::string&)>> valued = {
      {"--device", [&](const std::string& v) { o.device = v; return !v.empty(); }},
      {"--link", [&](const std::string& v) { o.link = v; return !v.empty(); }},
      {"--ident", text(o.ident)},
      {"--name", text(o.name)},
      {"--version", text(o.version)},
      {"--blocks", block(o.blocks)},
      {"--split-ack", block(o.splitAck)},
      {"--bad-crc", block(o.badCrc)},
      {"--silence-from", block(o.silenceFrom)},
      {"--early-fz", block(o.earlyFz)},
      {"--garbage", block(o.garbage)},
      {"--extra-after-ack", block(o.extraAfterAck)},
      {"--hangup", block(o.hangup)},
      {"--split-gap", [&](const std::string& v) { return ToLong(v, 0, 60000, o.splitGapMs); }},
      {"--pace",
       [&](const std::string& v) {
         if (v == "none") o.pace = Pace::None;
         else if (v == "usb") o.pace = Pace::Usb;
         else if (v == "uart") o.pace = Pace::Uart;
         else return false;
         return true;
       }},
      {"--baud", [&](const std::string& v) { return ToLong(v, 50, 4000000, o.baud); }},
      {"--idle-exit", [&](const std::string& v) { return ToSeconds(v, o.idleExitSeconds); }},
      {"--linger", [&](const std::string& v) { return ToLong(v, 0, 3600000, o.lingerMs); }},
  };
  const std::map<std::string, bool*> flags = {
      {"--pty", &pty},
      {"--no-vers-reply", &o.noVersReply},
      {"--ident-lower", &o.identLower},
      {"--ident-only", &o.identOnly},
      {"--no-version", &o.noVersion},
      {"--no-final-fz", &o.noFinalFz},
      {"--echo", &o.echo},
      {"--help", &o.help},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool inlineValue = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      inlineValue = true;
    }
    if (const auto f = flags.find(name); f != flags.end()) {
      if (inlineValue) return fail(name + " takes no value");
      *f->second = true;
      continue;
    }
    const auto v = valued.find(name);
    if (v == valued.end()) return fail("unknown option: " + args[i]);
    if (!inlineValue) {
      if (i + 1 >= args.size()) return fail(name + " needs a value");
      value = args[++i];
    }
    if (!v->second(value)) return fail("bad value for " + name + ": \"" + value + "\"");
  }

  if (o.help) {
    r.ok = true;
    return r;
  }
  if (pty && !o.device.empty()) return fail("--pty and --device exclude each other");
  if (!o.link.empty() && !o.device.empty()) return fail("--link is for the pty only");
  for (const auto& [name, k] : {std::pair<const char*, long>{"--split-ack", o.splitAck},
                                {"--bad-crc", o.badCrc},
                                {"--silence-from", o.silenceFrom},
                                {"--early-fz", o.earlyFz},
                                {"--garbage", o.garbage},
                                {"--extra-after-ack", o.extraAfterAck},
                                {"--hangup", o.hangup}}) {
    if (k > o.blocks) {
      return fail(std::string(name) + " " + std::to_string(k) + ": beyond the last block (" +
                  std::to_string(o.blocks) + ")");
    }
  }
  r.ok = true;
  return r;
}

}  // namespace zorv::sim
