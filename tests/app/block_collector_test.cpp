// The flasher's write collector on its own, and the reasons shown for a port that cannot
// be opened.
#include <gtest/gtest.h>

#include "app/zorvflash/BlockCollector.h"
#include "app/zorvflash/OpenError.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class Collector : public ::testing::Test {
 protected:
  void SetUp() override {
    c->onWrite = out.Point();
    c->Enabled = true;
  }
  void Write(const std::string& s) {
    TData d = StrData(s);
    FireEvent(MakePoint<&TBlockCollector::doWrite>(0, c.get()), d);
  }
  void Flush() { FireNull(MakePoint<&TBlockCollector::doFlush>(0, c.get())); }
  void Discard() { FireNull(MakePoint<&TBlockCollector::doDiscard>(0, c.get())); }
  static std::string Bytes(int from, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((from + i) & 0xFF);
    return s;
  }
  void WriteBytes(int from, int n) {
    for (int i = 0; i < n; ++i) Write(std::string(1, static_cast<char>((from + i) & 0xFF)));
  }

  EventsOnScope events;
  Sink out;
  TObjPtr<TBlockCollector> c{New<TBlockCollector>()};
};

TEST_F(Collector, OffItPassesEveryValueOnAtOnce) {
  c->Enabled = false;
  WriteBytes(0, 3);
  Write("PUSK");
  EXPECT_EQ(out.strings(), (std::vector<std::string>{Bytes(0, 1), Bytes(1, 1), Bytes(2, 1), "PUSK"}));
  Discard();  // off, it is the window's wiring: nothing of its own
  Write("x");
  EXPECT_EQ(out.count(), 5u);
  EXPECT_EQ(c->imageBytes(), 4);
}

TEST_F(Collector, AWholeBlockGoesOutAsOneValueWithTheBytesInOrder) {
  WriteBytes(0, 255);
  EXPECT_EQ(out.count(), 0u);
  WriteBytes(255, 1);
  ASSERT_EQ(out.count(), 1u);
  EXPECT_EQ(out.strings()[0], Bytes(0, 256));  // NUL and 0xFF bytes included
  Flush();  // nothing held: nothing more
  EXPECT_EQ(out.count(), 1u);
  WriteBytes(256, 256);
  EXPECT_EQ(out.strings()[1], Bytes(256, 256));
  EXPECT_EQ(c->imageBytes(), 512);
}

TEST_F(Collector, AShortLastBlockGoesOutAtTheFlush) {
  WriteBytes(0, 100);
  EXPECT_EQ(out.count(), 0u);
  Flush();
  EXPECT_EQ(out.strings(), std::vector<std::string>{Bytes(0, 100)});
  EXPECT_EQ(c->held(), 0u);
}

TEST_F(Collector, AnotherValueFollowsWhatIsHeld) {
  WriteBytes(0, 10);
  Write("PUSK");
  EXPECT_EQ(out.strings(), (std::vector<std::string>{Bytes(0, 10), "PUSK"}));
  Write("");  // an empty value is passed on as it is, after nothing
  EXPECT_EQ(out.count(), 3u);
  EXPECT_EQ(c->imageBytes(), 10);
}

TEST_F(Collector, AfterAFailureNothingHeldOrLaterGoesOut) {
  WriteBytes(0, 200);
  Discard();
  Flush();
  WriteBytes(200, 256);
  Write("PUSK");
  Flush();
  EXPECT_EQ(out.count(), 0u);
  EXPECT_EQ(c->held(), 0u);
}

TEST_F(Collector, AFailureOfTheBlockWriteItselfStopsTheValueBehindIt) {
  // The write of the block fails, and the failure comes back while the block goes out.
  out.react = [this](TData&, std::uint16_t) {
    if (out.count() == 1) Discard();
  };
  WriteBytes(0, 5);
  Write("PUSK");
  EXPECT_EQ(out.strings(), std::vector<std::string>{Bytes(0, 5)});
  WriteBytes(0, 300);
  Flush();
  EXPECT_EQ(out.count(), 1u);
}

TEST_F(Collector, ASmallerBlockSizeCutsThere) {
  c->BlockSize = 4;
  WriteBytes(0, 10);
  Flush();
  EXPECT_EQ(out.strings(), (std::vector<std::string>{Bytes(0, 4), Bytes(4, 4), Bytes(8, 2)}));
}

// ---- Reasons ---------------------------------------------------------------------------

TEST(OpenFailure, TheUsualCausesInPlainWords) {
  EXPECT_EQ(OpenFailureReason(2, "ignored"), "no such port");
  EXPECT_EQ(OpenFailureReason(3, ""), "no such port");
  EXPECT_NE(OpenFailureReason(5, "").find("in use by another program"), std::string::npos);
  EXPECT_NE(OpenFailureReason(5, "").find("access denied"), std::string::npos);
  EXPECT_EQ(OpenFailureReason(32, ""), "the port is in use by another program");
  EXPECT_NE(OpenFailureReason(123, "").find("COM1 to COM255"), std::string::npos);
}

TEST(OpenFailure, OtherCodesGiveTheSystemsTextOnOneLine) {
  EXPECT_EQ(OpenFailureReason(31, "A device attached to the system is not functioning.\r\n"),
            "A device attached to the system is not functioning");
  EXPECT_EQ(OpenFailureReason(1117, "first\r\nsecond"), "first  second");
  EXPECT_EQ(OpenFailureReason(1117, "Ошибка ввода-вывода.\r\n"), "Ошибка ввода-вывода");  // UTF-8 kept
  EXPECT_EQ(OpenFailureReason(4242, ""), "system error");
  EXPECT_EQ(OpenFailureReason(4242, " . \r\n"), "system error");
}

TEST(OpenFailure, TheLineNamesThePortAndTheCode) {
  EXPECT_EQ(OpenFailureLine("COM7", 2, ""), "COM7: cannot open the port: no such port (error 2)");
  EXPECT_EQ(OpenFailureLine("/dev/ttyUSB0", 31, "Broken."), "/dev/ttyUSB0: cannot open the port: Broken (error 31)");
}

}  // namespace
