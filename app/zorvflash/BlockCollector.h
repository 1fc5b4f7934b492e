// The flasher's write collector: stands between the upload's write output and the write
// hub. Off, every value passes on at once, as the window's wiring has it. On, the one-byte
// values the upload hands out for a block are held and passed on as one value, so that a
// block is one write on the line:
//   - when BlockSize bytes are held;
//   - when a value of another length comes ("PUSK"): what is held goes first;
//   - at doFlush, which the scheme fires once the chain that produced the bytes has run
//     (a last block may be short).
// doDiscard (the upload failed) drops what is held, and from then on nothing passes: no
// byte goes to the line after a failure.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TBlockCollector : public TObj {
 public:
  bool Enabled = false;
  std::size_t BlockSize = 256;

  void doWrite(TData& d, std::uint16_t index);
  void doFlush(TData& d, std::uint16_t index);
  void doDiscard(TData& d, std::uint16_t index);

  TEventPoint onWrite;

  // One-byte values received (the image bytes of the upload), whatever became of them.
  long imageBytes() const { return imageBytes_.load(); }
  std::size_t held() const { return held_.size(); }

 protected:
  ~TBlockCollector() override = default;

 private:
  void Flush();

  std::string held_;
  bool ended_ = false;
  std::atomic<long> imageBytes_{0};  // read by the flasher's main thread
};
