// Stored value element: owned chains, reads announced on onGet.
#include "elements/kvEventFromData.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class EventFromData : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvEventFromData> e{New<TKvEventFromData>()};
  Sink got;
  TData a = StrData("a"), b = StrData("b"), c = StrData("c");  // a caller-owned chain

  void SetUp() override {
    e->onGet = got.Point();
    a.Next = &b;
    b.Next = &c;
  }
  void Store(TData in) { FireEvent(MakePoint<&TKvEventFromData::doStore>(0, e.get()), in); }
  TData Read(const std::string& mine = "") {
    TData r = StrData(mine);
    ReadPoint(MakePoint<&TKvEventFromData::Stored>(0, e.get()), r);
    return r;
  }
  static std::vector<std::string> Drain(TData r) {
    std::vector<std::string> out;
    while (r.DataKind != kindNull) out.push_back(ReadString(r, TEventPoint{}, ""));
    return out;
  }
};

TEST_F(EventFromData, EveryReadAnnouncesTheReadersRecordAndGivesTheSameValue) {
  EXPECT_EQ(Read().DataKind, kindNull);
  Store(IntData(5));
  EXPECT_EQ(AsInteger(Read("r1")), 5);
  EXPECT_EQ(AsInteger(Read("r2")), 5);
  EXPECT_EQ(got.strings(), (std::vector<std::string>{"", "r1", "r2"}));
}

TEST_F(EventFromData, KeepsAPrivateCopyOfAWholeChain) {
  Store(a);
  b.StrValue = "changed";  // the caller's nodes are not shared
  EXPECT_EQ(Drain(Read()), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Drain(Read()), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(EventFromData, StoringBackItsOwnChainIsSafe) {
  Store(a);
  Store(Read());  // the record runs through the element's own nodes
  Store(Read());
  EXPECT_EQ(Drain(Read()), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(EventFromData, AStoreFromOnGetChangesTheSameRead) {
  Store(StrData("old"));
  got.react = [&](TData&, std::uint16_t) { Store(StrData("new")); };
  EXPECT_EQ(AsString(Read()), "new");
}

TEST_F(EventFromData, DataPointChainWinsUnlessItAnswersBreak) {
  Source point;
  point.value = a;
  e->Value = point.Point();
  Store(StrData("ignored"));
  EXPECT_EQ(Drain(Read()), (std::vector<std::string>{"a", "b", "c"}));
  point.value.DataKind = kindBreak;
  Store(StrData("incoming"));
  EXPECT_EQ(Drain(Read()), (std::vector<std::string>{"incoming"}));
}

}  // namespace
