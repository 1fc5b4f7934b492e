// The record of one port's run (--report FILE): one JSON object on one line, appended to
// the file in one write as soon as the port's outcome is known (JSON Lines).
//
// Fields: start and end (UTC, ISO 8601 with milliseconds), host, port, device and version
// (as the device sent them, converted from Windows-1251 to UTF-8), image ("embedded" or
// the path) and image_sha256, result ("flashed", "failed", "no-device", "interrupted"),
// reason (of a failure, as the flasher shows it; empty otherwise), blocks (acknowledged),
// bytes_written (image bytes handed to the port), pusk (whether "PUSK" was written) and
// flasher (the flasher's version).
#pragma once

#include <chrono>
#include <string>

struct TPortRecord {
  std::chrono::system_clock::time_point start{}, end{};
  std::string port;
  std::string device, version;  // Windows-1251 bytes, as received
  std::string image, imageSha256;
  std::string result;
  std::string reason;
  int blocks = 0;
  long bytesWritten = 0;
  bool pusk = false;
};

// "2025-03-14T09:26:53.589Z".
std::string IsoUtc(std::chrono::system_clock::time_point t);

// The record as one line of JSON ending in a line feed.
std::string RecordLine(const TPortRecord& record, const std::string& host, const std::string& flasherVersion);

// Appends the record's line to the file; false with the reason.
bool AppendRecordLine(const std::string& path, const std::string& line, std::string& error);
