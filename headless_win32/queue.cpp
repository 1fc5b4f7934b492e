// Headless window system, threads and queues: each thread's message queue, sending and
// posting, reading messages (with the system's part of reading input), events and the
// waits, and the small kernel32 calls.
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
  if (m->msg == kMsgRunOnOwner) {
    lock.unlock();
    r = (*reinterpret_cast<const std::function<LRESULT()>*>(m->lParam))();
    lock.lock();
  } else if (auto w = FindWindowLocked(m->hwnd)) {
    WNDPROC proc = w->proc;
    lock.unlock();
    r = proc(m->hwnd, m->msg, m->wParam, m->lParam);
    lock.lock();
  }
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

void UpdateKeyState(BYTE* state, UINT vk, bool down) {
  if (vk > 255) return;
  if (down) {
    if (!(state[vk] & 0x80)) state[vk] ^= 0x01;  // toggled on each press
    state[vk] |= 0x80;
  } else {
    state[vk] &= static_cast<BYTE>(~0x80);
  }
}

// The mouse buttons' key state as a button message is read.
void UpdateButtonState(UINT msg) {
  const UINT down[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  const UINT vk[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
  for (int i = 0; i < 3; ++i) {
    // Each button's messages: down, up, double click.
    if (msg == down[i] || msg == down[i] + 2) UpdateKeyState(S().keyState, vk[i], true);
    if (msg == down[i] + 1) UpdateKeyState(S().keyState, vk[i], false);
  }
}

// WM_NCHITTEST down from the window under the mouse, through transparent children of this
// thread to their parents; target becomes the window that answered.
LRESULT HitTestFrom(HWND* target, POINT screen) {
  for (;;) {
    const LRESULT hit = SendMessageW(*target, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    if (hit != HTTRANSPARENT) return hit;
    HWND parent = GetAncestor(*target, GA_PARENT);
    if (!(GetWindowLongW(*target, GWL_STYLE) & WS_CHILD) || !parent ||
        GetWindowThreadProcessId(parent, nullptr) != ThisThreadId()) {
      return hit;
    }
    *target = parent;
  }
}

// Each ancestor hears of a press on a child (while the window on the way is a child without
// WS_EX_NOPARENTNOTIFY), with the point in its own client coordinates.
void NotifyParentsOfPress(HWND target, UINT msg, POINT screen) {
  HWND cur = target;
  while ((GetWindowLongW(cur, GWL_STYLE) & WS_CHILD) && !(GetWindowLongW(cur, GWL_EXSTYLE) & WS_EX_NOPARENTNOTIFY)) {
    HWND parent = GetAncestor(cur, GA_PARENT);
    if (!parent) break;
    POINT pp = screen;
    ScreenToClient(parent, &pp);
    SendMessageW(parent, WM_PARENTNOTIFY, MAKEWPARAM(msg, 0), MAKELPARAM(pp.x, pp.y));
    cur = parent;
  }
}

// A press activates the top-level window under it (WM_MOUSEACTIVATE); false when the
// answer eats the press.
bool ActivateOnPress(HWND target, UINT msg, LRESULT hit) {
  if (target == GetActiveWindow()) return true;
  HWND top = GetAncestor(target, GA_ROOT);
  if (!top || (GetWindowLongW(top, GWL_STYLE) & (WS_POPUP | WS_CHILD)) == WS_CHILD) return true;
  const LRESULT ma = SendMessageW(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(hit, msg));
  if ((ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT || ma == 0) && top != GetActiveWindow()) SetActiveWindow(top);
  return ma != MA_ACTIVATEANDEAT && ma != MA_NOACTIVATEANDEAT;
}

bool ProcessKeyLocked(const InputEvent& ev, const Window& w, MSG& out) {
  if (!IsVisibleLocked(w) || !IsEnabledChainLocked(w)) return false;
  const bool down = ev.msg.message == WM_KEYDOWN || ev.msg.message == WM_SYSKEYDOWN;
  UpdateKeyState(S().keyState, static_cast<UINT>(ev.msg.wParam), down);
  if (ev.msg.wParam == VK_LSHIFT || ev.msg.wParam == VK_RSHIFT) UpdateKeyState(S().keyState, VK_SHIFT, down);
  out = ev.msg;
  out.pt = S().cursorPos;
  return true;
}

// The system's part of reading an input event: hit testing, activation, the cursor, the
// key state. Lock held on entry and on return. False: the event went nowhere.
bool ProcessInputLocked(Lock& lock, Queue& q, const InputEvent& ev, MSG& out) {
  auto w = FindWindowLocked(ev.msg.hwnd);
  if (!w) return false;
  if (!ev.mouse) return ProcessKeyLocked(ev, *w, out);
  const UINT raw = ev.msg.message;
  const bool wheel = raw == WM_MOUSEWHEEL;
  const POINT origin = ClientOriginLocked(*w);
  const POINT screen{origin.x + ev.msg.pt.x, origin.y + ev.msg.pt.y};
  HWND target = ev.msg.hwnd;
  const HWND capture = wheel ? nullptr : q.capture;
  if (wheel) {
    target = q.focus ? q.focus : q.active;
    if (!target) return false;
  } else if (capture) {
    target = capture;
  } else if (!IsVisibleLocked(*w) || !IsEnabledChainLocked(*w)) {
    return false;
  }
  S().cursorPos = screen;
  UpdateButtonState(raw);
  lock.unlock();
  const LRESULT hit = (capture || wheel) ? HTCLIENT : HitTestFrom(&target, screen);
  out = MSG{target, raw, ev.msg.wParam, MAKELPARAM(screen.x, screen.y), ev.msg.time, screen};
  if (!wheel && hit != HTCLIENT) {
    out.message = raw - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    out.wParam = static_cast<WPARAM>(hit);
  } else if (!wheel) {
    POINT c = screen;
    ScreenToClient(target, &c);
    out.lParam = MAKELPARAM(c.x, c.y);
  }
  bool eat = hit == HTNOWHERE || hit == HTERROR || hit == HTTRANSPARENT;
  const bool press = raw == WM_LBUTTONDOWN || raw == WM_RBUTTONDOWN || raw == WM_MBUTTONDOWN;
  if (!eat && press) NotifyParentsOfPress(target, raw, screen);
  if (!eat && (press || raw == WM_LBUTTONDBLCLK || raw == WM_RBUTTONDBLCLK || raw == WM_MBUTTONDBLCLK)) {
    eat = !ActivateOnPress(target, raw, hit);
  }
  if (!wheel && IsWindow(target)) {
    SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(hit < 0 ? HTERROR : hit, raw));
  }
  lock.lock();
  if (q.trackLeave && q.trackLeave != target && !wheel) {
    // TrackMouseEvent(TME_LEAVE): the mouse went to another window.
    PostLocked(q, MSG{q.trackLeave, WM_MOUSELEAVE, 0, 0, ev.msg.time, screen});
    q.trackLeave = nullptr;
  }
  return !eat && FindWindowLocked(target);
}

// Input in the queue's order; true with the first event that went somewhere, false when
// none matched (retry: an event was read that went nowhere, look again).
bool PeekInputLocked(Lock& lock, Queue& q, MSG& out, HWND filter, UINT min, UINT max, UINT mask, bool remove,
                     bool* retry) {
  *retry = false;
  for (auto it = q.input.begin(); it != q.input.end(); ++it) {
    if (!(it->mouse ? (mask & QS_MOUSE) : (mask & QS_KEY))) continue;
    if (!FilterMatch(it->msg.hwnd, it->msg.message, filter, min, max)) continue;
    if (!remove) {
      out = it->msg;
      out.pt = S().cursorPos;
      return true;
    }
    InputEvent ev = *it;
    q.input.erase(it);
    if (ProcessInputLocked(lock, q, ev, out)) return true;
    *retry = true;
    return false;
  }
  return false;
}

// One look at the queue in Win32's order: sent, posted, quit, input, paint.
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
        return true;
      }
      if (q.quit && (filter == nullptr || filter == reinterpret_cast<HWND>(-1)) &&
          FilterMatch(nullptr, WM_QUIT, nullptr, min, max)) {
        out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount(), S().cursorPos};
        if (remove) q.quit = false;
        return true;
      }
    }
    bool retry = false;
    if ((mask & QS_INPUT) && PeekInputLocked(lock, q, out, filter, min, max, mask, remove, &retry)) return true;
    if (retry) continue;
    if (mask & QS_PAINT) {
      for (auto& [k, w] : S().windows) {
        if (w->threadId != q.threadId || w->destroyed || !w->hasUpdate) continue;
        if (!IsVisibleLocked(*w) || !FilterMatch(w->handle, WM_PAINT, filter, min, max)) continue;
        out = MSG{w->handle, WM_PAINT, 0, 0, GetTickCount(), S().cursorPos};
        return true;
      }
    }
    return false;
  }
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

