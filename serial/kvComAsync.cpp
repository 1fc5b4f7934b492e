#include "serial/kvComAsync.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "runtime/SchemeGate.h"
#include "serial/LineQuiet.h"

using namespace zorv::comm;

// What the reader thread shares with the element. The thread keeps its own reference, so
// the record outlives an element freed by one of the thread's handlers; once `stop` is set
// the thread touches neither the element nor the port again.
struct TKvComAsync::TReader {
  TCommApi* api = nullptr;
  THandle port = kInvalidHandle;
  TKvComAsync* owner = nullptr;
  TThread thread = 0;
  std::atomic<bool> stop{false};
  // A received chunk ends after this much quiet, or with this many bytes waiting (0: none).
  std::uint32_t quietMicros = 0;
  std::uint32_t fullCount = 0;
  // Error bits that the waits for a quiet line cleared, for the next error event.
  std::uint32_t clearedErrors = 0;

  // The thread starts its loop once the open is complete.
  std::mutex m;
  std::condition_variable cv;
  bool go = false;
  void Go() {
    {
      std::lock_guard<std::mutex> lock(m);
      go = true;
    }
    cv.notify_all();
  }
  void AwaitGo() {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [this] { return go; });
  }
};

namespace {

constexpr std::uint32_t kPurgeClear = kPurgeTxClear | kPurgeRxClear;
constexpr std::uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;

// Points are copied before they fire: a handler may free the element that holds them.
void Fire(TEventPoint p) { FireNull(p); }
void Fire(TEventPoint p, std::int32_t n) { FireInteger(p, n); }

}  // namespace

// A full output queue of 4096 bytes leaves in 1.07 s at 38462 baud (10 bits a byte), the
// slowest rate this program uses; the rest is margin for a loaded machine.
TKvComAsync::TKvComAsync() : DrainTimeout(3000), errors_(NewStrList()) {}

TKvComAsync::~TKvComAsync() {
  Close();
  std::vector<std::shared_ptr<TReader>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished.swap(finished_);
  }
  for (const auto& r : finished) {
    // A handler on that very thread is freeing the element: the thread lets go of it by
    // itself as soon as the handler returns, so it is only released here.
    if (!r->api->IsCurrentThread(r->thread)) r->api->WaitForThread(r->thread, kInfinite);
    r->api->CloseThread(r->thread);
  }
  Free(errors_);
}

bool TKvComAsync::Opened() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_ == TState::Open;
}

std::string TKvComAsync::PortName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return portName_;
}

std::uint32_t TKvComAsync::LastOpenError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastOpenError_;
}

int TKvComAsync::PortNumber(const std::string& name) {
  if (name.size() > 6 || name.find('\0') != std::string::npos) return 0;
  if (name.size() < 3) return 0;
  for (int i = 0; i < 3; ++i) {
    const char c = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 32) : name[i];
    if (c != "COM"[i]) return 0;
  }
  int number = 0;
  std::size_t i = 3;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) number = number * 10 + (name[i] - '0');
  if (i == 3 || number < 1 || number > 255) return 0;
  return number;
}

// ---- Open ------------------------------------------------------------------------------

