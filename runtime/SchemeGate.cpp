#include "runtime/SchemeGate.h"

TSchemeGate& SchemeGate() {
  // Never destroyed: a reader thread that was let go (its element freed from its own
  // handler) may still be leaving the gate while the process ends.
  static TSchemeGate* const gate = new TSchemeGate;
  return *gate;
}

bool TSchemeGate::Enter(const std::atomic<bool>* cancel) {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> lock(mutex_);
  while (depth_ != 0 && owner_ != me) {
    if (cancel && cancel->load()) return false;
    // A bounded wait: a cancel flag set without this mutex held is seen within the period
    // even if its WakeWaiters came just before this wait began.
    free_.wait_for(lock, std::chrono::milliseconds(20));
  }
  if (cancel && cancel->load() && depth_ == 0) return false;
  owner_ = me;
  ++depth_;
  return true;
}

bool TSchemeGate::TryEnter() {
  const std::thread::id me = std::this_thread::get_id();
  std::lock_guard<std::mutex> lock(mutex_);
  if (depth_ != 0 && owner_ != me) return false;
  owner_ = me;
  ++depth_;
  return true;
}

void TSchemeGate::Leave() {
  ReleaseSignal signal = nullptr;
  void* arg = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
    if (--depth_ != 0) return;
    owner_ = std::thread::id();
    signal = signal_;
    arg = signalArg_;
  }
  free_.notify_all();
  if (signal) signal(arg);
}

bool TSchemeGate::HeldByMe() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return depth_ != 0 && owner_ == std::this_thread::get_id();
}

void TSchemeGate::WakeWaiters() {
  { std::lock_guard<std::mutex> lock(mutex_); }
  free_.notify_all();
}

void TSchemeGate::SetReleaseSignal(ReleaseSignal signal, void* arg) {
  std::lock_guard<std::mutex> lock(mutex_);
  signal_ = signal;
  signalArg_ = arg;
}
