// The floor of an exchange that writes one byte per write request: times N one-byte writes
// through the serial port element on a line, with the bootloader's line settings.
//
//   bench_line_writes --port PORT [--count N] [--on-reader]
//
// PORT is COMn, or on Linux a device path. N defaults to the number of writes a whole
// upload makes (260,096 image bytes plus "VERS" and "PUSK"). With --on-reader the writes
// are made where the upload makes most of them: on the port's reader thread, from the
// handler of a received chunk (the device's answer to "VERS").
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scheme/BootloaderLine.h"
#include "platform/comm.h"
#include "runtime/Share.h"
#include "serial/kvComAsync.h"

namespace {

struct Counter {
  long ok = 0;
  long failed = 0;
  void doWritten(TData& d, std::uint16_t) { AsInteger(d) > 0 ? ++ok : ++failed; }
};

void WriteBytes(TKvComAsync* com, long count) {
  for (long i = 0; i < count; ++i) {
    TData byte;
    SetString(byte, std::string(1, static_cast<char>(i & 0xFF)));
    com->doWrite(byte, 0);
  }
}

// Writes the bytes from the handler of the first chunk received.
struct ReaderWriter {
  TKvComAsync* com = nullptr;
  long count = 0;
  std::atomic<bool> done{false};
  std::chrono::steady_clock::time_point start, end;
  void doRxChar(TData&, std::uint16_t) {
    if (done.load() || start != std::chrono::steady_clock::time_point()) return;
    start = std::chrono::steady_clock::now();
    WriteBytes(com, count);
    end = std::chrono::steady_clock::now();
    done.store(true);
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string port;
  long count = 260098;
  bool onReader = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--on-reader") onReader = true;
    if (i + 1 >= argc) continue;
    if (a == "--port") port = argv[++i];
    if (a == "--count") count = std::strtol(argv[++i], nullptr, 10);
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
  double seconds = 0;
  if (onReader) {
    ReaderWriter rw;
    rw.com = com.get();
    rw.count = count;
    com->onRxChar = MakePoint<&ReaderWriter::doRxChar>(0, &rw);
    TData vers;
    SetString(vers, "VERS");
    com->doWrite(vers, 0);
    while (!rw.done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seconds = std::chrono::duration<double>(rw.end - rw.start).count();
    counter.ok -= 1;  // "VERS"
  } else {
    const auto start = std::chrono::steady_clock::now();
    WriteBytes(com.get(), count);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  std::printf("line-writes: %ld one-byte writes (%ld failed) in %.3f s, %.2f us per write\n", counter.ok + counter.failed,
              counter.failed, seconds, seconds * 1e6 / static_cast<double>(count));
  com.reset();
  EventsOff();
  return counter.failed == 0 ? 0 : 1;
}
