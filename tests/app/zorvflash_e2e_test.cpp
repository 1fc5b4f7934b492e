// End-to-end: zorvflash against the device simulator on a pseudo-terminal, both as child
// processes. Every case also checks what the device received: every image byte as in the
// image (no block with a hole), and an exit code of 0 only with the image and "PUSK", the
// last thing received.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/zorvsim_process.h"
#include "tools/common/sha256.h"
#include "winlib/StrStreams.h"

namespace {

using namespace zorv::test;

const std::string kNotFound = "На этом порту устройств не найдено.";
const std::string kErrorLine1 = "Ошибка при передаче данных!";
const std::string kDoneLine1 = "ПО успешно обновлено!";

std::string ImageSha() {
  TObjPtr<TStream> image(LoadResourceStream("STREAM0"));
  return zorv::Sha256Hex(std::string_view(reinterpret_cast<const char*>(image->Memory), static_cast<std::size_t>(image->Size)));
}

struct FlashRun {
  ChildResult flash;
  SimReport sim;
  // Seconds from the simulator's start (taken just before it, so a little long) to the
  // flasher's end, on the clock of the simulator's report.
  double flashEnd = 0;
};

// Flashes a simulator started with simArgs; extra flasher arguments follow the port (a
// second --pause replaces the first). With simEndMs the simulator is given that long to
// end by itself (its --idle-exit) after the flasher, so that what it reads late counts.
FlashRun Flash(std::vector<std::string> simArgs, const std::vector<std::string>& flashArgs = {},
               int timeoutMs = 120000, int simEndMs = 0) {
  simArgs.insert(simArgs.end(), {"--image", ZORV_IMAGE_BIN});
  const auto simStart = std::chrono::steady_clock::now();
  SimProcess sim(simArgs);
  std::vector<std::string> argv = {ZORVFLASH, "--port", sim.pty(), "--pause", "0.2"};
  argv.insert(argv.end(), flashArgs.begin(), flashArgs.end());
  FlashRun r;
  r.flash = RunChild(argv, timeoutMs);
  r.flashEnd = std::chrono::duration<double>(std::chrono::steady_clock::now() - simStart).count();
  if (simEndMs > 0) {
    EXPECT_TRUE(sim.WaitExit(simEndMs));
  }
  r.sim = ParseSimReport(sim.Finish());
  EXPECT_EQ(r.sim.image_mismatch, -1) << "the device received an image byte that differs";
  // No false success anywhere.
  if (r.flash.exitCode == 0) {
    EXPECT_TRUE(r.sim.pusk) << r.flash.out;
    EXPECT_EQ(r.sim.image_bytes % 256, 0);
    EXPECT_EQ(r.sim.extra_bytes, 0);
  }
  // Nothing the device can send drives the terminal.
  EXPECT_EQ(r.flash.out.find('\x1b'), std::string::npos);
  return r;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ZorvflashE2E, FullUploadDeliversExactlyTheImageThenPusk) {
  const FlashRun r = Flash({});
  ASSERT_EQ(r.flash.exitCode, 0) << r.flash.out << r.flash.err;
  ASSERT_TRUE(r.sim.valid);
  EXPECT_EQ(r.sim.image_bytes, 260096);
  EXPECT_EQ(r.sim.image_sha256, ImageSha());
  EXPECT_TRUE(r.sim.pusk);
  EXPECT_EQ(r.sim.extra_bytes, 0);
  EXPECT_EQ(r.sim.vers_queries, 1);
  EXPECT_TRUE(Has(r.flash.out, "Устройство: TPX2   Текущая версия ПО: 6.0")) << r.flash.out;
  EXPECT_TRUE(Has(r.flash.out, "1015/1015")) << r.flash.out;
  EXPECT_TRUE(Has(r.flash.out, kDoneLine1)) << r.flash.out;
}

TEST(ZorvflashE2E, IdentificationVariants) {
  {
    const FlashRun r = Flash({"--ident-lower", "--name", "X1", "--version", "7.2", "--blocks", "2"});
    EXPECT_EQ(r.flash.exitCode, 0) << r.flash.out << r.flash.err;
    EXPECT_TRUE(Has(r.flash.out, "Устройство: X1   Текущая версия ПО: 7.2")) << r.flash.out;
  }
  {
    const FlashRun r = Flash({"--no-version", "--blocks", "2"});
    EXPECT_EQ(r.flash.exitCode, 0) << r.flash.out << r.flash.err;
    EXPECT_TRUE(Has(r.flash.out, "Устройство: TPX2   Текущая версия ПО: \n")) << r.flash.out;
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--ident-only"},
                                               std::vector<std::string>{"--ident", "ZORVANTIQUEX"},
                                               std::vector<std::string>{"--ident", "OTHER"}}) {
    const FlashRun r = Flash(args);
    EXPECT_EQ(r.flash.exitCode, 2) << args[0] << r.flash.out;
    EXPECT_TRUE(Has(r.flash.out, kNotFound)) << r.flash.out;
    EXPECT_EQ(r.sim.image_bytes, 0);
  }
}

