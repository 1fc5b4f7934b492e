// The host's end of the simulator's pty in tests: opened raw, written in the pieces the test
// chooses, read as chunks with the time each arrived.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/modbus_crc.h"

namespace zorv::test {

class PtyPeer {
 public:
  struct Chunk {
    std::string bytes;
    double t;  // seconds since the peer was opened
  };

  explicit PtyPeer(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ >= 0) {
      termios t{};
      if (tcgetattr(fd_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
      }
    }
  }
  ~PtyPeer() {
    if (fd_ >= 0) ::close(fd_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  // One write per byte, as the host sends image bytes.
  bool WriteBytewise(const std::string& bytes) {
    for (char c : bytes) {
      if (!Write(std::string(1, c))) return false;
    }
    return true;
  }

  // Reads chunks until `count` bytes came or the time is up.
  std::vector<Chunk> ReadChunks(std::size_t count, int timeoutMs) {
    std::vector<Chunk> chunks;
    std::size_t got = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got < count) {
      const int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      const int r = ::poll(&p, 1, left);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      if (p.revents & (POLLHUP | POLLERR)) {
        hungUp_ = true;
        if (!(p.revents & POLLIN)) break;
      }
      char buf[4096];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) {
        if (n < 0 && errno == EINTR) continue;
        hungUp_ = true;
        break;
      }
      chunks.push_back({std::string(buf, static_cast<std::size_t>(n)), Since()});
      got += static_cast<std::size_t>(n);
    }
    return chunks;
  }
  // Reads until `count` bytes came or the time is up, joined.
  std::string Read(std::size_t count, int timeoutMs) {
    std::string out;
    for (const Chunk& c : ReadChunks(count, timeoutMs)) out += c.bytes;
    return out;
  }
  // Everything that arrives within the time.
  std::string ReadAll(int timeoutMs) { return Read(SIZE_MAX, timeoutMs); }
  bool hungUp() const { return hungUp_; }
  double Since() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  using Clock = std::chrono::steady_clock;
  int fd_ = -1;
  bool hungUp_ = false;
  Clock::time_point start_ = Clock::now();
};

// An image of `blocks` blocks that does not begin with "VERS" (nor with 'V').
inline std::string TestImage(long blocks, std::uint32_t seed = 0x1234567u) {
  std::string img(static_cast<std::size_t>(blocks) * 256, '\0');
  std::uint32_t x = seed;
  for (char& c : img) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  if (!img.empty() && img[0] == 'V') img[0] = 'v';
  return img;
}

}  // namespace zorv::test
