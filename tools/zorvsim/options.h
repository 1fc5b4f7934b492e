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
  long splitGapMs = 50;  // time between the pieces of a split acknowledgement; also the
                         // delay of an acknowledgement after wrong bytes, a repeated
                         // acknowledgement or an echo in its block
  long wrongIn = 0;      // two wrong bytes in the middle of block K, the acknowledgement later
  long dupAck = 0;       // the acknowledgement of block K again in the middle of block K+1
  long echoFrom = 0;     // every byte from block K on is written back as it arrives

  // After "PUSK": once more the final acknowledgement (checksum and "FZ") or the last
  // checksum alone.
  enum class AfterPusk { None, Final, Crc };
  AfterPusk afterPusk = AfterPusk::None;

  // The device stops reading in the middle of block K (stall), or right after writing its
  // acknowledgement of block K (stallAfterAck), and reads again resumeMs later (-1: never).
  long stall = 0;
  long stallAfterAck = 0;
  long resumeMs = -1;

  long identSize = 0;          // the identification reply padded to this many bytes
  std::string imagePath;       // the image the host should send (--image)
  std::string expectedImage;   // its bytes, loaded at start; received bytes are compared

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

// args excludes the program name. Accepts "--name value" and "--name=value". The texts of
// --ident, --name and --version take \xNN for any byte and \\ for a backslash.
ParsedOptions ParseOptions(const std::vector<std::string>& args);
// The bytes of a text with \xNN and \\ escapes; false when an escape is malformed.
bool Unescape(const std::string& text, std::string& out);
std::string UsageText();

}  // namespace zorv::sim