void TKvComAsync::doOpen(TData& d, std::uint16_t) {
  JoinFinishedReaders();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != TState::Closed) return;
    state_ = TState::Opening;
  }
  Fire(onBeforeOpen);

  const std::string name = ReadString(d, PortPoint, Port);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    portName_ = name;
  }
  // A failure is never kept as 0, which reads as a successful open.
  auto failed = [this](std::uint32_t code) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lastOpenError_ = code != 0 ? code : kErrorGenFailure;
      state_ = TState::Closed;
      changed_.notify_all();
    }
    Fire(onOpen, 0);
  };
  const int number = PortNumber(name);
  if (number == 0) return failed(kErrorInvalidName);

  const std::int32_t dtr = ReadInteger(d, DtrControlPoint, DtrControl);
  const std::int32_t rts = ReadInteger(d, RtsControlPoint, RtsControl);
  const std::int32_t baud = ReadInteger(d, BaudPoint, Baud);

  TCommApi& api = CommApi();
  std::uint32_t error = 0;
  const THandle h = api.CreateFile("\\\\.\\" + name, true, error);
  if (h == kInvalidHandle) return failed(error);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    api_ = &api;
    port_ = h;
  }
  // A failed set-up step closes the port with all the close events before onOpen 0.
  auto setupFailed = [this](std::uint32_t code) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lastOpenError_ = code != 0 ? code : kErrorGenFailure;
      state_ = TState::Closing;
      closer_ = std::this_thread::get_id();
    }
    CloseSteps();
    Fire(onOpen, 0);
  };

  TDcb dcb;
  (void)api.GetCommState(h, dcb);
  dcb.DCBlength = sizeof(TDcb);
  dcb.BaudRate = static_cast<std::uint32_t>(baud);
  dcb.ByteSize = static_cast<std::uint8_t>(DataBits + 5);
  dcb.Parity = Parity;
  dcb.StopBits = StopBits;
  dcb.XonLim = dcb.XoffLim = static_cast<std::uint16_t>(InQueue / 4);
  dcb.EvtChar = static_cast<char>(EventChar);
  dcb.XonChar = static_cast<char>(XonChar);
  dcb.XoffChar = static_cast<char>(XoffChar);
  std::uint32_t flags = kDcbBinary;
  flags |= static_cast<std::uint32_t>(dtr >= 0 && dtr <= 2 ? dtr : 0) << kDcbDtrControlShift;
  flags |= static_cast<std::uint32_t>(rts >= 0 && rts <= 3 ? rts : 0) << kDcbRtsControlShift;
  if (DiscardNull) flags |= kDcbNull;
  if (AbortOnError) flags |= kDcbAbortOnError;
  if (ParityCheck) {
    flags |= kDcbParity;
    if (ReplaceErrors) {
      flags |= kDcbErrorChar;
      dcb.ErrorChar = static_cast<char>(ErrorChar);
    }
  }
  if (DsrSensitivity) flags |= kDcbDsrSensitivity;
  if (CtsFlow) flags |= kDcbOutxCtsFlow;
  if (DsrFlow) flags |= kDcbOutxDsrFlow;
  if (TxContinueOnXoff) flags |= kDcbTxContinueOnXoff;
  if (XonXoffIn) flags |= kDcbInX;
  if (XonXoffOut) flags |= kDcbOutX;
  dcb.Flags = flags;

  std::uint32_t mask = 0;
  if (EvRxChar) mask |= kEvRxChar;
  if (EvRxFlag) mask |= kEvRxFlag;
  if (EvTxEmpty) mask |= kEvTxEmpty;
  if (EvCTS) mask |= kEvCts;
  if (EvDSR) mask |= kEvDsr;
  if (EvRLSD) mask |= kEvRlsd;
  if (EvBreak) mask |= kEvBreak;
  if (EvErr) mask |= kEvErr;
  if (EvRing) mask |= kEvRing;
  if (EvRx80Full) mask |= kEvRx80Full;

  TCommTimeouts timeouts;
  timeouts.ReadIntervalTimeout = ReadInterval;
  timeouts.ReadTotalTimeoutMultiplier = ReadTotalMultiplier;
  timeouts.ReadTotalTimeoutConstant = ReadTotalConstant;
  timeouts.WriteTotalTimeoutMultiplier = WriteTotalMultiplier;
  timeouts.WriteTotalTimeoutConstant = WriteTotalConstant;
  dcb_ = dcb;
  timeouts_ = timeouts;
  eventMask_ = mask;

  TResult step = api.PurgeComm(h, kPurgeClear);
  (void)api.SetupComm(h, static_cast<std::uint32_t>(InQueue), static_cast<std::uint32_t>(OutQueue));
  if (step.ok) step = api.SetCommState(h, dcb);
  if (step.ok) step = api.SetCommTimeouts(h, timeouts);
  if (step.ok) step = api.SetCommMask(h, mask);
  if (!step.ok) return setupFailed(step.error);

  std::shared_ptr<TReader> reader;
  if (mask != 0) {
    reader = std::make_shared<TReader>();
    reader->api = &api;
    reader->port = h;
    reader->owner = this;
    reader->quietMicros = zorv::serial::QuietMicros(dcb);
    reader->fullCount = InQueue > 0 ? static_cast<std::uint32_t>(InQueue) : 0;
    auto* arg = new std::shared_ptr<TReader>(reader);
    reader->thread = api.CreateThread(&TKvComAsync::ReaderMain, arg, error);
    if (reader->thread == 0) {
      delete arg;
      return setupFailed(error);
    }
    (void)api.SetThreadPriorityHighest(reader->thread);
  }

  std::uint32_t status = 0;
  const bool lines = api.GetCommModemStatus(h, status).ok;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reader_ = reader;
    writeFailed_ = false;
    lastOpenError_ = 0;
    state_ = TState::Open;
    changed_.notify_all();
  }
  if (reader) reader->Go();
  if (lines) {
    if (status & kMsCtsOn) Fire(onCTS, 1);
    if (status & kMsDsrOn) Fire(onDSR, 1);
    if (status & kMsRlsdOn) Fire(onRLSD, 1);
  }
  Fire(onOpen, number);
}

