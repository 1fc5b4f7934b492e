// Windows system timer over the multimedia timer (timeSetEvent / timeKillEvent).
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/mmtimer.h"

namespace zorv::platform {

struct SystemTimer::State {
  TimerProc proc = nullptr;
  void* user = nullptr;
  // Guarded by the registry's lock.
  bool closing = false;
  std::vector<DWORD> tickThreads;  // threads inside a tick of this owner
};

namespace {

struct Registration {
  std::shared_ptr<SystemTimer::State> state;
  UINT id;  // 0 until timeSetEvent has returned
  bool periodic;
};

// Every started timer, by the key the system hands back to the callback. The system is
// given a key, never a pointer: timeKillEvent does not wait for a callback that the timer
// thread has already taken up, so a late callback must find nothing rather than a freed
// object.
struct Registry {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE ticksEnded = CONDITION_VARIABLE_INIT;
  std::map<DWORD_PTR, Registration> live;
  DWORD_PTR lastKey = 0;
};

// Never destroyed: a callback may still come in while the process ends.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

class Locked {
 public:
  explicit Locked(Registry& r) : r_(r) { AcquireSRWLockExclusive(&r_.lock); }
  ~Locked() { ReleaseSRWLockExclusive(&r_.lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  void WaitTicksEnded() { SleepConditionVariableSRW(&r_.ticksEnded, &r_.lock, INFINITE, 0); }

 private:
  Registry& r_;
};

void CALLBACK OnSystemTick(UINT, UINT, DWORD_PTR key, DWORD_PTR, DWORD_PTR) {
  Registry& r = TheRegistry();
  const DWORD self = GetCurrentThreadId();
  std::shared_ptr<SystemTimer::State> s;
  {
    Locked locked(r);
    const auto it = r.live.find(key);
    if (it == r.live.end()) return;
    s = it->second.state;
    // The system forgets a one-shot timer after its tick; so does the registry, so that a
    // later Stop cannot kill a timer that was given the same id since.
    if (!it->second.periodic) r.live.erase(it);
    s->tickThreads.push_back(self);
  }
  s->proc(s->user);
  {
    Locked locked(r);
    s->tickThreads.erase(std::find(s->tickThreads.begin(), s->tickThreads.end(), self));
  }
  WakeAllConditionVariable(&r.ticksEnded);
}

}  // namespace

SystemTimer::SystemTimer(TimerProc proc, void* user) : state_(std::make_shared<State>()) {
  state_->proc = proc;
  state_->user = user;
}

SystemTimer::~SystemTimer() { Close(); }

std::uint32_t SystemTimer::Start(std::uint32_t intervalMs, std::uint32_t resolutionMs, bool periodic) {
  Registry& r = TheRegistry();
  DWORD_PTR key = 0;
  {
    Locked locked(r);
    if (state_->closing) return 0;
    key = ++r.lastKey;
    r.live.emplace(key, Registration{state_, 0, periodic});
  }
  const UINT kind = (periodic ? TIME_PERIODIC : TIME_ONESHOT) | TIME_CALLBACK_FUNCTION;
  const UINT id = timeSetEvent(intervalMs, resolutionMs, OnSystemTick, key, kind);
  bool orphan = false;
  {
    Locked locked(r);
    const auto it = r.live.find(key);
    if (id == 0) {
      if (it != r.live.end()) r.live.erase(it);
      return 0;
    }
    if (it != r.live.end()) {
      it->second.id = id;
    } else {
      // Close ran on another thread meanwhile (a one-shot timer may also have ticked
      // already, and needs nothing more).
      orphan = periodic;
    }
  }
  if (orphan) {
    timeKillEvent(id);
    return 0;
  }
  return id;
}

void SystemTimer::Stop(std::uint32_t id) {
  if (id == 0) return;
  Registry& r = TheRegistry();
  bool found = false;
  {
    Locked locked(r);
    for (auto it = r.live.begin(); it != r.live.end(); ++it) {
      if (it->second.state == state_ && it->second.id == id) {
        r.live.erase(it);
        found = true;
        break;
      }
    }
  }
  if (found) timeKillEvent(id);
}

void SystemTimer::Close() {
  Registry& r = TheRegistry();
  std::vector<UINT> ids;
  {
    Locked locked(r);
    state_->closing = true;
    for (auto it = r.live.begin(); it != r.live.end();) {
      if (it->second.state == state_) {
        if (it->second.id != 0) ids.push_back(it->second.id);
        it = r.live.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (UINT id : ids) timeKillEvent(id);
  const DWORD self = GetCurrentThreadId();
  Locked locked(r);
  const auto othersTicking = [&] {
    return std::any_of(state_->tickThreads.begin(), state_->tickThreads.end(),
                       [self](DWORD t) { return t != self; });
  };
  while (othersTicking()) locked.WaitTicksEnded();
}

}  // namespace zorv::platform
