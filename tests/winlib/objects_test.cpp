// Objects (free, lock, cleanup order) and lists (growth, operations).
#include "winlib/Objects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string>* g_log = nullptr;

class Probe : public TObj {
 public:
  explicit Probe(std::string name) : name_(std::move(name)) {}
  void Init() override { g_log->push_back("init " + name_); }
  int destroyed = 0;

 protected:
  ~Probe() override { g_log->push_back("destroy " + name_); }

 private:
  std::string name_;
};

void LogArg(void* arg) { g_log->push_back(static_cast<const char*>(arg)); }
void LogDestroyEvent(void* data, TObj*) { g_log->push_back(std::string("onDestroy ") + static_cast<const char*>(data)); }

class ObjTest : public ::testing::Test {
 protected:
  void SetUp() override { g_log = &log; }
  void TearDown() override { g_log = nullptr; }
  std::vector<std::string> log;
};

TEST_F(ObjTest, NewRunsInitAndFreeDestroys) {
  Probe* p = New<Probe>("a");
  Free(p);
  EXPECT_EQ(log, (std::vector<std::string>{"init a", "destroy a"}));
  Free(nullptr);  // ignored
}

TEST_F(ObjTest, LockDefersFreeToTheLastUnlock) {
  Probe* p = New<Probe>("a");
  Lock(p);
  Free(p);
  EXPECT_EQ(p->LockCount, 1);
  Free(p);  // a second Free under the lock changes nothing
  EXPECT_EQ(p->LockCount, 1);
  EXPECT_EQ(log.size(), 1u);
  Unlock(p);
  EXPECT_EQ(log.back(), "destroy a");

  log.clear();
  Probe* q = New<Probe>("b");
  Lock(q);
  Lock(q);
  Free(q);
  EXPECT_EQ(q->LockCount, 3);
  Free(q);
  Unlock(q);
  EXPECT_EQ(log.size(), 1u);  // still alive
  EXPECT_EQ(q->LockCount, 1);
  Unlock(q);
  EXPECT_EQ(log.back(), "destroy b");
}

TEST_F(ObjTest, UnlockWithoutFreeKeepsTheObject) {
  Probe* p = New<Probe>("a");
  Lock(p);
  Unlock(p);
  EXPECT_EQ(p->LockCount, 0);
  EXPECT_EQ(log.size(), 1u);
  Free(p);
  EXPECT_EQ(log.back(), "destroy a");
}

TEST_F(ObjTest, CleanupOrderOwnCleanupThenOnDestroyThenAutoFreeLastFirst) {
  Probe* p = New<Probe>("a");
  static char first[] = "auto 1", second[] = "auto 2", third[] = "auto 3", tag[] = "a";
  AddToAutoFree(p, LogArg, first);
  AddToAutoFree(p, LogArg, second);
  AddToAutoFree(p, LogArg, third);
  p->OnDestroy = TObjEvent{LogDestroyEvent, tag};
  Free(p);
  EXPECT_EQ(log, (std::vector<std::string>{"init a", "destroy a", "onDestroy a", "auto 3", "auto 2", "auto 1"}));
}

TObj* g_victim = nullptr;
void FreeVictimAgain(void*, TObj*) {
  Free(g_victim);  // re-entrant free from the object's own cleanup
  Lock(g_victim);
  Unlock(g_victim);
}

TEST_F(ObjTest, FreeFromItsOwnCleanupDoesNotDestroyTwice) {
  Probe* p = New<Probe>("a");
  g_victim = p;
  p->OnDestroy = TObjEvent{FreeVictimAgain, nullptr};
  Free(p);
  EXPECT_EQ(log, (std::vector<std::string>{"init a", "destroy a"}));
}

TEST_F(ObjTest, ObjPtrFreesOnScopeExit) {
  { auto p = MakeObj<Probe>("a"); }
  EXPECT_EQ(log.back(), "destroy a");
}