// ---- Close -----------------------------------------------------------------------------

void TKvComAsync::doClose(TData&, std::uint16_t) {
  JoinFinishedReaders();
  Close();
}

void TKvComAsync::Close() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (state_ == TState::Closing) {
      // A close is under way on another thread or further up this one. The reader thread
      // must not wait for it (that closer waits for the reader thread), nor must a handler
      // of the closer's own events; any other thread waits until the port is closed.
      if (closer_ == std::this_thread::get_id()) return;
      if (reader_ && reader_->api->IsCurrentThread(reader_->thread)) return;
      changed_.wait(lock, [this] { return state_ != TState::Closing; });
      return;
    }
    if (state_ != TState::Open) return;
    state_ = TState::Closing;
    closer_ = std::this_thread::get_id();
  }
  CloseSteps();
}

void TKvComAsync::CloseSteps() {
  Fire(onBeforeClose);
  std::shared_ptr<TReader> reader;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reader = reader_;
  }
  // reader_ stays set until the thread is stopped: a handler on that thread that closes
  // meanwhile must see that it runs on the reader thread, and return instead of waiting.
  if (reader) StopReader(reader);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reader_.reset();
  }
  if (FlushOnClose) (void)api_->FlushFileBuffers(port_);
  // What has left the port stays on the line. A serial port's output queue is cleared only
  // when it holds bytes: on a pseudo-terminal (and wine maps COM ports to them) clearing the
  // output takes back what the other end has not read yet, such as "PUSK" just written.
  std::uint32_t purge = kPurgeAll;
  {
    std::uint32_t errors = 0;
    TComStat stat;
    if (api_->ClearCommError(port_, errors, stat).ok && stat.cbOutQue == 0) purge &= ~kPurgeTxClear;
  }
  (void)api_->PurgeComm(port_, purge);
  {
    // Where the purge does not abort what is pending (wine), a write on a line that no
    // longer drains would hold the close for its whole time-out. The records stay valid:
    // nothing frees them before the users are gone.
    std::vector<TIoRecord*> busy;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      busy = busyIo_;
    }
    for (TIoRecord* io : busy) (void)api_->CancelIo(port_, *io);
  }
  std::vector<TIoRecord*> spare;
  {
    // Reads and writes of other threads end with the purge (or their time-outs).
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return users_ == 0; });
    spare.swap(spareIo_);
  }
  for (TIoRecord* io : spare) api_->CloseIoRecord(io);
  Fire(onCTS, 0);
  Fire(onDSR, 0);
  Fire(onRLSD, 0);
  (void)api_->CloseHandle(port_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    port_ = kInvalidHandle;
  }
  Fire(onClose);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = TState::Closed;
    closer_ = std::thread::id();
    changed_.notify_all();
  }
}

