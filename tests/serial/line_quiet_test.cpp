// Where a received chunk ends: character times of every frame, and the quiet rule on an
// explicit clock.
#include <gtest/gtest.h>

#include <vector>

#include "serial/LineQuiet.h"

namespace {

using zorv::serial::CharacterMicros;
using zorv::serial::QuietMicros;
using zorv::serial::TQuietLine;

TEST(LineQuiet, CharacterTimesCountStartDataParityAndStopBits) {
  EXPECT_EQ(CharacterMicros(38462, 8, 0, 0), 260u);    // 10 bits: 259.997 us, rounded up
  EXPECT_EQ(CharacterMicros(9600, 8, 2, 2), 1250u);    // 8E2: 12 bits
  EXPECT_EQ(CharacterMicros(9600, 7, 1, 1), 1094u);    // 7O1.5: 10.5 bits
  EXPECT_EQ(CharacterMicros(115200, 5, 0, 0), 61u);    // 5N1: 7 bits
  EXPECT_EQ(CharacterMicros(1000000, 8, 0, 0), 10u);
  // Values outside their ranges give a usable time, never a division by zero.
  EXPECT_EQ(CharacterMicros(0, 8, 0, 0), CharacterMicros(9600, 8, 0, 0));
  EXPECT_EQ(CharacterMicros(-5, 8, 0, 0), CharacterMicros(9600, 8, 0, 0));
  EXPECT_EQ(CharacterMicros(9600, 0, 0, 0), CharacterMicros(9600, 5, 0, 0));
  EXPECT_EQ(CharacterMicros(9600, 200, 0, 0), CharacterMicros(9600, 8, 0, 0));
  EXPECT_EQ(CharacterMicros(1, 8, 0, 0), 1000000u);
  EXPECT_EQ(CharacterMicros(4000000000LL, 8, 0, 0), 1u);
}

TEST(LineQuiet, TheProgramsLineWaitsThreeCharacterTimes) {
  zorv::comm::TDcb dcb;
  dcb.BaudRate = 38462;
  dcb.ByteSize = 8;
  EXPECT_EQ(QuietMicros(dcb), 780u);
}

// Runs the rule as the reader does: `arrivals` are the moments (us) at which one more byte
// is waiting, the first at 0. Returns when the chunk was handed on and how many bytes it had.
struct Outcome {
  std::uint64_t at;
  std::uint32_t bytes;
};
Outcome RunRule(TQuietLine& line, const std::vector<std::uint64_t>& arrivals, std::uint32_t atStart = 1) {
  std::uint64_t now = 0;
  auto waiting = [&] {
    std::uint32_t n = atStart - 1;
    for (std::uint64_t a : arrivals) n += a <= now ? 1 : 0;
    return n;
  };
  line.Start(now, waiting());
  for (int guard = 0; guard < 100000; ++guard) {
    const std::uint32_t pause = line.Next(now, waiting());
    if (pause == 0) return {now, waiting()};
    EXPECT_LE(pause, line.quiet());
    now += pause;
  }
  ADD_FAILURE() << "the chunk never ended";
  return {now, 0};
}

TEST(LineQuiet, BytesOneCharacterTimeApartAreOneChunkEndedSoonAfterTheQuiet) {
  TQuietLine line(780, 4096);
  std::vector<std::uint64_t> arrivals;
  for (int i = 0; i < 30; ++i) arrivals.push_back(static_cast<std::uint64_t>(i) * 260);
  const Outcome o = RunRule(line, arrivals);
  EXPECT_EQ(o.bytes, 30u);
  const std::uint64_t last = arrivals.back();
  EXPECT_GE(o.at, last + 780);
  EXPECT_LE(o.at, last + 780 + 780 / 8);  // found at most one look late
}

TEST(LineQuiet, APauseOfTheQuietTimeEndsTheChunkAndAShorterOneDoesNot) {
  {
    TQuietLine line(780, 4096);
    const Outcome o = RunRule(line, {0, 260, 260 + 5000});  // 5 ms inside the reply
    EXPECT_EQ(o.bytes, 2u);
    EXPECT_LT(o.at, 5260u);
  }
  {
    TQuietLine line(780, 4096);
    const Outcome o = RunRule(line, {0, 260, 260 + 700, 260 + 1400});
    EXPECT_EQ(o.bytes, 4u);
  }
}

TEST(LineQuiet, AFullQueueEndsTheChunkAtOnce) {
  TQuietLine line(780, 8);
  line.Start(0, 8);
  EXPECT_EQ(line.Next(0, 8), 0u);
  TQuietLine filling(780, 8);
  filling.Start(0, 5);
  EXPECT_GT(filling.Next(0, 5), 0u);
  EXPECT_EQ(filling.Next(100, 9), 0u);
  TQuietLine unlimited(780, 0);  // no queue size: only the quiet counts
  unlimited.Start(0, 100000);
  EXPECT_GT(unlimited.Next(0, 100000), 0u);
}

TEST(LineQuiet, NothingWaitingEndsAtOnceAndAClockGoingBackRestartsTheQuiet) {
  TQuietLine line(780, 4096);
  line.Start(0, 0);
  EXPECT_EQ(line.Next(0, 0), 0u);
  TQuietLine back(780, 4096);
  back.Start(1000, 3);
  EXPECT_GT(back.Next(500, 3), 0u);      // before the start: counted from now
  EXPECT_GT(back.Next(1200, 3), 0u);     // 700 us since
  EXPECT_EQ(back.Next(1280, 3), 0u);     // 780 us since
}

}  // namespace
