// zorvflash: the headless flasher. Drives the device query and upload sub-schemes exactly
// as the main window does: lists the ports, or opens one (or tries several in turn until a
// device identifies itself), identifies the device, uploads the image (the embedded one,
// or a file given at run time), sends "PUSK" and waits the completion pause; or flashes
// several ports at once, a process each (--all). Each port's outcome can be recorded
// (--report) and what crossed the line traced (--trace).
//
// Exit codes: 0 success (the device confirmed the image and "PUSK" left the port; with
// --all, every port), 1 any failure once a device was identified (with --all also a
// named port without a device while another was flashed), 2 no device (no port can be
// opened, no reply identifies a device, or no reply to "VERS"), 64 usage, 130 stopped
// (Ctrl+C, SIGTERM, the console closed).
#include <cstdio>
#include <string>
#include <vector>

#include "app/zorvflash/AllPorts.h"
#include "app/zorvflash/FlashScheme.h"
#include "app/zorvflash/Image.h"
#include "app/zorvflash/Options.h"
#include "app/zorvflash/PortRun.h"
#include "app/zorvflash/Progress.h"
#include "app/zorvflash/TerminalText.h"
#include "app/zorvflash/Worker.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/system.h"
#include "scheme/Texts.h"

namespace {

using zorv::platform::Stream;

constexpr int kProgressBlocks = 1015;

void Print(Stream s, const std::string& utf8) { zorv::platform::WriteUtf8(s, utf8); }

// The console's side of a run on one port.
class TConsoleListener : public TRunListener {
 public:
  explicit TConsoleListener(bool quiet) : quiet_(quiet), meter_(kProgressBlocks, zorv::platform::IsTerminal(Stream::Out)) {}

  void Identified(const std::string& port, const std::string& status) override {
    Print(Stream::Out, "port: " + ForTerminal(port) + "\n");
    Print(Stream::Out, ForTerminal(status) + "\n");
  }
  void Progress(int blocks, double elapsed) override {
    if (!quiet_) Print(Stream::Out, meter_.Update(blocks, elapsed));
  }
  void Completing() override {}
  void Finished(const TPortRecord& r, double) override {
    if (r.result == "no-device") return;  // told by NotFound when no port had a device
    Print(Stream::Out, meter_.Finish());
    if (r.result == "flashed") {
      Print(Stream::Out, ProgramText(std::string(zorv::texts::kDoneText) + "\n"));
    } else if (r.result == "failed") {
      Print(Stream::Out, ProgramText(std::string(zorv::texts::kErrorLine1) + "\n" + zorv::texts::kErrorLine2 + "\n"));
      if (!r.reason.empty()) Print(Stream::Out, "reason: " + r.reason + "\n");
    } else {
      Print(Stream::Out, std::string("interrupted") + (r.pusk ? " after \"PUSK\", in the completion pause" : "") + "\n");
    }
  }
  void NotFound(const std::string& status, const std::vector<std::string>& openFailures, bool noPorts) override {
    Print(Stream::Out, ForTerminal(status) + "\n");
    if (noPorts) Print(Stream::Out, "no serial port to try\n");
    for (const std::string& line : openFailures) Print(Stream::Out, ForTerminal(line) + "\n");
  }

