// Watching the line from the host's end while the device sends a reply byte by byte.
//
// A host that ends a received chunk at a quiet line judges by the count of bytes waiting
// at its end. On a pseudo-terminal that count can stand still although the device is in
// the middle of a reply: the simulator itself is held up, or the kernel passes a written
// byte on late. Such a stall splits the reply as a real pause would; a test must be able
// to tell it from a fault of the host. The simulator therefore looks at the same count
// (its own descriptor of the pty slave, never read from) every 50 us while a paced reply
// goes out, and records:
//   stall  the count stood still for 600 us or more with bytes waiting while the device
//          still had bytes of the reply to send or had sent some that had not arrived;
//   blind  the watcher itself was held up (two looks more than 150 us apart) at such a
//          moment, so that it cannot say whether the line stood still.
// StallWatch is the rule on looks passed in; LineWatch runs it on a thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zorv::sim {

struct WatchFinding {
  double t = 0;       // when it was found, seconds since the simulator started
  long block = 0;     // acknowledgements the device had sent by then
  long micros = 0;    // how long the count had stood still
  bool blind = false;
};

class StallWatch {
 public:
  static constexpr double kStall = 600e-6;
  static constexpr double kBlind = 150e-6;

  // One look at time t: `count` bytes waiting at the host's end, `written` bytes the device
  // has written in all, `more` whether the current reply has bytes still to go out.
  std::optional<WatchFinding> Look(double t, long count, long written, bool more, long block);

 private:
  bool started_ = false;
  double lastLook_ = 0;
  long lastCount_ = 0;
  double since_ = 0;        // when the count last changed
  long writtenSince_ = 0;   // bytes written by then
  bool concerned_ = false;  // at the last look: bytes waiting and the reply not through
  bool reported_ = false;   // this stretch has been recorded
};

class LineWatch {
 public:
  // fd: a descriptor of the pty slave (not owned); now: the simulator's clock.
  LineWatch(int fd, std::function<double()> now);
  ~LineWatch();
  LineWatch(const LineWatch&) = delete;
  LineWatch& operator=(const LineWatch&) = delete;

  // The device wrote one byte of a reply; `more`: the reply goes on. The watcher looks
  // until a few milliseconds after the last such byte.
  void Wrote(bool more, long block);
  // Ends the watching; what was found, in time order.
  std::vector<WatchFinding> Finish();

 private:
  void Run();

  int fd_;
  std::function<double()> now_;
  std::atomic<long> written_{0};
  std::atomic<bool> more_{false};
  std::atomic<long> block_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  double watchUntil_ = 0;  // guarded by mutex_
  bool stop_ = false;      // guarded by mutex_
  std::vector<WatchFinding> findings_;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace zorv::sim
