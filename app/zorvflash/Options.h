// The flasher's command line.
#pragma once

#include <string>
#include <vector>

struct TFlashOptions {
  enum class Action { Flash, List, ImageInfo, Help, Version } action = Action::Help;
  std::string port;
  double versTimeout = 5.0;  // seconds without an answer to "VERS" before giving up
  double pause = 15.0;       // seconds between the final acknowledgement and the completion
  bool quiet = false;        // no progress display
  bool stats = false;        // figures of the run on standard error at the end
};

// Parses the arguments after the program name. On a usage error returns false with the
// reason in error.
bool ParseFlashOptions(const std::vector<std::string>& args, TFlashOptions& options, std::string& error);

extern const char kFlashUsage[];
