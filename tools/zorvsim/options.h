// The simulator's command line: which line to serve, what the device answers, which fault
// to play at which block, the timing of the line and when to end.
#pragma once

#include <string>
#include <vector>

namespace zorv::sim {

enum class Pace { None, Usb, Uart };

struct Options {
  std::string device;  // empty: a new pseudo-terminal
  std::string link;    // symbolic link to the pty slave, made at start and removed at exit

  std::string ident = "ZORVANTIQUE";
  std::string name = "TPX2";
  std::string version = "6.0";
  long blocks = 1016;
  bool noVersReply = false;
  bool identLower = false;
  bool identOnly = false;
  bool noVersion = false;  // identifier and name only: two words, no third blank

  // Faults at block K (1-based); 0 means off.
  long splitAck = 0;
  long badCrc = 0;
  long silenceFrom = 0;
  long earlyFz = 0;
  long garbage = 0;
  long extraAfterAck = 0;
  long hangup = 0;
  bool noFinalFz = false;
  long splitGapMs = 50;  // time between the pieces of a split acknowledgement

  Pace pace = Pace::None;
  long baud = 38462;

  bool echo = false;
  double idleExitSeconds = 0;  // 0: never
  long lingerMs = 300;
  bool help = false;
};

struct ParsedOptions {
  bool ok = false;
  std::string error;  // set when !ok
  Options options;
};

// args excludes the program name. Accepts "--name value" and "--name=value".
ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace zorv::sim
