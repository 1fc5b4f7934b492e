// The scheme gate: one thread at a time, re-entry, cancelled waits.
#include "runtime/SchemeGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(SchemeGate, OneThreadAtATimeAndReentrantForTheOwner) {
  TSchemeGate gate;
  ASSERT_TRUE(gate.Enter());
  EXPECT_TRUE(gate.HeldByMe());
  EXPECT_TRUE(gate.Enter());  // again from inside
  EXPECT_TRUE(gate.TryEnter());
  std::atomic<bool> otherGotIn{false};
  std::thread other([&] {
    EXPECT_FALSE(gate.TryEnter());
    EXPECT_FALSE(gate.HeldByMe());
    ASSERT_TRUE(gate.Enter());
    otherGotIn = true;
    gate.Leave();
  });
  gate.Leave();
  gate.Leave();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(otherGotIn.load());  // still held once
  gate.Leave();
  other.join();
  EXPECT_TRUE(otherGotIn.load());
  EXPECT_FALSE(gate.HeldByMe());
}

TEST(SchemeGate, AWaitIsGivenUpWhenItsCancelFlagIsSet) {
  TSchemeGate gate;
  ASSERT_TRUE(gate.Enter());
  std::atomic<bool> cancel{false};
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = gate.Enter(&cancel) ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  cancel = true;
  gate.WakeWaiters();
  waiter.join();  // the owner never left: only the flag can have ended the wait
  EXPECT_EQ(result.load(), 0);
  gate.Leave();
  EXPECT_FALSE(gate.Enter(&cancel));  // a set flag refuses even a free gate
}

TEST(SchemeGate, SerialisesWorkOfManyThreads) {
  TSchemeGate gate;
  long counter = 0;  // plain: only the gate protects it (ThreadSanitizer checks that)
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(gate.Enter());
        ++counter;
        gate.Leave();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 20000);
}

int g_signals = 0;
void CountSignal(void* arg) { ++*static_cast<int*>(arg); }

TEST(SchemeGate, ReleaseSignalRunsWhenTheGateBecomesFree) {
  TSchemeGate gate;
  gate.SetReleaseSignal(CountSignal, &g_signals);
  gate.Enter();
  gate.Enter();
  gate.Leave();
  EXPECT_EQ(g_signals, 0);
  gate.Leave();
  EXPECT_EQ(g_signals, 1);
  gate.Leave();  // not held: ignored
  EXPECT_EQ(g_signals, 1);
}

}  // namespace
