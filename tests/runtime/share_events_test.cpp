// Points, firing with tail firing, reading with defaults, dispatch switch, start hooks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Share.h"

namespace {

// Test elements ------------------------------------------------------------------------

// Records what arrives and optionally passes something on by tail firing.
struct Recorder {
  std::vector<std::string> seen;
  std::vector<std::uint16_t> indexes;
  std::vector<std::uint8_t> kinds;
  TEventPoint next;
  enum { None, PassInteger, Overwrite } mode = None;

  void doIt(TData& d, std::uint16_t index) {
    seen.push_back(AsString(d));
    indexes.push_back(index);
    kinds.push_back(d.DataKind);
    if (mode == PassInteger) PassOnInteger(d, next, 42);
    if (mode == Overwrite) SetString(d, "overwritten");
  }
};

// A data source answering a fixed value.
struct Source {
  TData value;
  int reads = 0;
  void Get(TData& d, std::uint16_t) {
    ++reads;
    d = value;
  }
};

class Events : public ::testing::Test {
 protected:
  void SetUp() override { EventsOn(); }
  void TearDown() override { EventsOff(); }
};

TEST_F(Events, UnconnectedPointIsIgnored) {
  TEventPoint p;
  EXPECT_FALSE(p.Connected());
  TData d;
  SetInteger(d, 1);
  FireEvent(p, d);
  EXPECT_EQ(d.IntValue, 1);
  // Any routine reference below 65536 counts as unset.
  TEventPoint low = MakePoint(0, reinterpret_cast<TEventHandler>(std::uintptr_t{0xFFFF}), nullptr);
  EXPECT_FALSE(low.Connected());
  FireEvent(low, d);
}

TEST_F(Events, MakePointCarriesIndexAndTarget) {
  Recorder r;
  const TEventPoint p = MakePoint<&Recorder::doIt>(7, &r);
  EXPECT_TRUE(p.Connected());
  EXPECT_EQ(p.Target, &r);
  FireInteger(p, 5);
  FireString(p, "s");
  FireNull(p);
  EXPECT_EQ(r.seen, (std::vector<std::string>{"5", "s", ""}));
  EXPECT_EQ(r.indexes, (std::vector<std::uint16_t>{7, 7, 7}));
}

TEST_F(Events, TailFiringRunsTheThirdElementAfterTheReceiverReturned) {
  Recorder second, third;
  second.mode = Recorder::PassInteger;
  second.next = MakePoint<&Recorder::doIt>(3, &third);
  FireString(MakePoint<&Recorder::doIt>(0, &second), "x");
  EXPECT_EQ(second.seen, (std::vector<std::string>{"x"}));
  EXPECT_EQ(third.seen, (std::vector<std::string>{"42"}));
  EXPECT_EQ(third.kinds, (std::vector<std::uint8_t>{kindInteger}));  // RouteFlag cleared
  EXPECT_EQ(third.indexes, (std::vector<std::uint16_t>{3}));
}

TEST_F(Events, TailFiringIntoAnUnconnectedPointStops) {
  Recorder last;
  last.mode = Recorder::PassInteger;  // next stays unconnected
  TData d;
  FireEvent(MakePoint<&Recorder::doIt>(0, &last), d);
  EXPECT_EQ(d.DataKind, kindInteger);
  EXPECT_EQ(d.IntValue, 42);
}

TEST_F(Events, FireDataLeavesTheCallersValueAlone) {
  Recorder r;
  r.mode = Recorder::Overwrite;
  TData v;
  SetString(v, "mine");
  FireData(MakePoint<&Recorder::doIt>(0, &r), v);
  EXPECT_EQ(v.StrValue, "mine");
  FireEvent(MakePoint<&Recorder::doIt>(0, &r), v);
  EXPECT_EQ(v.StrValue, "overwritten");
}

TEST_F(Events, PassOnVariants) {
  TEventPoint p = MakePoint(9, reinterpret_cast<TEventHandler>(std::uintptr_t{0x10000}), nullptr);
  TData d;
  SetString(d, "keep");
  d.IntValue = 3;
  PassOnNull(d, p);
  EXPECT_EQ(d.DataKind, 128);
  EXPECT_EQ(d.StrValue, "keep");
  EXPECT_EQ(d.RouteLink.Index, 9);
  TData chained;
  d.Next = &chained;
  PassOnInteger(d, p, 5);
  EXPECT_EQ(d.DataKind, 129);
  EXPECT_EQ(d.Next, nullptr);
  PassOnString(d, p, "t");
  EXPECT_EQ(d.DataKind, 130);
  TData v;
  SetInteger(v, 8);
  PassOn(d, p, v);
  EXPECT_EQ(d.DataKind, kindInteger | RouteFlag);
  EXPECT_EQ(d.IntValue, 8);
  PassOn(d, p, d);  // the value itself
  EXPECT_EQ(d.IntValue, 8);
}

// One element that passes on to the next of a long chain by tail firing; records how deep
// the stack is when it runs.
struct ChainLink {
  TEventPoint next;
  static std::uintptr_t lowest, highest;
  static int calls;
  void doStep(TData& d, std::uint16_t) {
    const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (frame < lowest) lowest = frame;
    if (frame > highest) highest = frame;
    ++calls;
    PassOnInteger(d, next, d.IntValue + 1);
  }
};
std::uintptr_t ChainLink::lowest = UINTPTR_MAX;
std::uintptr_t ChainLink::highest = 0;
int ChainLink::calls = 0;

TEST_F(Events, AMillionTailFiringElementsRunWithoutGrowingTheStack) {
  constexpr int kLinks = 1000000;
  std::vector<ChainLink> links(kLinks);
  for (int i = 0; i + 1 < kLinks; ++i) links[i].next = MakePoint<&ChainLink::doStep>(0, &links[i + 1]);
  TData d;
  SetInteger(d, 0);
  FireEvent(MakePoint<&ChainLink::doStep>(0, &links[0]), d);
  EXPECT_EQ(ChainLink::calls, kLinks);
  EXPECT_EQ(d.IntValue, kLinks);
  EXPECT_LT(ChainLink::highest - ChainLink::lowest, 1024u);
}

// ---- Reading ---------------------------------------------------------------------------

TData ChainOf(std::initializer_list<const char*> texts, std::vector<TData*>& owned) {
  TData head;
  TData* tail = nullptr;
  for (const char* t : texts) {
    if (!tail) {
      SetString(head, t);
      tail = &head;
    } else {
      tail->Next = new TData();
      owned.push_back(tail->Next);
      SetString(*tail->Next, t);
      tail = tail->Next;
    }
  }
  return head;
}

struct Owned {
  std::vector<TData*> nodes;
  ~Owned() {
    for (TData* n : nodes) delete n;
  }
};

TEST_F(Events, ReadStringFallsBackFromBreakToTheIncomingChain) {
  Source breaker;
  breaker.value.DataKind = kindBreak;
  Owned o;
  TData in = ChainOf({"first", "second", "third"}, o.nodes);
  EXPECT_EQ(ReadString(in, MakePoint<&Source::Get>(0, &breaker), ""), "first");
  EXPECT_EQ(in.StrValue, "second");
  EXPECT_EQ(ReadString(in, TEventPoint{}, ""), "second");
  EXPECT_EQ(ReadString(in, TEventPoint{}, ""), "third");
  EXPECT_EQ(in.DataKind, kindNull);
  EXPECT_EQ(ReadString(in, TEventPoint{}, "def"), "def");
}

TEST_F(Events, ReadStringPrefersPointThenDefault) {
  Source src;
  SetInteger(src.value, 12);
  TData in;
  SetString(in, "incoming");
  EXPECT_EQ(ReadString(in, MakePoint<&Source::Get>(0, &src), "def"), "12");
  EXPECT_EQ(ReadString(in, TEventPoint{}, "def"), "def");
  EXPECT_EQ(in.StrValue, "incoming");  // not consumed
}

TEST_F(Events, ReadIntegerRules) {
  TData in;  // NULL
  EXPECT_EQ(ReadInteger(in, TEventPoint{}, 0), 0);
  EXPECT_EQ(in.DataKind, kindNull);
  SetString(in, "17");
  EXPECT_EQ(ReadInteger(in, TEventPoint{}, 5), 5);
  EXPECT_EQ(ReadInteger(in, TEventPoint{}, 0), 17);
  EXPECT_EQ(in.DataKind, kindNull);
  Source src;
  SetString(src.value, "9");
  EXPECT_EQ(ReadInteger(in, MakePoint<&Source::Get>(0, &src), 5), 9);
  EXPECT_EQ(ReadIntegerPoint(MakePoint<&Source::Get>(0, &src)), 9);
  EXPECT_EQ(ReadIntegerPoint(TEventPoint{}), 0);
}

TEST_F(Events, ReadValueAndReadAllValues) {
  Owned o;
  TData in = ChainOf({"a", "b", "c"}, o.nodes);
  TData out;
  ReadValue(in, TEventPoint{}, nullptr, out);
  EXPECT_EQ(out.StrValue, "a");
  EXPECT_EQ(out.Next, nullptr);
  EXPECT_EQ(in.StrValue, "b");

  TData def;
  SetInteger(def, 4);
  ReadValue(in, TEventPoint{}, &def, out);
  EXPECT_EQ(out.IntValue, 4);
  EXPECT_EQ(in.StrValue, "b");

  Source src;
  SetString(src.value, "p");
  TData extra;
  src.value.Next = &extra;
  ReadValue(in, MakePoint<&Source::Get>(0, &src), &def, out);
  EXPECT_EQ(out.StrValue, "p");
  EXPECT_EQ(out.Next, nullptr);  // one value only
  ReadAllValues(in, MakePoint<&Source::Get>(0, &src), nullptr, out);
  EXPECT_EQ(out.Next, &extra);  // the whole chain as read

  ReadAllValues(in, TEventPoint{}, nullptr, out);
  EXPECT_EQ(out.StrValue, "b");
  ASSERT_NE(out.Next, nullptr);
  EXPECT_EQ(out.Next->StrValue, "c");
  EXPECT_EQ(in.DataKind, kindNull);

  TData in2 = ChainOf({"x", "y"}, o.nodes);
  TakeFirstValue(in2, out);
  EXPECT_EQ(out.StrValue, "x");
  EXPECT_EQ(in2.StrValue, "y");
}

TEST_F(Events, ReadPointOrBreakAndStreamPoint) {
  TData d;
  SetInteger(d, 3);
  ReadPointOrBreak(d, TEventPoint{});
  EXPECT_EQ(d.DataKind, kindBreak);
  Source src;
  SetInteger(src.value, 1);
  SetString(d, "left alone until the source writes");
  ReadPointOrBreak(d, MakePoint<&Source::Get>(0, &src));
  EXPECT_EQ(d.IntValue, 1);
  EXPECT_EQ(ReadStreamPoint(MakePoint<&Source::Get>(0, &src)), nullptr);
}

TEST(EventsSwitch, WhileOffNothingFiresAndDataPointsReadAsNull) {
  EventsOff();
  Recorder r;
  FireInteger(MakePoint<&Recorder::doIt>(0, &r), 1);
  EXPECT_TRUE(r.seen.empty());
  Source src;
  SetString(src.value, "value");
  TData in;
  SetString(in, "incoming");
  EXPECT_EQ(ReadString(in, MakePoint<&Source::Get>(0, &src), "def"), "");
  EXPECT_EQ(src.reads, 0);
  EXPECT_FALSE(EventsAreOn());
  EventsOn();
  EXPECT_TRUE(EventsAreOn());
  FireInteger(MakePoint<&Recorder::doIt>(0, &r), 1);
  EXPECT_EQ(r.seen.size(), 1u);
  EventsOff();
}

// Dispatch switched on and off many times while two threads fire and read; then a switch
// takes effect for every fire and read another thread starts after it: all of them run
// while dispatch is on, none while it is off. That the switching itself is free of data
// races is ThreadSanitizer's to report (the native-tsan build).
TEST(EventsSwitch, SwitchingWhileOtherThreadsFireTakesEffectForEveryLaterFire) {
  struct Counter {
    std::atomic<int> n{0};
    void doIt(TData&, std::uint16_t) { n.fetch_add(1, std::memory_order_relaxed); }
  };
  enum Phase { kToggling, kOn, kOff, kStop };
  constexpr int kRounds = 200;
  std::atomic<int> phase{kToggling};
  std::atomic<int> readyOn{0}, readyOff{0};
  std::atomic<int> ranWhileOn{0}, ranWhileOff{0};
  Counter counters[2];
  std::vector<std::thread> threads;
  for (Counter& counter : counters) {
    threads.emplace_back([&] {
      const TEventPoint p = MakePoint<&Counter::doIt>(0, &counter);
      bool onDone = false, offDone = false;
      for (;;) {
        const int now = phase.load();
        if (now == kStop) break;
        if (now == kOn && !onDone) {
          const int before = counter.n.load();
          for (int i = 0; i < kRounds; ++i) {
            FireNull(p);
            (void)ReadIntegerPoint(p);
          }
          ranWhileOn += counter.n.load() - before;
          onDone = true;
          ++readyOn;
        } else if (now == kOff && !offDone) {
          const int before = counter.n.load();
          for (int i = 0; i < kRounds; ++i) {
            FireNull(p);
            (void)ReadIntegerPoint(p);
          }
          ranWhileOff += counter.n.load() - before;
          offDone = true;
          ++readyOff;
        } else if (now == kToggling) {
          FireNull(p);
          (void)ReadIntegerPoint(p);
        } else {
          std::this_thread::yield();
        }
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    EventsOn();
    EventsOff();
  }
  EventsOn();
  phase = kOn;
  while (readyOn.load() < 2) std::this_thread::yield();
  EventsOff();
  phase = kOff;
  while (readyOff.load() < 2) std::this_thread::yield();
  phase = kStop;
  for (auto& t : threads) t.join();
  EXPECT_EQ(ranWhileOn.load(), 2 * 2 * kRounds) << "every fire and read ran while on";
  EXPECT_EQ(ranWhileOff.load(), 0) << "none while off";
}

// ---- Start hooks -----------------------------------------------------------------------

std::vector<int>* g_hookLog;
void HookA(void* o) { g_hookLog->push_back(*static_cast<int*>(o)); }
int g_late = 99;
void HookAddsAnother(void*) {
  g_hookLog->push_back(0);
  AddStartHook(HookA, &g_late);
}

TEST(StartHooks, RunInOrderThenEmptyAndMarkStarted) {
  std::vector<int> log;
  g_hookLog = &log;
  SetSchemeStarted(false);
  RunStartHooks();  // empty list: only marks the scheme started
  EXPECT_TRUE(SchemeStarted());
  EXPECT_TRUE(log.empty());

  SetSchemeStarted(false);
  int one = 1, two = 2;
  AddStartHook(HookA, &one);
  AddStartHook(HookAddsAnother, nullptr);
  AddStartHook(HookA, &two);
  RunStartHooks();
  EXPECT_EQ(log, (std::vector<int>{1, 0, 2, 99}));
  EXPECT_TRUE(SchemeStarted());
  RunStartHooks();  // the list was emptied
  EXPECT_EQ(log.size(), 4u);
  SetSchemeStarted(false);
}

}  // namespace

namespace {

TEST(ReplaceAll, InsertedTextIsNotSearchedAgain) {
  std::string s = "aXbXc";
  ReplaceAll(s, "X", "XX");
  EXPECT_EQ(s, "aXXbXXc");
  s = "%%%";
  ReplaceAll(s, "%%", std::string(1, '\0'));
  EXPECT_EQ(s, std::string("\0%", 2));
  s = "abc";
  ReplaceAll(s, "", "z");
  EXPECT_EQ(s, "abc");
}

TEST(ReplaceAll, AcceptTestSeesOneBasedPositions) {
  std::string s = "%1 %10 %1";
  std::vector<std::size_t> asked;
  ReplaceAll(s, "%1", "v", [&](std::size_t pos) {
    asked.push_back(pos);
    return pos + 2 > s.size() || s[pos + 1] < '0' || s[pos + 1] > '9';
  });
  EXPECT_EQ(s, "v %10 v");
  EXPECT_EQ(asked, (std::vector<std::size_t>{1, 3, 7}));  // positions in the text as it is then
}

}  // namespace
