// Sub-scheme containers: a small generated-like sub-scheme is hosted by a container and
// driven through the container's points.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Debug.h"
#include "runtime/kvEditMultiEx.h"
#include "runtime/kvMultiBase.h"
#include "runtime/kvMultiElementEx.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

std::vector<std::string>* g_log = nullptr;
int g_created = 0;

// An inner element that echoes every value it gets out through boundary.doEvent[2].
class Echo : public TObj {
 public:
  TEventPoint onOut;
  void doIn(TData& d, std::uint16_t) { PassOn(d, onOut, d); }
};

// An inner data source answered through boundary.OutVar[0].
class Answer : public TObj {
 public:
  std::int32_t value = 0;
  void Get(TData& d, std::uint16_t) { SetInteger(d, value); }
};

class StartWork : public TObj {
 public:
  StartWork() { AddStartHook(&StartWork::Hook, this); }
  static void Hook(void*) { g_log->push_back("start hook"); }
};

// Generated-like sub-scheme: Boundary, Echo, Answer.
class TestScheme : public TClassMultiBase {
 public:
  TestScheme(TKvMultiElementEx* container, TObj* parent) : id(++g_created), parent_(parent) {
    Boundary = New<TKvEditMultiEx>();
    Boundary->SetWorkCount(3);
    Boundary->SetVarCount(1);
    EchoEl = New<Echo>();
    AnswerEl = New<Answer>();
    AnswerEl->value = 100 + id;
    Starter = New<StartWork>();
    Boundary->owner = this;
    Boundary->container = container;
    Boundary->onWork[0] = MakePoint<&Echo::doIn>(0, EchoEl);
    Boundary->OutVar[0] = MakePoint<&Answer::Get>(0, AnswerEl);
    EchoEl->onOut = MakePoint<&TKvEditMultiEx::doEvent>(2, Boundary);
    boundary = Boundary;
    g_log->push_back("create " + std::to_string(id));
  }
  static TKvEditMultiEx* Create(TKvMultiElementEx* c, void*, TObj* parent) { return New<TestScheme>(c, parent)->boundary; }

  int id;
  TKvEditMultiEx* Boundary;
  Echo* EchoEl;
  Answer* AnswerEl;
  StartWork* Starter;

 protected:
  ~TestScheme() override {
    g_log->push_back("destroy " + std::to_string(id));
    Free(Starter);
    Free(AnswerEl);
    Free(EchoEl);
    Free(Boundary);
  }

 private:
  TObj* parent_;
};

std::vector<std::string> g_debug;
void CaptureDebug(const std::string& text, const std::string& caption) { g_debug.push_back(caption + ": " + text); }

class Container : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log;
    g_created = 0;
    g_debug.clear();
    SetDebugSink(CaptureDebug);
    SetSchemeStarted(false);
    c = New<TKvMultiElementEx>(nullptr);
    c->SetEventCount(5);
    c->SetVarCount(1);
  }
  void TearDown() override {
    if (c) Free(c);
    SetDebugSink(nullptr);
    SetSchemeStarted(false);
    RunStartHooks();  // drop hooks registered while not started
    SetSchemeStarted(false);
    g_log = nullptr;
  }
  TEventPoint Work(std::uint16_t k) { return MakePoint<&TKvMultiElementEx::doWork>(k, c); }

  EventsOnScope events;
  std::vector<std::string> log;
  TKvMultiElementEx* c = nullptr;
};

TEST_F(Container, SettingTheFactoryCreatesOneCurrentInstanceThatGetsEveryWork) {
  c->SetFactory(TestScheme::Create);
  EXPECT_EQ(c->instances->Count, 1);
  ASSERT_NE(c->current, nullptr);
  Sink out;
  c->onEvent[2] = out.Point(7);
  FireString(Work(0), "one");
  FireInteger(Work(0), 2);
  EXPECT_EQ(out.strings(), (std::vector<std::string>{"one", "2"}));
  EXPECT_EQ(out.hits[0].index, 7);
  EXPECT_EQ(g_created, 1);
  FireString(Work(9), "no such work point");  // ignored
}

TEST_F(Container, DataReadsGoThroughBothFaces) {
  c->SetFactory(TestScheme::Create);
  TData d;
  c->OutVar(d, 0);
  EXPECT_EQ(AsInteger(d), 101);
  c->OutVar(d, 5);
  EXPECT_EQ(d.DataKind, kindBreak);

  TData in;
  c->current->InVar(in, 0);  // container's InVar[0] unconnected
  EXPECT_EQ(in.DataKind, kindBreak);
  Source src = Source::String("FFFF");
  c->InVar[0] = src.Point();
  c->current->InVar(in, 0);
  EXPECT_EQ(in.StrValue, "FFFF");
}

