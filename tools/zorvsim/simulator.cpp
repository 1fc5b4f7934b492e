#include "simulator.h"

#include <errno.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "engine.h"
#include "line.h"
#include "pacer.h"
#include "report.h"
#include "watch.h"

namespace zorv::sim {
namespace {

// Beyond this many received bytes waiting for their line time, the simulator stops reading,
// so that a flooding host meets back-pressure instead of growing the queue without end.
constexpr std::size_t kMaxQueued = 1 << 20;

class Clock {
 public:
  double Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  double Start() const { return std::chrono::duration<double>(start_.time_since_epoch()).count(); }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// SIGTERM, SIGINT and SIGHUP as readable records, so that the poll loop ends in order and
// the report is printed. The dispositions are reset first: an ignored signal inherited
// from the parent would be discarded instead of queued.
class Signals {
 public:
  Signals() {
    sigemptyset(&mask_);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
      ::signal(s, SIG_DFL);
      sigaddset(&mask_, s);
    }
    sigprocmask(SIG_BLOCK, &mask_, &old_);
    fd_ = Fd(signalfd(-1, &mask_, SFD_NONBLOCK | SFD_CLOEXEC));
  }
  ~Signals() {
    fd_.Reset();
    sigprocmask(SIG_SETMASK, &old_, nullptr);
  }
  Signals(const Signals&) = delete;
  Signals& operator=(const Signals&) = delete;

