// The simulator's line timing on a made-up clock, its command line, and its report text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"
#include "pacer.h"
#include "report.h"
#include "watch.h"
#include "tests/support/zorvsim_process.h"

namespace {

using zorv::sim::Pace;
using zorv::sim::Pacer;
using zorv::sim::Reply;

// The bytes of the writes due at `now`, each element one write.
std::vector<std::string> DueWrites(Pacer& p, double now) {
  std::vector<std::string> due;
  for (Pacer::Write& w : p.TakeDue(now)) due.push_back(std::move(w.bytes));
  return due;
}

// baud 10000: one byte time is exactly 1 ms.
constexpr long kBaud = 10000;

TEST(ZorvsimPacer, UnpacedHandsEverythingOnAtOnce) {
  Pacer p(Pace::None, kBaud);
  p.Received("abc", 1.0);
  EXPECT_EQ(p.NextDelivery(), 1.0);
  EXPECT_EQ(p.TakeDelivered(1.0), "abc");
  EXPECT_EQ(p.NextDelivery(), Pacer::kNever);

  p.Schedule(Reply{{"x", "y"}, 50}, 2.0);
  EXPECT_EQ(DueWrites(p, 2.0), std::vector<std::string>{"x"});
  EXPECT_TRUE(DueWrites(p, 2.049).empty());
  EXPECT_EQ(DueWrites(p, 2.05), std::vector<std::string>{"y"});
}

TEST(ZorvsimPacer, PacedReceptionTakesOneByteTimePerByte) {
  for (Pace pace : {Pace::Usb, Pace::Uart}) {
    Pacer p(pace, kBaud);
    p.Received("0123456789", 1.0);
    EXPECT_EQ(p.TakeDelivered(1.0), "");
    EXPECT_NEAR(p.NextDelivery(), 1.001, 1e-9);
    EXPECT_EQ(p.TakeDelivered(1.0045), "0123");
    EXPECT_NEAR(p.NextDelivery(), 1.005, 1e-9);
    // Bytes that arrive while the line is busy queue behind the others.
    p.Received("ab", 1.005);
    EXPECT_EQ(p.TakeDelivered(1.0105), "456789");
    EXPECT_EQ(p.TakeDelivered(1.012), "ab");
    EXPECT_EQ(p.Queued(), 0u);
    // After an idle line the next byte takes one byte time from its arrival.
    p.Received("z", 5.0);
    EXPECT_EQ(p.TakeDelivered(5.0009), "");
    EXPECT_EQ(p.TakeDelivered(5.001), "z");
  }
}

TEST(ZorvsimPacer, UsbDeliversEachReplyWholeAfterItsLineTime) {
  Pacer p(Pace::Usb, kBaud);
  p.Schedule(Reply{{std::string(20, 'r')}, 0}, 1.0);
  p.Schedule(Reply{{"ab"}, 0}, 1.0);  // waits for the first reply to leave the line
  EXPECT_TRUE(DueWrites(p, 1.0199).empty());
  EXPECT_EQ(DueWrites(p, 1.020), std::vector<std::string>{std::string(20, 'r')});
  EXPECT_NEAR(p.NextWrite(), 1.022, 1e-9);
  EXPECT_EQ(DueWrites(p, 1.03), std::vector<std::string>{"ab"});

  // The pieces of a split reply: each after its line time, the gap between them.
  p.Schedule(Reply{{"a", "b"}, 100}, 2.0);
  EXPECT_EQ(DueWrites(p, 2.001), std::vector<std::string>{"a"});
  EXPECT_TRUE(DueWrites(p, 2.1).empty());
  EXPECT_EQ(DueWrites(p, 2.102), std::vector<std::string>{"b"});
}

TEST(ZorvsimPacer, UartWritesEveryByteOnItsOwnAtTheLineRate) {
  Pacer p(Pace::Uart, kBaud);
  p.Schedule(Reply{{"abc"}, 0}, 1.0);
  EXPECT_TRUE(DueWrites(p, 1.0009).empty());
  EXPECT_EQ(DueWrites(p, 1.001), std::vector<std::string>{"a"});
  EXPECT_EQ(DueWrites(p, 1.003), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(p.NextWrite(), Pacer::kNever);
}

// ---- Command line -----------------------------------------------------------------------

zorv::sim::ParsedOptions Parse(std::vector<std::string> args) { return zorv::sim::ParseOptions(args); }

// ---- Pauses the machine puts into a byte-by-byte reply ---------------------------------------

TEST(ZorvsimLineGaps, OnlyALateByteInsideAReplyIsAPause) {
  zorv::sim::LineGaps gaps(0.001);
  EXPECT_EQ(gaps.Written(1.001, 1.0012), 0);  // the first write: nothing before it
  EXPECT_EQ(gaps.Written(1.002, 1.0021), 0);  // on time
  EXPECT_EQ(gaps.Written(1.003, 1.0031), 0);
  EXPECT_NEAR(gaps.Written(1.004, 1.0066), 0.0035, 1e-9);  // 3.5 ms after the one before
  EXPECT_EQ(gaps.Written(1.005, 1.0067), 0);  // caught up
  // The next reply, scheduled long after: its first byte is no pause, however late.
  EXPECT_EQ(gaps.Written(1.100, 1.2), 0);
  // Up to two byte times are the line's own rate plus a late wake-up.
  EXPECT_EQ(gaps.Written(1.101, 1.2019), 0);
}

// Looks every 50 us at a reply of `bytes` bytes, one every 260 us, the host reading it
// 800 us after its last byte; `stallAfter`: the byte after which nothing arrives for
// `stallUs` although the device goes on (the kernel holds it); returns the findings.
std::vector<zorv::sim::WatchFinding> WatchReply(int bytes, int stallAfter = -1, int stallUs = 0,
                                                bool deviceHeld = false) {
  zorv::sim::StallWatch watch;
  std::vector<zorv::sim::WatchFinding> found;
  std::vector<double> arrives;  // when each byte reaches the host's end
  std::vector<double> written;  // when the device wrote it
  double t = 1.0;
  for (int i = 0; i < bytes; ++i) {
    t += 260e-6;
    if (i == stallAfter + 1 && stallAfter >= 0 && deviceHeld) t += stallUs * 1e-6;
    written.push_back(t);
    arrives.push_back(t + (i == stallAfter + 1 && stallAfter >= 0 && !deviceHeld ? stallUs * 1e-6 : 20e-6));
  }
  for (std::size_t i = 1; i < arrives.size(); ++i) arrives[i] = std::max(arrives[i], arrives[i - 1]);
  const double readAt = arrives.back() + 800e-6;
  for (double now = 1.0; now < readAt + 2e-3; now += 50e-6) {
    long count = 0, wrote = 0;
    for (double a : arrives) count += a <= now ? 1 : 0;
    for (double w : written) wrote += w <= now ? 1 : 0;
    if (now >= readAt) count = 0;
    const bool more = wrote > 0 && wrote < bytes;
    if (auto f = watch.Look(now, count, wrote, more, 7)) found.push_back(*f);
  }
  return found;
}

TEST(ZorvsimStallWatch, AReplyAtTheLineRateAndItsEndAreNoStall) {
  EXPECT_TRUE(WatchReply(4).empty());
  EXPECT_TRUE(WatchReply(200).empty());
  // A byte 300 us late: the count stands still for 540 us, below the mark.
  EXPECT_TRUE(WatchReply(4, 1, 300).empty());
}

TEST(ZorvsimStallWatch, ACountStandingStillInsideAReplyIsAStallOnce) {
  for (bool deviceHeld : {false, true}) {
    for (int after : {0, 1, 2}) {  // the last case: the reply's last byte is the late one
      const auto found = WatchReply(4, after, 2000, deviceHeld);
      ASSERT_EQ(found.size(), 1u) << deviceHeld << after;
      EXPECT_FALSE(found[0].blind);
      EXPECT_EQ(found[0].block, 7);
      EXPECT_GE(found[0].micros, 600);
      EXPECT_LE(found[0].micros, 700);  // found as soon as it is one
    }
  }
}

TEST(ZorvsimStallWatch, AWatcherHeldUpInsideAReplyCannotVouchForIt) {
  zorv::sim::StallWatch watch;
  EXPECT_FALSE(watch.Look(1.0, 0, 0, false, 3));
  EXPECT_FALSE(watch.Look(1.00005, 1, 1, true, 3));   // the reply's first byte
  EXPECT_FALSE(watch.Look(1.0001, 1, 1, true, 3));
  // Held 900 us: the second byte arrived meanwhile, but when is unknown.
  const auto f = watch.Look(1.001, 2, 2, true, 3);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->blind);
  EXPECT_EQ(f->block, 3);
  // Held while nothing was under way: nothing to vouch for.
  zorv::sim::StallWatch idle;
  EXPECT_FALSE(idle.Look(1.0, 0, 10, false, 3));
  EXPECT_FALSE(idle.Look(1.5, 0, 10, false, 3));
  EXPECT_FALSE(idle.Look(1.50005, 1, 11, true, 3));
}

TEST(ZorvsimStallWatch, BytesLeftFromBeforeDoNotDateANewReplysStall) {
  // The host left 4 bytes unread a second ago; a new reply's first byte is on its way.
  zorv::sim::StallWatch watch;
  EXPECT_FALSE(watch.Look(1.0, 4, 4, false, 1));
  EXPECT_FALSE(watch.Look(2.0, 4, 4, false, 1));
  EXPECT_FALSE(watch.Look(2.00005, 4, 5, true, 2));
  EXPECT_FALSE(watch.Look(2.0001, 5, 5, true, 2));
  // Standing still from here on counts from the last change.
  std::optional<zorv::sim::WatchFinding> f;
  for (double t = 2.00015; t < 2.0008 && !f; t += 50e-6) f = watch.Look(t, 5, 5, true, 2);
  ASSERT_TRUE(f);
  EXPECT_NEAR(f->micros, 600, 60);
}

TEST(ZorvsimOptions, DefaultsAndEveryOption) {
  const auto d = Parse({});
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.options.ident, "ZORVANTIQUE");
  EXPECT_EQ(d.options.name, "TPX2");
  EXPECT_EQ(d.options.version, "6.0");
  EXPECT_EQ(d.options.blocks, 1016);
  EXPECT_EQ(d.options.baud, 38462);
  EXPECT_EQ(d.options.lingerMs, 300);
  EXPECT_EQ(d.options.pace, Pace::None);
  EXPECT_EQ(d.options.idleExitSeconds, 0);

