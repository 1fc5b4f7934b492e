// The simulator's end of the serial line: a new pseudo-terminal (the master, with a slave
// descriptor kept open) or a serial device, raw, non-blocking; and the optional symbolic
// link to the pty slave.
#pragma once

#include <string>

namespace zorv::sim {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release();
  void Reset();

 private:
  int fd_ = -1;
};

class Line {
 public:
  // Both return an invalid line and set error on failure.
  static Line OpenPty(std::string& error);
  static Line OpenDevice(const std::string& path, long baud, std::string& error);

  bool valid() const { return io_.valid(); }
  int fd() const { return io_.get(); }
  const std::string& path() const { return path_; }
  bool isPty() const { return keepSlave_.valid(); }
  int slaveFd() const { return keepSlave_.get(); }  // pty only: the simulator's own slave
  void Close();  // both ends: the host sees a hang-up
  // Stops (or lets go on) the host's output, as a device whose receiver no longer takes
  // bytes: on a pty the host's writes block. A serial device has nothing to stop; false.
  bool HoldHostOutput(bool hold);

 private:
  Fd io_;         // pty master or the device
  Fd keepSlave_;  // pty only
  std::string path_;
};

// Makes `link` point at `target` and removes it again at destruction if it still does.
// An existing symbolic link is replaced (a stale one from an earlier run); any other file
// is left alone and reported.
class SymLink {
 public:
  SymLink() = default;
  SymLink(const SymLink&) = delete;
  SymLink& operator=(const SymLink&) = delete;
  ~SymLink();
  bool Make(const std::string& link, const std::string& target, std::string& error);

 private:
  std::string link_;
  std::string target_;
};

// Sets the line rate, including rates that are no standard value (38462).
bool SetBaud(int fd, long baud, std::string& error);

}  // namespace zorv::sim
