// The device simulator as a child process for tests (native builds): starts
// "zorvsim --pty <args>", gives the pty slave's path, ends the simulator and hands back its
// report, parsed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zorv::test {

// The simulator built with this tree.
std::string ZorvsimPath();

class SimProcess {
 public:
  // Throws std::runtime_error when the simulator does not announce its pty within 10 s.
  // With "--device PATH" among the args it serves that line instead (pty() gives PATH).
  explicit SimProcess(std::vector<std::string> args = {});
  ~SimProcess();  // SIGTERM if still running, reaps it
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& pty() const { return pty_; }
  bool Running();
  // Waits for the simulator to end by itself (after "PUSK", a hang-up, the idle time);
  // true when it did within the time.
  bool WaitExit(int timeoutMs);
  // SIGTERM unless it has exited; returns the REPORT json (empty if none came).
  std::string Finish(int timeoutMs = 10000);
  int ExitStatus() const { return status_; }  // as waitpid gives it, after the end
  const std::string& Output() const { return output_; }  // everything it wrote on stdout

 private:
  void Pump(int timeoutMs);  // one read of stdout, waiting at most timeoutMs
  void Reap(int timeoutMs);

  pid_t pid_ = -1;
  int out_ = -1;
  bool eof_ = false;
  bool reaped_ = false;
  int status_ = 0;
  std::string pty_;
  std::string output_;
};

struct SimEvent {
  double t = 0;
  std::string event;
  long block = 0;
  long bytes = 0;
  std::string crc;
  std::string fault;
  std::string reason;
  long us = 0;
};

struct SimReport {
  bool valid = false;  // the text parsed as a report
  std::string mode;
  long image_bytes = -1;
  std::string image_sha256;
  std::string image_crc;
  long image_mismatch = -2;  // -1: every image byte as expected; -2: no image was given
  long blocks_received = -1;
  long blocks_acked = -1;
  bool pusk = false;
  long extra_bytes = -1;
  long stray_bytes = -1;
  long vers_queries = -1;
  long echo_bytes = -1;
  std::string exit;
  std::vector<SimEvent> events;

  // Events of one kind, in order.
  std::vector<SimEvent> Events(const std::string& name) const;
  // Whether the line itself stood still inside the reply to `block` (0: the identification)
  // as the host's end saw it, or its watcher could not tell: the simulator was held up
  // ("pause"), the count at the host's end stood still ("stall"), or the watcher was held
  // up ("blind"). A host that rightly took such a pause for the reply's end is no fault.
  bool LinePausedIn(long block) const;
};

SimReport ParseSimReport(const std::string& json);

}  // namespace zorv::test