void TKvComAsync::StopReader(const std::shared_ptr<TReader>& reader) {
  TCommApi& api = *reader->api;
  reader->stop.store(true);
  // The reader may be waiting to enter the scheme while this thread holds the gate.
  SchemeGate().WakeWaiters();
  reader->Go();
  if (api.IsCurrentThread(reader->thread)) {
    // Closing from a handler on the reader thread: the thread ends when the handler
    // returns; whoever next opens, closes or frees the element waits for that.
    (void)api.SetCommMask(reader->port, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.push_back(reader);
    return;
  }
  // SetCommMask 0 completes the pending wait. It is repeated, because a wait that began
  // just after the first one would otherwise stay pending.
  do {
    (void)api.SetCommMask(reader->port, 0);
  } while (api.WaitForThread(reader->thread, 100) != kWaitObject0);
  api.CloseThread(reader->thread);
}

void TKvComAsync::JoinFinishedReaders() {
  std::vector<std::shared_ptr<TReader>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished.swap(finished_);
  }
  std::vector<std::shared_ptr<TReader>> keep;
  for (const auto& r : finished) {
    if (r->api->IsCurrentThread(r->thread)) {
      keep.push_back(r);
      continue;
    }
    r->api->WaitForThread(r->thread, kInfinite);
    r->api->CloseThread(r->thread);
  }
  if (keep.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  finished_.insert(finished_.end(), keep.begin(), keep.end());
}

// ---- Reader thread ---------------------------------------------------------------------

void TKvComAsync::ReaderMain(void* arg) {
  const std::shared_ptr<TReader> r = std::move(*static_cast<std::shared_ptr<TReader>*>(arg));
  delete static_cast<std::shared_ptr<TReader>*>(arg);
  r->AwaitGo();
  TCommApi& api = *r->api;
  TIoRecord* io = api.CreateIoRecord();
  int aborts = 0;
  while (io && !r->stop.load()) {
    std::uint32_t mask = 0;
    bool done = false, aborted = false, broken = false;
    const TResult w = api.WaitCommEvent(r->port, mask, *io);
    if (w.ok) {
      done = true;
    } else if (w.error == kErrorIoPending) {
      if (api.WaitForIo(*io, kInfinite) != kWaitObject0) break;
      std::uint32_t n = 0;
      const TResult g = api.GetOverlappedResult(r->port, *io, n, false);
      done = g.ok;
      aborted = !g.ok && g.error == kErrorOperationAborted;
      broken = !g.ok && !aborted;
    } else {
      aborted = w.error == kErrorOperationAborted;
      broken = !aborted;
    }
    // Set before the wake-up of a close: ended on purpose, whatever the wait reported.
    if (r->stop.load()) break;
    // Anything but an aborted wait failing means that the line is gone (a device pulled
    // out, a terminal hung up): waiting again would fail again at once.
    if (broken) break;
    if (aborted) {
      // Under wine a wait on a line without modem signals ends aborted within a few
      // milliseconds, and with fAbortOnError every wait after a line error does, until
      // ClearCommError. Neither is a request to end: clear the error state and wait again
      // (a wait begun while bytes are queued reports them at once). While the aborts go on
      // with nothing arriving, pause a little longer each time, up to 8 ms, so that an idle
      // line costs little.
      std::uint32_t errors = 0;
      TComStat stat;
      const bool waiting = api.ClearCommError(r->port, errors, stat).ok && stat.cbInQue > 0;
      ++aborts;
      if (!waiting && aborts > 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1 << std::min(aborts - 2, 3)));
      continue;
    }
    aborts = 0;
    if (done && (mask & kEvRxChar)) AwaitQuietLine(*r);
    if (r->stop.load()) break;
    if (done && mask != 0) {
      // The line's events run the scheme from inside the gate; a close gives up the wait.
      TSchemeEntry entry(&r->stop);
      if (!entry.entered() || !r->owner->HandleEvents(mask, *r)) break;
    }
  }
  if (io && !r->stop.load()) {
    // Ended by itself: the port still belongs to the element, which will close it.
    (void)api.SetCommMask(r->port, 0);
    (void)api.PurgeComm(r->port, kPurgeClear);
  }
  api.CloseIoRecord(io);
}

