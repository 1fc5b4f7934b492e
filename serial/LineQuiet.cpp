#include "serial/LineQuiet.h"

#include <algorithm>

namespace zorv::serial {

std::uint32_t CharacterMicros(std::int64_t baud, std::uint8_t byteSize, std::uint8_t parity,
                              std::uint8_t stopBits) {
  if (baud <= 0) baud = 9600;
  // In half bits: the start bit, the data bits, a parity bit, one, one and a half or two
  // stop bits.
  const std::int64_t data = std::clamp<std::int64_t>(byteSize, 5, 8);
  const std::int64_t stopHalves = stopBits == 1 ? 3 : stopBits == 2 ? 4 : 2;
  const std::int64_t halves = 2 + 2 * data + (parity != 0 ? 2 : 0) + stopHalves;
  const std::int64_t micros = (halves * 1000000 + 2 * baud - 1) / (2 * baud);
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(micros, 1, 1000000));
}

std::uint32_t QuietMicros(const zorv::comm::TDcb& dcb) {
  return 3 * CharacterMicros(dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits);
}

// The line is looked at eight times per quiet time: the chunk ends at most an eighth of it
// after the line has been quiet long enough.
TQuietLine::TQuietLine(std::uint32_t quietMicros, std::uint32_t fullCount)
    : quiet_(quietMicros), full_(fullCount), step_(std::max<std::uint32_t>(quietMicros / 8, 20)) {}

void TQuietLine::Start(std::uint64_t now, std::uint32_t waiting) {
  last_ = waiting;
  since_ = now;
}

std::uint32_t TQuietLine::Next(std::uint64_t now, std::uint32_t waiting) {
  if (waiting == 0) return 0;  // nothing to hand on (read by someone else): no wait either
  if (full_ != 0 && waiting >= full_) return 0;
  if (waiting != last_ || now < since_) {
    last_ = waiting;
    since_ = now;
  }
  const std::uint64_t quietFor = now - since_;
  if (quietFor >= quiet_) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(quiet_ - quietFor, step_));
}

}  // namespace zorv::serial