TEST_F(Container, WithoutACurrentInstanceATemporaryOneRoutes) {
  c->SetFactory(TestScheme::Create);
  TData idx = IntData(0);
  c->doDelete(idx, 0xFFFF);
  EXPECT_EQ(c->current, nullptr);
  EXPECT_EQ(c->instances->Count, 0);
  Sink out;
  c->onEvent[2] = out.Point();
  log.clear();
  FireString(Work(0), "x");
  EXPECT_EQ(out.strings(), (std::vector<std::string>{"x"}));
  EXPECT_EQ(log, (std::vector<std::string>{"create 2", "destroy 2"}));
  TData d;
  c->OutVar(d, 0);
  EXPECT_EQ(AsInteger(d), 103);
  EXPECT_EQ(c->instances->Count, 0);
}

TEST_F(Container, DeletingTheInstanceThatIsRoutingOutIsRefused) {
  c->SetFactory(TestScheme::Create);
  TKvMultiElementEx* container = c;
  Sink out;
  out.react = [container](TData&, std::uint16_t) {
    TData n = IntData(0);
    container->doDelete(n, 0xFFFF);
  };
  c->onEvent[2] = out.Point();
  FireString(Work(0), "boom");
  EXPECT_EQ(g_debug, (std::vector<std::string>{"String-Debug: Self destruction is not allowed !!!"}));
  EXPECT_EQ(c->instances->Count, 1);
  EXPECT_NE(c->current, nullptr);
  // Outside the routing call the same delete goes through.
  TData n = IntData(0);
  c->doDelete(n, 0xFFFF);
  EXPECT_EQ(c->instances->Count, 0);
}

TEST_F(Container, DeleteFiresTheNamedWorkPointFirstAndIgnoresBadIndexes) {
  c->SetFactory(TestScheme::Create);
  Sink out;
  c->onEvent[2] = out.Point();
  TData n = IntData(5);
  c->doDelete(n, 0);  // no instance 5
  n = IntData(-1);
  c->doDelete(n, 0);
  EXPECT_EQ(c->instances->Count, 1);
  EXPECT_TRUE(out.hits.empty());
  n = IntData(0);
  c->doDelete(n, 0);  // work point 0 (the echo) gets the value first
  EXPECT_EQ(out.integers(), (std::vector<std::int32_t>{0}));
  EXPECT_EQ(c->instances->Count, 0);
}

TEST_F(Container, DestructionEndsInstancesLastCreatedFirst) {
  c->SetFactory(TestScheme::Create);
  c->SetFactory(TestScheme::Create);
  c->SetFactory(TestScheme::Create);
  EXPECT_EQ(c->instances->Count, 3);
  Sink out;
  c->onEvent[2] = out.Point();
  log.clear();
  Free(c);
  c = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"destroy 3", "destroy 2", "destroy 1"}));
  EXPECT_TRUE(out.hits.empty());  // nothing fires on the way out
}

TEST_F(Container, StartHooksOfANewInstanceRunAtOnceOnceTheProgramRuns) {
  c->SetFactory(TestScheme::Create);
  EXPECT_EQ(std::count(log.begin(), log.end(), "start hook"), 0);
  EXPECT_FALSE(SchemeStarted());
  RunStartHooks();  // the program starts
  EXPECT_EQ(std::count(log.begin(), log.end(), "start hook"), 1);
  c->SetFactory(TestScheme::Create);  // created while running: its hook runs now
  EXPECT_EQ(std::count(log.begin(), log.end(), "start hook"), 2);
  EXPECT_TRUE(SchemeStarted());
}

TEST_F(Container, GuardListStaysExactWhileThreadsRouteAtOnce) {
  c->SetFactory(TestScheme::Create);
  TKvEditMultiEx* boundary = c->current;
  TKvMultiElementEx* container = c;
  std::atomic<int> insideWithoutGuard{0};
  std::atomic<int> calls{0};
  struct Check {
    TKvMultiElementEx* c;
    TKvEditMultiEx* b;
    std::atomic<int>* bad;
    std::atomic<int>* calls;
    void doIt(TData&, std::uint16_t) {
      calls->fetch_add(1);
      if (!c->IsRouting(b)) bad->fetch_add(1);
    }
  } check{container, boundary, &insideWithoutGuard, &calls};
  c->onEvent[2] = MakePoint<&Check::doIt>(0, &check);

  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) FireInteger(Work(0), i);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(calls.load(), 6000);
  EXPECT_EQ(insideWithoutGuard.load(), 0);
  EXPECT_FALSE(c->IsRouting(boundary));  // every frame was removed
}

}  // namespace
