// The flasher's command line: actions, defaults and usage errors.
#include "app/zorvflash/Options.h"

#include <gtest/gtest.h>

namespace {

bool Parse(const std::vector<std::string>& args, TFlashOptions& o) {
  std::string error;
  return ParseFlashOptions(args, o, error);
}

TEST(FlashOptions, ActionsAndDefaults) {
  TFlashOptions o;
  ASSERT_TRUE(Parse({"--port", "COM3"}, o));
  EXPECT_EQ(o.action, TFlashOptions::Action::Flash);
  EXPECT_EQ(o.ports, std::vector<std::string>{"COM3"});
  EXPECT_FALSE(o.autoPorts);
  EXPECT_FALSE(o.blockWrites);
  EXPECT_EQ(o.pause, 15.0);
  EXPECT_EQ(o.VersTimeoutFor(1), 5.0);
  ASSERT_TRUE(Parse({"--pause", "0.5", "--vers-timeout", "2", "--port", "/dev/ttyUSB0", "--quiet"}, o));
  EXPECT_EQ(o.pause, 0.5);
  EXPECT_EQ(o.VersTimeoutFor(1), 2.0);
  EXPECT_EQ(o.VersTimeoutFor(3), 2.0);  // a time given holds for every port
  EXPECT_EQ(o.ports, std::vector<std::string>{"/dev/ttyUSB0"});
  EXPECT_TRUE(o.quiet);
  TFlashOptions l;
  ASSERT_TRUE(Parse({"--list"}, l));
  EXPECT_EQ(l.action, TFlashOptions::Action::List);
  TFlashOptions b;
  ASSERT_TRUE(Parse({"--block-writes", "--port", "COM1"}, b));
  EXPECT_TRUE(b.blockWrites);
}

TEST(FlashOptions, PortListsKeepTheirOrderAndTheWaitShortensWhenSeveralAreTried) {
  TFlashOptions o;
  ASSERT_TRUE(Parse({"--port", "COM9,/dev/ttyUSB0,com2"}, o));
  EXPECT_EQ(o.ports, (std::vector<std::string>{"COM9", "/dev/ttyUSB0", "com2"}));
  EXPECT_FALSE(o.autoPorts);
  EXPECT_EQ(o.VersTimeoutFor(3), 1.0);
  EXPECT_EQ(o.VersTimeoutFor(1), 5.0);
  // "auto": the list is made at run time; how many it holds decides the wait.
  TFlashOptions a;
  ASSERT_TRUE(Parse({"--port", "auto"}, a));
  EXPECT_TRUE(a.autoPorts);
  EXPECT_TRUE(a.ports.empty());
  EXPECT_EQ(a.VersTimeoutFor(2), 1.0);
  EXPECT_EQ(a.VersTimeoutFor(1), 5.0);
  // An explicit 0 is kept (a try that gives up at once), not mistaken for "not given".
  TFlashOptions z;
  ASSERT_TRUE(Parse({"--vers-timeout", "0", "--port", "COM1,COM2"}, z));
  EXPECT_EQ(z.VersTimeoutFor(2), 0.0);
  // Device paths differ by letter case; COM names do not.
  TFlashOptions p;
  ASSERT_TRUE(Parse({"--port", "/dev/ttyA,/dev/ttya"}, p));
  EXPECT_EQ(p.ports.size(), 2u);
}

TEST(FlashOptions, PortListErrors) {
  for (const std::string& bad : {std::string(","), std::string("COM1,"), std::string(",COM1"),
                                 std::string("COM1,,COM2"), std::string("auto,COM1"), std::string("COM1,auto"),
                                 std::string("auto,auto"), std::string("COM1,COM1"), std::string("COM1,com1"),
                                 std::string("/dev/a,/dev/a"), std::string("COM1,CO\0M2", 10)}) {
    TFlashOptions o;
    std::string error;
    EXPECT_FALSE(ParseFlashOptions({"--port", bad}, o, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  TFlashOptions o;
  std::string error;
  ASSERT_FALSE(ParseFlashOptions({"--port", "COM3,com3"}, o, error));
  EXPECT_NE(error.find("com3"), std::string::npos) << error;
}

TEST(FlashOptions, UsageErrors) {
  TFlashOptions o;
  std::string error;
  EXPECT_FALSE(ParseFlashOptions({}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port"}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port", ""}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port", std::string("CO\0M1", 5)}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--list", "--port", "COM1"}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port", "COM1", "--pause", "x"}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port", "COM1", "--pause", "-1"}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port", "COM1", "--pause", "1e9"}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port", "COM1", "--pause", "nan"}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--port", "COM1", "--vers-timeout", "5s"}, o, error));
  EXPECT_FALSE(ParseFlashOptions({"--frobnicate"}, o, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace

namespace {

TEST(FlashOptions, AllImageReportTraceAndTheirUsageErrors) {
  TFlashOptions o;
  ASSERT_TRUE(Parse({"--port", "COM1,COM2", "--all", "--image", "a.bin", "--report", "r.jsonl", "--trace", "t.txt"}, o));
  EXPECT_TRUE(o.all);
  EXPECT_EQ(o.imagePath, "a.bin");
  EXPECT_EQ(o.reportPath, "r.jsonl");
  EXPECT_EQ(o.tracePath, "t.txt");
  TFlashOptions one;  // --all with one port is one port
  EXPECT_TRUE(Parse({"--port", "COM1", "--all"}, one));
  TFlashOptions info;  // the file of --image-info is optional
  ASSERT_TRUE(Parse({"--image-info", "b.bin"}, info));
  EXPECT_EQ(info.infoPath, "b.bin");
  TFlashOptions info2;
  ASSERT_TRUE(Parse({"--image-info", "--image", "c.bin"}, info2));
  EXPECT_EQ(info2.imagePath, "c.bin");

  std::string many;
  for (int i = 1; i <= 65; ++i) many += (i > 1 ? ",COM" : "COM") + std::to_string(i);
  TFlashOptions sixtyFour;
  EXPECT_TRUE(Parse({"--port", many.substr(0, many.rfind(',')), "--all"}, sixtyFour));
  EXPECT_EQ(sixtyFour.ports.size(), 64u);
  for (const std::vector<std::string>& bad : {
           std::vector<std::string>{"--port", many, "--all"},
           {"--port", "COM1,COM1", "--all"},
           {"--port", "auto,COM1", "--all"},
           {"--all"},
           {"--list", "--all"},
           {"--list", "--report", "r"},
           {"--port", "COM1", "--image"},
           {"--port", "COM1", "--image", ""},
           {"--port", "COM1", "--trace"},
           {"--list", "--image", "a.bin"},
           {"--image-info", "a.bin", "--image", "b.bin"},
           {"--port", "COM1,COM2", "--worker"},
           {"--port", "COM1", "--image-pipe", "x"},
       }) {
    TFlashOptions b;
    std::string error;
    EXPECT_FALSE(ParseFlashOptions(bad, b, error)) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