void TKvComAsync::AwaitQuietLine(TReader& r) {
  // Outside the scheme gate: the wait holds up nobody else. The time of each look is taken
  // before the count: a thread held up in between then finds the newer count and goes on
  // waiting, where the other order would take bytes that came meanwhile for quiet.
  TCommApi& api = *r.api;
  std::uint32_t errors = 0;
  TComStat stat;
  std::uint64_t now = api.NowMicros();
  if (!api.ClearCommError(r.port, errors, stat).ok) return;
  r.clearedErrors |= errors;
  zorv::serial::TQuietLine line(r.quietMicros, r.fullCount);
  line.Start(now, stat.cbInQue);
  for (;;) {
    const std::uint32_t pause = line.Next(now, stat.cbInQue);
    if (pause == 0 || r.stop.load()) return;
    api.PauseMicros(pause);
    now = api.NowMicros();
    if (!api.ClearCommError(r.port, errors, stat).ok) return;
    r.clearedErrors |= errors;
  }
}

bool TKvComAsync::HandleEvents(std::uint32_t mask, TReader& r) {
  TCommApi& api = *r.api;
  // After each firing: a handler may have closed the port or freed the element.
  auto gone = [&r] { return r.stop.load(); };
  auto event = [&](std::uint32_t bit, const TEventPoint& point) {
    if (!(mask & bit)) return true;
    Fire(point);
    return !gone();
  };
  auto line = [&](std::uint32_t bit, std::uint32_t lineBit, const TEventPoint& point) {
    if (!(mask & bit)) return true;
    std::uint32_t status = 0;
    if (!api.GetCommModemStatus(r.port, status).ok) return true;
    Fire(point, (status & lineBit) ? 1 : 0);
    return !gone();
  };
  if (mask & kEvRxChar) {
    std::uint32_t errors = 0;
    TComStat stat;
    if (api.ClearCommError(r.port, errors, stat).ok) {
      Fire(onRxChar, static_cast<std::int32_t>(stat.cbInQue));
      if (gone()) return false;
    }
  }
  if (!event(kEvTxEmpty, onTxEmpty) || !event(kEvBreak, onBreak) || !event(kEvRing, onRing)) return false;
  if (!line(kEvCts, kMsCtsOn, onCTS) || !line(kEvDsr, kMsDsrOn, onDSR)) return false;
  if (!event(kEvRxFlag, onRxFlag) || !line(kEvRlsd, kMsRlsdOn, onRLSD)) return false;
  if ((mask & kEvErr) && !AbortOnError) RebuildErrors(r);
  return event(kEvErr, onError) && event(kEvRx80Full, onRx80Full);
}

void TKvComAsync::RebuildErrors(TReader& r) {
  std::uint32_t errors = 0;
  TComStat stat;
  if (!r.api->ClearCommError(r.port, errors, stat).ok) return;
  errors |= r.clearedErrors;
  r.clearedErrors = 0;
  errors_->Clear();
  if (errors & kCeFrame) errors_->Add("Receive Framing Error");
  if ((errors & kCeRxParity) && ParityCheck) errors_->Add("Receive Parity Error");
  if (errors & kCeOverrun) errors_->Add("Receive Overrun Error");
  if (errors & kCeRxOver) errors_->Add("Receive Queue overflow");
  if (errors & kCeTxFull) errors_->Add("TX Queue is full");
  if (errors & kCeBreak) errors_->Add("Break Detected");
  if (errors & kCeIoe) errors_->Add("Port I/O Error");
  if (errors & kCeMode) errors_->Add("Requested mode unsupported");
}

// ---- Write and read --------------------------------------------------------------------