TEST(ZorvflashE2E, NoAnswerToVersGivesNotFoundAfterTheTimeOut) {
  const FlashRun r = Flash({"--no-vers-reply"}, {"--vers-timeout", "1"});
  EXPECT_EQ(r.flash.exitCode, 2);
  EXPECT_TRUE(Has(r.flash.out, kNotFound)) << r.flash.out;
  EXPECT_GE(r.flash.seconds, 0.9);
  EXPECT_EQ(r.sim.image_bytes, 0);
}

TEST(ZorvflashE2E, BrokenAcknowledgementsFailWithoutPusk) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--split-ack", "3"}, std::vector<std::string>{"--bad-crc", "3"},
        std::vector<std::string>{"--garbage", "3"}, std::vector<std::string>{"--extra-after-ack", "3"}}) {
    const FlashRun r = Flash(args);
    EXPECT_EQ(r.flash.exitCode, 1) << args[0] << r.flash.out << r.flash.err;
    EXPECT_TRUE(Has(r.flash.out, kErrorLine1)) << r.flash.out;
    EXPECT_FALSE(r.sim.pusk) << args[0];
    EXPECT_LE(r.sim.image_bytes, 4 * 256) << args[0];  // nothing sent after the failure
  }
}

TEST(ZorvflashE2E, SilenceFailsOnTheThirdWatchdogTickAfterTheLastReply) {
  // Taken before the simulator starts its clock: the interval measured below is a little
  // long (by the simulator's start-up), never short.
  const auto simStart = std::chrono::steady_clock::now();
  SimProcess sim({"--silence-from", "5"});
  const ChildResult flash = RunChild({ZORVFLASH, "--port", sim.pty(), "--pause", "0.2"}, 60000);
  const auto flashEnd = std::chrono::steady_clock::now();
  const SimReport report = ParseSimReport(sim.Finish());
  EXPECT_EQ(flash.exitCode, 1) << flash.out;
  EXPECT_FALSE(report.pusk);
  const std::vector<SimEvent> acks = report.Events("ack");
  ASSERT_EQ(acks.size(), 4u);
  const double sinceLastReply = std::chrono::duration<double>(flashEnd - simStart).count() - acks.back().t;
  // The third one-second tick comes 2 to 3 s after the last reply; the upper bound leaves
  // room for the flasher's exit on a loaded machine (the tick count itself is checked
  // exactly against a fake line).
  EXPECT_GE(sinceLastReply, 2.0);
  EXPECT_LE(sinceLastReply, 6.0);
}

TEST(ZorvflashE2E, EarlyFinalAcknowledgementEndsTheUploadWithSuccess) {
  const FlashRun r = Flash({"--early-fz", "10"});
  EXPECT_EQ(r.flash.exitCode, 0) << r.flash.out << r.flash.err;
  EXPECT_TRUE(r.sim.pusk);
  EXPECT_EQ(r.sim.image_bytes, 10 * 256);  // the device decided it had what it needs
}

TEST(ZorvflashE2E, HangUpDuringTheUploadFailsWithoutHanging) {
  const FlashRun r = Flash({"--hangup", "20"}, {}, 30000);
  EXPECT_FALSE(r.flash.timedOut);
  EXPECT_EQ(r.flash.exitCode, 1) << r.flash.out << r.flash.err;
  EXPECT_FALSE(r.sim.pusk);
}

TEST(ZorvflashE2E, NothingIsSentBeyondTheImageWhenTheLastBlockLacksFz) {
  const FlashRun r = Flash({"--no-final-fz", "--blocks", "1016", "--idle-exit", "6"});
  EXPECT_EQ(r.flash.exitCode, 1) << r.flash.out << r.flash.err;
  EXPECT_EQ(r.sim.image_bytes, 260096);
  EXPECT_EQ(r.sim.extra_bytes, 0);
  EXPECT_FALSE(r.sim.pusk);
}

TEST(ZorvflashE2E, PacedAsAUsbAdapterRepliesComeWholeAndTheUploadSucceeds) {
  const FlashRun r = Flash({"--pace", "usb", "--blocks", "4"});
  EXPECT_EQ(r.flash.exitCode, 0) << r.flash.out << r.flash.err;
  EXPECT_TRUE(r.sim.pusk);
  EXPECT_EQ(r.sim.image_bytes, 4 * 256);
}

// ---- A native UART: replies arrive one byte at a time at the line rate ----------------------

// Where the device's side of a failed run ended: its counters and its last events.
std::string DeviceSide(const SimReport& sim) {
  std::string text = "device: blocks received " + std::to_string(sim.blocks_received) + ", acknowledged " +
                     std::to_string(sim.blocks_acked) + ", stray bytes " + std::to_string(sim.stray_bytes) +
                     "; last events:";
  const std::size_t from = sim.events.size() > 4 ? sim.events.size() - 4 : 0;
  for (std::size_t i = from; i < sim.events.size(); ++i) {
    const SimEvent& e = sim.events[i];
    text += " [" + std::to_string(e.t) + " " + e.event + " block " + std::to_string(e.block) +
            (e.fault.empty() ? "" : " " + e.fault) + (e.us > 0 ? " " + std::to_string(e.us) + " us" : "") + "]";
  }
  return text;
}