// A message waiting in another thread's queue of sent messages.
std::shared_ptr<SentMessage> QueueSentLocked(Queue& target, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto m = std::make_shared<SentMessage>();
  m->hwnd = hwnd;
  m->msg = msg;
  m->wParam = wp;
  m->lParam = lp;
  target.sent.push_back(m);
  target.changed |= QS_SENDMESSAGE;
  S().wake.notify_all();
  return m;
}

// SendMessage to a window of another thread, or of this one. ok: false when the message
// could not be delivered (invalid window, time-out, the owner thread ended).
LRESULT SendInternal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs, bool* ok) {
  *ok = true;
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    *ok = false;
    return 0;
  }
  if (w->threadId == ThisThreadId()) {
    lock.unlock();
    if (msg == kMsgRunOnOwner) return (*reinterpret_cast<const std::function<LRESULT()>*>(lp))();
    return w->proc(hwnd, msg, wp, lp);
  }
  auto target = w->queue;
  if (!target || !target->alive) {
    *ok = false;
    return 0;
  }
  auto me = CurrentQueueLocked();
  auto m = QueueSentLocked(*target, hwnd, msg, wp, lp);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!m->done) {
    // A waiting sender serves what other threads send to it, so two threads sending to
    // each other do not deadlock.
    if (ServeOneLocked(lock, *me)) continue;
    if (timeoutMs == INFINITE) {
      S().wake.wait(lock);
    } else if (S().wake.wait_until(lock, deadline) == std::cv_status::timeout && !m->done) {
      auto& v = target->sent;
      v.erase(std::remove(v.begin(), v.end(), m), v.end());
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

LRESULT RunOnOwner(HWND h, const std::function<LRESULT()>& f) {
  bool ok;
  return SendInternal(h, kMsgRunOnOwner, 0, reinterpret_cast<LPARAM>(&f), INFINITE, &ok);
}

}  // namespace zorv::winsys

using namespace zorv::winsys;

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  bool ok;
  return SendInternal(hwnd, msg, wParam, lParam, INFINITE, &ok);
}

