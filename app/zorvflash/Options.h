// The flasher's command line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The most ports one run takes.
inline constexpr std::size_t kMaxPorts = 64;

struct TFlashOptions {
  enum class Action { Flash, List, ImageInfo, Help, Version } action = Action::Help;
  std::vector<std::string> ports;  // the ports to try, in order (--port A,B,C)
  bool autoPorts = false;          // --port auto: every port the port list shows
  double versTimeout = 5.0;  // seconds without an answer to "VERS" before giving up
  bool versTimeoutGiven = false;
  double pause = 15.0;       // seconds between the final acknowledgement and the completion
  bool quiet = false;        // no progress display
  bool stats = false;        // figures of the run on standard error at the end
  bool blockWrites = false;  // a block of the image is one write
  bool all = false;          // every listed port at the same time, a process each
  std::string imagePath;     // --image FILE; empty: the embedded image
  std::string infoPath;      // --image-info FILE
  std::string reportPath;    // --report FILE: a JSON line per port and run
  std::string tracePath;     // --trace FILE: what crossed the line
  // One port of several, run by the parent flasher (see Worker.h).
  bool worker = false;
  std::string imagePipe;     // the image comes from the parent; its source for the record
  bool autoFound = false;    // the port was found by auto: no record when it has no device

  // The wait for an answer to "VERS" on each port when this many are tried: the given
  // time, else 5 s for a single port and 1 s each when there are more.
  double VersTimeoutFor(std::size_t portsTried) const;
};

// Parses the arguments after the program name. On a usage error returns false with the
// reason in error.
bool ParseFlashOptions(const std::vector<std::string>& args, TFlashOptions& options, std::string& error);

extern const char kFlashUsage[];
