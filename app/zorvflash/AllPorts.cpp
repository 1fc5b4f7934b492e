#include "app/zorvflash/AllPorts.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "app/zorvflash/FlashScheme.h"
#include "app/zorvflash/Image.h"
#include "app/zorvflash/PortRun.h"
#include "app/zorvflash/PortTable.h"
#include "app/zorvflash/Trace.h"
#include "app/zorvflash/Worker.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"

namespace {

using zorv::platform::Stream;
using Clock = std::chrono::steady_clock;

// How long the ports' processes get to stop before they are killed.
constexpr int kStopGraceMs = 8000;

void Print(Stream s, const std::string& text) { zorv::platform::WriteUtf8(s, text); }

std::string Number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string Reason(const std::string& what, std::uint32_t code) {
  std::string text = zorv::platform::SystemErrorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return what + ": " + (text.empty() ? "system error" : text) + " (error " + std::to_string(code) + ")";
}

// Lines of every port's process, in the order they came.
class TLineQueue {
 public:
  struct TItem {
    std::size_t port;
    bool end;
    std::string line;
  };
  void Push(TItem item) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      items_.push_back(std::move(item));
    }
    changed_.notify_one();
  }
  // Waits at most timeoutMs for lines; returns what there is.
  std::deque<TItem> Take(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !items_.empty(); });
    std::deque<TItem> taken;
    taken.swap(items_);
    return taken;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TItem> items_;
};

// One port's process with the thread that reads its lines.
struct TPortProcess {
  zorv::platform::TChildProcess child;
  std::thread reader;
  bool started = false;
  bool ended = false;
  std::chrono::system_clock::time_point start;

  ~TPortProcess() {
    if (reader.joinable()) reader.join();
  }
};

void ReadLines(TPortProcess& p, std::size_t index, TLineQueue& queue) {
  std::string pending;
  char buf[4096];
  for (;;) {
    const std::size_t n = p.child.ReadOutput(buf, sizeof buf);
    if (n == 0) break;
    pending.append(buf, n);
    for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, eol);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending.erase(0, eol + 1);
      queue.Push({index, false, std::move(line)});
    }
  }
  if (!pending.empty()) queue.Push({index, false, pending});
  queue.Push({index, true, std::string()});
}

std::vector<std::string> WorkerArgs(const TFlashOptions& o, const TFirmwareImage& image, const std::string& port,
                                    const std::string& trace) {
  std::vector<std::string> args = {"--worker", "--port", port, "--pause", Number(o.pause), "--vers-timeout",
                                   Number(o.VersTimeoutFor(1))};
  if (o.blockWrites) args.push_back("--block-writes");
  if (!o.reportPath.empty()) args.insert(args.end(), {"--report", o.reportPath});
  if (!trace.empty()) args.insert(args.end(), {"--trace", trace});
  if (!image.embedded) args.insert(args.end(), {"--image-pipe", image.source});
  if (o.autoPorts) args.push_back("--auto-found");
  return args;
}

// The record of a port whose process told no outcome of its own.
void RecordForParent(const TFlashOptions& o, const TFirmwareImage& image, const TPortRow& row,
                     std::chrono::system_clock::time_point start) {
  TPortRecord r;
  r.start = start;
  r.end = std::chrono::system_clock::now();
  r.port = row.port;
  r.image = image.source;
  r.imageSha256 = image.sha256;
  r.result = row.state == TPortRow::State::Interrupted ? "interrupted" : "failed";
  r.reason = row.reason;
  r.blocks = row.blocks;
  WriteRecord(o, r);
}

void PrintAllStats(const std::vector<TPortRow>& rows, double run) {
  double user = 0, system = 0;
  zorv::platform::ProcessCpuTimes(user, system);
  double cpu = user + system, slowest = 0, fastest = 0;
  long bytes = 0;
  std::uint64_t memMin = 0, memMax = 0;
  bool first = true;
  for (const TPortRow& r : rows) {
    cpu += r.cpuSeconds;
    bytes += r.bytesWritten;
    if (r.state != TPortRow::State::Flashed) continue;
    slowest = first ? r.seconds : std::max(slowest, r.seconds);
    fastest = first ? r.seconds : std::min(fastest, r.seconds);
    memMin = first ? r.peakMemory : std::min(memMin, r.peakMemory);
    memMax = first ? r.peakMemory : std::max(memMax, r.peakMemory);
    first = false;
  }
  char buf[400];
  std::snprintf(buf, sizeof buf,
                "stats: ports %zu, image bytes %ld, run %.3f s, uploads %.3f to %.3f s (pause excluded), cpu of all "
                "processes %.3f s (this one %.3f s), %.3f us cpu per image byte, peak memory of a port's process %.1f to "
                "%.1f MiB\n",
                rows.size(), bytes, run, fastest, slowest, cpu, user + system,
                bytes > 0 ? cpu * 1e6 / static_cast<double>(bytes) : 0.0, static_cast<double>(memMin) / 1048576.0,
                static_cast<double>(memMax) / 1048576.0);
  Print(Stream::Err, buf);
}

}  // namespace

