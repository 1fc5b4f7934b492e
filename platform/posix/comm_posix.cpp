// POSIX implementation of the serial line calls, with the Windows meaning of each call.
//
// A port keeps an input queue of its own, as a Windows serial driver does: bytes move from
// the terminal into it whenever a call looks at the line, and EV_RXCHAR reports bytes that
// arrived since the last event, not a non-empty queue, so a reader that leaves bytes
// unread does not spin. The event wait runs in the waiting thread (WaitForIo), in poll()
// on the terminal and on an eventfd through which SetCommMask wakes it. Reads and writes
// complete before they return. Names "\\.\COMn" resolve through the alias table.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <linux/serial.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/comm_posix.h"

namespace zorv::comm {

namespace {

using Clock = std::chrono::steady_clock;
using posix::ErrnoToError;

// Owns a descriptor.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : fd_(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() { Reset(); }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

constexpr std::uint32_t kMinQueue = 4096;

struct TPort {
  // The exclusive mode goes back only where this port set it: another program may have
  // set it before (root can still open such a terminal).
  ~TPort() {
    if (exclusiveSet) (void)ioctl(fd.get(), TIOCNXCL);
  }

  TFd fd;
  TFd wake;  // eventfd: SetCommMask and queue changes wake the pending event wait
  bool exclusiveSet = false;

  std::mutex m;
  std::string queue;  // bytes taken from the terminal, not yet read
  std::uint32_t capacity = kMinQueue;
  std::uint32_t mask = 0;
  std::uint32_t history = 0;  // events since the last completed wait
  std::uint32_t errors = 0;   // CE_ bits since the last ClearCommError
  std::uint64_t maskGeneration = 0;
  bool waitPending = false;
  bool hungUp = false;
  bool counters = true;  // TIOCGICOUNT works here
  serial_icounter_struct lastCount{};
  TDcb dcb;
  TCommTimeouts timeouts;
  std::atomic<std::uint32_t> aborts{0};  // PurgeComm with an abort flag

  void Wake() {
    const std::uint64_t one = 1;
    (void)!::write(wake.get(), &one, sizeof one);
  }
  void DrainWake() {
    std::uint64_t n;
    while (::read(wake.get(), &n, sizeof n) > 0) {
    }
  }

  // Line errors counted by the driver since the last look (not on pseudo-terminals).
  void ReadCounters() {
    if (!counters) return;
    serial_icounter_struct c{};
    if (ioctl(fd.get(), TIOCGICOUNT, &c) != 0) {
      counters = false;
      return;
    }
    std::uint32_t e = 0;
    if (c.frame != lastCount.frame) e |= kCeFrame;
    if (c.parity != lastCount.parity) e |= kCeRxParity;
    if (c.overrun != lastCount.overrun) e |= kCeOverrun;
    if (c.buf_overrun != lastCount.buf_overrun) e |= kCeRxOver;
    if (c.brk != lastCount.brk) {
      e |= kCeBreak;
      history |= kEvBreak;
    }
    lastCount = c;
    if (e) {
      errors |= e;
      history |= kEvErr;
    }
  }

  // Moves waiting bytes from the terminal into the queue (lock held). Returns true when
  // bytes arrived.
  bool Pump() {
    bool arrived = false;
    char buf[4096];
    while (!hungUp && queue.size() < capacity) {
      const std::size_t room = std::min<std::size_t>(sizeof buf, capacity - queue.size());
      const ssize_t n = ::read(fd.get(), buf, room);
      if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) {
          if (buf[i] == 0 && (dcb.Flags & kDcbNull)) continue;
          if (buf[i] == dcb.EvtChar) history |= kEvRxFlag;
          queue.push_back(buf[i]);
          arrived = true;
        }
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // A raw terminal with nothing waiting reads 0 (or EAGAIN); one that has lost its
      // other end fails (EIO) or shows POLLHUP, which the waiter looks for.
      if (n < 0 && errno != EAGAIN) hungUp = true;
      break;
    }
    if (arrived) {
      history |= kEvRxChar;
      if (queue.size() * 5 >= static_cast<std::size_t>(capacity) * 4) history |= kEvRx80Full;
    }
    ReadCounters();
    return arrived;
  }

