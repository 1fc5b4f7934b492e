// The system's periodic timer as seen by one owner, and the rules its ticks follow on
// every system: each tick calls proc(user) on a timer thread, never on the thread that
// started the timer; periodic ticks keep their phase (no drift); stopping never waits for
// a tick that is already running, so a tick may stop or restart its own timer.
#pragma once

#include <cstdint>
#include <memory>

namespace zorv::platform {

using TimerProc = void (*)(void* user);

class SystemTimer {
 public:
  SystemTimer(TimerProc proc, void* user);
  // Close().
  ~SystemTimer();
  SystemTimer(const SystemTimer&) = delete;
  SystemTimer& operator=(const SystemTimer&) = delete;

  // Starts a system timer: a tick every intervalMs milliseconds, or a single one when not
  // periodic. resolutionMs is the accuracy asked of the system (a hint). Returns the
  // timer's id, never 0; 0 when the system refuses (interval 0, no resources) or after
  // Close. Each call starts a timer of its own.
  std::uint32_t Start(std::uint32_t intervalMs, std::uint32_t resolutionMs, bool periodic);

  // Stops the timer with this id. No tick of it begins once this returns; a tick that is
  // already running goes on and is not waited for. Ids that are not running are ignored.
  void Stop(std::uint32_t id);

  // Stops every timer of this owner and refuses new ones, then waits until none of its
  // ticks runs any more, except a tick running on the calling thread (a tick handler that
  // ends the owner must not wait for itself). Afterwards proc is never called again.
  void Close();

  struct State;  // per system; shared with the ticks in flight

 private:
  std::shared_ptr<State> state_;
};

}  // namespace zorv::platform
