// A device on the far end of a pseudo-terminal, inside the test process: the test writes
// what the device sends, reads what the element sent, or lets the device echo or answer
// "VERS" by itself. The slave end is registered as a COM name for the element.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/comm.h"

namespace zorv::test {

class PtyDevice {
 public:
  PtyDevice() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
    path_ = name;
    // A slave kept open: without one, the master reads EIO while the element is closed.
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    stop_ = eventfd(0, EFD_CLOEXEC);
    com_ = zorv::comm::RegisterSerialPath(path_);
  }
  ~PtyDevice() {
    StopResponder();
    zorv::comm::UnregisterSerialPath(path_);
    Hangup();
    ::close(stop_);
  }
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  const std::string& path() const { return path_; }
  const std::string& com() const { return com_; }

  void Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      else if (n < 0 && errno != EINTR && errno != EAGAIN) return;
    }
  }
  // Reads what the element sent until `bytes` have come or `seconds` passed.
  std::string Read(std::size_t bytes, int seconds = 20) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (got.size() < bytes && std::chrono::steady_clock::now() < until) {
      pollfd f{master_, POLLIN, 0};
      if (poll(&f, 1, 50) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

  // Answers every chunk itself: with the chunk (echo) or, for "VERS", with the identity.
  void StartEcho() { Start(true); }
  void StartDevice() { Start(false); }
  void StopResponder() {
    if (!responder_.joinable()) return;
    const std::uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    responder_.join();
    std::uint64_t n;
    (void)!::read(stop_, &n, sizeof n);
  }
  std::size_t Echoed() const { return echoed_.load(); }

  // The device goes away: the line hangs up for the element.
  void Hangup() {
    StopResponder();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
  }

 private:
  void Start(bool echo) {
    responder_ = std::thread([this, echo] {
      std::string pending;
      for (;;) {
        pollfd f[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (poll(f, 2, -1) < 0 && errno != EINTR) return;
        if (f[1].revents) return;
        if (!(f[0].revents & POLLIN)) continue;
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        if (echo) {
          Write(std::string(buf, static_cast<std::size_t>(n)));
          echoed_ += static_cast<std::size_t>(n);
          continue;
        }
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t at; (at = pending.find("VERS")) != std::string::npos;) {
          pending.erase(0, at + 4);
          Write("ZORVANTIQUE TPX2 6.0");
        }
      }
    });
  }

  int master_ = -1;
  int slave_ = -1;
  int stop_ = -1;
  std::string path_;
  std::string com_;
  std::thread responder_;
  std::atomic<std::size_t> echoed_{0};
};

// Descriptors and threads of this process, to show that nothing is left behind.
inline int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

}  // namespace zorv::test
