#include "elements/kvMMTimer.h"

#include "runtime/SchemeGate.h"

TKvMMTimer::TKvMMTimer() : Timer(NewMMTimer(1000)) {
  Timer->OnTimer.Proc = &TKvMMTimer::OnTick;
  Timer->OnTimer.Data = this;
}

TKvMMTimer::~TKvMMTimer() {
  cancelTicks_.store(true);
  SchemeGate().WakeWaiters();
  // Returns once no tick runs on another thread; a tick on this thread is the one that
  // freed the element, and learns it through its flag.
  Free(Timer);
  if (freedInTick_) *freedInTick_ = true;
}

void TKvMMTimer::doStart(TData&, std::uint16_t) {
  Remaining.store(Count);
  cancelTicks_.store(false);
  if (Timer->Resolution != Resolution) Timer->Resolution = Resolution;
  // A running timer with an unchanged Interval keeps running with its phase.
  Timer->SetInterval(Interval);
  Timer->SetEnabled(true);
}

void TKvMMTimer::doStop(TData&, std::uint16_t) {
  cancelTicks_.store(true);
  SchemeGate().WakeWaiters();
  Timer->SetEnabled(false);
  FireNull(onStop);
}

void TKvMMTimer::OnTick(void* self, TObj*) { static_cast<TKvMMTimer*>(self)->Tick(); }

void TKvMMTimer::Tick() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point arrived = Clock::now();
  // Ticks come on the timer thread: they run the scheme only from inside the gate.
  TSchemeEntry entry(&cancelTicks_);
  if (!entry.entered()) return;
  const Clock::time_point entered = Clock::now();
  // A periodic system timer that could not deliver while a tick waited for the gate (the
  // reader thread sending a block on a busy machine) makes up for it with ticks back to
  // back (wine's does). Each tick stands for an interval passed: those count once, or a
  // watchdog would count seconds that never passed.
  const auto half = std::chrono::milliseconds(Timer->Interval / 2);
  if (lastTickLate_ && entered - lastTick_ < half) return;
  if (Busy.exchange(true)) return;
  lastTickLate_ = entered - arrived > half;
  lastTick_ = entered;
  std::int32_t r = Remaining.load();
  while (r >= 0 && !Remaining.compare_exchange_weak(r, r - 1)) {
  }
  bool freed = false;
  freedInTick_ = &freed;
  FireNull(onTimer);
  if (freed) return;
  if (Remaining.load() == 0) {
    cancelTicks_.store(true);
    Timer->SetEnabled(false);
    FireNull(onStop);
    if (freed) return;
  }
  freedInTick_ = nullptr;
  Busy.store(false);
}
