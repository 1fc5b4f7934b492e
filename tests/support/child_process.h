// Runs a program as a child process for end-to-end tests (POSIX): its standard output and
// error are collected, and it is killed when it outlives its time.
#pragma once

#include <string>
#include <vector>

namespace zorv::test {

struct ChildResult {
  int exitCode = -1;       // the exit status, or -1 when it did not exit normally
  bool timedOut = false;   // killed after the time was up
  double seconds = 0;      // from start to end
  std::string out;
  std::string err;
};

ChildResult RunChild(const std::vector<std::string>& argv, int timeoutMs);

}  // namespace zorv::test