  // A pump by a thread other than the waiter may have produced an awaited event.
  void NotifyWaiter() {
    if (waitPending && (history & mask)) Wake();
  }

  TCommTimeouts Timeouts() {
    std::lock_guard<std::mutex> lock(m);
    return timeouts;
  }
  // A read or a write that cannot go on waits a little for the terminal, then looks at its
  // time-outs and at PurgeComm again.
  void AwaitTerminal(short events) {
    pollfd f{fd.get(), events, 0};
    (void)poll(&f, 1, 20);
  }
};

TPort* P(THandle h) { return reinterpret_cast<TPort*>(h); }

}  // namespace

// A completion record. Reads and writes complete at once and leave their result here; an
// event wait stays pending until WaitForIo (or a waiting GetOverlappedResult) runs it.
class TIoRecord {
 public:
  enum class TState { Idle, Pending, Done };
  TState state = TState::Idle;
  TPort* port = nullptr;
  std::uint32_t* mask = nullptr;
  std::uint64_t generation = 0;
  std::uint32_t done = 0;
  std::uint32_t error = 0;

  void Complete(std::uint32_t n, std::uint32_t err) {
    state = TState::Done;
    done = n;
    error = err;
  }
};

namespace {

struct TThreadRec {
  pthread_t thread{};
  TThreadProc proc = nullptr;
  void* arg = nullptr;
  std::mutex m;
  std::condition_variable cv;
  pid_t tid = 0;  // set by the thread itself once it runs
  bool joined = false;
};

struct TThreadBox {
  std::shared_ptr<TThreadRec> rec;
};

void* ThreadMain(void* p) {
  std::shared_ptr<TThreadRec> rec = *static_cast<std::shared_ptr<TThreadRec>*>(p);
  delete static_cast<std::shared_ptr<TThreadRec>*>(p);
  {
    std::lock_guard<std::mutex> lock(rec->m);
    rec->tid = gettid();
  }
  rec->cv.notify_all();
  rec->proc(rec->arg);
  return nullptr;
}

struct TKeyRec {
  std::vector<std::pair<std::string, std::string>> values;  // device path, COM name
};

bool SameTextNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
         });
}

