// Converter: integer to one character and to hexadecimal text.
#include "elements/kvConvertor.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class Convertor : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvConvertor> el{New<TKvConvertor>()};
  Sink out;
  void SetUp() override {
    el->onResult = out.Point();
    el->Digits = 1;
  }
  std::string Run(const TData& in) {
    FireData(MakePoint<&TKvConvertor::doConvert>(0, el.get()), in);
    EXPECT_EQ(out.last().DataKind, kindString);
    return AsString(out.last());
  }
};

TEST_F(Convertor, Mode4GivesTheCharacterOfTheLowByte) {
  el->Mode = 4;
  EXPECT_EQ(Run(IntData(65)), "A");
  EXPECT_EQ(Run(IntData(256)), std::string(1, '\0'));
  EXPECT_EQ(Run(IntData(-1)), "\xFF");
  EXPECT_EQ(Run(IntData(0x1C0)), "\xC0");
}

TEST_F(Convertor, Mode6GivesHexadecimalOfAtLeastDigitsDigits) {
  el->Mode = 6;
  EXPECT_EQ(Run(IntData(0)), "0");
  EXPECT_EQ(Run(IntData(5)), "5");
  EXPECT_EQ(Run(IntData(15)), "F");
  EXPECT_EQ(Run(IntData(165)), "A5");
  EXPECT_EQ(Run(IntData(255)), "FF");
  EXPECT_EQ(Run(IntData(1015)), "3F7");
  EXPECT_EQ(Run(IntData(-1)), "FFFFFFFF");
  el->Digits = 4;
  EXPECT_EQ(Run(IntData(255)), "00FF");
  EXPECT_EQ(Run(IntData(0x12345)), "12345");
}

TEST_F(Convertor, OtherModesGiveAnEmptyString) {
  for (std::int32_t mode : {0, 1, 2, 3, 5, 7, -4, 1000}) {
    el->Mode = mode;
    EXPECT_EQ(Run(IntData(65)), "") << mode;
  }
  EXPECT_EQ(out.count(), 8u);
}

TEST_F(Convertor, ReadsTheDataPointThenTheIncomingValue) {
  el->Mode = 6;
  EXPECT_EQ(Run(StrData("12")), "C");
  EXPECT_EQ(Run(TData{}), "0");
  EXPECT_EQ(Run(StrData("junk")), "0");
  Source data = Source::Integer(255);
  el->Data = data.Point();
  EXPECT_EQ(Run(IntData(1)), "FF");
}

}  // namespace
