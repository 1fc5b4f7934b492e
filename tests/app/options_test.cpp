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
  EXPECT_EQ(o.port, "COM3");
  EXPECT_EQ(o.pause, 15.0);
  EXPECT_EQ(o.versTimeout, 5.0);
  ASSERT_TRUE(Parse({"--pause", "0.5", "--vers-timeout", "2", "--port", "/dev/ttyUSB0", "--quiet"}, o));
  EXPECT_EQ(o.pause, 0.5);
  EXPECT_EQ(o.versTimeout, 2.0);
  EXPECT_TRUE(o.quiet);
  TFlashOptions l;
  ASSERT_TRUE(Parse({"--list"}, l));
  EXPECT_EQ(l.action, TFlashOptions::Action::List);
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
