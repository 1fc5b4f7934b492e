#include "winlib/MMTimer.h"

TMMTimer::TMMTimer() : system_(&TMMTimer::Tick, this) {}

TMMTimer::~TMMTimer() {
  TMMTimer::SetEnabled(false);
  // Waits while another thread is inside Tick; a handler that freed its own timer goes on
  // past this point without touching the timer again.
  system_.Close();
}

void TMMTimer::Tick(void* self) {
  auto* timer = static_cast<TMMTimer*>(self);
  const TObjEvent handler = timer->OnTimer;
  if (handler.Proc) handler.Proc(handler.Data, timer);
}

void TMMTimer::SetEnabled(bool on) {
  std::lock_guard<std::mutex> guard(switching_);
  const std::uint32_t id = TimerId.load();
  if (on == (id != 0)) return;
  if (on) {
    TimerId.store(system_.Start(Interval, Resolution, (Periodic & 1) != 0));
  } else {
    system_.Stop(id);
    TimerId.store(0);
  }
  Enabled.store(on);
}

void TMMTimer::SetInterval(std::uint32_t ms) {
  bool restart = false;
  {
    std::lock_guard<std::mutex> guard(switching_);
    if (ms == Interval) return;
    Interval = ms;
    restart = Enabled.load();
  }
  if (restart) {
    SetEnabled(false);
    SetEnabled(true);
  }
}

TMMTimer* NewMMTimer(std::uint32_t interval) {
  TMMTimer* timer = New<TMMTimer>();
  timer->Interval = interval;
  return timer;
}