bool TKvComAsync::AcquirePort(TCommApi*& api, THandle& port, TIoRecord*& io, bool* writeFailed) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != TState::Open) return false;
    ++users_;
    api = api_;
    port = port_;
    if (writeFailed) *writeFailed = writeFailed_;
    io = nullptr;
    if (!spareIo_.empty()) {
      io = spareIo_.back();
      spareIo_.pop_back();
    }
  }
  if (!io) io = api->CreateIoRecord();
  if (io) {
    std::lock_guard<std::mutex> lock(mutex_);
    busyIo_.push_back(io);
  }
  return true;
}

void TKvComAsync::ReleasePort(TIoRecord* io) {
  // Notified under the lock: a waiting close may free the element (and the condition
  // variable) as soon as it sees the count drop.
  std::lock_guard<std::mutex> lock(mutex_);
  if (io) {
    busyIo_.erase(std::find(busyIo_.begin(), busyIo_.end(), io));
    spareIo_.push_back(io);
  }
  --users_;
  if (state_ == TState::Closing) changed_.notify_all();
}

bool TKvComAsync::LatchWriteFailure() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool first = !writeFailed_;
  writeFailed_ = true;
  return first;
}

TResult TKvComAsync::AwaitWrite(TCommApi& api, THandle port, TIoRecord& io, std::uint32_t bytes,
                                std::uint32_t& done) {
  // The driver ends the write at the port's time-out. Should it not (a line emulation that
  // ignores write time-outs), the write is cancelled a little later: a line that stopped
  // draining must not hold the writer, which is usually inside the scheme gate. A write
  // done at once does not come here: a wait more per image byte would cost a round trip to
  // the wine server each.
  const std::uint64_t limit =
      static_cast<std::uint64_t>(timeouts_.WriteTotalTimeoutMultiplier) * bytes + timeouts_.WriteTotalTimeoutConstant;
  constexpr std::uint64_t kGraceMs = 500;
  if (limit != 0 && limit + kGraceMs < kInfinite &&
      api.WaitForIo(io, static_cast<std::uint32_t>(limit + kGraceMs)) == kWaitTimeout) {
    (void)api.CancelIo(port, io);
  }
  return api.GetOverlappedResult(port, io, done, true);
}

void TKvComAsync::doWrite(TData& d, std::uint16_t) {
  const std::string text = AsString(d);
  const auto size = static_cast<std::uint32_t>(text.size());
  TCommApi* api = nullptr;
  THandle port = kInvalidHandle;
  TIoRecord* io = nullptr;
  bool latched = false;
  // A record of its own: writes may run on several threads at once, and beside a read.
  if (!AcquirePort(api, port, io, &latched)) return;
  bool fire = false;        // onWrite
  bool failed = latched;    // nothing, or not everything, went out
  std::uint32_t error = 0;  // for onWriteError: the system's code, 0 for a short write
  std::int32_t written = 0;
  if (latched) {
    fire = true;
  } else if (io) {
    std::uint32_t n = 0;
    const TResult w = api->WriteFile(port, text.data(), size, n, *io);
    if (w.ok || w.error == kErrorIoPending) {
      std::uint32_t done = 0;
      const TResult g = w.ok ? api->GetOverlappedResult(port, *io, done, true)
                             : AwaitWrite(*api, port, *io, size, done);
      written = g.ok ? static_cast<std::int32_t>(std::min(done, size)) : 0;
      fire = true;
      failed = !g.ok || done < size;
      error = g.ok ? 0 : g.error;
    } else {
      failed = true;
      error = w.error;
    }
  } else {
    failed = true;  // no completion record: nothing was written
  }
  const bool first = failed && !latched && LatchWriteFailure();
  const TEventPoint point = onWrite;
  const TEventPoint errorPoint = onWriteError;
  ReleasePort(io);
  if (fire) Fire(point, written);
  if (first) Fire(errorPoint, static_cast<std::int32_t>(error));
}

