// Headless window system, threads and queues: each thread's message queue, sending and
// posting, reading messages (with the system's part of reading input), timers, events and
// the waits, and the small kernel32 calls.
#include <algorithm>
#include <chrono>
#include <thread>

#include "headless_win32/internal.h"

namespace zorv::winsys {

namespace {

struct ThreadQueue {
  std::shared_ptr<Queue> queue;
  ~ThreadQueue();
};
thread_local ThreadQueue threadQueue;
thread_local bool inSendFromOther = false;
thread_local SentMessage* currentSent = nullptr;

std::uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Serves the oldest message sent to this thread by another thread. Lock held on entry and
// on return; released while the window procedure runs.
bool ServeOneLocked(Lock& lock, Queue& q) {
  if (q.sent.empty()) return false;
  auto m = q.sent.front();
  q.sent.pop_front();
  LRESULT r = 0;
  const bool wasInSend = inSendFromOther;
  SentMessage* wasCurrent = currentSent;
  if (m->msg == kMsgRunOnOwner) {
    lock.unlock();
    inSendFromOther = true;
    currentSent = m.get();
    r = (*reinterpret_cast<const std::function<LRESULT()>*>(m->lParam))();
    lock.lock();
  } else if (auto w = FindWindowLocked(m->hwnd)) {
    WNDPROC proc = w->proc;
    lock.unlock();
    inSendFromOther = true;
    currentSent = m.get();
    r = proc(m->hwnd, m->msg, m->wParam, m->lParam);
    lock.lock();
  }
  inSendFromOther = wasInSend;
  currentSent = wasCurrent;
  if (!m->done) {
    m->result = r;
    m->done = true;
  }
  S().wake.notify_all();
  return true;
}

bool ServeAllLocked(Lock& lock, Queue& q) {
  bool any = false;
  while (ServeOneLocked(lock, q)) any = true;
  return any;
}

ThreadQueue::~ThreadQueue() {
  if (!queue) return;
  DestroyThreadWindows(queue->threadId);
  Lock lock(S().mutex);
  queue->alive = false;
  for (auto& m : queue->sent) m->done = true;
  queue->sent.clear();
  S().queues.erase(queue->threadId);
  S().wake.notify_all();
}

UINT PresentBitsLocked(const Queue& q) {
  UINT bits = 0;
  if (!q.posted.empty() || q.quit) bits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  if (!q.sent.empty()) bits |= QS_SENDMESSAGE;
  for (const auto& e : q.input) {
    if (!e.mouse) bits |= QS_KEY;
    else if (e.msg.message == WM_MOUSEMOVE) bits |= QS_MOUSEMOVE;
    else bits |= QS_MOUSEBUTTON;
  }
  for (auto& [k, w] : S().windows) {
    if (w->threadId == q.threadId && !w->destroyed && (w->hasUpdate || w->internalPaint) &&
        IsVisibleLocked(*w)) {
      bits |= QS_PAINT;
      break;
    }
  }
  const auto now = NowMs();
  for (const auto& t : q.timers) {
    if (t.due <= now) bits |= QS_TIMER;
  }
  return bits;
}

bool FilterMatch(HWND hwnd, UINT message, HWND filter, UINT min, UINT max) {
  if (filter == reinterpret_cast<HWND>(-1)) {
    if (hwnd != nullptr) return false;
  } else if (filter != nullptr) {
    if (hwnd != filter && !IsChildLocked(filter, hwnd)) return false;
  }
  if (min == 0 && max == 0) return true;
  if (min <= max) return message >= min && message <= max;
  return message >= min || message <= max;
}

bool IsButtonDown(UINT m) {
  return m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN || m == WM_LBUTTONDBLCLK ||
         m == WM_RBUTTONDBLCLK || m == WM_MBUTTONDBLCLK;
}

void UpdateKeyState(BYTE* state, UINT vk, bool down) {
  if (vk > 255) return;
  if (down) {
    if (!(state[vk] & 0x80)) state[vk] ^= 0x01;  // toggled on each press
    state[vk] |= 0x80;
  } else {
    state[vk] &= static_cast<BYTE>(~0x80);
  }
}

// The system's part of reading an input event: hit testing, activation, the cursor, the
// key state. Lock held on entry and on return. False: the event went nowhere.
bool ProcessInputLocked(Lock& lock, Queue& q, const InputEvent& ev, MSG& out) {
  auto w = FindWindowLocked(ev.msg.hwnd);
  if (!w) return false;
  const UINT raw = ev.msg.message;
  if (!ev.mouse) {
    if (!IsVisibleLocked(*w) || !IsEnabledChainLocked(*w)) return false;
    const bool down = raw == WM_KEYDOWN || raw == WM_SYSKEYDOWN;
    UpdateKeyState(S().keyState, static_cast<UINT>(ev.msg.wParam), down);
    if (ev.msg.wParam == VK_LSHIFT || ev.msg.wParam == VK_RSHIFT) UpdateKeyState(S().keyState, VK_SHIFT, down);
    out = ev.msg;
    out.pt = S().cursorPos;
    q.msgTime = out.time;
    q.msgPos = out.pt;
    return true;
  }
  const POINT origin = ClientOriginLocked(*w);
  POINT screen{origin.x + ev.msg.pt.x, origin.y + ev.msg.pt.y};
  HWND target = ev.msg.hwnd;
  HWND capture = q.capture;
  if (raw == WM_MOUSEWHEEL) {
    target = q.focus ? q.focus : q.active;
    if (!target) return false;
    capture = nullptr;
  } else if (capture) {
    target = capture;
  } else if (!IsVisibleLocked(*w) || !IsEnabledChainLocked(*w)) {
    return false;
  }
  S().cursorPos = screen;
  if (raw == WM_LBUTTONDOWN || raw == WM_LBUTTONDBLCLK) UpdateKeyState(S().keyState, VK_LBUTTON, true);
  if (raw == WM_LBUTTONUP) UpdateKeyState(S().keyState, VK_LBUTTON, false);
  if (raw == WM_RBUTTONDOWN || raw == WM_RBUTTONDBLCLK) UpdateKeyState(S().keyState, VK_RBUTTON, true);
  if (raw == WM_RBUTTONUP) UpdateKeyState(S().keyState, VK_RBUTTON, false);
  if (raw == WM_MBUTTONDOWN || raw == WM_MBUTTONDBLCLK) UpdateKeyState(S().keyState, VK_MBUTTON, true);
  if (raw == WM_MBUTTONUP) UpdateKeyState(S().keyState, VK_MBUTTON, false);
  lock.unlock();
  LRESULT hit = HTCLIENT;
  if (!capture && raw != WM_MOUSEWHEEL) {
    for (;;) {
      hit = SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
      if (hit != HTTRANSPARENT) break;
      HWND parent = GetAncestor(target, GA_PARENT);
      if (!(GetWindowLongW(target, GWL_STYLE) & WS_CHILD) || !parent ||
          GetWindowThreadProcessId(parent, nullptr) != ThisThreadId()) {
        break;
      }
      target = parent;
    }
  }
  bool eat = hit == HTNOWHERE || hit == HTERROR || hit == HTTRANSPARENT;
  UINT message = raw;
  WPARAM wp = ev.msg.wParam;
  LPARAM lp;
  if (raw == WM_MOUSEWHEEL) {
    lp = MAKELPARAM(screen.x, screen.y);
  } else if (hit != HTCLIENT) {
    message = raw - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    wp = static_cast<WPARAM>(hit);
    lp = MAKELPARAM(screen.x, screen.y);
  } else {
    POINT c = screen;
    ScreenToClient(target, &c);
    lp = MAKELPARAM(c.x, c.y);
  }
  if (!eat && (raw == WM_LBUTTONDOWN || raw == WM_RBUTTONDOWN || raw == WM_MBUTTONDOWN)) {
    // Each ancestor hears of a press on a child (while the window on the way is a child
    // without WS_EX_NOPARENTNOTIFY), with the point in its own client coordinates.
    HWND cur = target;
    while ((GetWindowLongW(cur, GWL_STYLE) & WS_CHILD) && !(GetWindowLongW(cur, GWL_EXSTYLE) & WS_EX_NOPARENTNOTIFY)) {
      HWND parent = GetAncestor(cur, GA_PARENT);
      if (!parent) break;
      POINT pp = screen;
      ScreenToClient(parent, &pp);
      SendMessageW(parent, WM_PARENTNOTIFY, MAKEWPARAM(raw, 0), MAKELPARAM(pp.x, pp.y));
      cur = parent;
    }
  }
  if (!eat && IsButtonDown(raw) && target != GetActiveWindow()) {
    HWND top = GetAncestor(target, GA_ROOT);
    if (top && (GetWindowLongW(top, GWL_STYLE) & (WS_POPUP | WS_CHILD)) != WS_CHILD) {
      const LRESULT ma = SendMessageW(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                                      MAKELPARAM(hit, raw));
      if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) eat = true;
      if ((ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT || ma == 0) && top != GetActiveWindow()) {
        SetActiveWindow(top);
      }
    }
  }
  if (raw != WM_MOUSEWHEEL && IsWindow(target)) {
    SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                 MAKELPARAM(hit < 0 ? HTERROR : hit, raw));
  }
  lock.lock();
  if (q.trackLeave && q.trackLeave != target && raw != WM_MOUSEWHEEL) {
    // TrackMouseEvent(TME_LEAVE): the mouse went to another window.
    PostLocked(q, MSG{q.trackLeave, WM_MOUSELEAVE, 0, 0, ev.msg.time, screen});
    q.trackLeave = nullptr;
  }
  if (eat || !FindWindowLocked(target)) return false;
  out.hwnd = target;
  out.message = message;
  out.wParam = wp;
  out.lParam = lp;
  out.time = ev.msg.time;
  out.pt = screen;
  q.msgTime = out.time;
  q.msgPos = screen;
  return true;
}

