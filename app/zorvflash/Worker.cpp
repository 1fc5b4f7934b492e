#include "app/zorvflash/Worker.h"

#include <nlohmann/json.hpp>

#include <thread>

#include "app/zorvflash/Image.h"
#include "app/zorvflash/TerminalText.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/system.h"

namespace {

using json = nlohmann::json;

void Send(const json& event) {
  zorv::platform::WriteUtf8(zorv::platform::Stream::Out, event.dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
}

}  // namespace

void TWorkerListener::Identified(const std::string&, const std::string& status) {
  std::string name, version;
  SplitDeviceText(status, name, version);
  Send({{"event", "device"}, {"device", ForTerminal(name)}, {"version", ForTerminal(version)}});
}

void TWorkerListener::Progress(int blocks, double elapsed) {
  if (blocks == lastBlocks_) return;
  lastBlocks_ = blocks;
  Send({{"event", "blocks"}, {"blocks", blocks}, {"rate", elapsed > 0 ? blocks * 256.0 / elapsed : 0.0}});
}

void TWorkerListener::Completing() { Send({{"event", "completing"}}); }

void TWorkerListener::Finished(const TPortRecord& record, double uploadSeconds) {
  double user = 0, system = 0;
  zorv::platform::ProcessCpuTimes(user, system);
  Send({{"event", "result"},
        {"result", record.result},
        {"reason", record.reason},
        {"device", ForTerminal(record.device)},
        {"version", ForTerminal(record.version)},
        {"blocks", record.blocks},
        {"bytes", record.bytesWritten},
        {"seconds", uploadSeconds},
        {"cpu", user + system},
        {"memory", zorv::platform::PeakMemoryBytes()}});
}

void TWorkerListener::NotFound(const std::string&, const std::vector<std::string>&, bool) {
  // The port's record came with Finished; nothing more to tell.
}

bool ReadImageFromParent(const std::string& source, TFirmwareImage& image) {
  std::string bytes(kImageSize, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::size_t n = zorv::platform::ReadStandardInput(bytes.data() + got, bytes.size() - got);
    if (n == 0) return false;
    got += n;
  }
  image = ImageFromBytes(std::move(bytes), source);
  return true;
}

void WatchParent() {
  // Detached: it ends with the process, blocked in its read or not.
  std::thread([] {
    std::string line;
    char buf[256];
    for (;;) {
      const std::size_t n = zorv::platform::ReadStandardInput(buf, sizeof buf);
      if (n == 0) break;  // the parent is gone
      line.append(buf, n);
      if (line.find("stop\n") != std::string::npos) break;
      if (line.size() > 4096) line.erase(0, line.size() - 16);
    }
    zorv::platform::RequestStop();
  }).detach();
}

bool ApplyWorkerLine(const std::string& line, TPortRow& row) {
  if (line.empty() || line[0] != '{') return false;
  const json e = json::parse(line, nullptr, false);
  if (e.is_discarded() || !e.is_object() || !e.contains("event")) return false;
  const std::string event = e.value("event", "");
  if (event == "device") {
    row.device = e.value("device", "");
    row.version = e.value("version", "");
    row.state = TPortRow::State::Uploading;
  } else if (event == "blocks") {
    row.blocks = e.value("blocks", row.blocks);
    row.rate = e.value("rate", 0.0);
  } else if (event == "completing") {
    row.state = TPortRow::State::Completing;
  } else if (event == "result") {
    const std::string result = e.value("result", "");
    row.state = result == "flashed"     ? TPortRow::State::Flashed
                : result == "no-device" ? TPortRow::State::NoDevice
                : result == "failed"    ? TPortRow::State::Failed
                                        : TPortRow::State::Interrupted;
    row.reason = e.value("reason", "");
    row.device = e.value("device", row.device);
    row.version = e.value("version", row.version);
    row.blocks = e.value("blocks", row.blocks);
    row.bytesWritten = e.value("bytes", 0L);
    row.seconds = e.value("seconds", 0.0);
    row.cpuSeconds = e.value("cpu", 0.0);
    row.peakMemory = e.value("memory", std::uint64_t{0});
  } else {
    return false;
  }
  return true;
}