  const auto a = Parse({"--pty", "--link", "/tmp/l", "--ident", "ABC", "--name=N 1", "--version",
                        "", "--blocks", "10", "--no-vers-reply", "--ident-lower", "--ident-only",
                        "--split-ack", "1", "--bad-crc", "2", "--silence-from", "3", "--early-fz",
                        "4", "--garbage", "5", "--extra-after-ack", "6", "--hangup", "10",
                        "--no-final-fz", "--split-gap", "0", "--pace", "uart", "--baud", "1200",
                        "--echo", "--idle-exit", "1.5", "--linger", "0"});
  ASSERT_TRUE(a.ok) << a.error;
  const auto& o = a.options;
  EXPECT_EQ(o.link, "/tmp/l");
  EXPECT_EQ(o.ident, "ABC");
  EXPECT_EQ(o.name, "N 1");
  EXPECT_EQ(o.version, "");
  EXPECT_EQ(o.blocks, 10);
  EXPECT_TRUE(o.noVersReply && o.identLower && o.identOnly && o.noFinalFz && o.echo);
  EXPECT_EQ(o.splitAck, 1);
  EXPECT_EQ(o.badCrc, 2);
  EXPECT_EQ(o.silenceFrom, 3);
  EXPECT_EQ(o.earlyFz, 4);
  EXPECT_EQ(o.garbage, 5);
  EXPECT_EQ(o.extraAfterAck, 6);
  EXPECT_EQ(o.hangup, 10);
  EXPECT_EQ(o.splitGapMs, 0);
  EXPECT_EQ(o.pace, Pace::Uart);
  EXPECT_EQ(o.baud, 1200);
  EXPECT_DOUBLE_EQ(o.idleExitSeconds, 1.5);
  EXPECT_EQ(o.lingerMs, 0);

