// The debug message box and its replacement for tests.
#include "runtime/Debug.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_text, g_caption;
void Capture(const std::string& text, const std::string& caption) {
  g_text = text;
  g_caption = caption;
}

TEST(DebugMessage, GoesToTheSinkWithTheFixedCaption) {
  SetDebugSink(Capture);
  DebugMessage("Self destruction is not allowed !!!");
  SetDebugSink(nullptr);
  EXPECT_EQ(g_text, "Self destruction is not allowed !!!");
  EXPECT_EQ(g_caption, "String-Debug");
}

}  // namespace
