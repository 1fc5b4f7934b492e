#include "report.h"

#include <cstdio>

namespace zorv::sim {
namespace {

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Seconds(double t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", t);
  return buf;
}

std::string EventJson(const Event& e) {
  std::string out = "{\"t\":" + Seconds(e.t) + ",\"event\":" + Quoted(e.name);
  if (e.block > 0) out += ",\"block\":" + std::to_string(e.block);
  if (e.bytes > 0) out += ",\"bytes\":" + std::to_string(e.bytes);
  if (!e.crc.empty()) out += ",\"crc\":" + Quoted(e.crc);
  if (!e.fault.empty()) out += ",\"fault\":" + Quoted(e.fault);
  if (!e.reason.empty()) out += ",\"reason\":" + Quoted(e.reason);
  if (e.us > 0) out += ",\"us\":" + std::to_string(e.us);
  return out + "}";
}

}  // namespace

std::vector<Event> Report::Events(const std::string& name) const {
  std::vector<Event> out;
  for (const Event& e : events) {
    if (e.name == name) out.push_back(e);
  }
  return out;
}

std::string ToJson(const Report& r) {
  std::string out = "{";
  out += "\"mode\":" + Quoted(r.mode);
  out += ",\"image_bytes\":" + std::to_string(r.image_bytes);
  out += ",\"image_sha256\":" + Quoted(r.image_sha256);
  out += ",\"image_crc\":" + Quoted(r.image_crc);
  if (r.image_checked) out += ",\"image_mismatch\":" + std::to_string(r.image_mismatch);
  out += ",\"blocks_received\":" + std::to_string(r.blocks_received);
  out += ",\"blocks_acked\":" + std::to_string(r.blocks_acked);
  out += std::string(",\"pusk\":") + (r.pusk ? "true" : "false");
  out += ",\"extra_bytes\":" + std::to_string(r.extra_bytes);
  out += ",\"stray_bytes\":" + std::to_string(r.stray_bytes);
  out += ",\"vers_queries\":" + std::to_string(r.vers_queries);
  out += ",\"echo_bytes\":" + std::to_string(r.echo_bytes);
  out += ",\"exit\":" + Quoted(r.exit);
  out += ",\"clock_start\":" + Seconds(r.clock_start);
  out += ",\"events\":[";
  for (std::size_t i = 0; i < r.events.size(); ++i) {
    if (i) out += ',';
    out += EventJson(r.events[i]);
  }
  return out + "]}";
}

}  // namespace zorv::sim
