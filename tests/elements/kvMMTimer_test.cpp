#include "elements/kvMMTimer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/probes.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zorv::test::EventsOnScope;

constexpr std::uint16_t kTick = 0;
constexpr std::uint16_t kStop = 1;

// Records onTimer ("T") and onStop ("S") from any thread.
struct Recorder {
  std::mutex m;
  std::condition_variable changed;
  std::string events;
  std::vector<std::thread::id> threads;
  std::vector<std::uint8_t> kinds;
  Clock::time_point lastStop;
  // Runs on the firing thread after the event is recorded: (point, events so far).
  std::function<void(std::uint16_t, const std::string&)> action;

  void doIt(TData& d, std::uint16_t index) {
    std::string now;
    {
      std::lock_guard<std::mutex> lock(m);
      events += index == kTick ? 'T' : 'S';
      threads.push_back(std::this_thread::get_id());
      kinds.push_back(d.DataKind);
      if (index == kStop) lastStop = Clock::now();
      now = events;
    }
    changed.notify_all();
    if (action) action(index, now);
  }

  void Wire(TKvMMTimer* t) {
    t->onTimer = MakePoint<&Recorder::doIt>(kTick, this);
    t->onStop = MakePoint<&Recorder::doIt>(kStop, this);
  }
  std::string Events() {
    std::lock_guard<std::mutex> lock(m);
    return events;
  }
  int Count(char c) {
    const std::string e = Events();
    return static_cast<int>(std::count(e.begin(), e.end(), c));
  }
  bool WaitFor(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds within = 5000ms) {
    std::unique_lock<std::mutex> lock(m);
    return changed.wait_for(lock, within, [&] { return done(events); });
  }
  bool WaitEvents(const std::string& expected) {
    return WaitFor([&](const std::string& e) { return e.size() >= expected.size(); }) && Events() == expected;
  }
};

struct Signal {
  std::mutex m;
  std::condition_variable cv;
  bool raised = false;
  // Notifies under the lock: the waiter may destroy the signal as soon as it wakes.
  void Raise() {
    std::lock_guard<std::mutex> lock(m);
    raised = true;
    cv.notify_all();
  }
  bool Wait(std::chrono::milliseconds within = 5000ms) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, within, [&] { return raised; });
  }
};

TData Null() { return TData{}; }

// A tick as the library timer delivers it, run on the test's own thread.
void TickByHand(TKvMMTimer* t) { t->Timer->OnTimer.Proc(t->Timer->OnTimer.Data, t->Timer); }

class MMTimerElement : public ::testing::Test {
 protected:
  EventsOnScope events;
  Recorder rec;
  TObjPtr<TKvMMTimer> timer{New<TKvMMTimer>()};
  void Start() {
    TData d = Null();
    timer->doStart(d, 0);
  }
  void Stop() {
    TData d = Null();
    timer->doStop(d, 0);
  }
};

// ---- The tick algorithm, with ticks delivered by hand ----------------------------------

class TickByHandTest : public MMTimerElement {
 protected:
  void SetUp() override {
    timer->Interval = 1000000;  // the real timer never ticks during these tests
    rec.Wire(timer.get());
  }
};

TEST_F(MMTimerElement, StartsStoppedWithItsLibraryTimer) {
  EXPECT_EQ(timer->Interval, 1000u);
  EXPECT_EQ(timer->Count, 0);
  EXPECT_FALSE(timer->Enabled);
  EXPECT_FALSE(timer->Busy.load());
  ASSERT_NE(timer->Timer, nullptr);
  EXPECT_EQ(timer->Timer->Interval, 1000u);
  EXPECT_EQ(timer->Timer->Periodic, 1);
  EXPECT_EQ(timer->Timer->TimerId.load(), 0u);
}

TEST_F(TickByHandTest, CountThreeGivesThreeTicksThenStop) {
  timer->Count = 3;
  timer->Resolution = 1;
  Start();
  EXPECT_EQ(timer->Remaining.load(), 3);
  EXPECT_NE(timer->Timer->TimerId.load(), 0u);
  EXPECT_EQ(timer->Timer->Interval, 1000000u);
  EXPECT_EQ(timer->Timer->Resolution, 1u);

  TickByHand(timer.get());
  TickByHand(timer.get());
  EXPECT_EQ(rec.Events(), "TT");
  EXPECT_EQ(timer->Remaining.load(), 1);
  TickByHand(timer.get());
  EXPECT_EQ(rec.Events(), "TTTS");
  EXPECT_EQ(timer->Remaining.load(), 0);
  EXPECT_EQ(timer->Timer->TimerId.load(), 0u);
  EXPECT_FALSE(timer->Busy.load());
  for (std::uint8_t kind : rec.kinds) EXPECT_EQ(kind, kindNull);
}

TEST_F(TickByHandTest, CountZeroOrNegativeNeverStopsByItself) {
  Start();
  for (int i = 0; i < 4; ++i) TickByHand(timer.get());
  EXPECT_EQ(timer->Remaining.load(), -1);
  EXPECT_EQ(rec.Events(), "TTTT");
  Stop();
  EXPECT_EQ(rec.Events(), "TTTTS");
  EXPECT_EQ(timer->Timer->TimerId.load(), 0u);

  timer->Count = -5;
  Start();
  TickByHand(timer.get());
  EXPECT_EQ(timer->Remaining.load(), -5);
}

