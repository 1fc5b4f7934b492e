#include "tests/support/zorvsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace zorv::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// A small JSON reader: enough for the simulator's report (objects, arrays, strings with
// \uXXXX below 256, numbers, true/false/null).
struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool b = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Get(const std::string& key) const {
    for (const auto& [k, v] : members) {
      if (k == key) return &v;
    }
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& s) : s_(s) {}
  bool Read(Json& out) {
    if (!Value(out, 0)) return false;
    Space();
    return i_ == s_.size();
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }
  bool Literal(const char* word) {
    const std::string w(word);
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool Str(std::string& out) {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c == '\\') {
        if (i_ >= s_.size()) return false;
        const char e = s_[i_++];
        switch (e) {
          case 'n': c = '\n'; break;
          case 'r': c = '\r'; break;
          case 't': c = '\t'; break;
          case 'b': c = '\b'; break;
          case 'f': c = '\f'; break;
          case 'u': {
            if (i_ + 4 > s_.size()) return false;
            const long v = std::strtol(s_.substr(i_, 4).c_str(), nullptr, 16);
            i_ += 4;
            c = static_cast<char>(v & 0xFF);
            break;
          }
          default: c = e;
        }
      }
      out += c;
    }
    if (i_ >= s_.size()) return false;
    ++i_;
    return true;
  }
  // The comma-separated items of an object or an array, from its opening character to
  // `close`, each read by `item`.
  template <class F>
  bool Items(char close, F item) {
    ++i_;
    Space();
    if (i_ < s_.size() && s_[i_] == close) return ++i_, true;
    for (;;) {
      if (!item()) return false;
      Space();
      if (i_ < s_.size() && s_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < s_.size() && s_[i_] == close) return ++i_, true;
      return false;
    }
  }
  bool Value(Json& out, int depth) {
    if (depth > 32) return false;
    Space();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '{') {
      out.kind = Json::Object;
      return Items('}', [&] {
        Space();
        std::string key;
        if (!Str(key)) return false;
        Space();
        if (i_ >= s_.size() || s_[i_] != ':') return false;
        ++i_;
        Json v;
        if (!Value(v, depth + 1)) return false;
        out.members.emplace_back(std::move(key), std::move(v));
        return true;
      });
    }
    if (c == '[') {
      out.kind = Json::Array;
      return Items(']', [&] {
        Json v;
        if (!Value(v, depth + 1)) return false;
        out.items.push_back(std::move(v));
        return true;
      });
    }
    if (c == '"') {
      out.kind = Json::String;
      return Str(out.text);
    }
    if (Literal("true")) { out.kind = Json::Bool; out.b = true; return true; }
    if (Literal("false")) { out.kind = Json::Bool; return true; }
    if (Literal("null")) return true;
    const char* begin = s_.c_str() + i_;
    char* end = nullptr;
    out.number = std::strtod(begin, &end);
    if (end == begin) return false;
    out.kind = Json::Number;
    i_ += static_cast<std::size_t>(end - begin);
    return true;
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

long Integer(const Json& o, const char* key, long otherwise) {
  const Json* v = o.Get(key);
  return v && v->kind == Json::Number ? static_cast<long>(v->number) : otherwise;
}
std::string Text(const Json& o, const char* key) {
  const Json* v = o.Get(key);
  return v && v->kind == Json::String ? v->text : std::string();
}

}  // namespace

std::string ZorvsimPath() { return ZORV_ZORVSIM; }

