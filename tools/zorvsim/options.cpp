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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      ++i;
      continue;
    }
    if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
    const int hi = HexDigit(text[i + 2]), lo = HexDigit(text[i + 3]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 3;
  }
  return true;
}

std::string UsageText() {
  return "usage: zorvsim [--pty | --device PATH] [--link PATH]\n"
         "               [--ident TEXT] [--name TEXT] [--version TEXT] [--blocks N]\n"
         "               [--no-vers-reply] [--ident-lower] [--ident-only] [--no-version]\n"
         "               [--split-ack K] [--bad-crc K] [--silence-from K] [--early-fz K]\n"
         "               [--garbage K] [--extra-after-ack K] [--hangup K] [--no-final-fz]\n"
         "               [--split-gap MS] [--wrong-in K] [--dup-ack K] [--echo-from K]\n"
         "               [--after-pusk final|crc] [--stall K | --stall-after-ack K]\n"
         "               [--resume MS] [--ident-size N] [--image PATH]\n"
         "               [--pace none|usb|uart] [--baud N]\n"
         "               [--echo] [--idle-exit SECONDS] [--linger MS] [--help]\n"
         "\n"
         "A bootloader on the device end of the serial line. Prints \"PTY <slave>\" (or\n"
         "\"DEVICE <path>\") first and \"REPORT {json}\" at exit. Faults act at block K\n"
         "(1-based). Before the image, four bytes \"VERS\" are a query; in the identified\n"
         "state any other byte starts the image. --echo writes every chunk back unchanged.\n"
         "--wrong-in sends two wrong bytes in the middle of block K, --dup-ack the\n"
         "acknowledgement of block K again in the middle of block K+1, --echo-from every\n"
         "byte from block K on back; the acknowledgement of such a block follows the split\n"
         "gap after it. --after-pusk\n"
         "answers \"PUSK\" once with the final acknowledgement or the last checksum alone.\n"
         "--stall stops reading in the middle of block K, --stall-after-ack right after the\n"
         "acknowledgement of block K: the host's writes no longer get through (on a pty its\n"
         "output is stopped) until --resume MS later, or never. --ident-size pads the\n"
         "identification with a blank and filler to N bytes. --image PATH: every image byte\n"
         "is compared with that file (image_mismatch in the report: the first offset that\n"
         "differs, -1 none). --ident, --name and --version take \\xNN escapes.\n";
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
  auto escaped = [](std::string& field) {
    return [&field](const std::string& v) { return Unescape(v, field); };
  };
  const std::map<std::string, std::function<bool(const std::string&)>> valued = {
      {"--device", [&](const std::string& v) { o.device = v; return !v.empty(); }},
      {"--link", [&](const std::string& v) { o.link = v; return !v.empty(); }},
      {"--ident", escaped(o.ident)},
      {"--name", escaped(o.name)},
      {"--version", escaped(o.version)},
      {"--blocks", block(o.blocks)},
      {"--split-ack", block(o.splitAck)},
      {"--bad-crc", block(o.badCrc)},
      {"--silence-from", block(o.silenceFrom)},
      {"--early-fz", block(o.earlyFz)},
      {"--garbage", block(o.garbage)},
      {"--extra-after-ack", block(o.extraAfterAck)},
      {"--hangup", block(o.hangup)},
      {"--split-gap", [&](const std::string& v) { return ToLong(v, 0, 60000, o.splitGapMs); }},
      {"--wrong-in", block(o.wrongIn)},
      {"--dup-ack", block(o.dupAck)},
      {"--echo-from", block(o.echoFrom)},
      {"--stall", block(o.stall)},
      {"--stall-after-ack", block(o.stallAfterAck)},
      {"--resume", [&](const std::string& v) { return ToLong(v, 0, 3600000, o.resumeMs); }},
      {"--ident-size", [&](const std::string& v) { return ToLong(v, 1, 1 << 20, o.identSize); }},
      {"--image", [&](const std::string& v) { o.imagePath = v; return !v.empty(); }},
      {"--after-pusk",
       [&](const std::string& v) {
         if (v == "final") o.afterPusk = Options::AfterPusk::Final;
         else if (v == "crc") o.afterPusk = Options::AfterPusk::Crc;
         else return false;
         return true;
       }},
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
                                {"--hangup", o.hangup},
                                {"--wrong-in", o.wrongIn},
                                {"--dup-ack", o.dupAck},
                                {"--echo-from", o.echoFrom},
                                {"--stall", o.stall},
                                {"--stall-after-ack", o.stallAfterAck}}) {
    if (k > o.blocks) {
      return fail(std::string(name) + " " + std::to_string(k) + ": beyond the last block (" +
                  std::to_string(o.blocks) + ")");
    }
  }
  if (o.stall > 0 && o.stallAfterAck > 0) return fail("--stall and --stall-after-ack exclude each other");
  if (o.resumeMs >= 0 && o.stall == 0 && o.stallAfterAck == 0) return fail("--resume needs a stall");
  r.ok = true;
  return r;
}

}  // namespace zorv::sim