 private:
  bool quiet_;
  TProgressMeter meter_;
};

int ImageInfo(const TFlashOptions& o) {
  const std::string path = !o.infoPath.empty() ? o.infoPath : o.imagePath;
  TFirmwareImage image = EmbeddedImage();
  std::string error;
  if (!path.empty() && !LoadImageFile(path, image, error)) {
    Print(Stream::Err, "zorvflash: " + error + "\n");
    return kExitUsage;
  }
  if (!image.PaddingNote().empty()) Print(Stream::Out, image.PaddingNote() + "\n");
  Print(Stream::Out, "size " + std::to_string(image.bytes.size()) + "\nsha256 " + image.sha256 + "\n");
  return kExitDone;
}

int List() {
  TSession session(0, false);
  session.scheme().EnumPorts();
  for (const std::string& port : session.scheme().Front->ports()) Print(Stream::Out, ForTerminal(port) + "\n");
  return kExitDone;
}

int Flash(const TFlashOptions& o) {
  // The image is read once, before any port is opened.
  TFirmwareImage image;
  std::string error;
  if (o.worker && !o.imagePipe.empty()) {
    if (!ReadImageFromParent(o.imagePipe, image)) return kExitUsage;
  } else if (!o.imagePath.empty()) {
    if (!LoadImageFile(o.imagePath, image, error)) {
      Print(Stream::Err, "zorvflash: " + error + "\n");
      return kExitUsage;
    }
    if (!image.PaddingNote().empty()) Print(Stream::Out, image.PaddingNote() + "\n");
  } else {
    image = EmbeddedImage();
  }
  zorv::platform::CatchStopRequests();
  int code;
  if (o.worker) {
    WatchParent();
    TWorkerListener listener;
    code = RunFlash(o, image, listener);
  } else if (o.all) {
    code = FlashAll(o, image);
  } else {
    TConsoleListener listener(o.quiet);
    code = RunFlash(o, image, listener);
  }
  zorv::platform::StopDone();
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = zorv::platform::ProgramArguments(argc, argv);
  TFlashOptions options;
  std::string error;
  if (!ParseFlashOptions(args, options, error)) {
    Print(Stream::Err, "zorvflash: " + error + "\n" + kFlashUsage);
    return kExitUsage;
  }
  switch (options.action) {
    case TFlashOptions::Action::Help:
      Print(Stream::Out, std::string("Writes a firmware image into a device through its serial bootloader.\n") +
                             kFlashUsage +
                             "  --port PORT           the port: COMn, or on Linux a device path\n"
                             "  --port A,B,C          try these ports in order; the upload goes to the first\n"
                             "                        where a device identifies itself (\"port: NAME\")\n"
                             "  --port auto           try every port that --list shows, in that order\n"
                             "  --all                 flash every listed port at the same time, a process each\n"
                             "                        (at most 64); with auto, every port where a device\n"
                             "                        identifies itself; a line per port, a summary at the end\n"
                             "  --image FILE          send this file instead of the embedded image (at most\n"
                             "                        260,096 bytes; a shorter one is padded with 0xFF)\n"
                             "  --report FILE         append a JSON line per port and run: times, host, port,\n"
                             "                        device, version, image and its SHA-256, result, reason,\n"
                             "                        blocks, bytes written, \"PUSK\" sent, flasher version\n"
                             "  --trace FILE          what crossed the line, in hex, with the exchange's\n"
                             "                        decisions, in microseconds (with --all a file per port)\n"
                             "  --vers-timeout SEC    wait this long for the device to answer on each port\n"
                             "                        (default 5 for one port, 1 when more are tried)\n"
                             "  --block-writes        write each 256-byte block of the image in one write\n"
                             "                        (default: one write per byte, as the window does)\n"
                             "  --pause SEC           pause after the device confirmed the image (default 15)\n"
                             "  --quiet               no progress display\n"
                             "  --stats               writes, image bytes, upload time and CPU time per image\n"
                             "                        byte, on standard error (with --all: of all processes,\n"
                             "                        and the peak memory of a port's process)\n"
                             "  --list                the serial ports that can be opened\n"
                             "  --image-info [FILE]   size and SHA-256 of the image as it will be sent\n"
                             "exit codes: 0 done, 1 failed after the device was identified (with --all: a\n"
                             "port failed, or a named port had no device while another was flashed), 2 no\n"
                             "device (a port that cannot be opened is named with the reason: no such port,\n"
                             "in use by another program, access denied, or the system's text), 64 usage,\n"
                             "130 stopped (Ctrl+C, SIGTERM, the console closed)\n");
      return kExitDone;
    case TFlashOptions::Action::Version:
      Print(Stream::Out, "zorvflash " ZORV_VERSION "\n");
      return kExitDone;
    case TFlashOptions::Action::ImageInfo:
      return ImageInfo(options);
    case TFlashOptions::Action::List:
      return List();
    case TFlashOptions::Action::Flash:
      return Flash(options);
  }
  return kExitUsage;
}
