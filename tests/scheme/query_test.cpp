// The device query sub-scheme, driven through its container as the main scheme drives it.
#include <gtest/gtest.h>

#include "scheme/Texts.h"
#include "tests/scheme/harness.h"

namespace {

using namespace zorv::test;

std::string DeviceText(const std::string& name, const std::string& version) {
  std::string t = zorv::texts::kDeviceFormat;
  t.replace(t.find("%1"), 2, name);
  t.replace(t.find("%2"), 2, version);
  return t;
}

TEST(QueryScheme, PickingAPortAsksToOpenIt) {
  Harness h;
  h.PickPort();
  EXPECT_EQ(h.OpenRequests.count(), 1u);
  EXPECT_TRUE(h.Line->writes.empty());
}

TEST(QueryScheme, AFailedOpenShowsNotFoundAndSendsNothing) {
  Harness h;
  h.OpenResult(0);
  EXPECT_EQ(h.Status.strings(), (std::vector<std::string>{zorv::texts::kNotFound}));
  EXPECT_EQ(h.OpenFailed.count(), 1u);
  EXPECT_TRUE(h.Line->writes.empty());
  EXPECT_EQ(h.Route(), 0);
}

TEST(QueryScheme, ASuccessfulOpenSendsVers) {
  Harness h;
  h.OpenResult(3);
  EXPECT_EQ(h.Line->writes, (std::vector<std::string>{"VERS"}));
  EXPECT_TRUE(h.Status.hits.empty());
}

TEST(QueryScheme, IdentifiesInAnyLetterCaseAndSwitchesTheRouting) {
  Harness h;
  h.OpenResult(3);
  h.Reply("zorvantique X1 7.2");
  EXPECT_EQ(h.Status.strings(), (std::vector<std::string>{DeviceText("X1", "7.2")}));
  EXPECT_EQ(h.Found.count(), 1u);
  EXPECT_EQ(h.Route(), 1);
  // From now on chunks go to the upload (which, not started, reports failure).
  h.Reply("ZORVANTIQUE X1 7.2");
  EXPECT_EQ(h.Found.count(), 1u);
  EXPECT_EQ(h.Failure.count(), 1u);
}

TEST(QueryScheme, TwoWordsIdentifyWithAnEmptyVersion) {
  Harness h;
  h.Reply("ZORVANTIQUE TPX2");
  EXPECT_EQ(h.Status.strings(), (std::vector<std::string>{DeviceText("TPX2", "")}));
  EXPECT_EQ(h.Route(), 1);
}

TEST(QueryScheme, BytesAfterTheThirdBlankAreLeftOut) {
  Harness h;
  h.Reply("ZORVANTIQUE TPX2 6.0 extra words\r\n");
  EXPECT_EQ(h.Status.strings(), (std::vector<std::string>{DeviceText("TPX2", "6.0")}));
}

TEST(QueryScheme, OtherBytesStayInsideTheirField) {
  Harness h;
  h.Reply("ZORVANTIQUE TPX2 6.0\r\n");
  EXPECT_EQ(h.Status.strings(), (std::vector<std::string>{DeviceText("TPX2", "6.0\r\n")}));
}

TEST(QueryScheme, UnidentifiedRepliesShowNotFoundAndKeepTheRouting) {
  for (const std::string& reply : {std::string("ZORVANTIQUE"), std::string("ZORVANTIQUEX TPX2 6.0"),
                                   std::string("OTHER TPX2 6.0"), std::string(" ZORVANTIQUE TPX2"),
                                   std::string("ZORVANTIQU TPX2 6.0"), std::string("\0 a b", 5)}) {
    Harness h;
    h.Reply(reply);
    EXPECT_EQ(h.Status.strings(), (std::vector<std::string>{zorv::texts::kNotFound})) << reply;
    EXPECT_EQ(h.Found.count(), 0u);
    EXPECT_EQ(h.Route(), 0) << reply;
    // Still routed here: a good reply afterwards identifies.
    h.Reply("ZORVANTIQUE TPX2 6.0");
    EXPECT_EQ(h.Route(), 1);
  }
}

}  // namespace
