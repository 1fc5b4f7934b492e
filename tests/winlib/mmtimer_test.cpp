#include "winlib/MMTimer.h"

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

// Records the ticks of a timer, from whatever thread they come.
struct TickLog {
  std::mutex m;
  std::condition_variable changed;
  std::vector<Clock::time_point> times;
  std::vector<std::thread::id> threads;
  // Runs on the tick's thread after the tick is recorded, with the tick's number (from 1).
  std::function<void(int, TMMTimer*)> action;

  static void OnTimer(void* data, TObj* sender) {
    auto* log = static_cast<TickLog*>(data);
    int n = 0;
    {
      std::lock_guard<std::mutex> lock(log->m);
      log->times.push_back(Clock::now());
      log->threads.push_back(std::this_thread::get_id());
      n = static_cast<int>(log->times.size());
    }
    log->changed.notify_all();
    if (log->action) log->action(n, static_cast<TMMTimer*>(sender));
  }

  void Attach(TMMTimer* t) {
    t->OnTimer.Proc = &TickLog::OnTimer;
    t->OnTimer.Data = this;
  }
  int Count() {
    std::lock_guard<std::mutex> lock(m);
    return static_cast<int>(times.size());
  }
  bool WaitCount(int n, std::chrono::milliseconds within = 5000ms) {
    std::unique_lock<std::mutex> lock(m);
    return changed.wait_for(lock, within, [&] { return static_cast<int>(times.size()) >= n; });
  }
};

// A flag one thread raises and another waits for.
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

TEST(MMTimer, NewTimerIsPeriodicAndStopped) {
  TObjPtr<TMMTimer> t{NewMMTimer(250)};
  EXPECT_EQ(t->Interval, 250u);
  EXPECT_EQ(t->Periodic, 1);
  EXPECT_EQ(t->Resolution, 0u);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
  EXPECT_EQ(t->OnTimer.Proc, nullptr);

  t->SetEnabled(false);  // already stopped: nothing changes
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
}

TEST(MMTimer, TicksKeepTheirPhaseOnAnotherThreadUntilStopped) {
  TickLog log;
  TObjPtr<TMMTimer> t{NewMMTimer(20)};
  t->Resolution = 1;
  log.Attach(t.get());
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
  TObjPtr<TMMTimer> t{NewMMTimer(25)};
  log.Attach(t.get());
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

TEST(MMTimer, ATickStopsItsOwnTimer) {
  TickLog log;
  TObjPtr<TMMTimer> t{NewMMTimer(20)};
  log.Attach(t.get());
  log.action = [](int n, TMMTimer* self) {
    if (n == 2) self->SetEnabled(false);
  };
  t->SetEnabled(true);
  ASSERT_TRUE(log.WaitCount(2));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(log.Count(), 2);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
}

TEST(MMTimer, ATickRestartsItsOwnTimer) {
  TickLog log;
  TObjPtr<TMMTimer> t{NewMMTimer(20)};
  log.Attach(t.get());
  log.action = [](int n, TMMTimer* self) {
    if (n == 1) {
      self->SetEnabled(false);
      self->SetEnabled(true);
    }
    if (n == 2) self->SetInterval(15);  // a restart with another period from the tick
  };
  t->SetEnabled(true);
  EXPECT_TRUE(log.WaitCount(5));
  EXPECT_NE(t->TimerId.load(), 0u);
}

TEST(MMTimer, FreeWaitsForARunningTickAndNothingTicksAfterIt) {
  TickLog log;
  Signal entered;
  std::atomic<bool> left{false};
  TMMTimer* t = NewMMTimer(20);
  log.Attach(t);
  log.action = [&](int n, TMMTimer*) {
    if (n != 1) return;
    entered.Raise();
    std::this_thread::sleep_for(100ms);
    left.store(true);
  };
  t->SetEnabled(true);
  ASSERT_TRUE(entered.Wait());
  Free(t);
  EXPECT_TRUE(left.load());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.Count(), 1);
}

