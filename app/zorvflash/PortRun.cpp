#include "app/zorvflash/PortRun.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "app/zorvflash/BlockCollector.h"
#include "app/zorvflash/FlashScheme.h"
#include "app/zorvflash/Image.h"
#include "app/zorvflash/OpenError.h"
#include "app/zorvflash/Trace.h"
#include "platform/comm.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/system.h"
#include "runtime/SchemeGate.h"
#include "scheme/Texts.h"

namespace {

using Outcome = TFlashFront::Outcome;
using Clock = std::chrono::steady_clock;

// A stop request is looked for this often while the flasher waits.
constexpr int kStopPollMs = 100;
// How long a stop waits for the scheme gate: the chain inside it (a block's writes, a
// write that times out) ends within this; only the completion pause, which comes after
// "PUSK", holds it longer.
constexpr int kStopGateMs = 3000;

std::string PortName(const std::string& given) {
  // A device path gets a COM name of its own; a COM name is used as it is.
  if (given.find('/') == std::string::npos) return given;
  const std::string alias = zorv::comm::RegisterSerialPath(given);
  return alias.empty() ? given : alias;
}

// Waits until the outcome differs from `from`, the time is up or a stop is requested.
Outcome WaitOutcome(TFlashFront& front, Outcome from, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    const Outcome o = front.WaitChange(from, static_cast<int>(left < kStopPollMs ? (left > 0 ? left : 0) : kStopPollMs));
    if (o != from || left <= 0 || zorv::platform::StopRequested()) return o;
  }
}

// Enters the scheme gate, giving up after the time: a helper raises the cancel flag.
class TGateWithin {
 public:
  explicit TGateWithin(int timeoutMs) {
    helper_ = std::thread([this, timeoutMs] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; })) {
        cancel_.store(true);
        SchemeGate().WakeWaiters();
      }
    });
    entered_ = SchemeGate().Enter(&cancel_);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_all();
    helper_.join();
  }
  ~TGateWithin() {
    if (entered_) SchemeGate().Leave();
  }
  TGateWithin(const TGateWithin&) = delete;
  TGateWithin& operator=(const TGateWithin&) = delete;
  bool entered() const { return entered_; }

 private:
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  bool entered_ = false;
  std::thread helper_;
};

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

std::string TrimmedSystemText(std::uint32_t code) { return zorv::comm::ErrorText(code); }

// Figures of the upload for benchmarks: write requests (every query, the image's writes,
// "PUSK") and image bytes, wall time from the start of the upload to the outcome (the
// completion pause excluded) and the process's CPU time per image byte.
void PrintStats(double upload, long writes, long imageBytes) {
  double user = 0, system = 0;
  zorv::platform::ProcessCpuTimes(user, system);
  char buf[300];
  std::snprintf(buf, sizeof buf,
                "stats: writes %ld, image bytes %ld, upload %.3f s (pause excluded), cpu user %.3f s system %.3f s, %.3f us cpu per image byte\n",
                writes, imageBytes, upload, user, system,
                imageBytes > 0 ? (user + system) * 1e6 / static_cast<double>(imageBytes) : 0.0);
  zorv::platform::WriteUtf8(zorv::platform::Stream::Err, buf);
}

}  // namespace

TSession::TSession(double pauseSeconds, bool blockWrites, TStream* image)
    : scheme_(New<TFlashScheme>(static_cast<std::int32_t>(pauseSeconds * 1e6), blockWrites, image)) {
  EventsOn();
  RunStartHooks();
}

TSession::~TSession() {
  scheme_->Close();
  EventsOff();
  Free(scheme_);
}

bool SplitDeviceText(const std::string& status, std::string& name, std::string& version) {
  const std::string format = zorv::texts::kDeviceFormat;
  const std::size_t p1 = format.find("%1"), p2 = format.find("%2");
  const std::string prefix = format.substr(0, p1), middle = format.substr(p1 + 2, p2 - p1 - 2);
  if (status.compare(0, prefix.size(), prefix) != 0) return false;
  // The name is a field cut at blanks, so it holds none, and the middle begins with one.
  const std::size_t at = status.find(middle, prefix.size());
  if (at == std::string::npos) return false;
  name = status.substr(prefix.size(), at - prefix.size());
  version = status.substr(at + middle.size());
  return true;
}

void WriteRecord(const TFlashOptions& o, const TPortRecord& record) {
  if (o.reportPath.empty()) return;
  std::string error;
  if (!AppendRecordLine(o.reportPath, RecordLine(record, zorv::platform::HostName(), ZORV_VERSION), error)) {
    zorv::platform::WriteUtf8(zorv::platform::Stream::Err, "zorvflash: " + error + "\n");
  }
}