// ---- TList -----------------------------------------------------------------------------

void* V(std::intptr_t n) { return reinterpret_cast<void*>(n); }

TEST(TList, AutomaticGrowthFollowsTheQuarterRule) {
  TObjPtr<TList> l(NewList());
  std::vector<int> capacities;
  for (int i = 0; i < 60; ++i) {
    const int before = l->Capacity;
    l->Add(V(i));
    if (l->Capacity != before) capacities.push_back(l->Capacity);
  }
  EXPECT_EQ(capacities, (std::vector<int>{1, 2, 3, 4, 6, 8, 11, 14, 18, 23, 29, 37, 47, 59, 74}));
  for (int i = 0; i < 60; ++i) ASSERT_EQ(l->Get(i), V(i));
}

TEST(TList, FixedGrowthStep) {
  TObjPtr<TList> l(NewList());
  l->AddBy = 10;
  l->Add(V(1));
  EXPECT_EQ(l->Capacity, 10);
  for (int i = 0; i < 10; ++i) l->Add(V(i));
  EXPECT_EQ(l->Capacity, 20);
}

TEST(TList, InsertDeleteRemoveIndexOf) {
  TObjPtr<TList> l(NewList());
  EXPECT_EQ(l->IndexOf(V(1)), -1);
  EXPECT_EQ(l->Get(-1), nullptr);
  EXPECT_EQ(l->Get(0), nullptr);
  EXPECT_EQ(l->Add(V(1)), 0);
  EXPECT_EQ(l->Add(V(3)), 1);
  l->Insert(1, V(2));
  l->Insert(0, V(0));
  l->Insert(4, V(4));
  ASSERT_EQ(l->Count, 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(l->Get(i), V(i));
  EXPECT_EQ(l->Get(5), nullptr);
  l->Add(V(2));
  EXPECT_EQ(l->IndexOf(V(2)), 2);  // the first one
  l->Remove(V(2));
  EXPECT_EQ(l->IndexOf(V(2)), 4);
  l->Remove(V(99));
  EXPECT_EQ(l->Count, 5);
  l->Delete(0);
  EXPECT_EQ(l->Get(0), V(1));
}

TEST(TList, DeleteRangeRules) {
  TObjPtr<TList> l(NewList());
  for (int i = 0; i < 3; ++i) l->Add(V(i));
  const int cap = l->Capacity;
  l->DeleteRange(1, 0);
  EXPECT_EQ(l->Count, 3);
  l->DeleteRange(1, -5);
  EXPECT_EQ(l->Count, 3);
  l->DeleteRange(1, 100);
  EXPECT_EQ(l->Count, 1);
  EXPECT_EQ(l->Get(0), V(0));
  EXPECT_EQ(l->Capacity, cap);
  l->DeleteRange(5, 1);   // outside: nothing
  l->DeleteRange(-1, 1);
  EXPECT_EQ(l->Count, 1);
}

TEST(TList, SetCapacityNeverBelowCountAndClear) {
  TObjPtr<TList> l(NewList());
  for (int i = 0; i < 5; ++i) l->Add(V(i));
  l->SetCapacity(0);
  EXPECT_EQ(l->Capacity, 5);
  l->SetCapacity(100);
  EXPECT_EQ(l->Capacity, 100);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(l->Get(i), V(i));
  l->Clear();
  EXPECT_EQ(l->Items, nullptr);
  EXPECT_EQ(l->Count, 0);
  EXPECT_EQ(l->Capacity, 0);
}

TEST(TList, InsertOutsideTheListIsClamped) {
  TObjPtr<TList> l(NewList());
  l->Insert(5, V(1));
  l->Insert(-3, V(0));
  ASSERT_EQ(l->Count, 2);
  EXPECT_EQ(l->Get(0), V(0));
  EXPECT_EQ(l->Get(1), V(1));
}

}  // namespace