SimProcess::SimProcess(std::vector<std::string> args) {
  const std::string path = ZorvsimPath();
  // A test may serve a line of its own making with --device instead of a new pty.
  const bool device = std::find(args.begin(), args.end(), "--device") != args.end();
  args.insert(args.begin(), "zorvsim");
  if (!device) args.insert(args.begin() + 1, "--pty");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  pid_ = ::fork();
  if (pid_ < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec.
    ::dup2(fds[1], STDOUT_FILENO);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  out_ = fds[0];

  const auto deadline = SteadyClock::now() + std::chrono::seconds(10);
  for (;;) {
    const auto nl = output_.find('\n');
    if (nl != std::string::npos) {
      const std::string first = output_.substr(0, nl);
      for (const char* tag : {"PTY ", "DEVICE "}) {
        const std::string t(tag);
        if (first.rfind(t, 0) == 0) {
          pty_ = first.substr(t.size());
          return;
        }
      }
      break;
    }
    if (eof_ || MsLeft(deadline) == 0) break;
    Pump(MsLeft(deadline));
  }
  Finish(2000);
  ::close(out_);
  out_ = -1;
  throw std::runtime_error("zorvsim (" + path + ") did not announce its line; it wrote: " + output_);
}

SimProcess::~SimProcess() {
  try {
    Finish(5000);
  } catch (...) {
  }
  if (out_ >= 0) ::close(out_);
}

void SimProcess::Pump(int timeoutMs) {
  if (eof_) return;
  pollfd p{out_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return;
  char buf[8192];
  const ssize_t n = ::read(out_, buf, sizeof buf);
  if (n > 0) {
    output_.append(buf, static_cast<std::size_t>(n));
  } else if (n == 0 || errno != EINTR) {
    eof_ = true;
  }
}

void SimProcess::Reap(int timeoutMs) {
  if (reaped_ || pid_ <= 0) return;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const pid_t r = ::waitpid(pid_, &status_, WNOHANG);
    if (r == pid_ || (r < 0 && errno != EINTR)) {
      reaped_ = true;
      return;
    }
    if (MsLeft(deadline) == 0) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
      }
      reaped_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool SimProcess::Running() {
  if (reaped_) return false;
  for (std::size_t before = output_.size() + 1; !eof_ && output_.size() != before;) {
    before = output_.size();
    Pump(0);
  }
  const pid_t r = ::waitpid(pid_, &status_, WNOHANG);
  if (r == pid_) reaped_ = true;
  return !reaped_;
}

bool SimProcess::WaitExit(int timeoutMs) {
  if (reaped_) return true;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  // The report can be larger than a pipe holds: read while waiting.
  while (!eof_ && MsLeft(deadline) > 0) Pump(MsLeft(deadline));
  if (!eof_) return false;
  Reap(MsLeft(deadline) + 1000);
  return true;
}

std::string SimProcess::Finish(int timeoutMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  if (pid_ > 0 && Running()) ::kill(pid_, SIGTERM);
  while (!eof_ && MsLeft(deadline) > 0) Pump(MsLeft(deadline));
  Reap(std::max(MsLeft(deadline), 2000));
  // After a forced end the pipe closes at once; read what is left in it.
  const auto drain = SteadyClock::now() + std::chrono::seconds(1);
  while (!eof_ && MsLeft(drain) > 0) Pump(MsLeft(drain));
  const std::string tag = "REPORT ";
  const auto at = output_.rfind("\n" + tag);
  std::size_t start;
  if (at != std::string::npos) {
    start = at + 1 + tag.size();
  } else if (output_.rfind(tag, 0) == 0) {
    start = tag.size();
  } else {
    return std::string();
  }
  const auto end = output_.find('\n', start);
  return output_.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<SimEvent> SimReport::Events(const std::string& name) const {
  std::vector<SimEvent> out;
  for (const SimEvent& e : events) {
    if (e.event == name) out.push_back(e);
  }
  return out;
}

bool SimReport::LinePausedIn(long block) const {
  for (const SimEvent& e : events) {
    if ((e.event == "pause" || e.event == "stall" || e.event == "blind") && e.block == block) return true;
  }
  return false;
}

SimReport ParseSimReport(const std::string& json) {
  SimReport r;
  Json root;
  if (!JsonReader(json).Read(root) || root.kind != Json::Object) return r;
  r.mode = Text(root, "mode");
  r.image_bytes = Integer(root, "image_bytes", -1);
  r.image_sha256 = Text(root, "image_sha256");
  r.image_crc = Text(root, "image_crc");
  r.image_mismatch = Integer(root, "image_mismatch", -2);
  r.blocks_received = Integer(root, "blocks_received", -1);
  r.blocks_acked = Integer(root, "blocks_acked", -1);
  const Json* pusk = root.Get("pusk");
  r.pusk = pusk && pusk->kind == Json::Bool && pusk->b;
  r.extra_bytes = Integer(root, "extra_bytes", -1);
  r.stray_bytes = Integer(root, "stray_bytes", -1);
  r.vers_queries = Integer(root, "vers_queries", -1);
  r.echo_bytes = Integer(root, "echo_bytes", -1);
  r.exit = Text(root, "exit");
  if (const Json* events = root.Get("events"); events && events->kind == Json::Array) {
    for (const Json& e : events->items) {
      SimEvent ev;
      if (const Json* t = e.Get("t"); t && t->kind == Json::Number) ev.t = t->number;
      ev.event = Text(e, "event");
      ev.block = Integer(e, "block", 0);
      ev.bytes = Integer(e, "bytes", 0);
      ev.crc = Text(e, "crc");
      ev.fault = Text(e, "fault");
      ev.reason = Text(e, "reason");
      ev.us = Integer(e, "us", 0);
      r.events.push_back(std::move(ev));
    }
  }
  r.valid = !r.exit.empty();
  return r;
}

}  // namespace zorv::test