int RunFlash(const TFlashOptions& o, const TFirmwareImage& image, TRunListener& listener) {
  using zorv::platform::Stream;
  // The files come first: a file that cannot be written is a usage error, before any
  // port is opened.
  TLineTrace trace;
  std::string error;
  if (!o.tracePath.empty() && !trace.Open(o.tracePath, error)) {
    zorv::platform::WriteUtf8(Stream::Err, "zorvflash: " + error + "\n");
    return kExitUsage;
  }
  if (!o.reportPath.empty() && !AppendRecordLine(o.reportPath, std::string(), error)) {
    zorv::platform::WriteUtf8(Stream::Err, "zorvflash: " + error + "\n");
    return kExitUsage;
  }

  TSession session(o.pause, o.blockWrites, image.embedded ? nullptr : image.NewStream());
  TFlashScheme& scheme = session.scheme();
  TFlashFront& front = *scheme.Front;
  if (!o.tracePath.empty()) front.SetTrace(&trace);

  TPortRecord record;
  record.image = image.source;
  record.imageSha256 = image.sha256;

  std::vector<std::string> ports = o.ports;
  if (o.autoPorts) {
    scheme.EnumPorts();
    ports = front.ports();
  }
  const double versTimeout = o.VersTimeoutFor(ports.size());

  // Tries the ports in order until a device identifies itself on one. A port that
  // answers, but not as our device, or not in time, is closed before the next is tried.
  std::string status = zorv::texts::kNotFound;
  std::vector<std::string> openFailures;
  int chosen = -1;
  bool stopped = false;
  for (std::size_t i = 0; i < ports.size() && chosen < 0 && !stopped; ++i) {
    record.port = ports[i];
    record.start = std::chrono::system_clock::now();
    trace.Note("port " + ports[i]);
    scheme.ChoosePort(PortName(ports[i]));
    const Outcome outcome = WaitOutcome(front, Outcome::Pending, static_cast<int>(versTimeout * 1000));
    stopped = outcome == Outcome::Pending && zorv::platform::StopRequested();
    // No answer at all leaves the status unchanged: show what the window shows on a bad reply.
    status = front.status();
    if (outcome == Outcome::Pending || status.empty()) status = zorv::texts::kNotFound;
    const std::string reply = front.lastReply();
    std::uint32_t openError = 0;
    if (scheme.SettleTry(openError)) {
      chosen = static_cast<int>(i);
      break;
    }
    std::string reason;
    if (openError != 0) {
      reason = OpenFailureLine(ports[i], openError, TrimmedSystemText(openError));
      openFailures.push_back(reason);
      reason = reason.substr(ports[i].size() + 2);
    } else if (!reply.empty()) {
      reason = "the reply " + HexBytes(reply.substr(0, 32)) + (reply.size() > 32 ? "..." : "") + " identifies no device of ours";
    } else {
      reason = "no answer to \"VERS\" within " + GroupedNumber(static_cast<std::uint64_t>(versTimeout * 1000)) + " ms";
    }
    trace.Note(stopped ? "interrupted" : "no device: " + reason);
    // A port named by the user has a record of its own; ports found by auto only when a
    // device is on them.
    record.end = std::chrono::system_clock::now();
    record.result = stopped ? "interrupted" : "no-device";
    record.reason = stopped ? std::string() : reason;
    if ((!o.autoPorts && !o.autoFound) || stopped) WriteRecord(o, record);
    listener.Finished(record, 0);
  }
  if (stopped) {
    trace.Flush();
    return kExitInterrupted;
  }
  if (chosen < 0) {
    listener.NotFound(status, openFailures, ports.empty());
    trace.Flush();
    return kExitNotFound;
  }
  const std::string port = ports[static_cast<std::size_t>(chosen)];
  SplitDeviceText(front.status(), record.device, record.version);
  listener.Identified(port, front.status());

  // A failure may already have come (a reply that went on after the identification): it
  // is final, and the upload is not started.
  Outcome outcome = front.outcome();
  const auto start = Clock::now();
  double upload = 0;
  bool abandoned = false;
  if (outcome == Outcome::Found && zorv::platform::StopRequested()) {
    // Stopped before the upload began: not a byte of the image goes out.
    scheme.Close();
    outcome = Outcome::Pending;
  }
  if (outcome == Outcome::Found) {
    scheme.Write();
    bool completing = false;
    for (;;) {
      outcome = front.WaitChange(Outcome::Found, 200);
      if (outcome != Outcome::Found) break;
      if (!completing && front.puskSent()) {
        // The completion pause counts as no part of the upload.
        upload = Seconds(start);
        completing = true;
        listener.Completing();
      }
      listener.Progress(front.blocks(), Seconds(start));
      if (zorv::platform::StopRequested()) {
        // The port is closed inside the gate: whatever the scheme would do next (a write,
        // "PUSK") it does no more. Only the completion pause after "PUSK" holds the gate
        // longer; then the process ends without waiting for it.
        TGateWithin gate(kStopGateMs);
        if (gate.entered()) scheme.Close();
        abandoned = !gate.entered();
        outcome = front.outcome();
        break;
      }
    }
    if (!completing) upload = Seconds(start);
    if (o.stats) PrintStats(upload, front.writesRequested(), scheme.Collector->imageBytes());
  }

  record.end = std::chrono::system_clock::now();
  record.blocks = front.blocks();
  record.bytesWritten = front.imageBytesWritten();
  record.pusk = front.puskSent();
  int code = kExitFailed;
  switch (outcome) {
    // Done comes only through the drain check: the device confirmed the image and every
    // write, "PUSK" last, left the port.
    case Outcome::Done:
      record.result = "flashed";
      code = kExitDone;
      break;
    case Outcome::Failed:
      record.result = "failed";
      record.reason = front.failureReason();
      break;
    default:
      record.result = "interrupted";
      trace.Note("interrupted");
      code = kExitInterrupted;
      break;
  }
  WriteRecord(o, record);
  listener.Finished(record, upload);
  trace.Flush();
  if (!trace.error().empty()) zorv::platform::WriteUtf8(Stream::Err, "zorvflash: " + trace.error() + "\n");
  if (abandoned) {
    // The scheme is held by the completion pause: it cannot be freed now, and nothing is
    // left to do.
    zorv::platform::StopDone();
    std::_Exit(code);
  }
  return code;
}