// Byte by byte on a pseudo-terminal a run says something about the flasher only where the
// line kept its pace: now and then the machine holds the simulator or the kernel holds a
// byte up for a millisecond and more inside a reply, which the flasher rightly takes for
// the reply's end. The simulator watches the line from the flasher's end and records such
// moments. A run that missed `expected` right after a reply the line disturbed so is run
// again, `attempts` runs in all; what no run may do (Flash's checks, and sending anything
// after the reply it failed on) is checked on every run. Returns the first run the line did
// not disturb, or none when it disturbed each.
std::optional<FlashRun> FlashOverUart(const std::vector<std::string>& simArgs, const std::function<bool(const FlashRun&)>& expected,
                                      int attempts) {
  for (int i = 0; i < attempts; ++i) {
    FlashRun r = Flash(simArgs, {"--pause", "0"}, 240000);
    const long last = r.sim.blocks_acked;
    if (expected(r) || r.flash.exitCode == 0 || !r.sim.LinePausedIn(last)) return r;
    EXPECT_FALSE(r.sim.pusk) << DeviceSide(r.sim);
    EXPECT_LE(r.sim.image_bytes, 256 * last) << DeviceSide(r.sim);
    std::printf("run %d: the line stood still inside the reply to block %ld (0: the identification); run again\n", i + 1,
                last);
  }
  return std::nullopt;
}

TEST(ZorvflashE2E, NativeUart_RepliesByteByByteIdentifyTheDeviceAndTheImageGoesThrough) {
  const auto r = FlashOverUart({"--pace", "uart"}, [](const FlashRun& run) { return run.flash.exitCode == 0; }, 3);
  if (!r) GTEST_SKIP() << "the line stood still inside a reply in every run: this machine cannot carry a byte-by-byte line";
  ASSERT_EQ(r->flash.exitCode, 0) << r->flash.out << r->flash.err << DeviceSide(r->sim);
  EXPECT_TRUE(Has(r->flash.out, "Устройство: TPX2   Текущая версия ПО: 6.0")) << r->flash.out;
  EXPECT_EQ(r->sim.image_bytes, 260096);
  EXPECT_EQ(r->sim.image_sha256, ImageSha());
  EXPECT_TRUE(r->sim.pusk);
  EXPECT_EQ(r->sim.extra_bytes, 0);
}

TEST(ZorvflashE2E, NativeUart_APauseInsideAnAcknowledgementAndAWrongChecksumStillFail) {
  // 5 ms between the two bytes of block 3's acknowledgement: two chunks, as before.
  for (const std::vector<std::string>& fault :
       {std::vector<std::string>{"--split-ack", "3", "--split-gap", "5"}, std::vector<std::string>{"--split-ack", "3"},
        std::vector<std::string>{"--bad-crc", "3"}}) {
    std::vector<std::string> args = {"--pace", "uart", "--blocks", "6"};
    args.insert(args.end(), fault.begin(), fault.end());
    const auto r = FlashOverUart(
        args, [](const FlashRun& run) { return run.flash.exitCode == 1 && run.sim.image_bytes == 3 * 256; }, 4);
    if (!r) {
      std::printf("%s: the line stood still inside a reply in every run\n", fault[0].c_str());
      continue;
    }
    EXPECT_EQ(r->flash.exitCode, 1) << fault[0] << r->flash.out << r->flash.err;
    EXPECT_TRUE(Has(r->flash.out, kErrorLine1)) << r->flash.out;
    EXPECT_FALSE(r->sim.pusk) << fault[0];
    EXPECT_EQ(r->sim.image_bytes, 3 * 256) << fault[0] << DeviceSide(r->sim);  // nothing after the failed block
  }
}

// ---- The exchange ends where it ends --------------------------------------------------------

TEST(ZorvflashE2E, MoreAfterPusk_ARepeatedFinalAcknowledgementOrChecksumGetsNothing) {
  for (const char* mode : {"final", "crc"}) {
    // The device stays a while after "PUSK" and records whatever comes.
    const FlashRun r = Flash({"--blocks", "4", "--after-pusk", mode, "--linger", "2000"}, {"--pause", "0"});
    EXPECT_EQ(r.flash.exitCode, 0) << mode << r.flash.out << r.flash.err;
    EXPECT_EQ(r.sim.Events("after-pusk").size(), 1u) << mode;
    EXPECT_EQ(r.sim.Events("pusk").size(), 1u) << mode;
    EXPECT_EQ(r.sim.extra_bytes, 0) << mode;  // no second "PUSK", no further block
    EXPECT_EQ(r.sim.image_bytes, 4 * 256);
  }
}

TEST(ZorvflashE2E, FailureIsFinal_WrongRepliesDuringTheFinalBlockThenItsAcknowledgement) {
  for (const std::vector<std::string>& fault :
       {std::vector<std::string>{"--wrong-in", "4"}, std::vector<std::string>{"--dup-ack", "3"},
        std::vector<std::string>{"--echo-from", "4"}}) {
    // The wrong reply arrives while the flasher still writes the block; the acknowledgement
    // follows the block at once, mostly as a chunk of its own, read while the flasher is
    // still busy with the failure (merged with the wrong reply it is one wrong chunk).
    std::vector<std::string> args = {"--blocks", "4", "--linger", "1000", "--split-gap", "0"};
    args.insert(args.end(), fault.begin(), fault.end());
    for (const char* pause : {"0", "0.5"}) {
      const FlashRun r = Flash(args, {"--pause", pause});
      EXPECT_EQ(r.flash.exitCode, 1) << fault[0] << r.flash.out << r.flash.err;
      EXPECT_TRUE(Has(r.flash.out, kErrorLine1)) << r.flash.out;
      // Mostly the device acknowledged its last block; when the flasher closed the port
      // first, the close discarded the rest of the block before the device read it.
      EXPECT_FALSE(r.sim.pusk) << fault[0];
      EXPECT_EQ(r.sim.extra_bytes, 0) << fault[0];
      EXPECT_LE(r.sim.image_bytes, 4 * 256);
    }
  }
}

