// Timer element: fires onTimer from the library's multimedia timer once per Interval and,
// when Count > 0, stops itself after Count ticks with onStop.
//
// Points: inputs doStart, doStop; outputs onTimer (NULL value), onStop (NULL value).
//
// onTimer and the automatic onStop fire on the timer thread. doStart and doStop may come
// from any thread, also from an element downstream of onTimer while the tick runs; neither
// waits for a running tick. A tick that comes in while the previous one still runs is
// dropped, and so is a tick that the system's timer delivers to make up for ticks it could
// not deliver while one waited long for the scheme gate (see Tick). Freeing the element
// from another thread waits for a running tick to end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "runtime/Share.h"
#include "winlib/MMTimer.h"
#include "winlib/Objects.h"

class TKvMMTimer : public TObj {
 public:
  TKvMMTimer();

  // Properties.
  std::uint32_t Interval = 1000;  // milliseconds, applied by doStart
  std::uint32_t Resolution = 0;   // milliseconds, applied by doStart
  bool Enabled = false;           // kept as the scheme sets it; doStart alone starts the timer
  std::int32_t Count = 0;         // ticks until the timer stops itself; 0 or negative: never

  // State.
  std::atomic<std::int32_t> Remaining{0};
  std::atomic<bool> Busy{false};
  TMMTimer* Timer = nullptr;  // owned; its ticks come to this element

  // Points.
  void doStart(TData& d, std::uint16_t index);
  void doStop(TData& d, std::uint16_t index);
  TEventPoint onTimer;
  TEventPoint onStop;

 protected:
  ~TKvMMTimer() override;

 private:
  static void OnTick(void* self, TObj* sender);
  void Tick();

  // Raised by doStop and at destruction: a tick still waiting to enter the scheme gives up
  // (the stopping thread may hold the gate while it waits for the tick to end).
  std::atomic<bool> cancelTicks_{true};
  // Set by a running tick to a flag of its own, which the destructor raises when the
  // element is freed from inside that tick's firing.
  bool* freedInTick_ = nullptr;
  // When the last tick that ran entered the scheme, and whether it had waited for the gate
  // more than half an interval (both touched only inside the gate).
  std::chrono::steady_clock::time_point lastTick_{};
  bool lastTickLate_ = false;
};
