// Window system: threads. A message sent from another thread runs on the window's own
// thread, and only while that thread reads its queue (or waits in a send of its own);
// PM_QS_SENDMESSAGE serves sent messages and leaves posted ones; MsgWaitForMultipleObjects
// reports sent messages and events; two threads sending to each other do not deadlock;
// calls that Win32 turns into sent messages run on the owner thread. Both builds.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/headless_win32/winsys_test_support.h"

namespace {

using namespace zorv::wintest;

constexpr UINT kPing = WM_APP + 20;
constexpr UINT kPingBack = WM_APP + 21;

class WinsysThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    ZORV_NEED_WINDOWS();
    Log().Clear();
    CurrentOverride() = nullptr;
  }
  void TearDown() override { CurrentOverride() = nullptr; }
  TestClass cls_{ZORV_W("WinsysThreadsTest")};
};

// Waits (reading sent messages) until pred holds; generous bound, fails the test if not.
template <class Pred>
bool ServeUntil(Pred pred, DWORD maxMs = 20000) {
  const DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start > maxMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_SENDMESSAGE);
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  return true;
}

TEST_F(WinsysThreads, SentMessageRunsOnOwnerOnlyWhenItReadsItsQueue) {
  Window w(MakeWindow(cls_.name(), WS_POPUP));
  std::atomic<DWORD> ranOn{0};
  std::atomic<bool> sending{false};
  std::atomic<bool> done{false};
  std::atomic<LRESULT> answer{0};
  CurrentOverride() = [&](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (m == kPing) {
      ranOn = GetCurrentThreadId();
      return static_cast<LRESULT>(wp * 2);
    }
    return std::nullopt;
  };
  std::thread sender([&] {
    sending = true;
    answer = SendMessageW(w, kPing, 21, 0);
    done = true;
  });
  while (!sending) std::this_thread::yield();
  // Give the sender every chance to (wrongly) run it elsewhere; it cannot run here while
  // this thread does not read its queue.
  Sleep(50);
  EXPECT_EQ(ranOn.load(), 0u);
  EXPECT_FALSE(done.load());
  DWORD status = MsgWaitForMultipleObjects(0, nullptr, FALSE, 20000, QS_SENDMESSAGE);
  EXPECT_EQ(status, WAIT_OBJECT_0) << "a waiting sent message wakes the wait";
  EXPECT_EQ(ranOn.load(), 0u) << "the wait does not run it";
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(ranOn.load(), GetCurrentThreadId());
  sender.join();
  EXPECT_EQ(answer.load(), 42);
}

TEST_F(WinsysThreads, QsSendMessageLeavesPostedMessagesQueued) {
  Window w(MakeWindow(cls_.name(), WS_POPUP));
  PostMessageW(w, WM_APP + 1, 0, 0);
  std::atomic<int> served{0};
  CurrentOverride() = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == kPing) {
      ++served;
      return 1;
    }
    return std::nullopt;
  };
  std::thread sender([&] { SendMessageW(w, kPing, 0, 0); });
  ASSERT_TRUE(ServeUntil([&] { return served.load() == 1; }));
  sender.join();
  EXPECT_EQ(Log().Count(WM_APP + 1), 0) << "the posted message was not dispatched";
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_APP + 1));
}

