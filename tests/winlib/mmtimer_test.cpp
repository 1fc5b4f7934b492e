// The library's multimedia timer on the real timer.
#include "winlib/MMTimer.h"
#include "tests/support/probes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/counter.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Records the ticks of a timer, from whatever thread they come; action(n, timer) then runs
// on the tick's thread for tick n (from 1).
struct TickLog {
  std::mutex m;
  std::condition_variable changed;
  std::vector<Clock::time_point> times;
  std::vector<std::thread::id> threads;
  std::function<void(int, TMMTimer*)> action;

  static void OnTimer(void* data, TObj* sender) {
    auto* log = static_cast<TickLog*>(data);
    int n = 0;
    {
      std::lock_guard<std::mutex> lock(log->m);
      log->times.push_back(Clock::now());
      log->threads.push_back(std::this_thread::get_id());
      n = static_cast<int>(log->times.size());
      log->changed.notify_all();
    }
    if (log->action) log->action(n, static_cast<TMMTimer*>(sender));
  }
  TMMTimer* Attach(TMMTimer* t) {
    t->OnTimer = TObjEvent{&TickLog::OnTimer, this};
    return t;
  }
  int Count() {
    std::lock_guard<std::mutex> lock(m);
    return static_cast<int>(times.size());
  }
  bool WaitCount(int n) {
    std::unique_lock<std::mutex> lock(m);
    return changed.wait_for(lock, 5s, [&] { return static_cast<int>(times.size()) >= n; });
  }
};

TEST(MMTimer, NewTimerIsPeriodicAndStopped) {
  TObjPtr<TMMTimer> t{NewMMTimer(250)};
  EXPECT_EQ(t->Interval, 250u);
  EXPECT_EQ(t->Periodic, 1);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
  t->SetEnabled(false);  // already stopped: nothing changes
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
}

TEST(MMTimer, TicksKeepTheirPhaseOnAnotherThreadUntilStopped) {
  TickLog log;
  TObjPtr<TMMTimer> t{log.Attach(NewMMTimer(20))};
  const Clock::time_point start = Clock::now();
  t->SetEnabled(true);
  EXPECT_NE(t->TimerId.load(), 0u);
  EXPECT_TRUE(t->Enabled.load());
  ASSERT_TRUE(log.WaitCount(5));

  t->SetEnabled(false);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
  const int atStop = log.Count();
  std::this_thread::sleep_for(150ms);
  EXPECT_LE(log.Count(), atStop + 1);  // at most a tick that was already under way

  std::lock_guard<std::mutex> lock(log.m);
  for (const std::thread::id& id : log.threads) EXPECT_NE(id, std::this_thread::get_id());
  // Tick n is due n periods after the start; the system may be a little early.
  EXPECT_GE(log.times[4] - start, 5 * 20ms - 10ms);
}

TEST(MMTimer, EnablingTwiceStartsOneTimer) {
  TickLog log;
  TObjPtr<TMMTimer> t{log.Attach(NewMMTimer(25))};
  const Clock::time_point start = Clock::now();
  t->SetEnabled(true);
  const std::uint32_t id = t->TimerId.load();
  t->SetEnabled(true);
  EXPECT_EQ(t->TimerId.load(), id);
  std::this_thread::sleep_for(500ms);
  t->SetEnabled(false);
  const auto elapsed = Clock::now() - start;
  std::this_thread::sleep_for(60ms);
  // One timer gives about elapsed / 25 ms ticks; two would give twice as many.
  EXPECT_LE(log.Count(), static_cast<int>(elapsed / 25ms) + 2);
  EXPECT_GE(log.Count(), 1);
}

TEST(MMTimer, ATickRestartsAndStopsItsOwnTimer) {
  TickLog log;
  TObjPtr<TMMTimer> t{log.Attach(NewMMTimer(20))};
  log.action = [](int n, TMMTimer* self) {
    if (n == 1) {
      self->SetEnabled(false);
      self->SetEnabled(true);
    }
    if (n == 2) self->SetInterval(15);
    if (n == 4) self->SetEnabled(false);
  };
  t->SetEnabled(true);
  ASSERT_TRUE(log.WaitCount(4));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(log.Count(), 4);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
}

TEST(MMTimer, FreeWaitsForARunningTickAndNothingTicksAfterIt) {
  TickLog log;
  std::atomic<bool> entered{false}, left{false};
  TMMTimer* t = log.Attach(NewMMTimer(20));
  log.action = [&](int n, TMMTimer*) {
    if (n != 2) return;
    entered.store(true);
    std::this_thread::sleep_for(100ms);
    left.store(true);
  };
  t->SetEnabled(true);
  EXPECT_TRUE(zorv::test::Eventually([&] { return entered.load(); }, 5));
  Free(t);
  EXPECT_TRUE(left.load());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.Count(), 2);
}

TEST(MMTimer, ATickFreesItsOwnTimer) {
  TickLog log;
  std::atomic<bool> freed{false};
  TMMTimer* t = log.Attach(NewMMTimer(20));
  log.action = [&](int n, TMMTimer* self) {
    if (n != 2) return;
    Free(self);
    freed.store(true);
  };
  t->SetEnabled(true);
  ASSERT_TRUE(zorv::test::Eventually([&] { return freed.load(); }, 5));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.Count(), 2);
}

TEST(MMTimer, SetIntervalRestartsOnlyARunningTimer) {
  TickLog log;
  TObjPtr<TMMTimer> t{log.Attach(NewMMTimer(60000))};
  t->SetInterval(50000);  // stopped: only stored
  EXPECT_EQ(t->Interval, 50000u);
  EXPECT_EQ(t->TimerId.load(), 0u);

  t->SetEnabled(true);
  const std::uint32_t id = t->TimerId.load();
  ASSERT_NE(id, 0u);
  t->SetInterval(50000);  // unchanged: the same timer goes on
  EXPECT_EQ(t->TimerId.load(), id);
  t->SetInterval(20);  // otherwise the first tick would come after 50 s
  EXPECT_TRUE(log.WaitCount(3));
}

TEST(MMTimer, ARefusedStartLeavesItEnabledWithoutTicks) {
  TickLog log;
  TObjPtr<TMMTimer> t{log.Attach(NewMMTimer(0))};  // no system takes a period of 0
  t->SetEnabled(true);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_TRUE(t->Enabled.load());
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(log.Count(), 0);
  t->SetInterval(20);  // still enabled: starts with the new period
  EXPECT_TRUE(log.WaitCount(2));
}

TEST(MMTimer, OneShotTicksOnce) {
  TickLog log;
  TObjPtr<TMMTimer> t{log.Attach(NewMMTimer(20))};
  t->Periodic = 0;
  t->SetEnabled(true);
  ASSERT_TRUE(log.WaitCount(1));
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(log.Count(), 1);
}

TEST(PerformanceCounter, RunsForwardAtItsFrequency) {
  const std::int64_t f = zorv::platform::PerformanceFrequency();
  ASSERT_GT(f, 0);
  const std::int64_t a = zorv::platform::PerformanceCounter();
  std::this_thread::sleep_for(20ms);
  EXPECT_GE((zorv::platform::PerformanceCounter() - a) * 1000 / f, 15);
}

}  // namespace
