// The flasher's progress display on a terminal and as plain lines.
#include "app/zorvflash/Progress.h"

#include <gtest/gtest.h>

namespace {

TEST(Progress, PlainLinesAtEveryTenth) {
  TProgressMeter m(1015, false);
  EXPECT_EQ(m.Update(0, 0.0), "progress: 0/1015 blocks (0%), 0 B/s\n");
  EXPECT_EQ(m.Update(50, 1.0), "");  // still the first tenth
  EXPECT_NE(m.Update(102, 2.0).find("102/1015 blocks (10%)"), std::string::npos);
  EXPECT_EQ(m.Update(103, 2.1), "");
  EXPECT_NE(m.Update(1015, 20.0).find("(100%)"), std::string::npos);
  EXPECT_EQ(m.Finish(), "");
}

TEST(Progress, TerminalLineRedrawsInPlaceAndEstimatesOnceSettled) {
  TProgressMeter m(1015, true);
  const std::string first = m.Update(5, 0.5);
  EXPECT_EQ(first.front(), '\r');
  EXPECT_EQ(first.find("left"), std::string::npos);  // too early for an estimate
  EXPECT_EQ(m.Update(5, 0.6), "");                   // nothing moved, too soon
  const std::string later = m.Update(500, 10.0);
  EXPECT_NE(later.find(" 500/1015 blocks  49%"), std::string::npos) << later;
  EXPECT_NE(later.find("left 0:10"), std::string::npos) << later;  // 515 blocks at 50 per second
  EXPECT_NE(later.find("12.5 KiB/s"), std::string::npos) << later;
  EXPECT_EQ(m.Finish(), "\n");
  TProgressMeter clamped(1015, true);
  EXPECT_NE(clamped.Update(-5, 1.0).find("   0/1015"), std::string::npos);
  EXPECT_NE(clamped.Update(5000, 2.0).find("1015/1015 blocks 100%"), std::string::npos);
}

TEST(Progress, Formats) {
  EXPECT_EQ(TProgressMeter::FormatRate(100), "100 B/s");
  EXPECT_EQ(TProgressMeter::FormatRate(3840), "3.8 KiB/s");
  EXPECT_EQ(TProgressMeter::FormatRate(2.5 * 1024 * 1024), "2.5 MiB/s");
  EXPECT_EQ(TProgressMeter::FormatDuration(68.2), "1:08");
  EXPECT_EQ(TProgressMeter::FormatDuration(3725), "1:02:05");
  EXPECT_EQ(TProgressMeter::FormatDuration(-1), "0:00");
}

}  // namespace
