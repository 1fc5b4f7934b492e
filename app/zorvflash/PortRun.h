// One run of the flasher in this process: the ports tried in order until a device
// identifies itself on one (or the one port), the upload of the image, "PUSK", the
// completion pause, with the record of each port's outcome (--report), the line trace
// (--trace) and stop requests (Ctrl+C and the like: the port is closed inside the scheme
// gate, so that nothing more is written, and the run ends as "interrupted").
//
// What the user sees is the listener's: the console's lines for a flasher of its own, or
// events for the parent flasher when this process is one port of several (--all).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/zorvflash/Options.h"
#include "app/zorvflash/Report.h"

class TFlashScheme;
class TStream;
struct TFirmwareImage;

// Runs the scheme from its start to its end around one job.
class TSession {
 public:
  TSession(double pauseSeconds, bool blockWrites, TStream* image = nullptr);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  TFlashScheme& scheme() { return *scheme_; }

 private:
  TFlashScheme* scheme_;
};

// Exit codes of the flasher.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitNotFound = 2;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitInterrupted = 130;

// The device's name and version out of the device text the query shows (Windows-1251);
// false when the text is not a device text.
bool SplitDeviceText(const std::string& status, std::string& name, std::string& version);

class TRunListener {
 public:
  virtual ~TRunListener() = default;
  // A device identified itself on the port (status: the device text, Windows-1251).
  virtual void Identified(const std::string& port, const std::string& status) = 0;
  // Called about five times a second during the upload.
  virtual void Progress(int blocks, double elapsedSeconds) = 0;
  // "PUSK" left the port; the completion pause runs.
  virtual void Completing() = 0;
  // The port's outcome (also for ports without a device when they were named).
  virtual void Finished(const TPortRecord& record, double uploadSeconds) = 0;
  // No port had a device: the not-found text, and the reasons of ports that could not be
  // opened.
  virtual void NotFound(const std::string& status, const std::vector<std::string>& openFailures, bool noPorts) = 0;
};

// Runs the flash of the options with the image; returns the exit code (0, 1, 2, 64 for a
// trace or report file that cannot be written, 130 after a stop request).
int RunFlash(const TFlashOptions& options, const TFirmwareImage& image, TRunListener& listener);

// Appends the record to the report file of the options, if any; a failure is told on
// standard error.
void WriteRecord(const TFlashOptions& options, const TPortRecord& record);
