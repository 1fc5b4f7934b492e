// POSIX system timer: each owner gets one worker thread of its own that runs the owner's
// timers from a schedule on the monotonic clock.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/mmtimer.h"

namespace zorv::platform {

namespace {

using Clock = std::chrono::steady_clock;

struct Scheduled {
  std::uint32_t id;
  Clock::duration interval;
  bool periodic;
  Clock::time_point due;
};

}  // namespace

struct SystemTimer::State {
  TimerProc proc = nullptr;
  void* user = nullptr;
  std::mutex lock;
  std::condition_variable wake;  // the schedule changed, or closing
  std::vector<Scheduled> timers;
  std::uint32_t lastId = 0;
  bool closing = false;
  std::thread worker;  // started with the first timer
};

namespace {

// The worker holds the state alive on its own: an owner freed by one of its ticks is gone
// when that tick returns here.
void RunTimers(std::shared_ptr<SystemTimer::State> s) {
  std::unique_lock<std::mutex> lock(s->lock);
  while (!s->closing) {
    if (s->timers.empty()) {
      s->wake.wait(lock);
      continue;
    }
    const auto next = std::min_element(s->timers.begin(), s->timers.end(),
                                       [](const Scheduled& a, const Scheduled& b) { return a.due < b.due; });
    const Clock::time_point now = Clock::now();
    if (now < next->due) {
      s->wake.wait_until(lock, next->due);
      continue;
    }
    if (next->periodic) {
      // The next tick is due one period after this one's due time, not after now, so
      // the ticks keep their phase; periods missed entirely (a long tick, a stalled
      // machine) are dropped instead of fired in a burst.
      next->due += next->interval;
      if (next->due <= now) next->due += next->interval * ((now - next->due) / next->interval + 1);
    } else {
      s->timers.erase(next);
    }
    lock.unlock();
    s->proc(s->user);
    lock.lock();
  }
}

}  // namespace

SystemTimer::SystemTimer(TimerProc proc, void* user) : state_(std::make_shared<State>()) {
  state_->proc = proc;
  state_->user = user;
}

SystemTimer::~SystemTimer() { Close(); }

std::uint32_t SystemTimer::Start(std::uint32_t intervalMs, std::uint32_t /*resolutionMs*/, bool periodic) {
  State& s = *state_;
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.closing || intervalMs == 0) return 0;
  if (!s.worker.joinable()) {
    try {
      s.worker = std::thread(RunTimers, state_);
    } catch (const std::system_error&) {
      return 0;
    }
  }
  const auto inUse = [&s](std::uint32_t id) {
    return std::any_of(s.timers.begin(), s.timers.end(), [id](const Scheduled& t) { return t.id == id; });
  };
  do {
    ++s.lastId;
  } while (s.lastId == 0 || inUse(s.lastId));
  const Clock::duration interval = std::chrono::milliseconds(intervalMs);
  s.timers.push_back(Scheduled{s.lastId, interval, periodic, Clock::now() + interval});
  s.wake.notify_all();
  return s.lastId;
}

void SystemTimer::Stop(std::uint32_t id) {
  State& s = *state_;
  std::lock_guard<std::mutex> guard(s.lock);
  const auto it = std::find_if(s.timers.begin(), s.timers.end(), [id](const Scheduled& t) { return t.id == id; });
  if (it == s.timers.end()) return;
  s.timers.erase(it);
  s.wake.notify_all();
}

void SystemTimer::Close() {
  State& s = *state_;
  std::thread worker;
  {
    std::lock_guard<std::mutex> guard(s.lock);
    s.closing = true;
    s.timers.clear();
    s.wake.notify_all();
    worker = std::move(s.worker);
  }
  if (!worker.joinable()) return;
  // The worker leaves its loop as soon as its current tick, if any, returns.
  if (worker.get_id() == std::this_thread::get_id()) {
    worker.detach();
  } else {
    worker.join();
  }
}

}  // namespace zorv::platform
