// zorvflash: the headless flasher. Drives the device query and upload sub-schemes exactly
// as the main window does: lists the ports, or opens one (or tries several in turn until a
// device identifies itself), identifies the device, uploads the embedded image, sends
// "PUSK" and waits the completion pause.
//
// Exit codes: 0 success (the device confirmed the image and "PUSK" left the port), 1 any
// failure once a device was identified, 2 no device (no port can be opened, no reply
// identifies a device, or no reply to "VERS"), 64 usage.
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "app/zorvflash/BlockCollector.h"
#include "app/zorvflash/FlashScheme.h"
#include "app/zorvflash/OpenError.h"
#include "app/zorvflash/Options.h"
#include "app/zorvflash/Progress.h"
#include "app/zorvflash/TerminalText.h"
#include "platform/comm.h"
#include "platform/console.h"
#include "platform/system.h"
#include "runtime/Share.h"
#include "scheme/Texts.h"
#include "tools/common/sha256.h"
#include "winlib/StrStreams.h"

namespace {

using zorv::platform::Stream;
using Outcome = TFlashFront::Outcome;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNotFound = 2;
constexpr int kExitUsage = 64;
constexpr int kProgressBlocks = 1015;

void Print(Stream s, const std::string& utf8) { zorv::platform::WriteUtf8(s, utf8); }

// Figures of the upload for benchmarks: write requests (every query, the image's writes,
// "PUSK") and image bytes, wall time from the start of the upload to the outcome (the
// completion pause excluded) and the process's CPU time per image byte.
void PrintStats(std::chrono::steady_clock::time_point start, long writes, long imageBytes, double pausePassed) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double user = 0, system = 0;
  zorv::platform::ProcessCpuTimes(user, system);
  char buf[300];
  std::snprintf(buf, sizeof buf,
                "stats: writes %ld, image bytes %ld, upload %.3f s (pause excluded), cpu user %.3f s system %.3f s, %.3f us cpu per image byte\n",
                writes, imageBytes, elapsed - pausePassed, user, system,
                imageBytes > 0 ? (user + system) * 1e6 / static_cast<double>(imageBytes) : 0.0);
  Print(Stream::Err, buf);
}

int ImageInfo() {
  TObjPtr<TStream> image(LoadResourceStream("STREAM0"));
  zorv::Sha256 sha;
  if (image->Size > 0) sha.Update(image->Memory, static_cast<std::size_t>(image->Size));
  Print(Stream::Out, "size " + std::to_string(image->Size) + "\nsha256 " + sha.FinalHex() + "\n");
  return kExitDone;
}

// Runs the scheme from its start to its end around one job.
class Session {
 public:
  explicit Session(double pauseSeconds, bool blockWrites = false)
      : scheme_(New<TFlashScheme>(static_cast<std::int32_t>(pauseSeconds * 1e6), blockWrites)) {
    EventsOn();
    RunStartHooks();
  }
  ~Session() {
    scheme_->Close();
    EventsOff();
    Free(scheme_);
  }
  TFlashScheme& scheme() { return *scheme_; }

 private:
  TFlashScheme* scheme_;
};

int List() {
  Session session(0);
  session.scheme().EnumPorts();
  for (const std::string& port : session.scheme().Front->ports()) Print(Stream::Out, ForTerminal(port) + "\n");
  return kExitDone;
}

std::string PortName(const std::string& given) {
  // A device path gets a COM name of its own; a COM name is used as it is.
  if (given.find('/') == std::string::npos) return given;
  const std::string alias = zorv::comm::RegisterSerialPath(given);
  return alias.empty() ? given : alias;
}

// Tries the ports in order until a device identifies itself on one; returns its index, or
// -1 with the reasons for ports that could not be opened. A port that answers, but not as
// our device, or not in time, is closed before the next is tried.
int ChooseDevice(TFlashScheme& scheme, const std::vector<std::string>& ports, double versTimeout,
                 std::string& lastStatus, std::vector<std::string>& openFailures) {
  TFlashFront& front = *scheme.Front;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    scheme.ChoosePort(PortName(ports[i]));
    const Outcome outcome = front.WaitChange(Outcome::Pending, static_cast<int>(versTimeout * 1000));
    // No answer at all leaves the status unchanged: show what the window shows on a bad reply.
    lastStatus = front.status();
    if (outcome == Outcome::Pending || lastStatus.empty()) lastStatus = zorv::texts::kNotFound;
    std::uint32_t openError = 0;
    if (scheme.SettleTry(openError)) return static_cast<int>(i);
    if (openError != 0) {
      openFailures.push_back(OpenFailureLine(ports[i], openError, zorv::comm::ErrorText(openError)));
    }
  }
  return -1;
}