// One look at the queue in Win32's order: sent, posted, quit, input, paint, timers.
// Lock held on entry and on return.
bool PeekLocked(Lock& lock, Queue& q, MSG& out, HWND filter, UINT min, UINT max, UINT flags) {
  const UINT mask = (flags >> 16) ? (flags >> 16) : QS_ALLINPUT;
  const bool remove = (flags & PM_REMOVE) != 0;
  for (;;) {
    ServeAllLocked(lock, q);
    if (q.pendingActivate) {
      // Activation asked for by another thread happens when this one reads its queue.
      HWND h = q.pendingActivate;
      q.pendingActivate = nullptr;
      lock.unlock();
      if (IsWindow(h)) SetActiveWindow(h);
      lock.lock();
      continue;
    }
    q.changed &= ~(mask | QS_SENDMESSAGE);
    if (mask == QS_SENDMESSAGE) return false;
    if (mask & QS_POSTMESSAGE) {
      for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (!FilterMatch(it->hwnd, it->message, filter, min, max)) continue;
        out = *it;
        if (remove) q.posted.erase(it);
        q.msgTime = out.time;
        q.msgPos = out.pt;
        return true;
      }
      if (q.quit && (filter == nullptr || filter == reinterpret_cast<HWND>(-1)) &&
          FilterMatch(nullptr, WM_QUIT, nullptr, min, max)) {
        out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount(), S().cursorPos};
        if (remove) q.quit = false;
        return true;
      }
    }
    if (mask & QS_INPUT) {
      bool retry = false;
      for (auto it = q.input.begin(); it != q.input.end(); ++it) {
        const bool keyMask = !it->mouse && (mask & QS_KEY);
        const bool mouseMask = it->mouse && (mask & QS_MOUSE);
        if (!keyMask && !mouseMask) continue;
        if (!FilterMatch(it->msg.hwnd, it->msg.message, filter, min, max)) continue;
        if (!remove) {
          out = it->msg;
          out.pt = S().cursorPos;
          return true;
        }
        InputEvent ev = *it;
        q.input.erase(it);
        if (ProcessInputLocked(lock, q, ev, out)) return true;
        retry = true;
        break;
      }
      if (retry) continue;
    }
    if (mask & QS_PAINT) {
      for (auto& [k, w] : S().windows) {
        if (w->threadId != q.threadId || w->destroyed || !(w->hasUpdate || w->internalPaint)) continue;
        if (!IsVisibleLocked(*w) || !FilterMatch(w->handle, WM_PAINT, filter, min, max)) continue;
        out = MSG{w->handle, WM_PAINT, 0, 0, GetTickCount(), S().cursorPos};
        return true;
      }
    }
    if (mask & QS_TIMER) {
      const auto now = NowMs();
      for (auto& t : q.timers) {
        if (t.due > now || !FilterMatch(t.hwnd, WM_TIMER, filter, min, max)) continue;
        out = MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc),
                  static_cast<DWORD>(now), S().cursorPos};
        if (remove) t.due = now + t.elapse;
        return true;
      }
    }
    return false;
  }
}