TEST(MMTimer, FreeOfARunningTimerStopsIt) {
  TickLog log;
  TMMTimer* t = NewMMTimer(20);
  log.Attach(t);
  t->SetEnabled(true);
  ASSERT_TRUE(log.WaitCount(2));
  Free(t);
  const int atFree = log.Count();
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(log.Count(), atFree);
}

TEST(MMTimer, ATickFreesItsOwnTimer) {
  TickLog log;
  Signal freed;
  TMMTimer* t = NewMMTimer(20);
  log.Attach(t);
  log.action = [&](int n, TMMTimer* self) {
    if (n != 2) return;
    Free(self);
    freed.Raise();
  };
  t->SetEnabled(true);
  ASSERT_TRUE(freed.Wait());
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(log.Count(), 2);
}

TEST(MMTimer, SetIntervalOnAStoppedTimerOnlyStoresIt) {
  TickLog log;
  TObjPtr<TMMTimer> t{NewMMTimer(1000)};
  log.Attach(t.get());
  t->SetInterval(20);
  EXPECT_EQ(t->Interval, 20u);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_FALSE(t->Enabled.load());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.Count(), 0);
}

TEST(MMTimer, SetIntervalOnARunningTimerAppliesAtOnce) {
  TickLog log;
  TObjPtr<TMMTimer> t{NewMMTimer(100000)};
  log.Attach(t.get());
  t->SetEnabled(true);
  const std::uint32_t id = t->TimerId.load();
  t->SetInterval(100000);  // unchanged: the same timer goes on
  EXPECT_EQ(t->TimerId.load(), id);

  t->SetInterval(20);  // otherwise the first tick would come after 100 s
  EXPECT_NE(t->TimerId.load(), 0u);
  EXPECT_TRUE(t->Enabled.load());
  EXPECT_TRUE(log.WaitCount(3));
}

TEST(MMTimer, ARefusedStartLeavesItEnabledWithoutTicks) {
  TickLog log;
  TObjPtr<TMMTimer> t{NewMMTimer(0)};  // no system takes a period of 0
  log.Attach(t.get());
  t->SetEnabled(true);
  EXPECT_EQ(t->TimerId.load(), 0u);
  EXPECT_TRUE(t->Enabled.load());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.Count(), 0);

  t->SetInterval(20);  // still enabled: starts with the new period
  EXPECT_NE(t->TimerId.load(), 0u);
  EXPECT_TRUE(log.WaitCount(2));
}

TEST(MMTimer, OneShotTicksOnce) {
  TickLog log;
  TObjPtr<TMMTimer> t{NewMMTimer(20)};
  t->Periodic = 0;
  log.Attach(t.get());
  t->SetEnabled(true);
  ASSERT_TRUE(log.WaitCount(1));
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(log.Count(), 1);
  EXPECT_NE(t->TimerId.load(), 0u);  // switched on until switched off
  t->SetEnabled(false);
  EXPECT_EQ(t->TimerId.load(), 0u);
}

TEST(MMTimer, TicksWithoutAHandlerAreHarmless) {
  TObjPtr<TMMTimer> t{NewMMTimer(10)};
  t->SetEnabled(true);
  std::this_thread::sleep_for(60ms);
}

TEST(PerformanceCounter, RunsForwardAtAKnownFrequency) {
  EXPECT_GT(zorv::platform::PerformanceFrequency(), 0);
  const std::int64_t a = zorv::platform::PerformanceCounter();
  std::this_thread::sleep_for(20ms);
  const std::int64_t b = zorv::platform::PerformanceCounter();
  EXPECT_GT(b, a);
  // At least most of the 20 ms show up in the counter.
  EXPECT_GE((b - a) * 1000 / zorv::platform::PerformanceFrequency(), 15);
}

}  // namespace
