// The device side of the exchange, without any line: bytes in, replies out, and the record
// of what arrived. Time is passed in by the caller (seconds since start), so the engine
// runs the same on a pty and in tests.
//
// States: waiting for "VERS" -> identified -> receiving the image -> image done (waiting
// for "PUSK") -> started; a --hangup block ends in the hung-up state.
// Telling the image from a repeated query: while identified, bytes are held as long as they
// spell a beginning of "VERS"; four bytes "VERS" are a query (answered again), and the first
// byte that departs from "VERS" starts the image together with the bytes held before it.
// An image that begins with the four bytes "VERS" therefore cannot be told from a query.
// Before the first query, bytes that are no "VERS" are counted as stray and dropped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../common/sha256.h"
#include "crc16.h"
#include "options.h"
#include "report.h"
#include "watch.h"

namespace zorv::sim {

// One reply: its pieces are written one after another, each in a write of its own,
// gapMs apart (one piece unless the reply is split), the first delayMs after it is due.
struct Reply {
  std::vector<std::string> pieces;
  long gapMs = 0;
  long delayMs = 0;
};

struct Output {
  std::vector<Reply> replies;
  bool hangup = false;  // close the line now and end
  bool pusk = false;    // "PUSK" arrived: linger, then end
  // Stop the host's output now, before any reply of this output is written: from here on
  // the host's bytes get through only as far as the device reads them.
  bool holdHost = false;
  // The device stopped reading: `held` are the bytes it was given and did not take; feed
  // them again once it reads again (Resume).
  bool stall = false;
  std::string held;
};

class Engine {
 public:
  enum class State { WaitVers, Identified, Image, ImageDone, Started, HungUp };
  static constexpr std::size_t kBlockSize = 256;

  explicit Engine(const Options& options);

  Output Feed(std::string_view bytes, double t);
  // The device reads again after a stall (the caller then feeds the held bytes).
  void Resume(double t);
  // The line paused `seconds` inside a reply without the device asking for it (recorded
  // as a "pause" event at the current block, so a test can tell the machine's pause from
  // the host's fault).
  void NoteLinePause(double t, double seconds);
  // What the line's watcher found ("stall" or "blind" events, in time order).
  void NoteWatch(const WatchFinding& finding);
  // Settles bytes still held for a match, records the exit and returns the report.
  Report Finish(const std::string& reason, double t);

  State state() const { return state_; }
  const Report& report() const { return report_; }
  std::string IdentLine() const;

 private:
  void Byte(char c, double t, Output& out);
  void MatchBeforeImage(char c, double t, Output& out);
  void MatchAfterImage(char c, double t, Output& out);
  void ImageByte(char c, double t, Output& out);
  void BlockDone(long block, double t, Output& out);
  void Query(double t, Output& out);
  void AddEvent(Event e);
  void FlushCounts(double t);
  void FlushEcho(double t, Output& out);
  std::string AckBytes(std::uint16_t crc) const;

  Options options_;
  State state_ = State::WaitVers;
  std::string held_;  // bytes matching the start of "VERS" or "PUSK"
  Crc16Modbus crc_;
  Sha256 sha_;
  std::size_t blockFill_ = 0;
  long pendingExtra_ = 0;  // counted during one Feed, reported as one event
  long pendingStray_ = 0;
  std::string pendingEcho_;   // received bytes to write back (--echo-from)
  bool delayNextAck_ = false;  // wrong bytes went out in this block
  bool stalled_ = false;       // set during one Feed: the rest of the bytes is held
  std::uint16_t lastCrc_ = 0xFFFF;  // the checksum of the last acknowledgement sent
  Report report_;
  bool finished_ = false;
};

std::string Hex4(std::uint16_t v);

}  // namespace zorv::sim