std::uint64_t NextTimerDueLocked(const Queue& q) {
  std::uint64_t due = UINT64_MAX;
  for (const auto& t : q.timers) due = std::min(due, t.due);
  return due;
}

}  // namespace

std::shared_ptr<Queue> CurrentQueueLocked() {
  if (!threadQueue.queue) {
    auto q = std::make_shared<Queue>();
    q->threadId = ThisThreadId();
    S().queues[q->threadId] = q;
    threadQueue.queue = q;
  }
  return threadQueue.queue;
}

std::shared_ptr<Queue> CurrentQueue() {
  Lock lock(S().mutex);
  return CurrentQueueLocked();
}

std::shared_ptr<Queue> QueueOf(DWORD tid) {
  auto it = S().queues.find(tid);
  return it == S().queues.end() ? nullptr : it->second;
}

void NotifyAll() { S().wake.notify_all(); }

void PostLocked(Queue& q, const MSG& m) {
  q.posted.push_back(m);
  q.changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
  S().wake.notify_all();
}

void MarkPaintChanged(Queue& q) {
  q.changed |= QS_PAINT;
  S().wake.notify_all();
}

namespace {

// SendMessage to a window of another thread, or of this one. ok: false when the message
// could not be delivered (invalid window, time-out, the owner thread ended).
LRESULT SendInternal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs, bool block, bool* ok) {
  *ok = true;
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    *ok = false;
    return 0;
  }
  if (w->threadId == ThisThreadId()) {
    if (msg == kMsgRunOnOwner) {
      lock.unlock();
      return (*reinterpret_cast<const std::function<LRESULT()>*>(lp))();
    }
    WNDPROC proc = w->proc;
    lock.unlock();
    return proc(hwnd, msg, wp, lp);
  }
  auto target = w->queue;
  if (!target || !target->alive) {
    *ok = false;
    return 0;
  }
  auto me = CurrentQueueLocked();
  auto m = std::make_shared<SentMessage>();
  m->hwnd = hwnd;
  m->msg = msg;
  m->wParam = wp;
  m->lParam = lp;
  target->sent.push_back(m);
  target->changed |= QS_SENDMESSAGE;
  S().wake.notify_all();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!m->done) {
    // A waiting sender serves what other threads send to it, so two threads sending to
    // each other do not deadlock.
    if (!block && ServeOneLocked(lock, *me)) continue;
    if (timeoutMs == INFINITE) {
      S().wake.wait(lock);
    } else if (S().wake.wait_until(lock, deadline) == std::cv_status::timeout && !m->done) {
      auto& v = target->sent;
      v.erase(std::remove(v.begin(), v.end(), m), v.end());
      m->abandoned = true;
      SetLastError(ERROR_TIMEOUT);
      *ok = false;
      return 0;
    }
    if (!target->alive && !m->done) {
      *ok = false;
      return 0;
    }
  }
  return m->result;
}

}  // namespace

