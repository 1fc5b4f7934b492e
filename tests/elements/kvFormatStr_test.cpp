// Format element: numbered placeholders and doubled percent signs.
#include "elements/kvFormatStr.h"

#include <gtest/gtest.h>

#include <deque>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class FormatStr : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvFormatStr> el{New<TKvFormatStr>()};
  Sink out;
  std::deque<Source> sources;

  void SetUp() override { el->onFormat = out.Point(); }
  // Template and one data source per placeholder.
  void Setup(const std::string& mask, const std::vector<std::string>& values) {
    el->Mask = mask;
    el->SetDataCount(static_cast<std::int32_t>(values.size()));
    sources.clear();
    for (std::size_t k = 0; k < values.size(); ++k) {
      sources.push_back(Source::String(values[k]));
      el->Str[k] = sources.back().Point(static_cast<std::uint16_t>(k));
    }
  }
  std::string Run(TData in = TData{}) {
    FireEvent(MakePoint<&TKvFormatStr::doFormat>(0, el.get()), in);
    EXPECT_EQ(out.last().DataKind, kindString);
    return AsString(out.last());
  }
};

TEST_F(FormatStr, TagsDoNotMatchInsideLongerNumbers) {
  Setup("%1-%2-%10", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"});
  EXPECT_EQ(Run(), "a-b-j");
}

TEST_F(FormatStr, DoubledPercentSignsGiveOne) {
  Setup("100%% %1", {"5"});
  EXPECT_EQ(Run(), "100% 5");
  Setup("%%1 %1%%", {"x"});
  EXPECT_EQ(Run(), "%1 x%");
  Setup("a%%%%b%%", {});
  EXPECT_EQ(Run(), "a%%b%");
}

TEST_F(FormatStr, AValueStartingWithADigitDoesNotExtendTheTagBeforeIt) {
  Setup("%2%1", {"3", "x"});
  EXPECT_EQ(Run(), "x3");
  Setup("%1%1", {"0"});
  EXPECT_EQ(Run(), "00");
}

TEST_F(FormatStr, LaterTagsFillPlaceholdersInsideEarlierValues) {
  Setup("[%1]", {"%2!", "two"});
  EXPECT_EQ(Run(), "[two!]");
  // Bytes 0 and 1 inside values are lost or become percent signs.
  Setup("%1", {std::string("a\0b\1c", 5)});
  EXPECT_EQ(Run(), "a%bc");
}

TEST_F(FormatStr, UnconnectedPointsTakeTheIncomingValuesOneByOne) {
  el->Mask = "%1/%2/%3";
  el->SetDataCount(3);
  Source middle = Source::String("M");
  el->Str[1] = middle.Point(1);
  TData second = StrData("second");
  TData first = IntData(1);
  first.Next = &second;
  EXPECT_EQ(Run(first), "1/M/second");
}

TEST_F(FormatStr, DeviceTextTemplate) {
  // "Устройство: %1   Текущая версия ПО: %2" in Windows-1251.
  const std::string mask =
      "\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE: %1   \xD2\xE5\xEA\xF3\xF9\xE0\xFF "
      "\xE2\xE5\xF0\xF1\xE8\xFF \xCF\xCE: %2";
  Setup(mask, {"ZX-10", "1.2"});
  EXPECT_EQ(Run(),
            "\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE: ZX-10   \xD2\xE5\xEA\xF3\xF9\xE0\xFF "
            "\xE2\xE5\xF0\xF1\xE8\xFF \xCF\xCE: 1.2");
}

TEST_F(FormatStr, CountsOutOfLineWithThePointArray) {
  el->Mask = "%1 %2 %3";
  el->SetDataCount(0);
  EXPECT_EQ(Run(), "%1 %2 %3");
  // A count set without resizing: missing points read as unconnected.
  el->DataCount = 2;
  EXPECT_EQ(Run(StrData("x")), "x  %3");
  el->SetDataCount(-5);
  EXPECT_TRUE(el->Str.empty());
  EXPECT_EQ(Run(), "%1 %2 %3");
}

}  // namespace
