#include "app/zorvflash/Trace.h"

#include "platform/system.h"

namespace {

constexpr std::size_t kFlushSize = 1 << 20;
constexpr char kDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, unsigned char b) {
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

}  // namespace

std::string HexBytes(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) AppendHex(out, static_cast<unsigned char>(c));
  return out;
}

TLineTrace::TLineTrace() : start_(std::chrono::steady_clock::now()) { buffer_.reserve(kFlushSize + 4096); }

TLineTrace::~TLineTrace() { Flush(); }

bool TLineTrace::Open(const std::string& path, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  zorv::platform::TFileError e;
  if (!file_.Create(path, e)) {
    std::string text = zorv::platform::SystemErrorText(e.code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
      text.pop_back();
    error = path + ": cannot create the trace: " + (text.empty() ? "system error" : text) + " (error " +
            std::to_string(e.code) + ")";
    return false;
  }
  path_ = path;
  return true;
}

std::int64_t TLineTrace::Now() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
}

void TLineTrace::LineLocked(std::int64_t us, const std::string& text) {
  buffer_ += std::to_string(us);
  buffer_ += ' ';
  buffer_ += text;
  buffer_ += '\n';
  if (buffer_.size() >= kFlushSize) FlushLocked();
}

void TLineTrace::EndRunLocked() {
  if (runCount_ == 0) return;
  const std::string count = std::to_string(runCount_);
  std::string text;
  text.reserve(runHex_.size() + 32);
  text = "tx " + count + (runCount_ > 1 ? " in " + count + " writes: " : ": ");
  text += runHex_;
  runHex_.clear();
  runCount_ = 0;
  LineLocked(runStart_, text);
}

void TLineTrace::Written(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_.IsOpen()) return;
  // The upload writes an image byte at a time: a row of them becomes one line.
  if (bytes.size() == 1) {
    if (runCount_ == 0) runStart_ = Now();
    AppendHex(runHex_, static_cast<unsigned char>(bytes[0]));
    ++runCount_;
    return;
  }
  EndRunLocked();
  LineLocked(Now(), "tx " + std::to_string(bytes.size()) + ": " + HexBytes(bytes));
}

void TLineTrace::Received(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_.IsOpen()) return;
  const std::int64_t now = Now();
  EndRunLocked();
  LineLocked(now, "rx " + std::to_string(bytes.size()) + ": " + HexBytes(bytes));
}

void TLineTrace::Note(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_.IsOpen()) return;
  const std::int64_t now = Now();
  EndRunLocked();
  LineLocked(now, text);
}

void TLineTrace::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  EndRunLocked();
  FlushLocked();
}

void TLineTrace::FlushLocked() {
  if (buffer_.empty() || !file_.IsOpen()) return;
  zorv::platform::TFileError e;
  if (!file_.Write(buffer_.data(), buffer_.size(), e) && error_.empty()) {
    error_ = path_ + ": cannot write the trace (error " + std::to_string(e.code) + ")";
  }
  buffer_.clear();
}

std::string TLineTrace::error() {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

std::string TraceFileFor(const std::string& path, const std::string& port, std::set<std::string>& taken) {
  std::string safe;
  for (char c : port) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (ok) safe += c;
    else if (!safe.empty() && safe.back() != '_') safe += '_';
  }
  while (!safe.empty() && (safe.back() == '_' || safe.back() == '.')) safe.pop_back();
  while (!safe.empty() && safe.front() == '.') safe.erase(0, 1);
  if (safe.empty()) safe = "port";
  // The extension is what follows the last dot of the file's own name.
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  for (int n = 1;; ++n) {
    const std::string suffix = n == 1 ? safe : safe + "-" + std::to_string(n);
    const std::string name = path.substr(0, dot) + "-" + suffix + path.substr(dot);
    if (taken.insert(name).second) return name;
  }
}
