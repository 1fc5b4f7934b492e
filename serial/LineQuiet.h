// Where a received chunk ends. A native UART wakes the reader at the first byte of a reply
// and the next byte comes one character time later, so a reply would be read in pieces and
// every decision made on a piece. The reader therefore hands the waiting bytes on only once
// the line has been quiet for three character times at the line's rate and frame (as a
// UART's own receive time-out does), or at once when the input queue is full. Bytes with a
// longer pause between them still make two chunks.
//
// Pure arithmetic on an explicit clock, so that the rule is tested without a line.
#pragma once

#include <cstdint>

#include "platform/comm.h"

namespace zorv::serial {

// One character on the line, start and stop bits included, in microseconds (rounded up).
// A rate of 0 or below counts as 9600 baud; the result is at most one second.
std::uint32_t CharacterMicros(std::int64_t baud, std::uint8_t byteSize, std::uint8_t parity,
                              std::uint8_t stopBits);
// Three character times of the settings: how long the line must stay quiet.
std::uint32_t QuietMicros(const zorv::comm::TDcb& dcb);

class TQuietLine {
 public:
  // fullCount: bytes waiting at which the chunk ends at once (0: no such limit).
  TQuietLine(std::uint32_t quietMicros, std::uint32_t fullCount);

  // The receive event: `waiting` bytes are queued at `now`.
  void Start(std::uint64_t now, std::uint32_t waiting);
  // Looked at again: 0 when the chunk is complete, else how long to pause before the next
  // look (never past the moment the line would have been quiet long enough).
  std::uint32_t Next(std::uint64_t now, std::uint32_t waiting);

  std::uint32_t quiet() const { return quiet_; }

 private:
  std::uint32_t quiet_;
  std::uint32_t full_;
  std::uint32_t step_;
  std::uint32_t last_ = 0;
  std::uint64_t since_ = 0;
};

}  // namespace zorv::serial