class TPosixCommApi final : public TCommApi {
 public:
  THandle CreateFile(const std::string& name, bool, std::uint32_t& error) override {
    std::string comName = name;
    if (comName.compare(0, 4, "\\\\.\\") == 0) comName = comName.substr(4);
    const std::string path = posix::ResolveComName(comName);
    if (path.empty()) {
      error = kErrorFileNotFound;
      return kInvalidHandle;
    }
    auto port = std::make_unique<TPort>();
    port->fd.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (port->fd.get() < 0) {
      error = ErrnoToError(errno);
      return kInvalidHandle;
    }
    if (!isatty(port->fd.get())) {
      error = kErrorFileNotFound;
      return kInvalidHandle;
    }
    // Exclusive use, as without sharing on Windows: the lock keeps out other openers in
    // this process and others; TIOCEXCL keeps out unprivileged openers that do not lock.
    if (flock(port->fd.get(), LOCK_EX | LOCK_NB) != 0) {
      error = errno == EWOULDBLOCK ? kErrorAccessDenied : ErrnoToError(errno);
      return kInvalidHandle;
    }
    int exclusive = 0;
    if (ioctl(port->fd.get(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0) {
      port->exclusiveSet = ioctl(port->fd.get(), TIOCEXCL) == 0;
    }
    port->wake.Reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (port->wake.get() < 0) {
      error = ErrnoToError(errno);
      return kInvalidHandle;
    }
    port->dcb.DCBlength = sizeof(TDcb);
    port->dcb.Flags = kDcbBinary;
    (void)posix::ReadLine(port->fd.get(), port->dcb);
    (void)ioctl(port->fd.get(), TIOCGICOUNT, &port->lastCount);
    error = 0;
    return reinterpret_cast<THandle>(port.release());
  }

  TResult CloseHandle(THandle h) override {
    // The exclusive mode stays with the terminal while others keep it open: the port gives
    // back what it set as it goes.
    delete P(h);
    return Ok();
  }

  TResult GetCommState(THandle h, TDcb& dcb) override {
    TPort& p = *P(h);
    std::lock_guard<std::mutex> lock(p.m);
    TDcb d = p.dcb;
    if (const std::uint32_t e = posix::ReadLine(p.fd.get(), d)) return Fail(e);
    dcb = d;
    return Ok();
  }
  TResult SetCommState(THandle h, const TDcb& dcb) override {
    TPort& p = *P(h);
    std::lock_guard<std::mutex> lock(p.m);
    if (const std::uint32_t e = posix::ApplyLine(p.fd.get(), dcb)) return Fail(e);
    p.dcb = dcb;
    return Ok();
  }
  TResult SetCommTimeouts(THandle h, const TCommTimeouts& t) override {
    TPort& p = *P(h);
    std::lock_guard<std::mutex> lock(p.m);
    if (t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutConstant == kMaxDword &&
        t.ReadTotalTimeoutMultiplier == kMaxDword)
      return Fail(kErrorInvalidParameter);
    p.timeouts = t;
    return Ok();
  }
  TResult SetupComm(THandle h, std::uint32_t inQueue, std::uint32_t) override {
    TPort& p = *P(h);
    std::lock_guard<std::mutex> lock(p.m);
    p.capacity = std::clamp<std::uint32_t>(inQueue, kMinQueue, 1u << 20);
    return Ok();
  }
  TResult SetCommMask(THandle h, std::uint32_t mask) override {
    TPort& p = *P(h);
    std::lock_guard<std::mutex> lock(p.m);
    p.mask = mask;
    p.history = 0;
    ++p.maskGeneration;
    if (p.waitPending) p.Wake();
    return Ok();
  }
  TResult PurgeComm(THandle h, std::uint32_t flags) override {
    TPort& p = *P(h);
    if (flags & (kPurgeTxAbort | kPurgeRxAbort)) p.aborts.fetch_add(1);
    std::lock_guard<std::mutex> lock(p.m);
    if (flags & kPurgeRxClear) {
      p.queue.clear();
      (void)tcflush(p.fd.get(), TCIFLUSH);
      if (p.waitPending) p.Wake();
    }
    if (flags & kPurgeTxClear) (void)tcflush(p.fd.get(), TCOFLUSH);
    return Ok();
  }
  TResult ClearCommError(THandle h, std::uint32_t& errors, TComStat& stat) override {
    TPort& p = *P(h);
    std::lock_guard<std::mutex> lock(p.m);
    p.Pump();
    p.NotifyWaiter();
    if (p.hungUp && p.queue.empty()) return Fail(kErrorBadCommand);
    errors = p.errors;
    p.errors = 0;
    stat.Flags = 0;
    stat.cbInQue = static_cast<std::uint32_t>(p.queue.size());
    int out = 0;
    stat.cbOutQue = ioctl(p.fd.get(), TIOCOUTQ, &out) == 0 && out > 0 ? static_cast<std::uint32_t>(out) : 0;
    return Ok();
  }
  TResult GetCommModemStatus(THandle h, std::uint32_t& status) override {
    int lines = 0;
    if (ioctl(P(h)->fd.get(), TIOCMGET, &lines) != 0) return Fail(ErrnoToError(errno));
    status = ((lines & TIOCM_CTS) ? kMsCtsOn : 0) | ((lines & TIOCM_DSR) ? kMsDsrOn : 0) |
             ((lines & TIOCM_RI) ? kMsRingOn : 0) | ((lines & TIOCM_CD) ? kMsRlsdOn : 0);
    return Ok();
  }
  TResult FlushFileBuffers(THandle h) override {
    if (tcdrain(P(h)->fd.get()) != 0) return Fail(ErrnoToError(errno));
    return Ok();
  }

  TIoRecord* CreateIoRecord() override { return new TIoRecord; }
  void CloseIoRecord(TIoRecord* io) override {
    if (io && io->state == TIoRecord::TState::Pending) {
      std::lock_guard<std::mutex> lock(io->port->m);
      io->port->waitPending = false;
    }
    delete io;
  }

  TResult WaitCommEvent(THandle h, std::uint32_t& mask, TIoRecord& io) override {
    TPort& p = *P(h);
    std::lock_guard<std::mutex> lock(p.m);
    if (p.waitPending || p.mask == 0) return Fail(kErrorInvalidParameter);
    p.Pump();
    if (p.hungUp && p.queue.empty()) return Fail(kErrorBadCommand);
    if (const std::uint32_t events = p.history & p.mask) {
      p.history &= ~events;
      mask = events;
      io.Complete(0, 0);
      return Ok();
    }
    p.waitPending = true;
    io.state = TIoRecord::TState::Pending;
    io.port = &p;
    io.mask = &mask;
    io.generation = p.maskGeneration;
    return Fail(kErrorIoPending);
  }

  TResult ReadFile(THandle h, void* buffer, std::uint32_t n, std::uint32_t& done, TIoRecord& io) override {
    TPort& p = *P(h);
    const std::uint32_t aborts = p.aborts.load();
    const TCommTimeouts t = p.Timeouts();
    // MAXDWORD, 0, 0: what is queued, at once. Otherwise wait for n bytes within the total
    // time-out (none when both totals are 0), or until the interval passes after a byte.
    const bool immediate = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                           t.ReadTotalTimeoutConstant == 0;
    const std::uint64_t totalMs = static_cast<std::uint64_t>(t.ReadTotalTimeoutMultiplier) * n +
                                  t.ReadTotalTimeoutConstant;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    const bool hasTotal = totalMs != 0;
    const bool hasInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
    auto lastByte = Clock::now();
    std::uint32_t got = 0;
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(p.m);
        p.Pump();
        const std::uint32_t take = std::min<std::uint32_t>(n - got, static_cast<std::uint32_t>(p.queue.size()));
        if (take) {
          std::memcpy(static_cast<char*>(buffer) + got, p.queue.data(), take);
          p.queue.erase(0, take);
          got += take;
          lastByte = Clock::now();
          if (p.waitPending) p.Wake();  // room again in the queue
        }
        p.NotifyWaiter();
        if (got == n || immediate) break;
        if (p.hungUp) {
          if (got) break;
          done = 0;
          return Fail(kErrorBadCommand);
        }
      }
      const auto now = Clock::now();
      if (hasTotal && now >= deadline) break;
      if (hasInterval && got && now - lastByte >= std::chrono::milliseconds(t.ReadIntervalTimeout)) break;
      if (p.aborts.load() != aborts) {
        done = got;
        io.Complete(got, kErrorOperationAborted);
        return Fail(kErrorOperationAborted);
      }
      p.AwaitTerminal(POLLIN);
    }
    done = got;
    io.Complete(got, 0);
    return Ok();
  }

