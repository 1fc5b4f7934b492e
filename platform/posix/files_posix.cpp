// POSIX files: open, read, write and fsync.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace zorv::platform {

namespace {

TFileError ErrorOf(int code) {
  TFileError e;
  e.kind = code == ENOENT || code == ENOTDIR ? TFileError::Kind::NotFound : TFileError::Kind::Other;
  e.code = static_cast<std::uint32_t>(code);
  return e;
}

// Closes a descriptor when it goes out of scope.
class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size, int& code) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      code = errno;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool ReadFileAtMost(const std::string& path, std::size_t limit, std::string& bytes, std::uint64_t& size,
                    TFileError& error) {
  bytes.clear();
  size = 0;
  TFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    error = ErrorOf(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = TFileError{TFileError::Kind::Directory, 0};
    return false;
  }
  char buf[65536];
  while (bytes.size() <= limit) {
    const ssize_t n = read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Reading a directory that open accepted fails here.
      error = errno == EISDIR ? TFileError{TFileError::Kind::Directory, 0} : ErrorOf(errno);
      return false;
    }
    if (n == 0) break;
    const std::size_t room = limit + 1 - bytes.size();
    bytes.append(buf, static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : room);
  }
  size = S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > bytes.size() ? static_cast<std::uint64_t>(st.st_size)
                                                                                   : bytes.size();
  return true;
}

bool AppendRecord(const std::string& path, const std::string& bytes, TFileError& error) {
  TFd fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (fd.get() < 0) {
    error = ErrorOf(errno);
    return false;
  }
  // One write: with O_APPEND the system places it at the end as a whole, so records of
  // several processes never interleave. A short write would leave half a record; the
  // rest is written at once, which is the best that can be done then.
  int code = 0;
  if (!WriteAll(fd.get(), bytes.data(), bytes.size(), code) || fsync(fd.get()) != 0) {
    error = ErrorOf(code != 0 ? code : errno);
    return false;
  }
  return true;
}

TOutputFile::~TOutputFile() {
  if (handle_ != kNone) close(static_cast<int>(handle_));
}

bool TOutputFile::Create(const std::string& path, TFileError& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = ErrorOf(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

bool TOutputFile::Write(const char* data, std::size_t size, TFileError& error) {
  int code = 0;
  if (handle_ == kNone) return false;
  if (!WriteAll(static_cast<int>(handle_), data, size, code)) {
    error = ErrorOf(code);
    return false;
  }
  return true;
}

}  // namespace zorv::platform