  int fd() const { return fd_.get(); }
  // The name of the signal that arrived, or empty.
  std::string Take() {
    signalfd_siginfo info{};
    if (::read(fd_.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return {};
    switch (info.ssi_signo) {
      case SIGTERM: return "sigterm";
      case SIGINT: return "sigint";
      default: return "sighup";
    }
  }

 private:
  sigset_t mask_{};
  sigset_t old_{};
  Fd fd_;
};

void PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Writes queued pieces, each with a write of its own; a piece the line does not take at
// once stays at the front; `done` is told of each piece written whole. Returns false on a
// line failure.
template <typename Done>
bool Flush(int fd, std::deque<Pacer::Write>& backlog, bool& wrote, Done done) {
  while (!backlog.empty()) {
    std::string& piece = backlog.front().bytes;
    const ssize_t n = ::write(fd, piece.data(), piece.size());
    if (n < 0) {
      const int code = errno;
      if (code == EAGAIN || code == EINTR) return true;
      std::fprintf(stderr, "zorvsim: write: %s\n", strerror(code));
      return false;
    }
    wrote = true;
    if (static_cast<std::size_t>(n) < piece.size()) {
      piece.erase(0, static_cast<std::size_t>(n));
      return true;
    }
    done(backlog.front().at);
    backlog.pop_front();
  }
  return true;
}

timespec Timeout(double seconds) {
  seconds = std::clamp(seconds, 0.0, 3600.0);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
  return ts;
}

// Serves the line until an end; returns the exit reason.
std::string Serve(const Options& o, Line& line, Signals& signals, Engine& engine,
                  const Clock& clock, LineWatch* watch) {
  Pacer pacer(o.pace, o.baud);
  LineGaps gaps(pacer.ByteTime());
  std::deque<Pacer::Write> backlog;
  std::vector<char> buf(65536);
  double lastTraffic = clock.Now();
  double lingerUntil = Pacer::kNever;
  // A device that stops reading: first the host's output is held and let through only
  // while the simulator waits to read (so the host gets ahead by a few bytes at most),
  // then, at the stall, nothing is read and the host's writes wait until the resumption.
  bool trickle = false;
  bool stalled = false;
  double resumeAt = Pacer::kNever;
  std::string held;  // bytes the device did not take when it stalled

  for (;;) {
    double now = clock.Now();
    if (stalled && now >= resumeAt) {
      stalled = trickle = false;
      resumeAt = Pacer::kNever;
      line.HoldHostOutput(false);
      engine.Resume(now);
    }
    std::string delivered;
    if (!stalled) {
      delivered.swap(held);
      delivered += pacer.TakeDelivered(now);
    }
    if (!delivered.empty()) {
      Output out = engine.Feed(delivered, now);
      // Before the replies go out: the host acts on them at once.
      if (out.holdHost && line.HoldHostOutput(true)) trickle = true;
      if (out.stall) {
        stalled = true;
        held = std::move(out.held);
        if (o.resumeMs >= 0) resumeAt = now + static_cast<double>(o.resumeMs) / 1000.0;
      }
      for (const Reply& r : out.replies) pacer.Schedule(r, now);
      if (out.pusk) lingerUntil = now + static_cast<double>(o.lingerMs) / 1000.0;
      if (out.hangup) {
        line.Close();
        return "hangup";
      }
    }
    for (Pacer::Write& w : pacer.TakeDue(now)) backlog.push_back(std::move(w));
    bool wrote = false;
    const auto written = [&](double at) {
      if (o.pace == Pace::None) return;
      const double t = clock.Now();
      if (const double pause = gaps.Written(at, t); pause > 0) engine.NoteLinePause(t, pause);
      if (watch) {
        const double next = backlog.size() > 1 ? backlog[1].at : pacer.NextWrite();
        watch->Wrote(FollowsOn(at, next, pacer.ByteTime()), engine.report().blocks_acked);
      }
    };
    if (!Flush(line.fd(), backlog, wrote, written)) return "line-error";
    if (wrote) lastTraffic = now;

    if (now >= lingerUntil) return "pusk";
    const double idleAt =
        o.idleExitSeconds > 0 ? lastTraffic + o.idleExitSeconds : Pacer::kNever;
    if (now >= idleAt) return "idle";

    const double next = std::min(
        {stalled ? Pacer::kNever : pacer.NextDelivery(), pacer.NextWrite(), lingerUntil, idleAt, resumeAt});
    const bool reading = !stalled && pacer.Queued() < kMaxQueued;
    pollfd fds[2] = {{line.fd(), 0, 0}, {signals.fd(), POLLIN, 0}};
    if (reading) fds[0].events |= POLLIN;
    if (!backlog.empty()) fds[0].events |= POLLOUT;
    // A line not read from is not watched either: its hang-up would wake the loop forever.
    if (fds[0].events == 0) fds[0].fd = -1;
    const timespec ts = Timeout(next - now);
    if (trickle && reading) line.HoldHostOutput(false);
    const int ready = ::ppoll(fds, 2, std::isinf(next) ? nullptr : &ts, nullptr);
    if (trickle && reading) line.HoldHostOutput(true);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "zorvsim: poll: %s\n", strerror(errno));
      return "line-error";
    }
    if (fds[1].revents & POLLIN) {
      const std::string name = signals.Take();
      if (!name.empty()) return name;
    }
    if (reading && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      for (;;) {
        const ssize_t n = ::read(line.fd(), buf.data(), buf.size());
        if (n > 0) {
          now = clock.Now();
          pacer.Received(std::string_view(buf.data(), static_cast<std::size_t>(n)), now);
          lastTraffic = now;
          if (pacer.Queued() >= kMaxQueued) break;
          continue;
        }
        if (n == 0) return "line-closed";
        const int code = errno;
        if (code == EAGAIN || code == EINTR) break;
        // A serial device that went away reads EIO.
        if (code == EIO) return "line-closed";
        std::fprintf(stderr, "zorvsim: read: %s\n", strerror(code));
        return "line-error";
      }
    }
  }
}

}  // namespace

int RunSimulator(const Options& given) {
  // A reader of standard output that went away must not cost the orderly end.
  ::signal(SIGPIPE, SIG_IGN);
  // The paced line's bytes are a quarter of a millisecond apart: the loop's sleeps may not
  // end the default 50 us late (a gap of a few hundred microseconds in a reply sent byte by
  // byte would look to the host like the reply's end).
  (void)prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  // Paced, a late wake-up is a gap on the line that a real device never makes. On a busy
  // machine the scheduler may hold a waking process for a millisecond and more, so a paced
  // simulator asks for real-time scheduling (it sleeps between bytes and takes little time);
  // without the privilege it runs as before.
  if (given.pace != Pace::None) {
    sched_param param{};
    param.sched_priority = 10;
    (void)sched_setscheduler(0, SCHED_FIFO, &param);
  }
  Options o = given;
  if (!o.imagePath.empty()) {
    std::ifstream in(o.imagePath, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "zorvsim: cannot read the image %s\n", o.imagePath.c_str());
      return 1;
    }
    o.expectedImage.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  Clock clock;
  Engine engine(o);
  Signals signals;
  std::string reason;
  int status = 0;
  {
    std::string error;
    Line line = o.device.empty() ? Line::OpenPty(error) : Line::OpenDevice(o.device, o.baud, error);
    SymLink link;
    if (signals.fd() < 0) error = std::string("signalfd: ") + strerror(errno);
    if (line.valid() && error.empty() && !o.link.empty()) link.Make(o.link, line.path(), error);
    if (!line.valid() || !error.empty()) {
      std::fprintf(stderr, "zorvsim: %s\n", error.c_str());
      reason = "error";
      status = 1;
    } else {
      PrintLine((line.isPty() ? "PTY " : "DEVICE ") + line.path());
      // Byte by byte on a pty, the line is watched from the host's end as well.
      std::optional<LineWatch> watch;
      if (o.pace == Pace::Uart && line.isPty()) watch.emplace(line.slaveFd(), [&clock] { return clock.Now(); });
      reason = Serve(o, line, signals, engine, clock, watch ? &*watch : nullptr);
      if (watch) {
        for (const WatchFinding& f : watch->Finish()) engine.NoteWatch(f);
      }
      if (reason == "line-error") status = 1;
    }
    // The line and the link go before the report, so that whoever reads the report finds
    // them gone.
  }
  Report report = engine.Finish(reason, clock.Now());
  report.clock_start = clock.Start();
  PrintLine("REPORT " + ToJson(report));
  return status;
}

}  // namespace zorv::sim
