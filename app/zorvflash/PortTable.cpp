#include "app/zorvflash/PortTable.h"

#include <algorithm>
#include <cstdio>

#include "app/zorvflash/Progress.h"

namespace {

constexpr int kProgressBlocks = 1015;
// Every port's line is written again this often when no terminal redraws them.
constexpr double kPlainInterval = 10.0;
// A terminal is redrawn at most this often.
constexpr double kRedrawInterval = 0.2;

// Characters, not bytes: UTF-8 continuation bytes take no column.
std::size_t Width(const std::string& s) {
  return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Padded(const std::string& s, std::size_t width) {
  const std::size_t w = Width(s);
  return w >= width ? s : s + std::string(width - w, ' ');
}

std::string OrDash(const std::string& s) { return s.empty() ? "-" : s; }

}  // namespace

std::string StateText(TPortRow::State state) {
  switch (state) {
    case TPortRow::State::Starting: return "starting";
    case TPortRow::State::Identifying: return "identifying";
    case TPortRow::State::Uploading: return "uploading";
    case TPortRow::State::Completing: return "completing";
    case TPortRow::State::Flashed: return "flashed";
    case TPortRow::State::Failed: return "failed";
    case TPortRow::State::NoDevice: return "no device";
    case TPortRow::State::Interrupted: return "interrupted";
  }
  return "?";
}

std::string RowLine(const TPortRow& row) {
  std::string line = row.port;
  if (!row.device.empty() || !row.version.empty()) line += "  " + row.device + " " + row.version;
  char blocks[48];
  std::snprintf(blocks, sizeof blocks, "  %d/%d blocks", row.blocks, kProgressBlocks);
  line += blocks;
  if (row.rate > 0 && row.state == TPortRow::State::Uploading) line += "  " + TProgressMeter::FormatRate(row.rate);
  line += "  " + StateText(row.state);
  if (!row.reason.empty()) line += ": " + row.reason;
  return line;
}

std::string SummaryTable(const std::vector<TPortRow>& rows, bool interrupted, bool autoPorts) {
  std::vector<std::vector<std::string>> cells = {{"port", "device", "version", "result", "blocks", "time", "reason"}};
  std::vector<std::string> skipped;
  for (const TPortRow& r : rows) {
    if (autoPorts && r.state == TPortRow::State::NoDevice) {
      skipped.push_back(r.port);
      continue;
    }
    const bool uploaded = r.state != TPortRow::State::NoDevice && r.state != TPortRow::State::Starting;
    cells.push_back({r.port, OrDash(r.device), OrDash(r.version), StateText(r.state),
                     uploaded ? std::to_string(r.blocks) + "/" + std::to_string(kProgressBlocks) : "-",
                     uploaded && r.seconds > 0 ? TProgressMeter::FormatDuration(r.seconds) : "-", r.reason});
  }
  std::vector<std::size_t> widths(cells[0].size(), 0);
  for (const auto& line : cells) {
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], Width(line[i]));
  }
  std::string text;
  for (const auto& line : cells) {
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const bool last = i + 1 == line.size();
      out += last ? line[i] : Padded(line[i], widths[i]) + "  ";
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    text += out + "\n";
  }
  if (!skipped.empty()) {
    text += "no device (skipped):";
    for (const std::string& p : skipped) text += " " + p;
    text += "\n";
  }
  if (interrupted) text += "interrupted: every port was stopped\n";
  return text;
}

int AllExitCode(const std::vector<TPortRow>& rows, bool interrupted, bool autoPorts) {
  if (interrupted) return 130;
  int flashed = 0, failed = 0, none = 0;
  for (const TPortRow& r : rows) {
    if (r.state == TPortRow::State::Flashed) ++flashed;
    else if (r.state == TPortRow::State::NoDevice) ++none;
    else ++failed;
  }
  if (failed > 0) return 1;
  if (flashed == 0) return 2;
  if (none > 0 && !autoPorts) return 1;
  return 0;
}

std::string TPortDisplay::Redraw(const std::vector<TPortRow>& rows) {
  std::string text;
  if (drawn_ > 0) text += "\x1b[" + std::to_string(drawn_) + "A";
  for (const TPortRow& r : rows) text += "\r" + RowLine(r) + "\x1b[K\n";
  drawn_ = rows.size();
  return text;
}

std::string TPortDisplay::Update(const std::vector<TPortRow>& rows, double now) {
  if (terminal_) {
    if (lastDraw_ >= 0 && now - lastDraw_ < kRedrawInterval) return std::string();
    lastDraw_ = now;
    return Redraw(rows);
  }
  shown_.resize(rows.size(), TPortRow::State::Starting);
  const bool all = now - lastAll_ >= kPlainInterval;
  if (all) lastAll_ = now;
  std::string text;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const bool changed = rows[i].state != shown_[i];
    if (changed || (all && !rows[i].Finished())) text += RowLine(rows[i]) + "\n";
    shown_[i] = rows[i].state;
  }
  return text;
}

std::string TPortDisplay::Finish(const std::vector<TPortRow>& rows) {
  if (terminal_) return Redraw(rows);
  lastAll_ = -kPlainInterval;
  return Update(rows, 0);
}
