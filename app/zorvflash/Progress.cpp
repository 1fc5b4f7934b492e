#include "app/zorvflash/Progress.h"

#include <cmath>
#include <cstdio>

namespace {
constexpr int kBlockBytes = 256;
}

std::string TProgressMeter::FormatRate(double bytesPerSecond) {
  char buf[32];
  if (bytesPerSecond >= 1024.0 * 1024.0) {
    std::snprintf(buf, sizeof buf, "%.1f MiB/s", bytesPerSecond / (1024.0 * 1024.0));
  } else if (bytesPerSecond >= 1024.0) {
    std::snprintf(buf, sizeof buf, "%.1f KiB/s", bytesPerSecond / 1024.0);
  } else {
    std::snprintf(buf, sizeof buf, "%.0f B/s", bytesPerSecond);
  }
  return buf;
}

std::string TProgressMeter::FormatDuration(double seconds) {
  if (!(seconds >= 0)) seconds = 0;
  const long s = std::lround(seconds);
  char buf[32];
  if (s >= 3600) {
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  }
  return buf;
}

std::string TProgressMeter::Update(int blocks, double elapsed) {
  if (blocks < 0) blocks = 0;
  if (blocks > total_) blocks = total_;
  const int percent = total_ > 0 ? blocks * 100 / total_ : 100;
  const double rate = elapsed > 0 ? blocks * kBlockBytes / elapsed : 0;

  if (!terminal_) {
    const int tenth = percent / 10;
    if (tenth == lastTenth_) return std::string();
    lastTenth_ = tenth;
    char buf[96];
    std::snprintf(buf, sizeof buf, "progress: %d/%d blocks (%d%%), %s\n", blocks, total_, percent,
                  FormatRate(rate).c_str());
    return buf;
  }

  // Redraw at most five times a second, or when the count moved.
  if (blocks == lastBlocks_ && elapsed - lastDraw_ < 0.2) return std::string();
  lastBlocks_ = blocks;
  lastDraw_ = elapsed;
  drawn_ = true;
  constexpr int kWidth = 30;
  const int filled = total_ > 0 ? blocks * kWidth / total_ : kWidth;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kWidth - filled), '.');
  std::string left;
  // The estimate settles once a few per cent are done and a couple of seconds have passed.
  if (blocks > 0 && blocks < total_ && percent >= 2 && elapsed >= 2.0) {
    left = "  left " + FormatDuration(elapsed * (total_ - blocks) / blocks);
  }
  char buf[160];
  std::snprintf(buf, sizeof buf, "\r[%s] %4d/%d blocks %3d%%  %s%s\x1b[K", bar.c_str(), blocks, total_, percent,
                FormatRate(rate).c_str(), left.c_str());
  return buf;
}

std::string TProgressMeter::Finish() {
  if (terminal_ && drawn_) {
    drawn_ = false;
    return "\n";
  }
  return std::string();
}