TEST(ZorvflashE2E, StuckLine_AWriteThatDoesNotCompleteFailsWithinTheWatchdogsTime) {
  // The device stops reading right after an acknowledgement (the next block's first write
  // cannot complete) or in the middle of a block, and never reads again.
  for (const std::vector<std::string>& stall :
       {std::vector<std::string>{"--stall-after-ack", "2"}, std::vector<std::string>{"--stall", "3"}}) {
    const FlashRun r = Flash(stall, {}, 120000);
    EXPECT_FALSE(r.flash.timedOut);
    EXPECT_EQ(r.flash.exitCode, 1) << stall[0] << r.flash.out << r.flash.err;
    EXPECT_FALSE(r.sim.pusk);
    ASSERT_FALSE(r.sim.Events("ack").empty());
    // From the device's last byte to the flasher's end: one write time-out (1.1 s), or the
    // watchdog's 2-3 s when the whole block got through before the stall; never the
    // minutes of a time-out per byte. The bound leaves room for a loaded machine.
    EXPECT_LE(r.flashEnd - r.sim.Events("ack").back().t, 10.0) << stall[0];
    EXPECT_GE(r.sim.image_bytes, 2 * 256) << stall[0];
  }
}

TEST(ZorvflashE2E, StuckLineThatDrainsLater_TheDeviceGetsNoBlockWithAHole) {
  // The device reads again 3 s after it stopped: by then the flasher has failed, and what
  // the device finds on the line is a clean prefix of the image (checked byte for byte).
  for (const std::vector<std::string>& stall :
       {std::vector<std::string>{"--stall-after-ack", "2"}, std::vector<std::string>{"--stall", "3"}}) {
    std::vector<std::string> args = stall;
    args.insert(args.end(), {"--resume", "3000", "--idle-exit", "5"});
    const FlashRun r = Flash(args, {}, 120000, 60000);
    EXPECT_EQ(r.flash.exitCode, 1) << stall[0] << r.flash.out << r.flash.err;
    EXPECT_EQ(r.sim.Events("resume").size(), 1u) << stall[0];
    EXPECT_FALSE(r.sim.pusk);
    EXPECT_LE(r.sim.image_bytes, 3 * 256) << stall[0];
  }
}

TEST(ZorvflashE2E, PuskThatNeverLeavesThePortIsNoSuccess) {
  // The device stops reading right after its final acknowledgement.
  const FlashRun r = Flash({"--blocks", "4", "--stall-after-ack", "4"}, {"--pause", "0"}, 120000);
  EXPECT_EQ(r.flash.exitCode, 1) << r.flash.out << r.flash.err;
  EXPECT_TRUE(Has(r.flash.out, kErrorLine1)) << r.flash.out;
  EXPECT_FALSE(Has(r.flash.out, kDoneLine1)) << r.flash.out;
  EXPECT_EQ(r.sim.Events("final").size(), 1u);
  EXPECT_FALSE(r.sim.pusk);
}

TEST(ZorvflashE2E, AnIdentificationLargerThanTheReadersBufferIsAFailureNotNoDevice) {
  // 4.5 KiB: the reader takes it in two parts; the second one reaches the upload as a reply.
  const FlashRun r = Flash({"--ident-size", "4608"});
  EXPECT_EQ(r.flash.exitCode, 1) << r.flash.out << r.flash.err;
  EXPECT_TRUE(Has(r.flash.out, "Устройство: TPX2   Текущая версия ПО: 6.0")) << r.flash.out;
  EXPECT_TRUE(Has(r.flash.out, kErrorLine1)) << r.flash.out;
  // The failure comes before the upload starts, or right after its first block.
  EXPECT_LE(r.sim.image_bytes, 256);
}

TEST(ZorvflashE2E, ControlBytesInTheDevicesNameAreShownEscaped) {
  const FlashRun r = Flash({"--blocks", "2", "--name", "A\\x1b[2JB", "--version", "7\\x07\\\\"});
  EXPECT_EQ(r.flash.exitCode, 0) << r.flash.out << r.flash.err;
  EXPECT_TRUE(Has(r.flash.out, "Устройство: A\\x1b[2JB   Текущая версия ПО: 7\\x07\\\\\n")) << r.flash.out;
  EXPECT_EQ(r.flash.out.find('\x07'), std::string::npos);
}

// ---- Ports that cannot be opened ------------------------------------------------------

