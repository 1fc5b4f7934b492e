// Splitting a text into numbered parts, and CutPart.
#include "elements/kvMultiStrPart.h"

#include <gtest/gtest.h>

#include "elements/kvStr_Enum.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

TEST(CutPart, CutsAtTheFirstDelimiterCharacter) {
  std::string s = "one two three";
  EXPECT_EQ(CutPart(s, " "), "one");
  EXPECT_EQ(s, "two three");
  EXPECT_EQ(CutPart(s, " "), "two");
  EXPECT_EQ(CutPart(s, " "), "three");
  EXPECT_EQ(s, "");
  EXPECT_EQ(CutPart(s, " "), "");
  EXPECT_EQ(s, "");

  s = "a  b";  // two blanks: an empty part between them
  EXPECT_EQ(CutPart(s, " "), "a");
  EXPECT_EQ(CutPart(s, " "), "");
  EXPECT_EQ(s, "b");

  s = "x ";
  EXPECT_EQ(CutPart(s, " "), "x");
  EXPECT_EQ(s, "");
}

TEST(CutPart, AnyCharacterOfASeveralCharacterDelimiterCutsAndTheWholeLengthIsSkipped) {
  std::string s = "ab,;cd;ef";
  EXPECT_EQ(CutPart(s, ";,"), "ab");
  EXPECT_EQ(s, "cd;ef");
  s = "ab;cdef";
  EXPECT_EQ(CutPart(s, ";,"), "ab");
  EXPECT_EQ(s, "def");  // the character after the ";" goes too
  s = "ab;";
  EXPECT_EQ(CutPart(s, ";,"), "ab");
  EXPECT_EQ(s, "");
}

TEST(CutPart, EmptyDelimiterAndByteZero) {
  std::string s = "abc";
  EXPECT_EQ(CutPart(s, ""), "abc");
  EXPECT_EQ(s, "");
  // The search ends at a byte 0: a blank behind it does not cut.
  s = std::string("ab\0 c", 5);
  EXPECT_EQ(CutPart(s, " "), std::string("ab\0 c", 5));
  EXPECT_EQ(s, "");
}

class MultiStrPart : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvMultiStrPart> el{New<TKvMultiStrPart>()};
  Sink split, none;

  void SetUp() override {
    el->Delimiter = " ";
    el->SetPartCount(3);
    el->onSplit = split.Point();
    el->onNoDelimiter = none.Point();
  }
  void Run(const std::string& text) { FireData(MakePoint<&TKvMultiStrPart::doSplit>(0, el.get()), StrData(text)); }
  std::string PartOf(std::uint16_t k) {
    TData d;
    ReadPoint(MakePoint<&TKvMultiStrPart::Part>(k, el.get()), d);
    EXPECT_EQ(d.DataKind, kindString);
    return AsString(d);
  }
};

TEST_F(MultiStrPart, KeepsPartsAndEmitsTheRest) {
  Run("one two three four");
  EXPECT_EQ(PartOf(0), "one");
  EXPECT_EQ(PartOf(1), "two");
  EXPECT_EQ(PartOf(2), "three");
  EXPECT_EQ(split.strings(), (std::vector<std::string>{"four"}));
  EXPECT_EQ(none.count(), 0u);
}

TEST_F(MultiStrPart, TextWithoutTheDelimiterLeavesThePartsEmpty) {
  Run("a b c");
  Run("one");
  EXPECT_EQ(none.strings(), (std::vector<std::string>{"one"}));
  EXPECT_EQ(PartOf(0), "");
  EXPECT_EQ(PartOf(1), "");
  EXPECT_EQ(PartOf(2), "");
  el->Delimiter = "";  // an empty delimiter occurs nowhere
  Run("a b");
  EXPECT_EQ(none.strings(), (std::vector<std::string>{"one", "a b"}));
  EXPECT_EQ(PartOf(0), "");
}

TEST_F(MultiStrPart, FewerPartsThanKeptLeaveTheRestEmpty) {
  Run("a b");
  EXPECT_EQ(PartOf(0), "a");
  EXPECT_EQ(PartOf(1), "b");
  EXPECT_EQ(PartOf(2), "");
  EXPECT_EQ(split.strings(), (std::vector<std::string>{""}));
}

TEST_F(MultiStrPart, DeviceReplySplitsIntoNameAndVersion) {
  Run("ZORVANTIQUE ZX-10 1.2\r\n");
  EXPECT_EQ(PartOf(0), "ZORVANTIQUE");
  EXPECT_EQ(PartOf(1), "ZX-10");
  EXPECT_EQ(PartOf(2), "1.2\r\n");
  EXPECT_EQ(split.strings(), (std::vector<std::string>{""}));
}

TEST_F(MultiStrPart, SkipDropsPartsFirst) {
  el->Skip = 1;
  Run("a b c d e");
  EXPECT_EQ(PartOf(0), "b");
  EXPECT_EQ(PartOf(2), "d");
  EXPECT_EQ(split.strings(), (std::vector<std::string>{"e"}));
  el->Skip = 2000000000;  // stops as soon as the text is used up
  Run("a b");
  EXPECT_EQ(PartOf(0), "");
  EXPECT_EQ(split.strings().back(), "");
}

TEST_F(MultiStrPart, TheDelimiterMustOccurWholeButCutsAtAnyOfItsCharacters) {
  el->Delimiter = ", ";
  Run("a b");  // no ", " in it
  EXPECT_EQ(none.strings(), (std::vector<std::string>{"a b"}));
  Run("x y, z");
  EXPECT_EQ(PartOf(0), "x");
  // "y" goes with the two-character skip after the blank; the comma then cuts at once.
  EXPECT_EQ(PartOf(1), "");
  EXPECT_EQ(PartOf(2), "z");
}

TEST_F(MultiStrPart, ReadersBeyondThePartCountGetEmptyText) {
  Run("a b c d");
  EXPECT_EQ(PartOf(3), "");
  EXPECT_EQ(PartOf(65535), "");
  el->SetPartCount(0);
  Run("a b");
  EXPECT_EQ(split.strings().back(), "a b");
  EXPECT_EQ(PartOf(0), "");
}

TEST_F(MultiStrPart, TextPointWinsOverTheIncomingValue) {
  Source text = Source::String("p q");
  el->Text = text.Point();
  Run("ignored");
  EXPECT_EQ(PartOf(0), "p");
  EXPECT_EQ(PartOf(1), "q");
}

}  // namespace