TEST_F(WinsysThreads, MsgWaitReportsEventsBeforeTheQueue) {
  HANDLE events[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  ASSERT_TRUE(events[0] && events[1]);
  EXPECT_EQ(MsgWaitForMultipleObjects(2, events, FALSE, 0, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  std::thread setter([&] { SetEvent(events[1]); });
  EXPECT_EQ(MsgWaitForMultipleObjects(2, events, FALSE, 20000, QS_SENDMESSAGE), WAIT_OBJECT_0 + 1);
  setter.join();
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &events[1], FALSE, 0, 0), WAIT_OBJECT_0) << "manual reset stays signalled";
  SetEvent(events[0]);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &events[0], FALSE, 0, 0), WAIT_OBJECT_0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &events[0], FALSE, 0, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "auto reset";
  PostMessageW(nullptr, WM_APP + 3, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, events, FALSE, 0, QS_POSTMESSAGE), WAIT_OBJECT_0 + 1);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST_F(WinsysThreads, ThreadsSendingToEachOtherDoNotDeadlock) {
  Window mine(MakeWindow(cls_.name(), WS_POPUP));
  std::atomic<HWND> theirs{nullptr};
  std::atomic<bool> quit{false};
  std::atomic<DWORD> pingBackRanOn{0};
  CurrentOverride() = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == kPing && h == theirs.load()) {
      // On the other thread: send back to this test's window while its thread waits in
      // its own send.
      return SendMessageW(mine, kPingBack, 0, 0) + 1;
    }
    if (m == kPingBack) {
      pingBackRanOn = GetCurrentThreadId();
      return 10;
    }
    return std::nullopt;
  };
  std::thread other([&] {
    HWND h = MakeWindow(cls_.name(), WS_POPUP);
    theirs = h;
    MSG msg;
    while (!quit) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    DestroyWindow(h);
  });
  while (!theirs.load()) std::this_thread::yield();
  EXPECT_EQ(SendMessageW(theirs.load(), kPing, 0, 0), 11);
  EXPECT_EQ(pingBackRanOn.load(), GetCurrentThreadId());
  quit = true;
  other.join();
}

TEST_F(WinsysThreads, CallsFromOtherThreadsRunOnTheOwner) {
  Window parent(MakeWindow(cls_.name(), WS_POPUP | WS_VISIBLE));
  Window w(MakeWindow(cls_.name(), WS_CHILD | WS_VISIBLE, parent, 1));
  PumpAll();
  Log().Clear();
  std::atomic<bool> done{false};
  BOOL destroyed = TRUE;
  DWORD destroyError = 0;
  std::thread other([&] {
    SetWindowTextW(w, ZORV_W("from afar"));
    EnableWindow(w, FALSE);
    SetWindowPos(w, nullptr, 1, 2, 30, 40, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(w, SW_HIDE);
    destroyed = DestroyWindow(w);
    destroyError = GetLastError();
    done = true;
  });
  ASSERT_TRUE(ServeUntil([&] { return done.load(); }));
  other.join();
  EXPECT_FALSE(destroyed) << "only the owner thread destroys a window";
  EXPECT_EQ(destroyError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(IsWindow(w));
  EXPECT_EQ(Text(w), u"from afar");
  EXPECT_FALSE(IsWindowEnabled(w));
  EXPECT_FALSE(IsWindowVisible(w));
  for (UINT m : {WM_SETTEXT, WM_ENABLE, WM_WINDOWPOSCHANGED, WM_SHOWWINDOW}) {
    bool seen = false;
    for (const auto& e : Log().Entries()) {
      if (e.hwnd == w.get() && e.msg == m) {
        seen = true;
        EXPECT_EQ(e.thread, GetCurrentThreadId()) << "message " << m;
      }
    }
    EXPECT_TRUE(seen) << "message " << m;
  }
}

TEST_F(WinsysThreads, SendMessageTimeoutGivesUp) {
  Window w(MakeWindow(cls_.name(), WS_POPUP));
  std::atomic<bool> ok{true};
  std::atomic<DWORD> error{0};
  std::thread sender([&] {
    DWORD_PTR result = 0;
    ok = SendMessageTimeoutW(w, kPing, 0, 0, SMTO_NORMAL, 30, &result) != 0;
    error = GetLastError();
  });
  sender.join();  // this thread never reads its queue meanwhile
  EXPECT_FALSE(ok.load());
  EXPECT_EQ(error.load(), static_cast<DWORD>(ERROR_TIMEOUT));
  MSG m;
  PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
}

}  // namespace
