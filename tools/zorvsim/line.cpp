#include "line.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace zorv::sim {
namespace {

std::string ErrnoText(const std::string& what, int code) {
  return what + ": " + strerror(code);
}

bool MakeRaw(int fd, std::string& error) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) {
    error = ErrnoText("tcgetattr", errno);
    return false;
  }
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    error = ErrnoText("tcsetattr", errno);
    return false;
  }
  return true;
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int Fd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void Fd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Line Line::OpenPty(std::string& error) {
  Line line;
  Fd master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!master.valid()) {
    error = ErrnoText("posix_openpt", errno);
    return line;
  }
  if (grantpt(master.get()) != 0 || unlockpt(master.get()) != 0) {
    error = ErrnoText("grantpt/unlockpt", errno);
    return line;
  }
  std::vector<char> name(256);
  if (ptsname_r(master.get(), name.data(), name.size()) != 0) {
    error = ErrnoText("ptsname_r", errno);
    return line;
  }
  // With no slave descriptor open anywhere, reads on the master fail with EIO and poll
  // keeps reporting it readable; the simulator holds one for as long as it serves.
  Fd slave(::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave.valid()) {
    error = ErrnoText(std::string("open ") + name.data(), errno);
    return line;
  }
  // A new slave is in cooked mode with echo on; termios calls on the master act on it.
  if (!MakeRaw(master.get(), error)) return line;
  line.io_ = std::move(master);
  line.keepSlave_ = std::move(slave);
  line.path_ = name.data();
  return line;
}

Line Line::OpenDevice(const std::string& path, long baud, std::string& error) {
  Line line;
  Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    error = ErrnoText("open " + path, errno);
    return line;
  }
  if (!MakeRaw(fd.get(), error)) return line;
  if (!SetBaud(fd.get(), baud, error)) return line;
  tcflush(fd.get(), TCIOFLUSH);
  line.io_ = std::move(fd);
  line.path_ = path;
  return line;
}

bool Line::HoldHostOutput(bool hold) {
  // The slave's output is the host's: stopped (as by a received XOFF), the pty takes none
  // of the host's bytes and its writes wait, whatever the host's own settings.
  if (!keepSlave_.valid()) return false;
  return tcflow(keepSlave_.get(), hold ? TCOOFF : TCOON) == 0;
}

void Line::Close() {
  io_.Reset();
  keepSlave_.Reset();
}

SymLink::~SymLink() {
  if (link_.empty()) return;
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink(link_.c_str(), buf.data(), buf.size() - 1);
  if (n >= 0 && std::string(buf.data(), static_cast<std::size_t>(n)) == target_) {
    ::unlink(link_.c_str());
  }
}

bool SymLink::Make(const std::string& link, const std::string& target, std::string& error) {
  struct stat st{};
  if (::lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = link + ": exists and is no symbolic link";
      return false;
    }
    if (::unlink(link.c_str()) != 0) {
      error = ErrnoText("unlink " + link, errno);
      return false;
    }
  }
  if (::symlink(target.c_str(), link.c_str()) != 0) {
    error = ErrnoText("symlink " + link, errno);
    return false;
  }
  link_ = link;
  target_ = target;
  return true;
}

}  // namespace zorv::sim