TEST(ZorvflashE2E, APortThatCannotBeOpenedGivesNotFoundAndTheReason) {
  const ChildResult r = RunChild({ZORVFLASH, "--port", "/dev/zorv-no-such-device"}, 30000);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Has(r.out, kNotFound)) << r.out;
  EXPECT_TRUE(Has(r.out, "/dev/zorv-no-such-device: cannot open the port: no such port (error 2)")) << r.out;
  const ChildResult bad = RunChild({ZORVFLASH, "--port", "LPT1"}, 30000);
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_TRUE(Has(bad.out, "LPT1: cannot open the port: not a serial port name")) << bad.out;
  // A file that is no terminal is no port either.
  const ChildResult file = RunChild({ZORVFLASH, "--port", ZORV_IMAGE_BIN}, 30000);
  EXPECT_EQ(file.exitCode, 2);
  EXPECT_TRUE(Has(file.out, "no such port")) << file.out;
}

TEST(ZorvflashE2E, APortHeldByAnotherProgramIsNamedAsInUse) {
  SimProcess sim;
  // Another program holds the port as the comm layer holds a port it opened.
  const int fd = open(sim.pty().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  const ChildResult r = RunChild({ZORVFLASH, "--port", sim.pty(), "--vers-timeout", "1"}, 30000);
  close(fd);
  const SimReport report = ParseSimReport(sim.Finish());
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Has(r.out, kNotFound)) << r.out;
  EXPECT_TRUE(Has(r.out, sim.pty() + ": cannot open the port: access denied; the port is in use by another program (error 5)"))
      << r.out;
  EXPECT_EQ(report.vers_queries, 0);  // not a byte went to the line
}

// ---- Several ports ---------------------------------------------------------------------------

// A device of the test's own on a pseudo-terminal that answers "VERS" as our device, but
// only after the given delay, and counts every byte it receives after the query.
class LateDevice {
 public:
  explicit LateDevice(int delayMs) : delayMs_(delayMs) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    // A slave kept open: without one, reads on the master fail once the flasher closes.
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    thread_ = std::thread([this] { Run(); });
  }
  ~LateDevice() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  const std::string& path() const { return path_; }
  bool queried() const { return queried_.load(); }
  bool answered() const { return answered_.load(); }
  long bytesAfterQuery() const { return after_.load(); }

 private:
  void Run() {
    std::string got;
    std::chrono::steady_clock::time_point queriedAt;
    while (!stop_.load()) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
        char buf[512];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) {
          if (queried_.load()) {
            after_ += n;
          } else {
            got.append(buf, static_cast<std::size_t>(n));
            if (got.find("VERS") != std::string::npos) {
              queried_.store(true);
              queriedAt = std::chrono::steady_clock::now();
              after_ += static_cast<long>(got.size() - got.find("VERS") - 4);
            }
          }
        }
      }
      if (queried_.load() && !answered_.load() &&
          std::chrono::steady_clock::now() - queriedAt >= std::chrono::milliseconds(delayMs_)) {
        const std::string ident = "ZORVANTIQUE LATE 1.0";
        answered_.store(write(master_, ident.data(), ident.size()) == static_cast<ssize_t>(ident.size()));
      }
    }
  }

  int delayMs_;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false}, queried_{false}, answered_{false};
  std::atomic<long> after_{0};
};

TEST(ZorvflashE2E, APortList_TheUploadGoesToTheFirstThatIdentifiesItself) {
  SimProcess silent({"--no-vers-reply"});
  SimProcess device({"--blocks", "4", "--image", ZORV_IMAGE_BIN});
  const ChildResult r = RunChild({ZORVFLASH, "--port", "/dev/zorv-no-such-device," + silent.pty() + "," + device.pty(),
                                  "--pause", "0", "--quiet"},
                                 60000);
  const SimReport first = ParseSimReport(silent.Finish());
  const SimReport second = ParseSimReport(device.Finish());
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "port: " + device.pty() + "\n")) << r.out;
  EXPECT_FALSE(Has(r.out, "cannot open")) << r.out;  // reasons only when no device is found
  EXPECT_EQ(first.vers_queries, 1);
  EXPECT_EQ(first.image_bytes, 0);
  EXPECT_EQ(first.extra_bytes + first.stray_bytes, 0);
  EXPECT_TRUE(second.pusk);
  EXPECT_EQ(second.image_bytes, 4 * 256);
  EXPECT_EQ(second.image_mismatch, -1);
  // The silent port had its second, not five.
  EXPECT_GE(r.seconds, 0.9);
}

TEST(ZorvflashE2E, APortList_NoDeviceOnAnyGivesNotFoundWithTheReasons) {
  SimProcess silent({"--no-vers-reply"});
  SimProcess other({"--ident", "OTHER"});
  const ChildResult r = RunChild({ZORVFLASH, "--port", silent.pty() + ",/dev/zorv-no-such-device," + other.pty(),
                                  "--vers-timeout", "0.5"},
                                 60000);
  const SimReport first = ParseSimReport(silent.Finish());
  const SimReport second = ParseSimReport(other.Finish());
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, kNotFound)) << r.out;
  EXPECT_TRUE(Has(r.out, "/dev/zorv-no-such-device: cannot open the port: no such port (error 2)")) << r.out;
  EXPECT_FALSE(Has("\n" + r.out, "\nport: ")) << r.out;  // no port was chosen
  EXPECT_EQ(first.vers_queries, 1);
  EXPECT_EQ(second.vers_queries, 1);
  EXPECT_EQ(first.image_bytes + second.image_bytes, 0);
}