LRESULT SendToProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) { return SendMessageW(h, msg, wp, lp); }

LRESULT RunOnOwner(HWND h, const std::function<LRESULT()>& f) {
  bool ok;
  return SendInternal(h, kMsgRunOnOwner, 0, reinterpret_cast<LPARAM>(&f), INFINITE, false, &ok);
}

}  // namespace zorv::winsys

using namespace zorv::winsys;

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  bool ok;
  return SendInternal(hwnd, msg, wParam, lParam, INFINITE, false, &ok);
}

LRESULT WINAPI SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, PDWORD_PTR result) {
  bool ok;
  const LRESULT r = SendInternal(hwnd, msg, wParam, lParam, timeout, (flags & SMTO_BLOCK) != 0, &ok);
  if (result) *result = static_cast<DWORD_PTR>(r);
  return ok ? 1 : 0;
}

BOOL WINAPI SendNotifyMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (w->threadId == ThisThreadId()) {
    WNDPROC proc = w->proc;
    lock.unlock();
    proc(hwnd, msg, wParam, lParam);
    return TRUE;
  }
  if (!w->queue || !w->queue->alive) return FALSE;
  auto m = std::make_shared<SentMessage>();
  m->hwnd = hwnd;
  m->msg = msg;
  m->wParam = wParam;
  m->lParam = lParam;
  w->queue->sent.push_back(m);
  w->queue->changed |= QS_SENDMESSAGE;
  S().wake.notify_all();
  return TRUE;
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd == nullptr) return PostThreadMessageW(ThisThreadId(), msg, wParam, lParam);
  Lock lock(S().mutex);
  if (hwnd == HWND_BROADCAST) {
    for (HWND h : FindWindowLocked(S().desktop)->children) {
      auto w = FindWindowLocked(h);
      if (w && w->queue && w->queue->alive) {
        PostLocked(*w->queue, MSG{h, msg, wParam, lParam, GetTickCount(), S().cursorPos});
      }
    }
    return TRUE;
  }
  auto w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!w->queue || !w->queue->alive) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  PostLocked(*w->queue, MSG{hwnd, msg, wParam, lParam, GetTickCount(), S().cursorPos});
  return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  Lock lock(S().mutex);
  if (threadId == ThisThreadId()) CurrentQueueLocked();
  auto q = QueueOf(threadId);
  if (!q || !q->alive) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  PostLocked(*q, MSG{nullptr, msg, wParam, lParam, GetTickCount(), S().cursorPos});
  return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  q->quit = true;
  q->quitCode = exitCode;
  q->changed |= QS_POSTMESSAGE;
  S().wake.notify_all();
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  MSG m{};
  if (!PeekLocked(lock, *q, m, hwnd, filterMin, filterMax, removeMsg)) return FALSE;
  if (msg) *msg = m;
  return TRUE;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (hwnd != nullptr && hwnd != reinterpret_cast<HWND>(-1) && !IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  for (;;) {
    if (PeekLocked(lock, *q, *msg, hwnd, filterMin, filterMax, PM_REMOVE)) {
      return msg->message != WM_QUIT;
    }
    const auto due = NextTimerDueLocked(*q);
    if (due == UINT64_MAX) {
      S().wake.wait(lock);
    } else {
      const auto now = NowMs();
      if (due > now) S().wake.wait_for(lock, std::chrono::milliseconds(due - now));
    }
  }
}