void TKvComAsync::doRead(TData& d, std::uint16_t) {
  const std::int32_t count = AsInteger(d);
  if (count <= 0) return;
  TCommApi* api = nullptr;
  THandle port = kInvalidHandle;
  TIoRecord* io = nullptr;
  if (!AcquirePort(api, port, io)) return;
  // Only what is waiting is read: the buffer never exceeds the input queue, and a read
  // never waits for bytes that have not come (under wine it would wait for them).
  std::uint32_t errors = 0;
  TComStat stat;
  const std::uint32_t n = api->ClearCommError(port, errors, stat).ok
                              ? std::min(static_cast<std::uint32_t>(count), stat.cbInQue)
                              : 0;
  bool fire = false;
  std::string bytes;
  if (n > 0) {
    if (io) {
      bytes.resize(n);
      std::uint32_t got = 0;
      const TResult r = api->ReadFile(port, bytes.data(), n, got, *io);
      if (r.ok || r.error == kErrorIoPending) {
        std::uint32_t done = 0;
        const TResult g = api->GetOverlappedResult(port, *io, done, true);
        bytes.resize(g.ok ? std::min(done, n) : 0);
        // A failed read reports an empty chunk. A read that found nothing reports nothing:
        // an empty chunk during the upload would count as a wrong reply.
        fire = !g.ok || done > 0;
      }
    }
  }
  const TEventPoint point = onRead;
  ReleasePort(io);
  if (fire) FireString(point, bytes);
}

// ---- Drain -----------------------------------------------------------------------------

void TKvComAsync::Drained(TData& d, std::uint16_t) { SetInteger(d, OutputDrained() ? 1 : 0); }

bool TKvComAsync::OutputDrained() {
  TCommApi* api = nullptr;
  THandle port = kInvalidHandle;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != TState::Open || writeFailed_) return false;
    ++users_;
    api = api_;
    port = port_;
  }
  // The output queue the driver reports (a terminal's TIOCOUTQ on POSIX) is looked at until
  // it is empty; a line held by flow control, or a device that stopped reading, answers 0
  // once the time is up. A close under way ends the wait: its purge discards the bytes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(DrainTimeout);
  bool empty = false;
  for (;;) {
    std::uint32_t errors = 0;
    TComStat stat;
    if (!api->ClearCommError(port, errors, stat).ok) break;
    if (stat.cbOutQue == 0) {
      empty = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (state_ != TState::Open) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const bool drained = empty && !writeFailed_ && state_ == TState::Open;
  --users_;
  if (state_ == TState::Closing) changed_.notify_all();
  return drained;
}

// ---- Port list -------------------------------------------------------------------------

void TKvComAsync::doEnumPorts(TData&, std::uint16_t) {
  TCommApi& api = CommApi();
  TKey key = 0;
  if (!api.RegOpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM", key).ok) return;
  std::uint32_t count = 0, longest = 0;
  if (!api.RegQueryInfoKey(key, count, longest).ok || count == 0) {
    api.RegCloseKey(key);
    return;
  }
  std::string name(static_cast<std::size_t>(longest) + 1, '\0');
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t nameSize = longest + 1;
    if (!api.RegEnumValue(key, i, name.data(), nameSize).ok) break;
    std::uint32_t type = 0, size = 0;
    if (!api.RegQueryValueEx(key, name.c_str(), type, nullptr, size).ok || type != kRegSz) break;
    // One byte more than asked for: a value stored without its terminator still ends.
    std::string data(static_cast<std::size_t>(size) + 1, '\0');
    if (!api.RegQueryValueEx(key, name.c_str(), type, reinterpret_cast<unsigned char*>(data.data()), size).ok)
      break;
    const std::string port(data.c_str());
    if (!CheckPorts) {
      FireString(onEnumPorts, port);
      continue;
    }
    std::uint32_t error = 0;
    const THandle h = api.CreateFile("\\\\.\\" + port, false, error);
    if (h == kInvalidHandle) continue;
    FireString(onEnumPorts, port);
    (void)api.CloseHandle(h);
  }
  api.RegCloseKey(key);
}
