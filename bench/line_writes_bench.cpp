// The floor of an exchange that writes one byte per write request: times N one-byte writes
// through the serial port element on a line, with the bootloader's line settings.
//
//   bench_line_writes --port PORT [--count N]
//
// PORT is COMn, or on Linux a device path. N defaults to the number of writes a whole
// upload makes (260,096 image bytes plus "VERS" and "PUSK").
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/zorvflash/FlashScheme.h"
#include "platform/comm.h"
#include "runtime/Share.h"
#include "serial/kvComAsync.h"

namespace {

struct Counter {
  long ok = 0;
  long failed = 0;
  void doWritten(TData& d, std::uint16_t) { AsInteger(d) > 0 ? ++ok : ++failed; }
};

}  // namespace

int main(int argc, char** argv) {
  std::string port;
  long count = 260098;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--port") port = argv[i + 1];
    if (a == "--count") count = std::strtol(argv[i + 1], nullptr, 10);
  }
  if (port.empty() || count <= 0) {
    std::fprintf(stderr, "usage: bench_line_writes --port PORT [--count N]\n");
    return 64;
  }
  if (port.find('/') != std::string::npos) port = zorv::comm::RegisterSerialPath(port);

  EventsOn();
  TObjPtr<TKvComAsync> com(New<TKvComAsync>());
  SetBootloaderLineProperties(com.get());
  Counter counter;
  com->onWrite = MakePoint<&Counter::doWritten>(0, &counter);
  TData name;
  SetString(name, port);
  com->doOpen(name, 0);
  if (!com->Opened()) {
    std::fprintf(stderr, "bench_line_writes: cannot open %s\n", port.c_str());
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < count; ++i) {
    TData byte;
    SetString(byte, std::string(1, static_cast<char>(i & 0xFF)));
    com->doWrite(byte, 0);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("line-writes: %ld one-byte writes (%ld failed) in %.3f s, %.2f us per write\n", counter.ok + counter.failed,
              counter.failed, seconds, seconds * 1e6 / static_cast<double>(count));
  com.reset();
  EventsOff();
  return counter.failed == 0 ? 0 : 1;
}
