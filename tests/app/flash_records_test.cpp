// What the flasher reads and leaves behind: the image file by the padding rule, the record
// of a port's run, the names of the trace files, and the summary and exit code of a run
// over several ports.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/zorvflash/Image.h"
#include "app/zorvflash/PortTable.h"
#include "app/zorvflash/Report.h"
#include "app/zorvflash/Trace.h"
#include "tools/common/sha256.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() : path_(fs::temp_directory_path() / ("zorv-records-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code e;
    fs::remove_all(path_, e);
  }
  std::string File(const std::string& name, std::size_t size) const {
    const std::string p = (path_ / name).string();
    std::ofstream f(p, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) f.put(static_cast<char>(i * 7 + 1));
    return p;
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

TEST(FirmwareImage, AShortFileIsPaddedAndWrongFilesAreRefusedWithThePathAndTheReason) {
  TempDir dir;
  TFirmwareImage image;
  std::string error;
  const std::string shortFile = dir.File("short.bin", 1000);
  ASSERT_TRUE(LoadImageFile(shortFile, image, error)) << error;
  ASSERT_EQ(image.bytes.size(), kImageSize);
  EXPECT_EQ(image.bytes[999], static_cast<char>(999 * 7 + 1));
  EXPECT_EQ(image.bytes.find_first_not_of('\xFF', 1000), std::string::npos);
  EXPECT_EQ(image.PaddingNote(), shortFile + ": 1,000 bytes, padded with 0xFF to 260,096");
  EXPECT_EQ(image.sha256, zorv::Sha256Hex(image.bytes));
  EXPECT_EQ(image.source, shortFile);

  ASSERT_TRUE(LoadImageFile(dir.File("whole.bin", kImageSize), image, error));
  EXPECT_EQ(image.PaddingNote(), "");

  const std::string large = dir.File("large.bin", kImageSize + 1);
  EXPECT_FALSE(LoadImageFile(large, image, error));
  EXPECT_EQ(error, large + ": 260,097 bytes; the image holds at most 260,096");
  EXPECT_FALSE(LoadImageFile(dir.File("empty.bin", 0), image, error));
  EXPECT_NE(error.find("empty.bin: an empty file"), std::string::npos) << error;
  EXPECT_FALSE(LoadImageFile(dir.Path("missing.bin"), image, error));
  EXPECT_NE(error.find("missing.bin: no such file"), std::string::npos) << error;
  EXPECT_FALSE(LoadImageFile(dir.Path(""), image, error));
  EXPECT_NE(error.find("a directory"), std::string::npos) << error;
}

TEST(PortRecord, DeviceTextsOfAnyBytesGiveOneLineOfValidJson) {
  TPortRecord r;
  r.start = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000123));
  r.end = r.start + std::chrono::milliseconds(61500);
  r.port = "COM7";
  // A quote, a backslash, control bytes, Cyrillic and the code page's one undefined byte.
  r.device = std::string("A\"\\\x01\n\x1b[2J\xD2\x98", 11);
  r.version = std::string("\x00\xFF", 2);
  r.result = "failed";
  r.reason = "no reply from the device for 3 s";
  const std::string line = RecordLine(r, "host", "1.2.3");
  ASSERT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const nlohmann::json j = nlohmann::json::parse(line);
  EXPECT_EQ(j["start"], "2023-11-14T22:13:20.123Z");
  EXPECT_EQ(j["end"], "2023-11-14T22:14:21.623Z");
  EXPECT_EQ(j["device"].get<std::string>(), "A\"\\\x01\n\x1b[2J\xD0\xA2\xEF\xBF\xBD");  // Т, then U+FFFD
  EXPECT_EQ(j["version"].get<std::string>(), std::string("\x00\xD1\x8F", 3));      // NUL, я
  EXPECT_EQ(j["result"], "failed");
  EXPECT_EQ(j["flasher"], "1.2.3");
  EXPECT_EQ(IsoUtc(std::chrono::system_clock::time_point(std::chrono::milliseconds(951782400000))),
            "2000-02-29T00:00:00.000Z");
}

TEST(LineTrace, AFileNamePerPortSafeAndUnique) {
  std::set<std::string> taken;
  EXPECT_EQ(TraceFileFor("run.trace", "COM7", taken), "run-COM7.trace");
  EXPECT_EQ(TraceFileFor("logs/run.trace", "/dev/ttyUSB0", taken), "logs/run-dev_ttyUSB0.trace");
  EXPECT_EQ(TraceFileFor("logs.d/run", "/dev/pts/3", taken), "logs.d/run-dev_pts_3");
  EXPECT_EQ(TraceFileFor("run.trace", "/dev/a:b", taken), "run-dev_a_b.trace");
  EXPECT_EQ(TraceFileFor("run.trace", "/dev/a/b", taken), "run-dev_a_b-2.trace");
  EXPECT_EQ(TraceFileFor("run.trace", "..", taken), "run-port.trace");
}

TEST(PortTable, ExitCodesAndTheSummary) {
  using S = TPortRow::State;
  auto rows = [](std::initializer_list<S> states) {
    std::vector<TPortRow> r;
    int n = 1;
    for (S s : states) {
      TPortRow row;
      row.port = "COM" + std::to_string(n++);
      row.state = s;
      r.push_back(row);
    }
    return r;
  };
  EXPECT_EQ(AllExitCode(rows({S::Flashed, S::Flashed}), false, false), 0);
  EXPECT_EQ(AllExitCode(rows({S::Flashed, S::Failed}), false, false), 1);
  EXPECT_EQ(AllExitCode(rows({S::Flashed, S::NoDevice}), false, false), 1);
  EXPECT_EQ(AllExitCode(rows({S::Flashed, S::NoDevice}), false, true), 0);  // auto skips it
  EXPECT_EQ(AllExitCode(rows({S::NoDevice, S::NoDevice}), false, false), 2);
  EXPECT_EQ(AllExitCode(rows({S::NoDevice, S::Failed}), false, false), 1);
  EXPECT_EQ(AllExitCode(rows({S::Flashed, S::Interrupted}), true, false), 130);

  std::vector<TPortRow> r = rows({S::Flashed, S::Failed, S::NoDevice});
  r[0].device = "Ёлка";
  r[0].version = "6.0";
  r[0].blocks = 1015;
  r[0].seconds = 70.4;
  r[1].reason = "reply 00 is not the acknowledgement 1A2B of block 3";
  const std::string table = SummaryTable(r, false, true);
  EXPECT_EQ(table,
            "port  device  version  result   blocks     time  reason\n"
            "COM1  Ёлка    6.0      flashed  1015/1015  1:10\n"
            "COM2  -       -        failed   0/1015     -     reply 00 is not the acknowledgement 1A2B of block 3\n"
            "no device (skipped): COM3\n");
  EXPECT_NE(SummaryTable(r, true, false).find("COM3  -       -        no device"), std::string::npos);
  EXPECT_NE(SummaryTable(r, true, false).find("interrupted"), std::string::npos);
}

}  // namespace