TEST(ZorvflashE2E, APortList_ALateIdentificationOfAnEarlierPortIsNotMistaken) {
  // The first port's device answers as ours, but after the flasher gave up on it.
  LateDevice late(2000);
  ASSERT_FALSE(late.path().empty());
  SimProcess device({"--blocks", "2", "--image", ZORV_IMAGE_BIN});
  const ChildResult r = RunChild({ZORVFLASH, "--port", late.path() + "," + device.pty(), "--vers-timeout", "1",
                                  "--pause", "0", "--quiet"},
                                 60000);
  // Wait until the late answer is on the line, then a little for whatever might follow it.
  for (int i = 0; i < 300 && !late.answered(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const SimReport report = ParseSimReport(device.Finish());
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "port: " + device.pty() + "\n")) << r.out;
  EXPECT_TRUE(late.queried());
  EXPECT_EQ(late.bytesAfterQuery(), 0);
  EXPECT_TRUE(report.pusk);
  EXPECT_EQ(report.image_bytes, 2 * 256);
}

// ---- One write per block ---------------------------------------------------------------------

TEST(ZorvflashE2E, BlockWrites_FullUploadDeliversExactlyTheImageThenPusk) {
  const FlashRun r = Flash({}, {"--block-writes", "--stats", "--quiet"});
  ASSERT_EQ(r.flash.exitCode, 0) << r.flash.out << r.flash.err;
  EXPECT_EQ(r.sim.image_bytes, 260096);
  EXPECT_EQ(r.sim.image_sha256, ImageSha());
  EXPECT_TRUE(r.sim.pusk);
  EXPECT_EQ(r.sim.extra_bytes, 0);
  // Every block one write, "VERS" and "PUSK" beside them; the image bytes counted as before.
  EXPECT_TRUE(Has(r.flash.err, "stats: writes 1018, image bytes 260096,")) << r.flash.err;
  const FlashRun bytewise = Flash({"--blocks", "2"}, {"--stats", "--quiet"});
  EXPECT_TRUE(Has(bytewise.flash.err, "stats: writes 514, image bytes 512,")) << bytewise.flash.err;
}

TEST(ZorvflashE2E, BlockWrites_FaultsStillFailWithNothingAfterTheFailure) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--bad-crc", "3"}, std::vector<std::string>{"--split-ack", "3"}}) {
    const FlashRun r = Flash(args, {"--block-writes"});
    EXPECT_EQ(r.flash.exitCode, 1) << args[0] << r.flash.out << r.flash.err;
    EXPECT_TRUE(Has(r.flash.out, kErrorLine1)) << r.flash.out;
    EXPECT_FALSE(r.sim.pusk) << args[0];
    EXPECT_EQ(r.sim.image_bytes, 3 * 256) << args[0];  // the failing block's, and none after
  }
  for (const std::vector<std::string>& stall :
       {std::vector<std::string>{"--stall-after-ack", "2"}, std::vector<std::string>{"--stall", "3"}}) {
    std::vector<std::string> args = stall;
    args.insert(args.end(), {"--resume", "3000", "--idle-exit", "5"});
    const FlashRun r = Flash(args, {"--block-writes"}, 120000, 60000);
    EXPECT_FALSE(r.flash.timedOut);
    EXPECT_EQ(r.flash.exitCode, 1) << stall[0] << r.flash.out << r.flash.err;
    EXPECT_FALSE(r.sim.pusk) << stall[0];
    ASSERT_FALSE(r.sim.Events("ack").empty());
    // A stuck block write ends at the line's time-out for a block (about 1.3 s), not at
    // 100 ms for each of its bytes; the bound leaves room for a loaded machine.
    EXPECT_LE(r.flashEnd - r.sim.Events("ack").back().t, 10.0) << stall[0];
    // What reaches the device once it reads again is a clean prefix (checked byte for
    // byte), and nothing was written after the failure.
    EXPECT_LE(r.sim.image_bytes, 3 * 256) << stall[0];
  }
}

