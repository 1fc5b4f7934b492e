// The simulator's run: opens the line, announces it on standard output, serves the host
// until "PUSK" and the linger time, a signal, the idle time, a hang-up or a line failure,
// and prints the report. Returns the process exit status.
#pragma once

#include "options.h"

namespace zorv::sim {

int RunSimulator(const Options& options);

}  // namespace zorv::sim