  TResult WriteFile(THandle h, const void* buffer, std::uint32_t n, std::uint32_t& done,
                    TIoRecord& io) override {
    TPort& p = *P(h);
    const std::uint32_t aborts = p.aborts.load();
    const TCommTimeouts t = p.Timeouts();
    const std::uint64_t totalMs = static_cast<std::uint64_t>(t.WriteTotalTimeoutMultiplier) * n +
                                  t.WriteTotalTimeoutConstant;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    std::uint32_t put = 0;
    while (put < n) {
      const ssize_t w = ::write(p.fd.get(), static_cast<const char*>(buffer) + put, n - put);
      if (w > 0) {
        put += static_cast<std::uint32_t>(w);
        continue;
      }
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && errno != EAGAIN) {
        done = put;
        return Fail(ErrnoToError(errno));
      }
      // A write that times out completes with the bytes written so far, as on Windows.
      if (totalMs != 0 && Clock::now() >= deadline) break;
      if (p.aborts.load() != aborts) {
        done = put;
        return Fail(kErrorOperationAborted);
      }
      p.AwaitTerminal(POLLOUT);
    }
    done = put;
    io.Complete(put, 0);
    return Ok();
  }

  // Runs a pending event wait to its end; false when the timeout passed first.
  static bool RunWait(TIoRecord& io, std::uint32_t timeoutMs) {
    TPort& p = *io.port;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      bool full;
      {
        std::lock_guard<std::mutex> lock(p.m);
        p.DrainWake();
        if (p.maskGeneration != io.generation) {
          // SetCommMask completes a pending wait with an empty mask.
          *io.mask = 0;
          p.waitPending = false;
          io.Complete(0, 0);
          return true;
        }
        p.Pump();
        if (const std::uint32_t events = p.history & p.mask) {
          p.history &= ~events;
          *io.mask = events;
          p.waitPending = false;
          io.Complete(0, 0);
          return true;
        }
        if (p.hungUp) {
          p.waitPending = false;
          io.Complete(0, kErrorBadCommand);
          return true;
        }
        full = p.queue.size() >= p.capacity;
      }
      int wait = -1;
      if (timeoutMs != kInfinite) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        wait = static_cast<int>(std::min<long long>(left, 1 << 30));
      }
      // With a full queue only a read (through the wake-up) or a hang-up moves things on.
      pollfd f[2] = {{p.fd.get(), static_cast<short>(full ? 0 : POLLIN), 0}, {p.wake.get(), POLLIN, 0}};
      if (poll(f, 2, wait) < 0 && errno != EINTR) {
        std::lock_guard<std::mutex> lock(p.m);
        p.waitPending = false;
        io.Complete(0, ErrnoToError(errno));
        return true;
      }
      if (f[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        std::lock_guard<std::mutex> lock(p.m);
        p.Pump();
        if (!(p.history & p.mask)) p.hungUp = true;
      }
    }
  }

  std::uint32_t WaitForIo(TIoRecord& io, std::uint32_t timeoutMs) override {
    if (io.state == TIoRecord::TState::Pending) return RunWait(io, timeoutMs) ? kWaitObject0 : kWaitTimeout;
    return io.state == TIoRecord::TState::Done ? kWaitObject0 : kWaitFailed;
  }

  TResult GetOverlappedResult(THandle, TIoRecord& io, std::uint32_t& done, bool wait) override {
    if (io.state == TIoRecord::TState::Pending) {
      if (!wait) return Fail(kErrorIoIncomplete);
      RunWait(io, kInfinite);
    }
    if (io.state != TIoRecord::TState::Done) return Fail(kErrorInvalidParameter);
    done = io.done;
    return io.error ? Fail(io.error) : Ok();
  }

  // Reads and writes complete before they return and an event wait runs in WaitForIo:
  // nothing is ever left pending on a record for another thread to cancel.
  TResult CancelIo(THandle, TIoRecord&) override { return Fail(kErrorNotFound); }

  TThread CreateThread(TThreadProc proc, void* arg, std::uint32_t& error) override {
    auto rec = std::make_shared<TThreadRec>();
    rec->proc = proc;
    rec->arg = arg;
    auto* start = new std::shared_ptr<TThreadRec>(rec);
    const int r = pthread_create(&rec->thread, nullptr, &ThreadMain, start);
    if (r != 0) {
      delete start;
      error = r == EAGAIN ? kErrorNotEnoughMemory : kErrorGenFailure;
      return 0;
    }
    error = 0;
    return reinterpret_cast<TThread>(new TThreadBox{std::move(rec)});
  }
  std::uint64_t NowMicros() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
  }
  void PauseMicros(std::uint32_t micros) override {
    // A thread's sleeps end up to its timer slack (50 us by default) late; the reader's
    // pauses are a few hundred microseconds, so its slack is made 1 us, once per thread.
    thread_local const bool slackSet = prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0) == 0;
    (void)slackSet;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(micros / 1000000u);
    ts.tv_nsec = static_cast<long>(micros % 1000000u) * 1000;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }

  TResult SetThreadPriorityHighest(TThread t) override {
    TThreadRec& rec = *reinterpret_cast<TThreadBox*>(t)->rec;
    pid_t tid;
    {
      std::unique_lock<std::mutex> lock(rec.m);
      rec.cv.wait(lock, [&] { return rec.tid != 0; });
      tid = rec.tid;
    }
    // Two steps above normal, as THREAD_PRIORITY_HIGHEST; refused without the privilege.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -2) != 0) return Fail(ErrnoToError(errno));
    return Ok();
  }
  std::uint32_t WaitForThread(TThread t, std::uint32_t timeoutMs) override {
    TThreadRec& rec = *reinterpret_cast<TThreadBox*>(t)->rec;
    if (rec.joined) return kWaitObject0;
    if (timeoutMs == kInfinite) {
      if (pthread_join(rec.thread, nullptr) != 0) return kWaitFailed;
    } else {
      timespec until{};
      clock_gettime(CLOCK_REALTIME, &until);
      until.tv_sec += timeoutMs / 1000;
      until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
      if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
      }
      const int r = pthread_timedjoin_np(rec.thread, nullptr, &until);
      if (r == ETIMEDOUT) return kWaitTimeout;
      if (r != 0) return kWaitFailed;
    }
    rec.joined = true;
    return kWaitObject0;
  }
  void CloseThread(TThread t) override {
    auto* box = reinterpret_cast<TThreadBox*>(t);
    if (!box->rec->joined) pthread_detach(box->rec->thread);
    delete box;
  }
  bool IsCurrentThread(TThread t) override {
    TThreadRec& rec = *reinterpret_cast<TThreadBox*>(t)->rec;
    std::lock_guard<std::mutex> lock(rec.m);
    return rec.tid == gettid();
  }

  TResult RegOpenKey(const std::string& subKey, TKey& key) override {
    if (!SameTextNoCase(subKey, "HARDWARE\\DEVICEMAP\\SERIALCOMM")) return Fail(kErrorFileNotFound);
    auto* rec = new TKeyRec;
    for (const posix::TPortAlias& a : posix::PortAliases())
      rec->values.emplace_back(a.path, "COM" + std::to_string(a.number));
    key = reinterpret_cast<TKey>(rec);
    return Ok();
  }
  TResult RegQueryInfoKey(TKey key, std::uint32_t& values, std::uint32_t& maxValueNameLen) override {
    const TKeyRec& rec = *reinterpret_cast<TKeyRec*>(key);
    values = static_cast<std::uint32_t>(rec.values.size());
    maxValueNameLen = 0;
    for (const auto& v : rec.values)
      maxValueNameLen = std::max(maxValueNameLen, static_cast<std::uint32_t>(v.first.size()));
    return Ok();
  }
  TResult RegEnumValue(TKey key, std::uint32_t index, char* name, std::uint32_t& nameSize) override {
    const TKeyRec& rec = *reinterpret_cast<TKeyRec*>(key);
    if (index >= rec.values.size()) return Fail(kErrorNoMoreItems);
    const std::string& n = rec.values[index].first;
    if (n.size() + 1 > nameSize) return Fail(234);  // ERROR_MORE_DATA
    std::memcpy(name, n.c_str(), n.size() + 1);
    nameSize = static_cast<std::uint32_t>(n.size());
    return Ok();
  }
  TResult RegQueryValueEx(TKey key, const char* name, std::uint32_t& type, unsigned char* data,
                          std::uint32_t& size) override {
    const TKeyRec& rec = *reinterpret_cast<TKeyRec*>(key);
    for (const auto& v : rec.values) {
      if (v.first != name) continue;
      const std::uint32_t need = static_cast<std::uint32_t>(v.second.size() + 1);
      type = kRegSz;
      if (data) {
        if (size < need) {
          size = need;
          return Fail(234);
        }
        std::memcpy(data, v.second.c_str(), need);
      }
      size = need;
      return Ok();
    }
    return Fail(kErrorFileNotFound);
  }
  void RegCloseKey(TKey key) override { delete reinterpret_cast<TKeyRec*>(key); }
};

}  // namespace

TCommApi& SystemCommApi() {
  // Never destroyed: a reader thread that let go of its element may still be finishing
  // while the process exits.
  static TPosixCommApi* const api = new TPosixCommApi;
  return *api;
}

}  // namespace zorv::comm