int Flash(const TFlashOptions& o) {
  Session session(o.pause, o.blockWrites);
  TFlashScheme& scheme = session.scheme();
  TFlashFront& front = *scheme.Front;

  std::vector<std::string> ports = o.ports;
  if (o.autoPorts) {
    scheme.EnumPorts();
    ports = front.ports();
  }
  std::string status = zorv::texts::kNotFound;
  std::vector<std::string> openFailures;
  const int chosen = ChooseDevice(scheme, ports, o.VersTimeoutFor(ports.size()), status, openFailures);
  if (chosen < 0) {
    Print(Stream::Out, ForTerminal(status) + "\n");
    if (ports.empty()) Print(Stream::Out, "no serial port to try\n");
    for (const std::string& line : openFailures) Print(Stream::Out, ForTerminal(line) + "\n");
    return kExitNotFound;
  }
  Print(Stream::Out, "port: " + ForTerminal(ports[static_cast<std::size_t>(chosen)]) + "\n");
  Print(Stream::Out, ForTerminal(front.status()) + "\n");

  // A failure may already have come (a reply that went on after the identification): it
  // is final, and the upload is not started.
  Outcome outcome = front.outcome();
  if (outcome == Outcome::Found) {
    const bool terminal = zorv::platform::IsTerminal(Stream::Out);
    TProgressMeter meter(kProgressBlocks, terminal);
    const auto start = std::chrono::steady_clock::now();
    scheme.Write();
    for (;;) {
      outcome = front.WaitChange(Outcome::Found, 200);
      if (!o.quiet && outcome == Outcome::Found) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Print(Stream::Out, meter.Update(front.blocks(), elapsed));
      }
      if (outcome != Outcome::Found) break;
    }
    if (!o.quiet) Print(Stream::Out, meter.Finish());
    if (o.stats) {
      PrintStats(start, front.writesRequested(), scheme.Collector->imageBytes(), outcome == Outcome::Done ? o.pause : 0.0);
    }
  }

  // Done comes only through the drain check: the device confirmed the image and every
  // write, "PUSK" last, left the port.
  if (outcome == Outcome::Done) {
    Print(Stream::Out, ProgramText(std::string(zorv::texts::kDoneText) + "\n"));
    return kExitDone;
  }
  Print(Stream::Out, ProgramText(std::string(zorv::texts::kErrorLine1) + "\n" + zorv::texts::kErrorLine2 + "\n"));
  return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  TFlashOptions options;
  std::string error;
  if (!ParseFlashOptions(args, options, error)) {
    Print(Stream::Err, "zorvflash: " + error + "\n" + kFlashUsage);
    return kExitUsage;
  }
  switch (options.action) {
    case TFlashOptions::Action::Help:
      Print(Stream::Out, std::string("Writes the embedded firmware image into a device through its serial bootloader.\n") +
                             kFlashUsage +
                             "  --port PORT           the port: COMn, or on Linux a device path\n"
                             "  --port A,B,C          try these ports in order; the upload goes to the first\n"
                             "                        where a device identifies itself (\"port: NAME\")\n"
                             "  --port auto           try every port that --list shows, in that order\n"
                             "  --vers-timeout SEC    wait this long for the device to answer on each port\n"
                             "                        (default 5 for one port, 1 when more are tried)\n"
                             "  --block-writes        write each 256-byte block of the image in one write\n"
                             "                        (default: one write per byte, as the window does)\n"
                             "  --pause SEC           pause after the device confirmed the image (default 15)\n"
                             "  --quiet               no progress display\n"
                             "  --stats               writes, image bytes, upload time and CPU time per image\n"
                             "                        byte, on standard error\n"
                             "  --list                the serial ports that can be opened\n"
                             "  --image-info          size and SHA-256 of the embedded image\n"
                             "exit codes: 0 done, 1 failed after the device was identified, 2 no device\n"
                             "(a port that cannot be opened is named with the reason: no such port, in use\n"
                             "by another program, access denied, or the system's text), 64 usage\n");
      return kExitDone;
    case TFlashOptions::Action::Version:
      Print(Stream::Out, "zorvflash " ZORV_VERSION "\n");
      return kExitDone;
    case TFlashOptions::Action::ImageInfo:
      return ImageInfo();
    case TFlashOptions::Action::List:
      return List();
    case TFlashOptions::Action::Flash:
      return Flash(options);
  }
  return kExitUsage;
}
