// What the flasher shows when it flashes several ports at once (--all): one line per port
// (port, device name and version, blocks done, rate, state), redrawn in place on a
// terminal, otherwise written again at each change of state and about every 10 s; at the
// end a summary table and the exit code of the whole run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TPortRow {
  enum class State { Starting, Identifying, Uploading, Completing, Flashed, Failed, NoDevice, Interrupted };

  std::string port;
  std::string device, version;  // as shown (UTF-8, control bytes escaped)
  State state = State::Starting;
  int blocks = 0;
  double rate = 0;     // image bytes per second
  double seconds = 0;  // the upload's time (the completion pause excluded)
  std::string reason;  // of a failure
  // Figures of the port's process, for --stats.
  double cpuSeconds = 0;
  std::uint64_t peakMemory = 0;
  long bytesWritten = 0;

  bool Finished() const { return state >= State::Flashed; }
};

std::string StateText(TPortRow::State state);
// "COM7  TPX2 6.0  153/1015 blocks  3.8 KiB/s  uploading"
std::string RowLine(const TPortRow& row);

// The table at the end: a line per port (with auto, ports without a device are left out
// and named on one line), and "interrupted" when the run was stopped.
std::string SummaryTable(const std::vector<TPortRow>& rows, bool interrupted, bool autoPorts);

// 0 every port flashed; 1 a port failed, or had no device while another was flashed (a
// port found by auto without a device is no failure); 2 no port had a device; 130 the run
// was stopped.
int AllExitCode(const std::vector<TPortRow>& rows, bool interrupted, bool autoPorts);

class TPortDisplay {
 public:
  explicit TPortDisplay(bool terminal) : terminal_(terminal) {}
  // The text to write for the rows at this moment (empty: nothing new).
  std::string Update(const std::vector<TPortRow>& rows, double nowSeconds);
  // The last state of every row, before the summary.
  std::string Finish(const std::vector<TPortRow>& rows);

 private:
  std::string Redraw(const std::vector<TPortRow>& rows);

  bool terminal_;
  std::size_t drawn_ = 0;  // lines on the terminal that a redraw replaces
  double lastDraw_ = -1;
  double lastAll_ = 0;
  std::vector<TPortRow::State> shown_;
};
