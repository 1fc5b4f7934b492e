#include "watch.h"

#include <sys/ioctl.h>
#include <time.h>

#include <chrono>

namespace zorv::sim {

std::optional<WatchFinding> StallWatch::Look(double t, long count, long written, bool more, long block) {
  std::optional<WatchFinding> found;
  if (!started_) {
    started_ = true;
    lastLook_ = t;
    lastCount_ = count;
    since_ = t;
    writtenSince_ = written;
  }
  // A stretch the watcher slept through: the count may have stood still longer than seen.
  if (t - lastLook_ > kBlind && concerned_ && !reported_ && t - since_ >= kStall) {
    found = WatchFinding{t, block, static_cast<long>((t - since_) * 1e6), true};
    reported_ = true;
  }
  if (count != lastCount_) {
    lastCount_ = count;
    since_ = t;
    writtenSince_ = written;
    reported_ = false;
  }
  const bool concerned = count > 0 && (more || written > writtenSince_);
  // A stall counts from the moment the reply was under way, not from an older count.
  if (concerned && !concerned_) since_ = t;
  concerned_ = concerned;
  if (!found && concerned_ && !reported_ && t - since_ >= kStall) {
    found = WatchFinding{t, block, static_cast<long>((t - since_) * 1e6), false};
    reported_ = true;
  }
  lastLook_ = t;
  return found;
}

LineWatch::LineWatch(int fd, std::function<double()> now) : fd_(fd), now_(std::move(now)) {
  thread_ = std::thread([this] { Run(); });
}

LineWatch::~LineWatch() { (void)Finish(); }

void LineWatch::Wrote(bool more, long block) {
  written_.fetch_add(1);
  more_.store(more);
  block_.store(block);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    watchUntil_ = now_() + 0.005;
  }
  wake_.notify_one();
}

std::vector<WatchFinding> LineWatch::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  return std::move(findings_);
}

void LineWatch::Run() {
  StallWatch rule;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || now_() < watchUntil_; });
      if (stop_) return;
    }
    // The time before the count: a watcher held up in between sees the newer count.
    const double t = now_();
    int count = 0;
    if (::ioctl(fd_, TIOCINQ, &count) != 0) return;
    if (auto found = rule.Look(t, count, written_.load(), more_.load(), block_.load())) {
      std::lock_guard<std::mutex> lock(mutex_);
      findings_.push_back(*found);
    }
    const timespec pause{0, 50000};
    ::nanosleep(&pause, nullptr);
  }
}

}  // namespace zorv::sim
