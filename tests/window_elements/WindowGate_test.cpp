// Window updates from other threads: a background thread inside the scheme gate updates
// the elements (text, visibility, enabled state, position, and reads the text back) while
// the window thread delivers the operator's clicks and closes, which enter the gate; a
// close while a background thread holds the gate for seconds; the window answering sent
// messages and painting meanwhile. Nothing may deadlock; bounds are generous.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "runtime/SchemeGate.h"
#include "tests/window_elements/elements_support.h"
#include "window_elements/WindowGate.h"
#include "window_elements/kvButton.h"
#include "window_elements/kvEdit.h"
#include "window_elements/kvLabel.h"
#include "window_elements/kvProgressBar.h"
#include "winlib/WinText.h"

namespace {

using namespace zorv::test;

std::string Hex(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", i & 0xFFFF);
  return buf;
}

// Counts the messages of one kind a window gets (a subclass in front of the library's
// procedure).
template <UINT kMessage>
struct MessageCounter {
  static inline WNDPROC previous = nullptr;
  static inline std::atomic<int> count{0};
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kMessage) ++count;
    return CallWindowProcW(previous, w, m, wp, lp);
  }
  HWND wnd;
  explicit MessageCounter(HWND w) : wnd(w) {
    count = 0;
    previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  }
  ~MessageCounter() {
    if (IsWindow(wnd)) SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  }
};
using PaintCounter = MessageCounter<WM_PAINT>;
using TextCounter = MessageCounter<WM_SETTEXT>;

// A window's text as another process reads it: WM_GETTEXTLENGTH and WM_GETTEXT sent from
// another thread.
std::string TextFromAnotherThread(HWND wnd) {
  std::string text;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    DWORD_PTR len = 0, got = 0;
    if (SendMessageTimeoutW(wnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 30000, &len)) {
      std::vector<WCHAR> buf(len + 1);
      if (SendMessageTimeoutW(wnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_NORMAL, 30000,
                              &got))
        text = FromWide(buf.data(), got < buf.size() ? got : buf.size() - 1);
    }
    done = true;
  });
  PumpUntil([&] { return done.load(); }, 60000);
  reader.join();
  return text;
}

