// Byte string to hexadecimal text.
#include "elements/kvStream2Hex.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class Stream2Hex : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvStream2Hex> el{New<TKvStream2Hex>()};
  Sink out;
  void SetUp() override { el->onHex = out.Point(); }
  std::string Run(const TData& in) {
    FireData(MakePoint<&TKvStream2Hex::doHex>(0, el.get()), in);
    return AsString(out.last());
  }
};

TEST_F(Stream2Hex, TwoUpperCaseDigitsPerByte) {
  EXPECT_EQ(Run(StrData("")), "");
  EXPECT_EQ(Run(StrData(std::string("\x00\x0A\xFF", 3))), "000AFF");
  EXPECT_EQ(Run(StrData("abc")), "616263");
  EXPECT_EQ(Run(StrData("\xC0\xDF\xE0")), "C0DFE0");  // Windows-1251 letters, unsigned
  EXPECT_EQ(Run(IntData(12)), "3132");                  // the incoming value as text
  EXPECT_EQ(out.last().DataKind, kindString);
}

TEST_F(Stream2Hex, LongTextsDoubleInLength) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  const std::string hex = Run(StrData(bytes));
  ASSERT_EQ(hex.size(), 512u);
  EXPECT_EQ(hex.substr(0, 8), "00010203");
  EXPECT_EQ(hex.substr(504), "FCFDFEFF");
}

TEST_F(Stream2Hex, DataPointWinsOverTheIncomingValue) {
  Source data = Source::String("Z");
  el->Data = data.Point();
  EXPECT_EQ(Run(StrData("ignored")), "5A");
}

}  // namespace
