// End-to-end: zorvflash against the device simulator on a pseudo-terminal, both as child
// processes. Every case also checks that an exit code of 0 never comes without the device
// having received the image and "PUSK".
#include <gtest/gtest.h>

#include <string>
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
};

// Flashes a simulator started with simArgs; extra flasher arguments follow the port.
FlashRun Flash(const std::vector<std::string>& simArgs, const std::vector<std::string>& flashArgs = {},
          int timeoutMs = 120000) {
  SimProcess sim(simArgs);
  std::vector<std::string> argv = {ZORVFLASH, "--port", sim.pty(), "--pause", "0.2"};
  argv.insert(argv.end(), flashArgs.begin(), flashArgs.end());
  FlashRun r;
  r.flash = RunChild(argv, timeoutMs);
  r.sim = ParseSimReport(sim.Finish());
  // No false success anywhere.
  if (r.flash.exitCode == 0) {
    EXPECT_TRUE(r.sim.pusk) << r.flash.out;
    EXPECT_EQ(r.sim.extra_bytes, 0);
  }
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

TEST(ZorvflashE2E, ByteByByteRepliesDefeatTheDecisionsOnEachChunk) {
  // As from a native UART: the identification arrives one byte per chunk, and the first
  // chunk (no blank) already gives the not-found text.
  const FlashRun r = Flash({"--pace", "uart"});
  EXPECT_EQ(r.flash.exitCode, 2) << r.flash.out << r.flash.err;
  EXPECT_TRUE(Has(r.flash.out, kNotFound)) << r.flash.out;
  EXPECT_EQ(r.sim.image_bytes, 0);
}

TEST(ZorvflashE2E, APortThatCannotBeOpenedGivesNotFound) {
  const ChildResult r = RunChild({ZORVFLASH, "--port", "/dev/zorv-no-such-device"}, 30000);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(Has(r.out, kNotFound)) << r.out;
  const ChildResult bad = RunChild({ZORVFLASH, "--port", "LPT1"}, 30000);
  EXPECT_EQ(bad.exitCode, 2);
}

TEST(ZorvflashCli, UsageInformationAndExitCodes) {
  EXPECT_EQ(RunChild({ZORVFLASH}, 10000).exitCode, 64);
  EXPECT_EQ(RunChild({ZORVFLASH, "--port"}, 10000).exitCode, 64);
  EXPECT_EQ(RunChild({ZORVFLASH, "--port", "COM1", "--list"}, 10000).exitCode, 64);
  EXPECT_EQ(RunChild({ZORVFLASH, "--pause", "-1", "--port", "COM1"}, 10000).exitCode, 64);
  const ChildResult help = RunChild({ZORVFLASH, "--help"}, 10000);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Has(help.out, "--port"));
  const ChildResult info = RunChild({ZORVFLASH, "--image-info"}, 10000);
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_EQ(info.out, "size 260096\nsha256 " + ImageSha() + "\n");
  EXPECT_EQ(RunChild({ZORVFLASH, "--list"}, 30000).exitCode, 0);
}

}  // namespace
