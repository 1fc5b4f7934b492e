#include "app/zorvflash/Report.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>

#include "platform/files.h"
#include "platform/system.h"
#include "winlib/Cp1251.h"

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
}

}  // namespace

std::string IsoUtc(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const std::int64_t ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
  std::int64_t days = ms / 86400000;
  std::int64_t rest = ms % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<long long>(y), m, d,
                static_cast<int>(rest / 3600000), static_cast<int>(rest / 60000 % 60), static_cast<int>(rest / 1000 % 60),
                static_cast<int>(rest % 1000));
  return buf;
}

std::string RecordLine(const TPortRecord& r, const std::string& host, const std::string& flasherVersion) {
  // Every byte of Windows-1251 has a character (its one gap becomes U+FFFD), so the
  // device's texts always convert; the library escapes quotes and control characters,
  // and replaces whatever else is not valid UTF-8 (a port name, a host name).
  nlohmann::ordered_json j;
  j["start"] = IsoUtc(r.start);
  j["end"] = IsoUtc(r.end);
  j["host"] = host;
  j["port"] = r.port;
  j["device"] = Cp1251ToUtf8(r.device);
  j["version"] = Cp1251ToUtf8(r.version);
  j["image"] = r.image;
  j["image_sha256"] = r.imageSha256;
  j["result"] = r.result;
  j["reason"] = r.reason;
  j["blocks"] = r.blocks;
  j["bytes_written"] = r.bytesWritten;
  j["pusk"] = r.pusk;
  j["flasher"] = flasherVersion;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

bool AppendRecordLine(const std::string& path, const std::string& line, std::string& error) {
  zorv::platform::TFileError e;
  if (zorv::platform::AppendRecord(path, line, e)) return true;
  std::string text = zorv::platform::SystemErrorText(e.code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  error = path + ": cannot write the record: " + (text.empty() ? "system error" : text) + " (error " +
          std::to_string(e.code) + ")";
  return false;
}
