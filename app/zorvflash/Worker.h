// One port of several (--all) in a process of its own: the parent flasher starts this
// program again with --worker and the port, and the two talk through pipes.
//
// With --auto-found the port came from --port auto: it gets no record when no device is on
// it. Parent to worker (its standard input): with --image-pipe SOURCE first the image's
// 260,096 bytes, then lines; "stop" asks the worker to stop. The end of its input (the
// parent is gone) stops it too.
// Worker to parent (its standard output): one JSON object per line, {"event": ...}:
// "device" (device, version: as shown), "blocks" (blocks, rate), "completing", and last
// "result" (result, reason, blocks, seconds, cpu, memory, bytes). Anything else it writes
// (a sanitizer's report) is passed on by the parent as it is.
#pragma once

#include <string>

#include "app/zorvflash/PortRun.h"
#include "app/zorvflash/PortTable.h"

struct TFirmwareImage;

// The worker's side of the run: its events as lines for the parent.
class TWorkerListener : public TRunListener {
 public:
  void Identified(const std::string& port, const std::string& status) override;
  void Progress(int blocks, double elapsedSeconds) override;
  void Completing() override;
  void Finished(const TPortRecord& record, double uploadSeconds) override;
  void NotFound(const std::string& status, const std::vector<std::string>& openFailures, bool noPorts) override;

 private:
  int lastBlocks_ = -1;
};

// Reads the image the parent sends; false when its input ended first.
bool ReadImageFromParent(const std::string& source, TFirmwareImage& image);
// Watches the parent's input from now on: "stop", or its end, is a stop request.
void WatchParent();

// Applies one line of a worker to its row; false when the line is no event.
bool ApplyWorkerLine(const std::string& line, TPortRow& row);
