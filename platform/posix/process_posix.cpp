// POSIX child processes (fork and exec, pipes, the parent-death signal) and stop requests
// (signal handlers that raise a flag).
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/process.h"
#include "platform/system.h"

namespace zorv::platform {

namespace {

// Closes a descriptor when it goes out of scope.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() { Reset(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

bool MakePipe(TFd& readEnd, TFd& writeEnd, std::uint32_t& error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = static_cast<std::uint32_t>(errno);
    return false;
  }
  readEnd.Reset(fds[0]);
  writeEnd.Reset(fds[1]);
  return true;
}

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void OnStopSignal(int) { g_stop.store(true); }

}  // namespace

struct TChildProcess::TImpl {
  pid_t pid = -1;
  bool reaped = false;
  int status = 0;
  TFd input;   // our end of its standard input
  TFd output;  // our end of its standard output and error
};

TChildProcess::TChildProcess() : impl_(std::make_unique<TImpl>()) {}

TChildProcess::~TChildProcess() {
  int code = 0;
  if (impl_->pid > 0 && !impl_->reaped) {
    Kill();
    Wait(-1, code);
  }
}

bool TChildProcess::Start(const std::vector<std::string>& args, std::uint32_t& error) {
  const std::string program = ProgramPath();
  TFd inRead, inWrite, outRead, outWrite, execRead, execWrite;
  if (!MakePipe(inRead, inWrite, error) || !MakePipe(outRead, outWrite, error) ||
      !MakePipe(execRead, execWrite, error)) {
    return false;
  }
  // Everything the child needs is made before the fork: between fork and exec only calls
  // that are safe in a copy of a threaded process are made.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();

  const pid_t pid = fork();
  if (pid < 0) {
    error = static_cast<std::uint32_t>(errno);
    return false;
  }
  if (pid == 0) {
    // The death signal belongs to the thread that forked: the flasher forks on its main
    // thread, which lives until every child has ended. A parent that died before the
    // signal was set is no longer the parent: end at once.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
    if (dup2(inRead.get(), 0) < 0 || dup2(outWrite.get(), 1) < 0 || dup2(outWrite.get(), 2) < 0) {
      const int e = errno;
      (void)!write(execWrite.get(), &e, sizeof e);
      _exit(127);
    }
    execv(program.c_str(), argv.data());
    const int e = errno;
    (void)!write(execWrite.get(), &e, sizeof e);
    _exit(127);
  }
  impl_->pid = pid;
  execWrite.Reset();
  inRead.Reset();
  outWrite.Reset();
  // The exec pipe closes with the exec (close-on-exec), or brings the exec's error.
  int childError = 0;
  ssize_t n;
  do {
    n = read(execRead.get(), &childError, sizeof childError);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof childError)) {
    int code = 0;
    Wait(-1, code);
    error = static_cast<std::uint32_t>(childError);
    return false;
  }
  impl_->input.Reset(inWrite.Release());
  impl_->output.Reset(outRead.Release());
  return true;
}

bool TChildProcess::WriteInput(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    // A child that ended closes the pipe: the write fails with EPIPE (SIGPIPE is ignored
    // by CatchStopRequests; MSG_NOSIGNAL does not apply to pipes).
    const ssize_t n = write(impl_->input.get(), p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::size_t TChildProcess::ReadOutput(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = read(impl_->output.get(), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return 0;
  }
}

bool TChildProcess::Wait(int timeoutMs, int& exitCode) {
  if (impl_->pid <= 0) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  while (!impl_->reaped) {
    const pid_t r = waitpid(impl_->pid, &impl_->status, timeoutMs < 0 ? 0 : WNOHANG);
    if (r == impl_->pid) {
      impl_->reaped = true;
      break;
    }
    if (r < 0 && errno != EINTR) return false;
    if (timeoutMs >= 0) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  exitCode = WIFEXITED(impl_->status) ? WEXITSTATUS(impl_->status) : 128 + WTERMSIG(impl_->status);
  return true;
}

void TChildProcess::Kill() {
  if (impl_->pid > 0 && !impl_->reaped) kill(impl_->pid, SIGKILL);
}

long TChildProcess::Id() const { return impl_->pid > 0 ? static_cast<long>(impl_->pid) : 0; }

std::size_t ReadStandardInput(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = read(0, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return 0;
  }
}

void CatchStopRequests() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  // A child that ended makes writes to its pipe fail instead of ending us.
  signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return g_stop.load(); }
void RequestStop() { g_stop.store(true); }
void StopDone() {}

}  // namespace zorv::platform
