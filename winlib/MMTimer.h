// The library's periodic timer over the system's multimedia timer. Its ticks arrive on the
// system's timer thread, not through the message loop: the OnTimer handler runs there.
//
// Stopping (SetEnabled(false)) does not wait for a tick that is already running, so a tick
// handler may stop, restart or free its own timer. Freeing the timer from any other thread
// waits until no tick of it runs any more: once Free returns, OnTimer is never called again.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/mmtimer.h"
#include "winlib/Objects.h"

class TMMTimer : public TObj {
 public:
  TMMTimer();

  // Multimedia timer identifier, 0 when stopped.
  std::atomic<std::uint32_t> TimerId{0};
  // Whether the timer was last switched on (also after a start the system refused).
  std::atomic<bool> Enabled{false};
  // Period of the ticks in milliseconds; change it with SetInterval.
  std::uint32_t Interval = 0;
  // Called on every tick, on the timer thread, with the timer as the sender.
  TObjEvent OnTimer;
  // Accuracy asked of the system, in milliseconds.
  std::uint32_t Resolution = 0;
  // Event type: bit 0 set (TIME_PERIODIC) ticks every Interval, clear gives one tick.
  // The other bits of the system's event type are not passed on: they would make the
  // system take the tick routine for an event handle.
  std::uint8_t Periodic = 1;

  // Nothing happens when on equals (TimerId != 0). Otherwise starts a system timer with
  // Interval, Resolution and Periodic (TimerId stays 0 when the system refuses), or stops
  // the running one (TimerId 0); Enabled = on in both cases.
  virtual void SetEnabled(bool on);
  // Stores a new period; an enabled timer is stopped and started again, so the new period
  // applies at once. An unchanged value does nothing.
  void SetInterval(std::uint32_t ms);

 protected:
  // Stops the timer and waits for a tick running on another thread.
  ~TMMTimer() override;

 private:
  static void Tick(void* self);

  std::mutex switching_;  // serialises SetEnabled between callers and ticks
  zorv::platform::SystemTimer system_;
};

// A new timer with the given period: periodic, stopped.
TMMTimer* NewMMTimer(std::uint32_t interval);