LRESULT WINAPI SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT,
                                   UINT timeout, PDWORD_PTR result) {
  bool ok;
  const LRESULT r = SendInternal(hwnd, msg, wParam, lParam, timeout, &ok);
  if (result) *result = static_cast<DWORD_PTR>(r);
  return ok ? 1 : 0;
}

BOOL WINAPI SendNotifyMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return FALSE;
  if (w->threadId == ThisThreadId()) {
    WNDPROC proc = w->proc;
    lock.unlock();
    proc(hwnd, msg, wParam, lParam);
    return TRUE;
  }
  if (!w->queue || !w->queue->alive) return FALSE;
  QueueSentLocked(*w->queue, hwnd, msg, wParam, lParam);
  return TRUE;
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Lock lock(S().mutex);
  if (hwnd == nullptr) {
    PostLocked(*CurrentQueueLocked(), MSG{nullptr, msg, wParam, lParam, GetTickCount(), S().cursorPos});
    return TRUE;
  }
  auto w = WindowLocked(hwnd);
  if (!w) return FALSE;
  if (!w->queue || !w->queue->alive) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  PostLocked(*w->queue, MSG{hwnd, msg, wParam, lParam, GetTickCount(), S().cursorPos});
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

BOOL WINAPI WaitMessage() {
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  while (!ServeAllLocked(lock, *q) && !(q->changed & QS_ALLINPUT)) S().wake.wait(lock);
  return TRUE;
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
  WNDPROC proc;
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(msg->hwnd);
    if (!w) return 0;
    if (w->threadId != ThisThreadId()) {
      SetLastError(ERROR_MESSAGE_SYNC_ONLY);
      return 0;
    }
    proc = w->proc;
  }
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
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

}  // namespace

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                       DWORD milliseconds, DWORD wakeMask) {
  if (count > MAXIMUM_WAIT_OBJECTS || (count > 0 && handles == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const DWORD r = CheckObjectsLocked(count, handles, waitAll);
    if (r != WAIT_TIMEOUT) return r;
    const UINT bits = q->changed | (q->sent.empty() ? 0 : QS_SENDMESSAGE);
    if (bits & wakeMask) return WAIT_OBJECT_0 + count;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (milliseconds == INFINITE) {
      S().wake.wait(lock);
    } else if (S().wake.wait_until(lock, deadline) == std::cv_status::timeout) {
      return CheckObjectsLocked(count, handles, waitAll);
    }
  }
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

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) std::this_thread::yield();
  else std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(NowMs()); }