BOOL WINAPI WaitMessage() {
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  for (;;) {
    if (ServeAllLocked(lock, *q)) return TRUE;
    if (q->changed & QS_ALLINPUT) return TRUE;
    if (PresentBitsLocked(*q) & QS_TIMER) return TRUE;
    const auto due = NextTimerDueLocked(*q);
    if (due == UINT64_MAX) {
      S().wake.wait(lock);
    } else {
      const auto now = NowMs();
      if (due > now) S().wake.wait_for(lock, std::chrono::milliseconds(due - now));
    }
  }
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (msg == nullptr) return FALSE;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
    return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
  }
  WCHAR ch = 0;
  bool ok = false;
  if (msg->wParam == VK_PACKET) {
    ch = static_cast<WCHAR>((static_cast<std::uint64_t>(msg->lParam) >> 16) & 0xFFFF);
    ok = true;
  } else {
    bool shift, ctrl;
    {
      Lock lock(S().mutex);
      shift = (S().keyState[VK_SHIFT] & 0x80) != 0;
      ctrl = (S().keyState[VK_CONTROL] & 0x80) != 0;
    }
    ch = CharOfKey(static_cast<UINT>(msg->wParam), shift, ctrl, &ok);
  }
  if (ok) {
    PostMessageW(msg->hwnd, msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, ch, msg->lParam);
  }
  return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  WNDPROC proc;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(msg->hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->threadId != ThisThreadId()) {
      SetLastError(ERROR_MESSAGE_SYNC_ONLY);
      return 0;
    }
    proc = w->proc;
    if (msg->message == WM_PAINT) w->internalPaint = false;
  }
  const bool was = inSendFromOther;
  inSendFromOther = false;
  const LRESULT r = proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  inSendFromOther = was;
  return r;
}