TEST(ZorvflashCli, UsageInformationAndExitCodes) {
  EXPECT_EQ(RunChild({ZORVFLASH}, 10000).exitCode, 64);
  EXPECT_EQ(RunChild({ZORVFLASH, "--port"}, 10000).exitCode, 64);
  EXPECT_EQ(RunChild({ZORVFLASH, "--port", "COM1", "--list"}, 10000).exitCode, 64);
  EXPECT_EQ(RunChild({ZORVFLASH, "--pause", "-1", "--port", "COM1"}, 10000).exitCode, 64);
  const ChildResult help = RunChild({ZORVFLASH, "--help"}, 10000);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Has(help.out, "--port auto"));
  EXPECT_TRUE(Has(help.out, "--block-writes"));
  EXPECT_EQ(RunChild({ZORVFLASH, "--port", "COM1,,COM2"}, 10000).exitCode, 64);
  EXPECT_EQ(RunChild({ZORVFLASH, "--port", "auto,COM1"}, 10000).exitCode, 64);
  const ChildResult info = RunChild({ZORVFLASH, "--image-info"}, 10000);
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_EQ(info.out, "size 260096\nsha256 " + ImageSha() + "\n");
  EXPECT_EQ(RunChild({ZORVFLASH, "--list"}, 30000).exitCode, 0);
  // An image that cannot be sent is a usage error before any port is opened.
  SimProcess sim;
  const ChildResult missing = RunChild({ZORVFLASH, "--port", sim.pty(), "--image", "/nonexistent/zorv.bin"}, 30000);
  EXPECT_EQ(missing.exitCode, 64);
  EXPECT_TRUE(Has(missing.err, "/nonexistent/zorv.bin: no such file")) << missing.err;
  const ChildResult directory = RunChild({ZORVFLASH, "--port", sim.pty(), "--all", "--image", "/tmp"}, 30000);
  EXPECT_EQ(directory.exitCode, 64);
  EXPECT_EQ(ParseSimReport(sim.Finish()).vers_queries, 0);
  const ChildResult fileInfo = RunChild({ZORVFLASH, "--image-info", ZORV_IMAGE_BIN}, 10000);
  EXPECT_EQ(fileInfo.out, "size 260096\nsha256 " + ImageSha() + "\n");
}

// ---- Several ports at once ------------------------------------------------------------------