TEST_F(TickByHandTest, ATickDuringATickIsDropped) {
  Start();
  rec.action = [this](std::uint16_t point, const std::string& e) {
    if (point == kTick && e.size() == 1) TickByHand(timer.get());
  };
  TickByHand(timer.get());
  EXPECT_EQ(rec.Events(), "T");
  EXPECT_EQ(timer->Remaining.load(), -1);

  timer->Busy.store(true);
  TickByHand(timer.get());
  EXPECT_EQ(rec.Events(), "T");
}

TEST_F(TickByHandTest, StartFromATickResetsRemaining) {
  timer->Count = 3;
  Start();
  rec.action = [this](std::uint16_t point, const std::string& e) {
    if (point == kTick && e == "TT") Start();
  };
  for (int i = 0; i < 5; ++i) TickByHand(timer.get());
  EXPECT_EQ(rec.Events(), "TTTTTS");
}

TEST_F(TickByHandTest, StopFromATick) {
  Start();
  rec.action = [this](std::uint16_t point, const std::string&) {
    if (point == kTick) Stop();
  };
  TickByHand(timer.get());
  EXPECT_EQ(rec.Events(), "TS");
  EXPECT_EQ(timer->Timer->TimerId.load(), 0u);
  EXPECT_FALSE(timer->Busy.load());
}

TEST_F(TickByHandTest, StopFiresEvenWhenStopped) {
  Stop();
  Stop();
  EXPECT_EQ(rec.Events(), "SS");
}

TEST_F(TickByHandTest, FreedFromItsOwnTick) {
  TKvMMTimer* t = timer.release();
  t->Count = 1;
  TData d;
  t->doStart(d, 0);
  rec.action = [t](std::uint16_t point, const std::string&) {
    if (point == kTick) Free(t);
  };
  TickByHand(t);  // returns without touching the freed element: no onStop
  EXPECT_EQ(rec.Events(), "T");
}

// ---- With the real timer ---------------------------------------------------------------

class RealTicks : public MMTimerElement {
 protected:
  void SetUp() override {
    timer->Interval = 20;
    rec.Wire(timer.get());
  }
};

TEST_F(RealTicks, CountThreeTicksThreeTimesThenStopsAndStartsAgain) {
  timer->Count = 3;
  const Clock::time_point start = Clock::now();
  Start();
  ASSERT_TRUE(rec.WaitEvents("TTTS"));
  EXPECT_GE(rec.lastStop - start, 3 * 20ms - 10ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rec.Events(), "TTTS");
  {
    std::lock_guard<std::mutex> lock(rec.m);
    for (const std::thread::id& id : rec.threads) EXPECT_NE(id, std::this_thread::get_id());
  }

  Start();
  ASSERT_TRUE(rec.WaitEvents("TTTSTTTS"));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rec.Events(), "TTTSTTTS");
}

TEST_F(RealTicks, CountZeroRunsUntilStop) {
  Start();
  ASSERT_TRUE(rec.WaitFor([](const std::string& e) { return e.size() >= 4; }));
  Stop();
  const int ticks = rec.Count('T');
  std::this_thread::sleep_for(100ms);
  EXPECT_LE(rec.Count('T'), ticks + 1);  // at most a tick already under way
  EXPECT_EQ(rec.Count('S'), 1);
  EXPECT_EQ(rec.Events().find('S'), static_cast<std::size_t>(ticks));
}

TEST_F(RealTicks, StartTwiceDoesNotDoubleTheRate) {
  timer->Interval = 25;
  const Clock::time_point start = Clock::now();
  Start();
  Start();
  std::this_thread::sleep_for(500ms);
  Stop();
  const auto elapsed = Clock::now() - start;
  std::this_thread::sleep_for(60ms);
  EXPECT_LE(rec.Count('T'), static_cast<int>(elapsed / 25ms) + 2);
  EXPECT_GE(rec.Count('T'), 1);
}

TEST_F(RealTicks, StopFromAnotherThreadDoesNotWaitForTheRunningTick) {
  Signal entered, release;
  rec.action = [&](std::uint16_t point, const std::string& e) {
    if (point != kTick || e != "T") return;
    entered.Raise();
    release.Wait();
  };
  Start();
  ASSERT_TRUE(entered.Wait());
  Stop();  // the tick is still held
  EXPECT_EQ(rec.Events(), "TS");
  release.Raise();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rec.Events(), "TS");
  EXPECT_FALSE(timer->Busy.load());
}

TEST_F(RealTicks, StopFromDownstreamDuringATick) {
  rec.action = [this](std::uint16_t point, const std::string& e) {
    if (point == kTick && e == "TT") Stop();
  };
  Start();
  ASSERT_TRUE(rec.WaitEvents("TTS"));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rec.Events(), "TTS");
}

TEST_F(RealTicks, FreeWaitsForARunningTick) {
  Signal entered;
  std::atomic<bool> left{false};
  rec.action = [&](std::uint16_t point, const std::string& e) {
    if (point != kTick || e != "T") return;
    entered.Raise();
    std::this_thread::sleep_for(100ms);
    left.store(true);
  };
  Start();
  ASSERT_TRUE(entered.Wait());
  timer.reset();
  EXPECT_TRUE(left.load());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rec.Events(), "T");
}

TEST_F(RealTicks, FreedFromItsOwnStop) {
  Signal freed;
  TKvMMTimer* t = timer.release();
  t->Count = 2;
  rec.action = [&](std::uint16_t point, const std::string&) {
    if (point != kStop) return;
    Free(t);
    freed.Raise();
  };
  TData d;
  t->doStart(d, 0);
  ASSERT_TRUE(freed.Wait());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(rec.Events(), "TTS");
}

}  // namespace