// A thread that may hand calls to the window thread until it ends: the window thread
// keeps serving them while it waits for the end.
class ServedThread {
 public:
  template <class F>
  explicit ServedThread(F f) : thread_([this, f] {
    f();
    done_ = true;
  }) {}
  ~ServedThread() { Join(); }
  void Join() {
    if (!thread_.joinable()) return;
    PumpUntil([this] { return done_.load(); }, 300000);
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class Threads : public FormFixture {
 protected:
  void Build() {
    form->Init();
    a = Make<TKvButton>();
    Place(a, 10, 10, 100, 26);
    SetInteger(a->Data, 1);
    a->Init();
    b = Make<TKvButton>();
    Place(b, 120, 10, 100, 26);
    SetInteger(b->Data, 2);
    b->Init();
    status = Make<TKvEdit>();
    Place(status, 10, 50, 300, 22);
    status->ReadOnly = true;
    status->Init();
    crc = Make<TKvEdit>();
    Place(crc, 10, 80, 80, 22);
    crc->Text = "FFFF";
    crc->Init();
    label = Make<TKvLabel>();
    Place(label, 100, 80, 100, 20);
    label->Caption = "CRC:";
    label->Init();
    bar = Make<TKvProgressBar>();
    Place(bar, 10, 110, 300, 20);
    bar->Max = 1015;
    bar->Init();
    // The operator's events run inside the gate and never beside the background thread.
    clicks.react = [this](TData&, std::uint16_t) {
      if (!SchemeGate().HeldByMe()) ++outsideGate;
      if (++inScheme != 1) ++overlaps;
      --inScheme;
    };
    a->onClick = clicks.Point();
    b->onClick = clicks.Point();
    form->CloseLock = MakePoint(0, [](void* t, TData& d, std::uint16_t) {
      auto* self = static_cast<Threads*>(t);
      if (!SchemeGate().HeldByMe()) ++self->outsideGate;
      ++self->lockReads;
      SetInteger(d, self->keepOpen.load() ? 1 : 0);
    }, this);
    form->onClose = closes.Point();
  }
  static void Place(TKvWin* w, int l, int t, int wd, int h) {
    w->Left = l;
    w->Top = t;
    w->Width = wd;
    w->Height = h;
  }
  // The background side of one update round, as the upload's per-block work does it.
  void Update(int i) {
    if (++inScheme != 1) ++overlaps;
    TData text = StrData(Hex(i));
    crc->doText(text, 0);
    TData back;
    crc->getText(back, 0);
    if (back.StrValue != Hex(i)) ++staleReads;
    TData flag = IntData(i & 1);
    label->doVisible(flag, 0);
    a->doEnabled(flag, 0);
    TData pos = IntData(i % 1016);
    bar->doPosition(pos, 0);
    if (i % 64 == 0) {
      TData s = StrData(Cp(u"Запись блока ") + std::to_string(i));
      status->doText(s, 0);
    }
    --inScheme;
  }

  TKvButton* a = nullptr;
  TKvButton* b = nullptr;
  TKvEdit* status = nullptr;
  TKvEdit* crc = nullptr;
  TKvLabel* label = nullptr;
  TKvProgressBar* bar = nullptr;
  Sink clicks, closes;
  std::atomic<int> inScheme{0}, overlaps{0}, outsideGate{0}, staleReads{0}, lockReads{0};
  std::atomic<bool> keepOpen{true};
};

TEST_F(Threads, BackgroundUpdatesWhileTheWindowThreadClicksAndCloses) {
  Build();
  Start();
  HWND wb = b->Control()->Handle;
  // Five updates a round: 100,000 natively, 25,000 under wine (where each call handed to
  // the window thread is a round trip through the wine server).
#ifdef _WIN32
  constexpr int kRounds = 5000;
#else
  constexpr int kRounds = 20000;
#endif
  std::atomic<bool> done{false};
  std::atomic<int> rounds{0};
  ServedThread reader([&] {
    // Chains of a few updates each inside the gate, as line events are.
    for (int i = 0; i < kRounds;) {
      TSchemeEntry entry;
      for (int k = 0; k < 8 && i < kRounds; ++k, ++i) Update(i);
      rounds = i;
    }
    done = true;
  });
  // The operator clicks B (always enabled) and tries to close (kept open by the lock),
  // in a known order, while the reader runs.
  int delivered = 0, closeTries = 0;
  while (!done.load()) {
    if (delivered < 200) {
      PostMessageW(wb, BM_CLICK, 0, 0);
      ++delivered;
    }
    if (delivered % 20 == 0 && closeTries < 10) {
      PostMessageW(FormWnd(), WM_CLOSE, 0, 0);
      ++closeTries;
    }
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
  reader.Join();
  ASSERT_TRUE(PumpUntil([&] { return static_cast<int>(clicks.count()) == delivered; }, 60000))
      << clicks.count() << " of " << delivered;
  EXPECT_EQ(clicks.integers(), std::vector<std::int32_t>(static_cast<std::size_t>(delivered), 2));
  EXPECT_EQ(lockReads.load(), closeTries);
  EXPECT_EQ(closes.count(), 0u);
  EXPECT_EQ(overlaps.load(), 0) << "the window thread's events never ran beside the reader";
  EXPECT_EQ(outsideGate.load(), 0);
  EXPECT_EQ(staleReads.load(), 0) << "the text read back is the one just set";
  Pump();
  EXPECT_EQ(TextOf(crc->Control()->Handle), Hex(kRounds - 1)) << "the window shows the last text";
  EXPECT_EQ(SendMessageW(bar->Control()->Handle, PBM_GETPOS, 0, 0), (kRounds - 1) % 1016);
  EXPECT_EQ(IsWindowVisible(label->Control()->Handle) != FALSE, ((kRounds - 1) & 1) != 0);

  // A close the lock lets through while the reader still updates: onClose inside the gate,
  // events off, the reader's later events go nowhere.
  keepOpen = false;
  std::atomic<bool> stop{false};
  ServedThread late([&] {
    for (int i = 0; !stop.load(); ++i) {
      TSchemeEntry entry;
      Update(i);
      FireInteger(a->onClick, 7);
    }
  });
  PostMessageW(FormWnd(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return closes.count() == 1; }, 60000));
  const std::size_t clicksAtClose = clicks.count();
  PumpFor(100);
  stop = true;
  late.Join();
  EXPECT_FALSE(EventsAreOn());
  EXPECT_EQ(clicks.count(), clicksAtClose) << "nothing reaches the scheme after onClose";
  EXPECT_EQ(outsideGate.load(), 0);
}

TEST_F(Threads, ACloseWhileTheGateIsHeldForSeconds) {
  Build();
  Start();
  PaintCounter paints(label->Control()->Handle);
  HWND fw = FormWnd(), lw = label->Control()->Handle;
  std::atomic<bool> holding{false}, released{false};
  std::atomic<int> answered{0}, unanswered{0}, paintsDuringHold{-1};
  ServedThread pause([&] {
    TSchemeEntry entry;
    holding = true;
    // Seconds inside the gate (the completion pause), updating the window now and then.
    for (int i = 0; i < 30; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      Update(i);
    }
    released = true;
  });
  ServedThread third([&] {
    while (!holding.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the close is waiting now
    const int before = PaintCounter::count.load();
    InvalidateRect(lw, nullptr, TRUE);
    for (int i = 0; i < 10 && !released.load(); ++i) {
      DWORD_PTR r = 0;
      if (SendMessageTimeoutW(fw, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &r)) ++answered;
      else ++unanswered;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!released.load()) paintsDuringHold = PaintCounter::count.load() - before;
  });
  while (!holding.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  keepOpen = true;  // the lock is asked inside the gate, after the pause
  PostMessageW(fw, WM_CLOSE, 0, 0);
  Pump();  // the close waits in here for the gate
  EXPECT_TRUE(released.load()) << "the close entered only after the pause";
  EXPECT_EQ(lockReads.load(), 1);
  pause.Join();
  third.Join();
  EXPECT_GT(answered.load(), 0);
  EXPECT_EQ(unanswered.load(), 0) << "the window answered sent messages while it waited";
  if (paintsDuringHold.load() >= 0) {
    EXPECT_GT(paintsDuringHold.load(), 0) << "and painted";
  }
  EXPECT_EQ(closes.count(), 0u);
  EXPECT_EQ(outsideGate.load(), 0);
  // Now a close that goes through, again while the gate is held for a while.
  keepOpen = false;
  ServedThread again([&] {
    TSchemeEntry entry;
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Update(1);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  PostMessageW(fw, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return closes.count() == 1; }, 60000));
  again.Join();
  EXPECT_FALSE(EventsAreOn());
}

TEST_F(Threads, AClickWaitingForTheGateLeavesTheWindowResponsive) {
  Build();
  Start();
  HWND wb = b->Control()->Handle, fw = FormWnd();
  std::atomic<bool> holding{false}, released{false};
  std::atomic<int> answered{0}, unanswered{0}, staleDuring{0};
  ServedThread pause([&] {
    TSchemeEntry entry;
    holding = true;
    for (int i = 0; i < 2000; ++i) {
      Update(i);
      if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    released = true;
  });
  ServedThread third([&] {
    while (!holding.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (!released.load()) {
      DWORD_PTR r = 0;
      if (SendMessageTimeoutW(fw, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r)) ++answered;
      else ++unanswered;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  while (!holding.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  SendMessageW(wb, BM_CLICK, 0, 0);  // the click's event waits here for the gate
  EXPECT_TRUE(released.load());
  EXPECT_EQ(clicks.count(), 1u);
  pause.Join();
  third.Join();
  EXPECT_GT(answered.load(), 0);
  EXPECT_EQ(unanswered.load(), 0);
  EXPECT_EQ(staleReads.load() + staleDuring.load(), 0);
  EXPECT_EQ(overlaps.load(), 0);
}

// Another thread's texts for a hidden field and positions for the bar, in a burst as the
// upload's bytes and blocks come: neither waits for the window thread (which serves nothing
// meanwhile); the hidden field is given no text, yet whoever asks a window (the bar before
// its own request arrives; the field from another thread, as the test driver asks from its
// process) gets the newest.
TEST_F(Threads, AHiddenFieldIsLeftAloneAndBothGiveTheNewestWhenAsked) {
  Build();
  Start();
  TData off = IntData(0);
  crc->doVisible(off, 0);
  HWND cw = crc->Control()->Handle, bw = bar->Control()->Handle;
  ASSERT_FALSE(IsWindowVisible(cw));
  TextCounter texts(cw);
  std::atomic<bool> done{false};
  std::thread burst([&] {
    TSchemeEntry entry;
    for (int i = 1; i <= 1000; ++i) {
      TData text = StrData(Hex(i));
      crc->doText(text, 0);
      TData pos = IntData(i);
      bar->doPosition(pos, 0);
    }
    done = true;
  });
  for (int ms = 0; ms < 30000 && !done.load(); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(done.load()) << "the burst waited for the window thread";
  PumpUntil([&] { return done.load(); }, 300000);
  burst.join();
  EXPECT_EQ(SendMessageW(bw, PBM_GETPOS, 0, 0), 1000);
  Pump();
  EXPECT_EQ(SendMessageW(bw, PBM_GETPOS, 0, 0), 1000);
  EXPECT_EQ(TextCounter::count.load(), 0) << "the hidden field was given no text";
  EXPECT_EQ(TextFromAnotherThread(cw), Hex(1000));
  EXPECT_EQ(TextOf(cw), Hex(1000));
  TData back;
  crc->getText(back, 0);
  EXPECT_EQ(back.StrValue, Hex(1000));
}

TEST_F(Threads, TheTextReadBackIsAlwaysTheLastOneSet) {
  Build();
  Sink changes;
  crc->onChange = changes.Point();
  Start();
  std::atomic<bool> done{false};
  ServedThread reader([&] {
    for (int i = 0; i < 50000; ++i) {
      TSchemeEntry entry;
      TData t = StrData(Hex(i * 7));
      crc->doText(t, 0);
      TData back;
      crc->getText(back, 0);
      if (back.DataKind != kindString || back.StrValue != Hex(i * 7)) ++staleReads;
    }
    done = true;
  });
  // The window thread shows the texts as they come and runs the change events in the gate.
  while (!done.load()) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
  reader.Join();
  Pump();
  EXPECT_EQ(staleReads.load(), 0);
  EXPECT_EQ(TextOf(crc->Control()->Handle), Hex(49999 * 7));
  TData back;
  crc->getText(back, 0);
  EXPECT_EQ(back.StrValue, Hex(49999 * 7));
  ASSERT_FALSE(changes.hits.empty());
  EXPECT_EQ(changes.last().StrValue, Hex(49999 * 7));
}

}  // namespace
