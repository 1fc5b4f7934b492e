#include "engine.h"

#include <algorithm>
#include <cmath>

#include <cctype>

namespace zorv::sim {
namespace {

constexpr std::string_view kVers = "VERS";
constexpr std::string_view kPusk = "PUSK";
// Stands in for an acknowledgement: three bytes, so that no host can take it for one.
constexpr std::string_view kGarbage = "\xDE\xAD\xBE";
constexpr std::string_view kExtra = "\r\n";
constexpr std::string_view kFinal = "FZ";
// Two bytes that the host cannot take for the acknowledgement it waits for (unless the
// checksum happens to be 0xEEEE).
constexpr std::string_view kWrong = "\xEE\xEE";
constexpr std::size_t kHalfBlock = 128;

bool IsPrefixOf(const std::string& held, std::string_view word) {
  return held.size() <= word.size() && word.compare(0, held.size(), held) == 0;
}

// Drops bytes from the front of `held` until it is a beginning of `word` again; returns how
// many were dropped.
long Resync(std::string& held, std::string_view word) {
  long dropped = 0;
  while (!held.empty() && !IsPrefixOf(held, word)) {
    held.erase(0, 1);
    ++dropped;
  }
  return dropped;
}

}  // namespace

std::string Hex4(std::uint16_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(4, '0');
  for (int i = 3; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 15];
  return s;
}

Engine::Engine(const Options& options) : options_(options) {
  report_.mode = options_.echo ? "echo" : "device";
  report_.image_checked = !options_.imagePath.empty() || !options_.expectedImage.empty();
}

std::string Engine::AckBytes(std::uint16_t crc) const {
  return std::string{static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
}

void Engine::FlushEcho(double t, Output& out) {
  if (pendingEcho_.empty()) return;
  out.replies.push_back({{pendingEcho_}, 0, 0});
  AddEvent({t, "echo", 0, static_cast<long>(pendingEcho_.size()), "", "", ""});
  report_.echo_bytes += static_cast<long>(pendingEcho_.size());
  pendingEcho_.clear();
}

void Engine::Resume(double t) {
  AddEvent({t, "resume", 0, 0, "", "", ""});
}

std::string Engine::IdentLine() const {
  std::string ident = options_.ident;
  if (options_.identLower) {
    for (char& c : ident) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (options_.identOnly) return ident;
  if (options_.noVersion) return ident + " " + options_.name;
  return ident + " " + options_.name + " " + options_.version;
}

void Engine::AddEvent(Event e) { report_.events.push_back(std::move(e)); }

void Engine::NoteWatch(const WatchFinding& finding) {
  Event e{finding.t, finding.blind ? "blind" : "stall", finding.block, 0, "", "", ""};
  e.us = finding.micros;
  auto& events = report_.events;
  const auto at = std::upper_bound(events.begin(), events.end(), e.t,
                                   [](double t, const Event& other) { return t < other.t; });
  events.insert(at, std::move(e));
}

void Engine::NoteLinePause(double t, double seconds) {
  Event e{t, "pause", report_.blocks_acked, 0, "", "", ""};
  e.us = std::lround(seconds * 1e6);
  AddEvent(std::move(e));
}

void Engine::FlushCounts(double t) {
  if (pendingStray_ > 0) {
    AddEvent({t, "stray", 0, pendingStray_, "", "", ""});
    report_.stray_bytes += pendingStray_;
    pendingStray_ = 0;
  }
  if (pendingExtra_ > 0) {
    AddEvent({t, "extra", 0, pendingExtra_, "", "", ""});
    report_.extra_bytes += pendingExtra_;
    pendingExtra_ = 0;
  }
}

Output Engine::Feed(std::string_view bytes, double t) {
  Output out;
  if (finished_ || bytes.empty()) return out;
  if (options_.echo) {
    report_.echo_bytes += static_cast<long>(bytes.size());
    AddEvent({t, "echo", 0, static_cast<long>(bytes.size()), "", "", ""});
    out.replies.push_back({{std::string(bytes)}, 0});
    return out;
  }
  stalled_ = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    Byte(bytes[i], t, out);
    if (stalled_) {
      out.stall = true;
      out.held.assign(bytes.substr(i + 1));
      break;
    }
  }
  FlushEcho(t, out);
  FlushCounts(t);
  return out;
}

void Engine::Byte(char c, double t, Output& out) {
  switch (state_) {
    case State::WaitVers:
    case State::Identified:
      MatchBeforeImage(c, t, out);
      break;
    case State::Image:
      ImageByte(c, t, out);
      break;
    case State::ImageDone:
      MatchAfterImage(c, t, out);
      break;
    case State::Started:
    case State::HungUp:
      ++pendingExtra_;
      break;
  }
}

void Engine::MatchBeforeImage(char c, double t, Output& out) {
  held_ += c;
  if (IsPrefixOf(held_, kVers)) {
    if (held_.size() == kVers.size()) {
      held_.clear();
      Query(t, out);
    }
    return;
  }
  if (state_ == State::WaitVers) {
    pendingStray_ += Resync(held_, kVers);
    return;
  }
  // Identified, and the bytes are no query: they are the first bytes of the image.
  std::string first;
  first.swap(held_);
  state_ = State::Image;
  AddEvent({t, "image", 0, 0, "", "", ""});
  for (char b : first) Byte(b, t, out);
}

void Engine::MatchAfterImage(char c, double t, Output& out) {
  held_ += c;
  if (IsPrefixOf(held_, kPusk)) {
    if (held_.size() == kPusk.size()) {
      held_.clear();
      report_.pusk = true;
      state_ = State::Started;
      AddEvent({t, "pusk", 0, 0, "", "", ""});
      out.pusk = true;
      if (options_.afterPusk != Options::AfterPusk::None) {
        std::string again = AckBytes(lastCrc_);
        if (options_.afterPusk == Options::AfterPusk::Final) again += kFinal;
        out.replies.push_back({{again}, 0, 0});
        AddEvent({t, "after-pusk", 0, 0, Hex4(lastCrc_), "", ""});
      }
    }
    return;
  }
  pendingExtra_ += Resync(held_, kPusk);
}

void Engine::Query(double t, Output& out) {
  ++report_.vers_queries;
  state_ = State::Identified;
  AddEvent({t, "vers", 0, 0, "", "", ""});
  if (options_.noVersReply) return;
  std::string line = IdentLine();
  if (options_.identSize > static_cast<long>(line.size())) {
    line += ' ';
    line.resize(static_cast<std::size_t>(options_.identSize), '#');
  }
  out.replies.push_back({{line}, 0, 0});
  // A device that stops reading in block 1 holds the host from the start of the image on.
  if (options_.stall == 1) out.holdHost = true;
}

void Engine::ImageByte(char c, double t, Output& out) {
  const auto b = static_cast<std::uint8_t>(c);
  const long offset = report_.image_bytes;
  const long block = offset / static_cast<long>(kBlockSize) + 1;  // the block this byte is in
  if (report_.image_checked && report_.image_mismatch < 0 &&
      (static_cast<std::size_t>(offset) >= options_.expectedImage.size() ||
       static_cast<std::uint8_t>(options_.expectedImage[static_cast<std::size_t>(offset)]) != b)) {
    report_.image_mismatch = offset;
  }
  crc_.Add(b);
  sha_.Update(&b, 1);
  ++report_.image_bytes;
  if (options_.echoFrom > 0 && block >= options_.echoFrom) {
    pendingEcho_ += c;
    delayNextAck_ = true;
  }
  if (++blockFill_ == kHalfBlock) {
    if (block == options_.wrongIn) {
      FlushEcho(t, out);
      out.replies.push_back({{std::string(kWrong)}, 0, 0});
      AddEvent({t, "wrong", block, static_cast<long>(kWrong.size()), "", "", ""});
      delayNextAck_ = true;
    }
    if (block == options_.dupAck + 1 && options_.dupAck > 0) {
      FlushEcho(t, out);
      out.replies.push_back({{AckBytes(lastCrc_)}, 0, 0});
      AddEvent({t, "dup", block, 2, Hex4(lastCrc_), "", ""});
      delayNextAck_ = true;
    }
    if (block == options_.stall) {
      AddEvent({t, "stall", block, report_.image_bytes, "", "", ""});
      stalled_ = true;
    }
  }
  if (blockFill_ == kBlockSize) {
    blockFill_ = 0;
    BlockDone(report_.image_bytes / static_cast<long>(kBlockSize), t, out);
  }
}

void Engine::BlockDone(long block, double t, Output& out) {
  report_.blocks_received = block;
  FlushEcho(t, out);
  const bool last = block == options_.blocks;
  if (block == options_.hangup) {
    AddEvent({t, "hangup", block, 0, "", "", ""});
    state_ = State::HungUp;
    out.hangup = true;
    return;
  }
  if (last) state_ = State::ImageDone;

  if (options_.silenceFrom > 0 && block >= options_.silenceFrom) {
    AddEvent({t, "silent", block, 0, "", "", ""});
    return;
  }
  if (block == options_.garbage) {
    AddEvent({t, "garbage", block, 0, "", "", ""});
    out.replies.push_back({{std::string(kGarbage)}, 0});
    return;
  }

  std::string fault;
  auto addFault = [&fault](const char* f) { fault += fault.empty() ? f : std::string(",") + f; };
  std::uint16_t value = crc_.Value();
  if (block == options_.badCrc) {
    value ^= 0xFFFF;
    addFault("bad-crc");
  }
  std::string ack = AckBytes(value);
  lastCrc_ = value;
  const bool final = block == options_.earlyFz || (last && !options_.noFinalFz);
  if (block == options_.earlyFz) addFault("early-fz");
  if (last && !final) addFault("no-final-fz");
  if (final) {
    ack += kFinal;
    state_ = State::ImageDone;
  }
  if (block == options_.extraAfterAck) {
    ack += kExtra;
    addFault("extra");
  }
  Reply reply;
  if (block == options_.splitAck) {
    for (char b : ack) reply.pieces.emplace_back(1, b);
    reply.gapMs = options_.splitGapMs;
    addFault("split");
  } else {
    reply.pieces.push_back(ack);
  }
  if (delayNextAck_) {
    // After wrong bytes, a repeated acknowledgement or an echo in this block: the host
    // reads them on their own before the acknowledgement.
    reply.delayMs = options_.splitGapMs;
    delayNextAck_ = false;
    addFault("after-wrong");
  }
  out.replies.push_back(std::move(reply));
  ++report_.blocks_acked;
  AddEvent({t, final ? "final" : "ack", block, 0, Hex4(value), fault, ""});
  if (block + 1 == options_.stall) out.holdHost = true;
  if (block == options_.stallAfterAck) {
    out.holdHost = true;
    AddEvent({t, "stall", block, report_.image_bytes, "", "", ""});
    stalled_ = true;
  }
}

Report Engine::Finish(const std::string& reason, double t) {
  if (!finished_) {
    // Bytes still held for a match that never completed are reported, not lost.
    if (state_ == State::WaitVers || state_ == State::Identified) {
      pendingStray_ += static_cast<long>(held_.size());
    } else {
      pendingExtra_ += static_cast<long>(held_.size());
    }
    held_.clear();
    FlushCounts(t);
    report_.image_sha256 = sha_.FinalHex();
    report_.image_crc = Hex4(crc_.Value());
    AddEvent({t, "exit", 0, 0, "", "", reason});
    report_.exit = reason;
    finished_ = true;
  }
  return report_;
}

}  // namespace zorv::sim
