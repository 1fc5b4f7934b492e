#include "pacer.h"

#include <algorithm>
#include <cmath>

namespace zorv::sim {
namespace {
// Absorbs rounding when the clock lands exactly on a byte's delivery time.
constexpr double kSlack = 1e-9;
}  // namespace

Pacer::Pacer(Pace pace, long baud) : pace_(pace), byteTime_(10.0 / static_cast<double>(baud)) {}

void Pacer::Received(std::string_view bytes, double now) {
  if (bytes.empty()) return;
  const double start = pace_ == Pace::None ? now : std::max(rxFree_, now);
  rx_.push_back({start, std::string(bytes)});
  queued_ += bytes.size();
  rxFree_ = pace_ == Pace::None ? now : start + byteTime_ * static_cast<double>(bytes.size());
}

std::string Pacer::TakeDelivered(double now) {
  std::string out;
  while (!rx_.empty()) {
    Segment& s = rx_.front();
    std::size_t upTo = s.bytes.size();
    if (pace_ != Pace::None) {
      const double n = std::floor((now - s.start) / byteTime_ + kSlack);
      upTo = n <= 0 ? 0 : std::min(s.bytes.size(), static_cast<std::size_t>(n));
    }
    if (upTo > s.taken) {
      out.append(s.bytes, s.taken, upTo - s.taken);
      queued_ -= upTo - s.taken;
      s.taken = upTo;
    }
    if (s.taken < s.bytes.size()) break;
    rx_.pop_front();
  }
  return out;
}

double Pacer::NextDelivery() const {
  if (rx_.empty()) return kNever;
  const Segment& s = rx_.front();
  if (pace_ == Pace::None) return s.start;
  return s.start + byteTime_ * static_cast<double>(s.taken + 1);
}

void Pacer::Add(double at, std::string bytes) {
  // Writes leave in the order they were scheduled.
  if (!tx_.empty()) at = std::max(at, tx_.back().at);
  tx_.push_back({at, std::move(bytes)});
}

void Pacer::Schedule(const Reply& reply, double ready) {
  const double gap = static_cast<double>(reply.gapMs) / 1000.0;
  double t = ready + static_cast<double>(reply.delayMs) / 1000.0;
  for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
    const std::string& piece = reply.pieces[i];
    if (i > 0) t += gap;
    switch (pace_) {
      case Pace::None:
        Add(t, piece);
        break;
      case Pace::Usb:
        t = std::max(t, txFree_) + byteTime_ * static_cast<double>(piece.size());
        txFree_ = t;
        Add(t, piece);
        break;
      case Pace::Uart:
        for (char c : piece) {
          t = std::max(t, txFree_) + byteTime_;
          txFree_ = t;
          Add(t, std::string(1, c));
        }
        break;
    }
  }
}

std::vector<Pacer::Write> Pacer::TakeDue(double now) {
  std::vector<Write> due;
  while (!tx_.empty() && tx_.front().at <= now + kSlack) {
    due.push_back(std::move(tx_.front()));
    tx_.pop_front();
  }
  return due;
}

double LineGaps::Written(double at, double done) {
  const bool contiguous = lastAt_ >= 0 && FollowsOn(lastAt_, at, byteTime_);
  const double pause = contiguous ? done - lastDone_ : 0;
  lastAt_ = at;
  lastDone_ = done;
  return pause > 2 * byteTime_ ? pause : 0;
}

double Pacer::NextWrite() const { return tx_.empty() ? kNever : tx_.front().at; }

}  // namespace zorv::sim
