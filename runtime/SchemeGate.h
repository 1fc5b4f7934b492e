// The scheme gate: one thread at a time runs the scheme.
//
// Three kinds of thread fire events into the schemes: the main (window) thread, the serial
// port's reader thread and the timer thread. Each of them enters the gate before it fires
// and leaves it when the event's whole chain has run, so the elements, which take no locks
// of their own, never run on two threads at once, and each source's events keep the order
// in which its thread fires them. A thread already inside enters again at once (a handler
// may start further work that enters too).
//
// A wait can be given up: threads that a close or a stop must end (the reader thread of a
// port being closed, the tick of a timer being stopped) wait with a cancel flag, and the
// closer sets the flag and calls WakeWaiters before it waits for them. Without that, a
// close run from inside the scheme would wait for a thread that waits for the gate.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class TSchemeGate {
 public:
  // Waits until the calling thread may run the scheme. Returns false, without entering,
  // when *cancel is (or becomes) true before that.
  bool Enter(const std::atomic<bool>* cancel = nullptr);
  // Enters only when that needs no wait.
  bool TryEnter();
  void Leave();
  bool HeldByMe() const;
  // Wakes waiting threads so they look at their cancel flags again.
  void WakeWaiters();

  // Called whenever the gate becomes free (a window thread that must keep serving its
  // messages while it waits can wake on it). Runs with no lock held, on the leaving thread.
  using ReleaseSignal = void (*)(void* arg);
  void SetReleaseSignal(ReleaseSignal signal, void* arg);

 private:
  mutable std::mutex mutex_;
  std::condition_variable free_;
  std::thread::id owner_;
  int depth_ = 0;
  ReleaseSignal signal_ = nullptr;  // with its argument, under the mutex
  void* signalArg_ = nullptr;
};

// The process's one gate.
TSchemeGate& SchemeGate();

// Holds the gate for a scope (when it could be entered).
class TSchemeEntry {
 public:
  explicit TSchemeEntry(const std::atomic<bool>* cancel = nullptr) : entered_(SchemeGate().Enter(cancel)) {}
  ~TSchemeEntry() {
    if (entered_) SchemeGate().Leave();
  }
  TSchemeEntry(const TSchemeEntry&) = delete;
  TSchemeEntry& operator=(const TSchemeEntry&) = delete;
  bool entered() const { return entered_; }

 private:
  bool entered_;
};
