// Timing of the line, on an explicit clock (seconds since start).
//
// Received bytes: unpaced, each byte is handed on when it was seen; paced (usb, uart), the
// host's bytes cross the line one after another at 10 bits per byte, so a byte is handed on
// one byte time after the later of its arrival and the previous byte's delivery.
// Replies: unpaced, each piece is written as soon as it is due; usb, each piece is written in
// one piece once its own line time has passed (as an adapter hands over a whole packet);
// uart, every byte is written on its own at the line rate. Pieces of a split reply keep
// their gap on top of that.
#pragma once

#include <deque>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"
#include "options.h"

namespace zorv::sim {

class Pacer {
 public:
  static constexpr double kNever = std::numeric_limits<double>::infinity();

  Pacer(Pace pace, long baud);

  double ByteTime() const { return byteTime_; }

  void Received(std::string_view bytes, double now);
  std::string TakeDelivered(double now);
  double NextDelivery() const;
  std::size_t Queued() const { return queued_; }

  struct Write {
    double at;  // when the line is to carry it
    std::string bytes;
  };
  void Schedule(const Reply& reply, double ready);
  std::vector<Write> TakeDue(double now);  // each element one write
  double NextWrite() const;

 private:
  struct Segment {
    double start;  // the first byte is delivered at start + byteTime
    std::string bytes;
    std::size_t taken = 0;
  };
  void Add(double at, std::string bytes);

  Pace pace_;
  double byteTime_;
  std::deque<Segment> rx_;
  std::size_t queued_ = 0;
  double rxFree_ = 0;  // when the line finishes delivering the bytes queued so far
  std::deque<Write> tx_;
  double txFree_ = 0;  // when the reply line is free again
};

// Pauses the line made that the schedule did not ask for: two writes scheduled one byte
// time apart (one reply, byte by byte) that actually left more than two byte times apart.
// The machine, not the device, made such a pause (a late wake-up, a virtual CPU held by
// its host); a host reading the line rightly takes a long one for the end of a reply.
// Whether a write scheduled at `later` follows the one at `earlier` on the line without a
// pause of its own (the next byte of a reply sent byte by byte).
inline bool FollowsOn(double earlier, double later, double byteTime) {
  return later - earlier <= 1.5 * byteTime;
}

class LineGaps {
 public:
  explicit LineGaps(double byteTime) : byteTime_(byteTime) {}
  // A write scheduled at `at` left the simulator at `done`; returns the unasked-for pause
  // before it in seconds, or 0.
  double Written(double at, double done);

 private:
  double byteTime_;
  double lastAt_ = -1;
  double lastDone_ = 0;
};

}  // namespace zorv::sim