// A folder of the test's own, removed at the end.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/zorvflash-e2e-XXXXXX";
    path_ = mkdtemp(tmpl) ? tmpl : "/tmp";
  }
  ~TempDir() {
    if (path_ != "/tmp") std::system(("rm -rf '" + path_ + "'").c_str());
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

// The records of a report file, by port; every line must be one whole JSON object.
std::map<std::string, nlohmann::json> Records(const std::string& path, std::size_t& lines) {
  std::map<std::string, nlohmann::json> byPort;
  std::istringstream in(ReadFile(path));
  lines = 0;
  for (std::string line; std::getline(in, line);) {
    ++lines;
    const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << "not whole JSON: " << line;
    if (!j.is_discarded()) byPort[j.value("port", "")] = j;
  }
  return byPort;
}

// The bytes a trace shows written after the identification.
std::string TracedWrites(const std::string& trace) {
  std::istringstream in(trace);
  std::string bytes;
  bool identified = false;
  for (std::string line; std::getline(in, line);) {
    if (line.find(" identified: ") != std::string::npos) identified = true;
    const std::size_t tx = line.find(" tx ");
    if (!identified || tx == std::string::npos) continue;
    const std::string hex = line.substr(line.find(": ", tx) + 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

// The port processes of a flasher that are still running, found by their port.
std::vector<std::string> Workers(const std::vector<std::string>& ports) {
  std::vector<std::string> found;
  if (DIR* dir = opendir("/proc")) {
    while (dirent* e = readdir(dir)) {
      std::string cmd = ReadFile(std::string("/proc/") + e->d_name + "/cmdline");
      for (char& c : cmd) c = c == '\0' ? ' ' : c;
      for (const std::string& p : ports) {
        if (cmd.find("--worker --port " + p + " ") != std::string::npos) found.push_back(e->d_name);
      }
    }
    closedir(dir);
  }
  return found;
}

// A flasher in the background, its output in a file.
class BackgroundFlash {
 public:
  BackgroundFlash(const std::vector<std::string>& args, const std::string& outPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~BackgroundFlash() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  // The exit status as waitpid gives it, or -1 when it did not end in time.
  int Wait(int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return status;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

TEST(ZorvflashAll, FourDevicesAtOnce_EachPortEndsOnItsOwn) {
  // An image file shorter than the device's blocks: every device gets it padded.
  TempDir dir;
  std::string file;
  for (int i = 0; i < 1000; ++i) file += static_cast<char>((i * 37 + 11) & 0xFF);
  WriteFile(dir / "image.bin", file);
  std::string padded = file + std::string(260096 - file.size(), '\xFF');
  WriteFile(dir / "padded.bin", padded);
  const std::string img = dir / "padded.bin";
  SimProcess good({"--blocks", "5", "--image", img});
  SimProcess wrong({"--bad-crc", "3", "--image", img});
  SimProcess silent({"--silence-from", "3", "--image", img});
  SimProcess hangUp({"--hangup", "3", "--image", img});
  const std::vector<std::string> ports = {good.pty(), wrong.pty(), silent.pty(), hangUp.pty()};
  const ChildResult r = RunChild({ZORVFLASH, "--port", ports[0] + "," + ports[1] + "," + ports[2] + "," + ports[3], "--all",
                                  "--image", dir / "image.bin", "--pause", "0", "--report", dir / "report.jsonl", "--trace",
                                  dir / "line.trace"},
                                 60000);
  const SimReport g = ParseSimReport(good.Finish()), w = ParseSimReport(wrong.Finish()),
                  s = ParseSimReport(silent.Finish()), h = ParseSimReport(hangUp.Finish());
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  // A port's process passes on whatever else it writes, a sanitizer's report too.
  EXPECT_FALSE(Has(r.err, "Sanitizer") || Has(r.err, "runtime error")) << r.err;
  EXPECT_TRUE(Has(r.out, dir / "image.bin: 1,000 bytes, padded with 0xFF to 260,096")) << r.out;
  // The good device: exactly the file and its padding, block by block, then "PUSK" and
  // nothing after.
  EXPECT_EQ(g.image_bytes, 5 * 256);
  EXPECT_EQ(g.image_mismatch, -1);
  EXPECT_TRUE(g.pusk);
  EXPECT_EQ(g.extra_bytes, 0);
  // The others: nothing after their failure.
  for (const SimReport* bad : {&w, &s, &h}) {
    EXPECT_FALSE(bad->pusk);
    EXPECT_EQ(bad->image_mismatch, -1);
    EXPECT_LE(bad->image_bytes, 3 * 256);
    EXPECT_EQ(bad->extra_bytes, 0);
  }
  // The summary: a line per port with its result.
  const std::string summary = r.out.substr(r.out.rfind("port "));
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const std::size_t at = summary.find("\n" + ports[i] + " ");
    ASSERT_NE(at, std::string::npos) << summary;
    const std::string line = summary.substr(at + 1, summary.find('\n', at + 1) - at - 1);
    EXPECT_TRUE(Has(line, i == 0 ? "flashed" : "failed")) << line;
  }
  EXPECT_TRUE(Has(summary, "is not the acknowledgement")) << summary;
  // Four records, whole and true.
  std::size_t lines = 0;
  auto records = Records(dir / "report.jsonl", lines);
  EXPECT_EQ(lines, 4u);
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const nlohmann::json& j = records[ports[i]];
    EXPECT_EQ(j.value("result", ""), i == 0 ? "flashed" : "failed") << j.dump();
    EXPECT_EQ(j.value("pusk", true), i == 0) << j.dump();
    EXPECT_EQ(j.value("image", ""), dir / "image.bin");
    EXPECT_EQ(j.value("image_sha256", ""), zorv::Sha256Hex(padded));
    EXPECT_EQ(j.value("device", ""), "TPX2");
    EXPECT_EQ(j.value("reason", "").empty(), i == 0) << j.dump();
  }
  EXPECT_EQ(records[ports[0]].value("bytes_written", 0L), 5 * 256);
  // The good port's trace holds what its device received.
  std::string traceName = ports[0].substr(1);
  for (char& c : traceName) c = c == '/' ? '_' : c;
  EXPECT_EQ(TracedWrites(ReadFile(dir / ("line-" + traceName + ".trace"))), padded.substr(0, 5 * 256) + "PUSK");
}

// Two paced uploads of the whole image, stopped after a few seconds.
struct StoppedRun {
  SimReport first, second;
  int status = -1;
  std::string out;
  std::vector<std::string> workersLeft;
  std::size_t reportLines = 0;
  std::map<std::string, nlohmann::json> records;
};

StoppedRun StopMidUpload(int signal) {
  TempDir dir;
  SimProcess first({"--pace", "usb", "--image", ZORV_IMAGE_BIN});
  SimProcess second({"--pace", "usb", "--image", ZORV_IMAGE_BIN});
  const std::vector<std::string> ports = {first.pty(), second.pty()};
  StoppedRun run;
  {
    BackgroundFlash flash({ZORVFLASH, "--port", ports[0] + "," + ports[1], "--all", "--quiet", "--report",
                           dir / "report.jsonl"},
                          dir / "out.txt");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    kill(flash.pid(), signal);
    run.status = flash.Wait(10000);
    // Every port's process gone within 10 s of the signal.
    for (int i = 0; i < 100 && !Workers(ports).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    run.workersLeft = Workers(ports);
  }
  run.out = ReadFile(dir / "out.txt");
  run.first = ParseSimReport(first.Finish());
  run.second = ParseSimReport(second.Finish());
  run.records = Records(dir / "report.jsonl", run.reportLines);
  EXPECT_FALSE(Has(run.out, "Sanitizer") || Has(run.out, "runtime error")) << run.out;
  for (const SimReport* sim : {&run.first, &run.second}) {
    EXPECT_FALSE(sim->pusk);
    EXPECT_EQ(sim->image_mismatch, -1);
    EXPECT_EQ(sim->extra_bytes, 0);
  }
  return run;
}

TEST(ZorvflashAll, AStopRequestStopsEveryPortWithoutPusk) {
  const StoppedRun run = StopMidUpload(SIGINT);
  ASSERT_TRUE(WIFEXITED(run.status)) << run.out;
  EXPECT_EQ(WEXITSTATUS(run.status), 130) << run.out;
  EXPECT_TRUE(run.workersLeft.empty());
  EXPECT_TRUE(Has(run.out, "interrupted: every port was stopped")) << run.out;
  EXPECT_GT(run.first.image_bytes + run.second.image_bytes, 0);  // it was stopped mid-upload
  EXPECT_EQ(run.reportLines, 2u);
  for (const auto& [port, j] : run.records) EXPECT_EQ(j.value("result", ""), "interrupted") << port;
}

TEST(ZorvflashAll, AKilledFlasherTakesItsPortsWithIt) {
  const StoppedRun run = StopMidUpload(SIGKILL);
  EXPECT_TRUE(WIFSIGNALED(run.status));
  EXPECT_TRUE(run.workersLeft.empty());
  // Whatever the report holds is whole (Records checks every line).
  EXPECT_LE(run.reportLines, 2u);
}

}  // namespace
