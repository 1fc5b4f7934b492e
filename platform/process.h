// Child processes and stop requests of the command-line flasher.
//
// TChildProcess starts this very program again with other arguments (one process per
// port), its standard input a pipe from us and its standard output and error one pipe to
// us. A child never outlives this process: on Windows every child is in a job object
// that kills its members when the job's last handle closes (with this process; on
// Windows 7, where a process of a job cannot join a second job, a flasher started inside a
// job that lets no child break away has its children run outside its own); on Linux
// a child gets the parent-death signal (SIGTERM) and ends at once when its parent was
// gone before that was set. Besides, a child sees its standard input end when the parent
// is gone, on any system.
//
// Stop requests: Ctrl+C, SIGINT, SIGTERM and SIGHUP (the terminal went away) on POSIX;
// Ctrl+C, Ctrl+Break and the console's close, log-off or shut-down on Windows. A request
// only raises a flag that the program polls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zorv::platform {

class TChildProcess {
 public:
  TChildProcess();
  // Ends the child (killed when still running) and releases every handle.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Starts this program with the arguments (UTF-8). On failure returns false with the
  // system's error code of the call that failed.
  bool Start(const std::vector<std::string>& args, std::uint32_t& error);
  // Writes all the bytes to its standard input; false when it cannot take them (ended).
  bool WriteInput(const void* data, std::size_t size);
  // Reads what it writes; 0 once its output ended. Blocks; one reader thread at a time.
  std::size_t ReadOutput(char* buffer, std::size_t size);
  // Waits at most timeoutMs for its end; true with its exit code (128 + the signal's
  // number when a signal ended it).
  bool Wait(int timeoutMs, int& exitCode);
  void Kill();
  // Its process id (0 before the start).
  long Id() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// Reads this program's standard input; 0 at its end or on an error.
std::size_t ReadStandardInput(char* buffer, std::size_t size);

// Installs the handlers of stop requests.
void CatchStopRequests();
bool StopRequested();
// Raises the flag from inside the program (for example when the parent is gone).
void RequestStop();
// Windows: a console that is closed ends the process as soon as its handler returns; the
// handler waits (at most a few seconds) for this call, made once the stop is done.
void StopDone();

}  // namespace zorv::platform
