// The line trace (--trace FILE): everything that crosses the line and the exchange's
// decisions, one line each, with the microseconds since the trace began:
//
//   1523 port /dev/pts/3
//   1980 tx 4: 56455253                      a write: its byte count and its bytes in hex
//   9311 rx 20: 5A4F5256...                  a received chunk
//   9350 identified: <the device text>
//   9420 tx 256 in 256 writes: 3AF0...       one-byte writes in a row, shown as one line
//  76800 block acknowledged: 1 of 1015, checksum 1A2B
//
// and the final acknowledgement with "PUSK", "PUSK" leaving the port, watchdog ticks, a
// failed write, the failure with its reason, the end.
//
// Lines are gathered in memory and go to the file in large pieces (and at the end), so
// that tracing does not hold up the upload. Calls may come from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "platform/files.h"

class TLineTrace {
 public:
  TLineTrace();
  ~TLineTrace();  // writes what is left
  TLineTrace(const TLineTrace&) = delete;
  TLineTrace& operator=(const TLineTrace&) = delete;

  // Creates (or empties) the file; false with the reason.
  bool Open(const std::string& path, std::string& error);

  void Written(const std::string& bytes);
  void Received(const std::string& bytes);
  void Note(const std::string& text);
  // Writes what is gathered to the file.
  void Flush();
  // The reason writing the file failed, if it did (tracing stops then).
  std::string error();

 private:
  void EndRunLocked();
  void LineLocked(std::int64_t us, const std::string& text);
  void FlushLocked();
  std::int64_t Now() const;

  std::mutex mutex_;
  const std::chrono::steady_clock::time_point start_;
  std::string buffer_;
  std::string runHex_;        // one-byte writes in a row, not yet shown
  long runCount_ = 0;
  std::int64_t runStart_ = 0;
  zorv::platform::TOutputFile file_;
  std::string path_;
  std::string error_;
};

// The bytes as upper-case hexadecimal digits.
std::string HexBytes(const std::string& bytes);

// The trace file of one port when several are flashed at once: the port's name, made
// safe for a file name, goes before the extension ("run.trace", "/dev/ttyUSB0" ->
// "run-dev_ttyUSB0.trace"); a name already taken gets a number.
std::string TraceFileFor(const std::string& path, const std::string& port, std::set<std::string>& taken);
