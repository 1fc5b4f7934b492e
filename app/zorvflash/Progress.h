// The flasher's progress display: acknowledged blocks out of 1015, per cent, rate and,
// once the estimate has settled, the time left. On a terminal one line is redrawn in
// place; otherwise plain lines are written at every tenth of the way.
#pragma once

#include <string>

class TProgressMeter {
 public:
  TProgressMeter(int totalBlocks, bool terminal) : total_(totalBlocks), terminal_(terminal) {}

  // The text to write for the state at this moment (empty: nothing new to show).
  std::string Update(int blocks, double elapsedSeconds);
  // Ends the display (a terminal's line is ended).
  std::string Finish();

  // The parts of the display, for tests.
  static std::string FormatRate(double bytesPerSecond);
  static std::string FormatDuration(double seconds);

 private:
  int total_;
  bool terminal_;
  int lastBlocks_ = -1;
  int lastTenth_ = -1;
  double lastDraw_ = -1;
  bool drawn_ = false;
};