int FlashAll(const TFlashOptions& o, const TFirmwareImage& image) {
  std::vector<std::string> ports = o.ports;
  if (o.autoPorts) {
    TSession session(0, false);
    session.scheme().EnumPorts();
    ports = session.scheme().Front->ports();
    if (ports.size() > kMaxPorts) {
      Print(Stream::Err, "zorvflash: --port auto found " + std::to_string(ports.size()) + " ports; --all takes at most " +
                             std::to_string(kMaxPorts) + "\n");
      return kExitUsage;
    }
  }
  if (ports.empty()) {
    Print(Stream::Out, "no serial port to try\n");
    return kExitNotFound;
  }
  // Files that cannot be written are usage errors, before any port is opened.
  std::string error;
  if (!o.reportPath.empty() && !AppendRecordLine(o.reportPath, std::string(), error)) {
    Print(Stream::Err, "zorvflash: " + error + "\n");
    return kExitUsage;
  }
  std::vector<std::string> traces(ports.size());
  if (!o.tracePath.empty()) {
    std::set<std::string> taken;
    for (std::size_t i = 0; i < ports.size(); ++i) {
      traces[i] = TraceFileFor(o.tracePath, ports[i], taken);
      zorv::platform::TOutputFile file;
      zorv::platform::TFileError e;
      if (!file.Create(traces[i], e)) {
        Print(Stream::Err, "zorvflash: " + Reason(traces[i] + ": cannot create the trace", e.code) + "\n");
        return kExitUsage;
      }
    }
  }

  std::vector<TPortRow> rows(ports.size());
  std::vector<std::unique_ptr<TPortProcess>> procs;
  TLineQueue queue;
  const auto start = Clock::now();
  // Started one after another from this thread (see TChildProcess::Start).
  for (std::size_t i = 0; i < ports.size(); ++i) {
    rows[i].port = ports[i];
    procs.push_back(std::make_unique<TPortProcess>());
    TPortProcess& p = *procs.back();
    p.start = std::chrono::system_clock::now();
    std::uint32_t code = 0;
    if (!p.child.Start(WorkerArgs(o, image, ports[i], traces[i]), code)) {
      rows[i].state = TPortRow::State::Failed;
      rows[i].reason = Reason("cannot start the port's process", code);
      RecordForParent(o, image, rows[i], p.start);
      continue;
    }
    p.started = true;
    rows[i].state = TPortRow::State::Identifying;
  }
  for (std::size_t i = 0; i < procs.size(); ++i) {
    TPortProcess& p = *procs[i];
    if (!p.started) continue;
    // A process that cannot take its image ends and tells so.
    if (!image.embedded) p.child.WriteInput(image.bytes.data(), image.bytes.size());
    p.reader = std::thread(ReadLines, std::ref(p), i, std::ref(queue));
  }

  const bool show = !o.quiet;
  TPortDisplay display(show && zorv::platform::EnableTerminalControl(Stream::Out));
  std::size_t open = 0;
  for (const auto& p : procs) open += p->started ? 1 : 0;
  bool stopping = false;
  Clock::time_point killAt{};
  while (open > 0) {
    for (TLineQueue::TItem& item : queue.Take(200)) {
      TPortRow& row = rows[item.port];
      TPortProcess& p = *procs[item.port];
      if (!item.end) {
        // What is no event (a sanitizer's report, say) is passed on, named by its port.
        if (!ApplyWorkerLine(item.line, row)) Print(Stream::Err, row.port + ": " + item.line + "\n");
        continue;
      }
      p.ended = true;
      --open;
      int exitCode = -1;
      p.child.Wait(-1, exitCode);
      if (!row.Finished()) {
        row.state = stopping ? TPortRow::State::Interrupted : TPortRow::State::Failed;
        row.reason = stopping ? "the port's process was ended"
                              : "the port's process ended without an outcome (exit code " + std::to_string(exitCode) + ")";
        RecordForParent(o, image, row, p.start);
      }
    }
    if (zorv::platform::StopRequested() && !stopping) {
      stopping = true;
      killAt = Clock::now() + std::chrono::milliseconds(kStopGraceMs);
      for (auto& p : procs) {
        if (p->started && !p->ended) p->child.WriteInput("stop\n", 5);
      }
    }
    if (stopping && Clock::now() >= killAt) {
      for (auto& p : procs) {
        if (p->started && !p->ended) p->child.Kill();
      }
    }
    if (show) Print(Stream::Out, display.Update(rows, std::chrono::duration<double>(Clock::now() - start).count()));
  }
  for (auto& p : procs) {
    if (p->reader.joinable()) p->reader.join();
  }
  const double run = std::chrono::duration<double>(Clock::now() - start).count();
  if (show) Print(Stream::Out, display.Finish(rows));
  Print(Stream::Out, "\n" + SummaryTable(rows, stopping, o.autoPorts));
  if (o.stats) PrintAllStats(rows, run);
  zorv::platform::StopDone();
  return AllExitCode(rows, stopping, o.autoPorts);
}