  EXPECT_EQ(Parse({"--device", "/dev/ttyUSB0"}).options.device, "/dev/ttyUSB0");
  EXPECT_TRUE(Parse({"--help"}).options.help);

  const auto m = Parse({"--wrong-in", "7", "--dup-ack", "8", "--echo-from", "9", "--after-pusk", "crc",
                        "--stall", "3", "--resume=2500", "--ident-size", "4608", "--image", "/tmp/i.bin"});
  ASSERT_TRUE(m.ok) << m.error;
  EXPECT_EQ(m.options.wrongIn, 7);
  EXPECT_EQ(m.options.dupAck, 8);
  EXPECT_EQ(m.options.echoFrom, 9);
  EXPECT_EQ(m.options.afterPusk, zorv::sim::Options::AfterPusk::Crc);
  EXPECT_EQ(m.options.stall, 3);
  EXPECT_EQ(m.options.resumeMs, 2500);
  EXPECT_EQ(m.options.identSize, 4608);
  EXPECT_EQ(m.options.imagePath, "/tmp/i.bin");
  EXPECT_EQ(Parse({}).options.resumeMs, -1);  // a stall lasts for ever unless told otherwise
  EXPECT_EQ(Parse({"--after-pusk", "final", "--stall-after-ack", "1016"}).options.afterPusk,
            zorv::sim::Options::AfterPusk::Final);
}

