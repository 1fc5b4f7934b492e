// zorvflash: the headless flasher. Drives the device query and upload sub-schemes exactly
// as the main window does: lists the ports, or opens one, identifies the device, uploads
// the embedded image, sends "PUSK" and waits the completion pause.
//
// Exit codes: 0 success (the device confirmed the image and "PUSK" left the port), 1 any
// failure once a device was identified, 2 no device (the port cannot be opened, the reply
// does not identify a device, or no reply to "VERS"), 64 usage.
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "app/zorvflash/FlashScheme.h"
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

// Figures of the upload for benchmarks: wall time from the start of the upload to the
// outcome (the completion pause excluded) and the process's CPU time per image byte.
void PrintStats(std::chrono::steady_clock::time_point start, long writes, double pausePassed) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double user = 0, system = 0;
  zorv::platform::ProcessCpuTimes(user, system);
  const long imageBytes = writes > 2 ? writes - 2 : 0;  // less "VERS" and "PUSK"
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "stats: writes %ld, upload %.3f s (pause excluded), cpu user %.3f s system %.3f s, %.3f us cpu per image byte\n",
                writes, elapsed - pausePassed, user, system,
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
  explicit Session(double pauseSeconds)
      : scheme_(New<TFlashScheme>(static_cast<std::int32_t>(pauseSeconds * 1e6))) {
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
  return zorv::comm::RegisterSerialPath(given);
}

int Flash(const TFlashOptions& o) {
  const std::string port = PortName(o.port);
  Session session(o.pause);
  TFlashScheme& scheme = session.scheme();
  TFlashFront& front = *scheme.Front;

  scheme.ChoosePort(port.empty() ? o.port : port);
  Outcome outcome = front.WaitChange(Outcome::Pending, static_cast<int>(o.versTimeout * 1000));
  if (!front.identified()) {
    // No answer at all leaves the status unchanged: show what the window shows on a bad reply.
    std::string status = front.status();
    if (outcome == Outcome::Pending || status.empty()) status = zorv::texts::kNotFound;
    Print(Stream::Out, ForTerminal(status) + "\n");
    return kExitNotFound;
  }
  Print(Stream::Out, ForTerminal(front.status()) + "\n");

  // A failure may already have come (a reply that went on after the identification): it
  // is final, and the upload is not started.
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
    if (o.stats) PrintStats(start, front.writesRequested(), outcome == Outcome::Done ? o.pause : 0.0);
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
                             "  --vers-timeout SEC    wait this long for the device to answer (default 5)\n"
                             "  --pause SEC           pause after the device confirmed the image (default 15)\n"
                             "  --quiet               no progress display\n"
                             "  --stats               upload time and CPU time per image byte, on standard error\n"
                             "  --list                the serial ports that can be opened\n"
                             "  --image-info          size and SHA-256 of the embedded image\n"
                             "exit codes: 0 done, 1 failed after the device was identified, 2 no device,\n"
                             "64 usage\n");
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
