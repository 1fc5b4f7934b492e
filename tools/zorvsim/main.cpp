// zorvsim: a simulated device bootloader on a pseudo-terminal or serial device, for tests of
// the host's serial exchange.
#include <cstdio>
#include <string>
#include <vector>

#include "options.h"
#include "simulator.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const zorv::sim::ParsedOptions parsed = zorv::sim::ParseOptions(args);
  if (!parsed.ok) {
    std::fprintf(stderr, "zorvsim: %s\n%s", parsed.error.c_str(), zorv::sim::UsageText().c_str());
    return 2;
  }
  if (parsed.options.help) {
    std::fputs(zorv::sim::UsageText().c_str(), stdout);
    return 0;
  }
  return zorv::sim::RunSimulator(parsed.options);
}