TEST(ZorvsimOptions, TextsTakeByteEscapes) {
  const auto a = Parse({"--name", "A\\x1b[31mB\\\\C", "--version", "\\x00\\xFf"});
  ASSERT_TRUE(a.ok) << a.error;
  EXPECT_EQ(a.options.name, "A\x1b[31mB\\C");
  EXPECT_EQ(a.options.version, std::string("\0\xff", 2));
  for (const char* bad : {"\\x1", "\\xg0", "\\", "a\\n"}) EXPECT_FALSE(Parse({"--name", bad}).ok) << bad;
}

TEST(ZorvsimOptions, RejectsWhatItCannotServe) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},
      {"--blocks"},                      // value missing
      {"--blocks", "0"},
      {"--blocks", "12x"},
      {"--blocks", "-3"},
      {"--split-ack", "0"},              // blocks count from 1
      {"--hangup", "1017"},              // beyond the last block
      {"--blocks", "2", "--garbage", "3"},
      {"--pace", "fast"},
      {"--baud", "0"},
      {"--idle-exit", "0"},
      {"--idle-exit", "nan"},
      {"--linger", "-1"},
      {"--pty", "--device", "/dev/ttyS0"},
      {"--device", "/dev/ttyS0", "--link", "/tmp/x"},
      {"--echo=1"},                      // a flag takes no value
      {"--device", ""},
      {"--after-pusk", "twice"},
      {"--stall", "2", "--stall-after-ack", "3"},
      {"--resume", "100"},               // nothing to resume from
      {"--blocks", "2", "--wrong-in", "3"},
      {"--ident-size", "0"},
  };
  for (const auto& args : bad) {
    const auto r = Parse(args);
    EXPECT_FALSE(r.ok) << args[0];
    EXPECT_FALSE(r.error.empty()) << args[0];
  }
}

// ---- Report -----------------------------------------------------------------------------

TEST(ZorvsimReport, JsonReadsBackWithEveryField) {
  zorv::sim::Report r;
  r.image_bytes = 260096;
  r.image_sha256 = std::string(64, 'a');
  r.image_crc = "00AB";
  r.blocks_received = 1016;
  r.blocks_acked = 1015;
  r.pusk = true;
  r.extra_bytes = 3;
  r.stray_bytes = 2;
  r.vers_queries = 2;
  r.exit = "pusk";
  r.events.push_back({0.0012, "vers", 0, 0, "", "", ""});
  r.events.push_back({1.5, "final", 1016, 0, "ABCD", "split,extra", ""});
  r.events.push_back({2.25, "exit", 0, 0, "", "", "odd \"reason\"\n\x01"});
  r.events.push_back({2.5, "stall", 12, 0, "", "", "", 640});

  const std::string json = zorv::sim::ToJson(r);
  EXPECT_EQ(json.find('\n'), std::string::npos);  // one line
  const auto back = zorv::test::ParseSimReport(json);
  ASSERT_TRUE(back.valid);
  EXPECT_EQ(back.mode, "device");
  EXPECT_EQ(back.image_bytes, 260096);
  EXPECT_EQ(back.image_sha256, r.image_sha256);
  EXPECT_EQ(back.image_crc, "00AB");
  EXPECT_EQ(back.image_mismatch, -2);  // no image given: no field
  r.image_checked = true;
  r.image_mismatch = 300;
  EXPECT_EQ(zorv::test::ParseSimReport(zorv::sim::ToJson(r)).image_mismatch, 300);
  EXPECT_EQ(back.blocks_received, 1016);
  EXPECT_EQ(back.blocks_acked, 1015);
  EXPECT_TRUE(back.pusk);
  EXPECT_EQ(back.extra_bytes, 3);
  EXPECT_EQ(back.stray_bytes, 2);
  EXPECT_EQ(back.vers_queries, 2);
  EXPECT_EQ(back.echo_bytes, 0);
  EXPECT_EQ(back.exit, "pusk");
  ASSERT_EQ(back.events.size(), 4u);
  EXPECT_EQ(back.events[3].us, 640);
  EXPECT_TRUE(back.LinePausedIn(12));
  EXPECT_FALSE(back.LinePausedIn(11));
  EXPECT_NEAR(back.events[0].t, 0.0012, 1e-9);
  EXPECT_EQ(back.events[1].event, "final");
  EXPECT_EQ(back.events[1].block, 1016);
  EXPECT_EQ(back.events[1].crc, "ABCD");
  EXPECT_EQ(back.events[1].fault, "split,extra");
  EXPECT_EQ(back.events[2].reason, "odd \"reason\"\n\x01");
}

TEST(ZorvsimReport, MalformedTextIsNoReport) {
  for (const char* text : {"", "{", "[1,2]", "{\"exit\":\"pusk\"", "{\"exit\":pusk}", "nonsense"}) {
    EXPECT_FALSE(zorv::test::ParseSimReport(text).valid) << text;
  }
}

}  // namespace