namespace {

// Lock held. WAIT_OBJECT_0 + i for a signalled object (consumed when auto-reset),
// WAIT_TIMEOUT when none, WAIT_FAILED for an invalid handle.
DWORD CheckObjectsLocked(DWORD count, const HANDLE* handles, BOOL waitAll) {
  std::vector<EventObject*> objs;
  for (DWORD i = 0; i < count; ++i) {
    auto it = S().events.find(Key(handles[i]));
    if (it == S().events.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objs.push_back(it->second.get());
  }
  if (waitAll && count > 0) {
    for (auto* e : objs) {
      if (!e->signaled) return WAIT_TIMEOUT;
    }
    for (auto* e : objs) {
      if (!e->manual) e->signaled = false;
    }
    return WAIT_OBJECT_0;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (objs[i]->signaled) {
      if (!objs[i]->manual) objs[i]->signaled = false;
      return WAIT_OBJECT_0 + i;
    }
  }
  return WAIT_TIMEOUT;
}

DWORD WaitImpl(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask, bool queue) {
  if (count > MAXIMUM_WAIT_OBJECTS || (count > 0 && handles == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  Lock lock(S().mutex);
  std::shared_ptr<Queue> q = queue ? CurrentQueueLocked() : nullptr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const DWORD r = CheckObjectsLocked(count, handles, waitAll);
    if (r != WAIT_TIMEOUT) return r;
    if (q) {
      UINT bits = q->changed;
      if (!q->sent.empty()) bits |= QS_SENDMESSAGE;
      if (PresentBitsLocked(*q) & QS_TIMER) bits |= QS_TIMER;
      if (bits & wakeMask) return WAIT_OBJECT_0 + count;
    }
    if (ms == 0) return WAIT_TIMEOUT;
    auto until = deadline;
    if (q) {
      const auto due = NextTimerDueLocked(*q);
      if (due != UINT64_MAX) {
        const auto now = NowMs();
        const auto timerAt = std::chrono::steady_clock::now() +
                             std::chrono::milliseconds(due > now ? due - now : 0);
        if (ms == INFINITE || timerAt < until) until = timerAt;
      }
    }
    if (ms == INFINITE && until == deadline) {
      S().wake.wait(lock);
    } else if (S().wake.wait_until(lock, until) == std::cv_status::timeout &&
               ms != INFINITE && std::chrono::steady_clock::now() >= deadline) {
      const DWORD last = CheckObjectsLocked(count, handles, waitAll);
      if (last != WAIT_TIMEOUT) return last;
      return WAIT_TIMEOUT;
    }
  }
}

}  // namespace

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                       DWORD milliseconds, DWORD wakeMask) {
  return WaitImpl(count, handles, waitAll, milliseconds, wakeMask, true);
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                    DWORD milliseconds) {
  if (count == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return WaitImpl(count, handles, waitAll, milliseconds, 0, false);
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WINAPI GetQueueStatus(UINT flags) {
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  const UINT present = PresentBitsLocked(*q) & flags;
  const UINT changed = q->changed & flags;
  q->changed &= ~flags;
  return MAKELONG(changed, present);
}

BOOL WINAPI InSendMessage() { return inSendFromOther; }

DWORD WINAPI InSendMessageEx(LPVOID) { return inSendFromOther ? ISMEX_SEND : ISMEX_NOSEND; }

BOOL WINAPI ReplyMessage(LRESULT result) {
  Lock lock(S().mutex);
  if (!inSendFromOther || currentSent == nullptr || currentSent->done) return FALSE;
  currentSent->result = result;
  currentSent->done = true;
  S().wake.notify_all();
  return TRUE;
}

DWORD WINAPI GetMessageTime() {
  Lock lock(S().mutex);
  return CurrentQueueLocked()->msgTime;
}

DWORD WINAPI GetMessagePos() {
  Lock lock(S().mutex);
  const POINT p = CurrentQueueLocked()->msgPos;
  return static_cast<DWORD>(MAKELONG(p.x, p.y));
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  if (hwnd) {
    auto w = FindWindowLocked(hwnd);
    if (!w || w->threadId != ThisThreadId()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
  } else {
    static UINT_PTR nextId = 0x7FFF;
    id = ++nextId;
  }
  elapse = std::clamp<UINT>(elapse, 10, 0x7FFFFFFF);
  for (auto& t : q->timers) {
    if (t.hwnd == hwnd && t.id == id) {
      t.elapse = elapse;
      t.proc = proc;
      t.due = NowMs() + elapse;
      return hwnd ? id : id;
    }
  }
  q->timers.push_back(Timer{hwnd, id, elapse, proc, NowMs() + elapse});
  S().wake.notify_all();
  return id == 0 ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  auto& v = q->timers;
  auto it = std::find_if(v.begin(), v.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  if (it == v.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  v.erase(it);
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Events and small kernel32 calls

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR) {
  Lock lock(S().mutex);
  auto e = std::make_shared<EventObject>();
  e->manual = manualReset != 0;
  e->signaled = initialState != 0;
  const UINT_PTR h = NewHandleValue();
  S().events[h] = e;
  return HandleOf<HANDLE>(h);
}

BOOL WINAPI SetEvent(HANDLE event) {
  Lock lock(S().mutex);
  auto it = S().events.find(Key(event));
  if (it == S().events.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  it->second->signaled = true;
  S().wake.notify_all();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE event) {
  Lock lock(S().mutex);
  auto it = S().events.find(Key(event));
  if (it == S().events.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  it->second->signaled = false;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  Lock lock(S().mutex);
  if (S().events.erase(Key(handle)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetCurrentProcessId() { return 0x4D2; }

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) std::this_thread::yield();
  else std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(NowMs()); }
