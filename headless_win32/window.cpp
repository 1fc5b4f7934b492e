// Headless window system, window state: geometry (the fixed non-client model, SetWindowPos,
// ShowWindow), enabling, focus, activation, capture, the cursor and key state, painting
// and the default window procedure.
#include <algorithm>

#include "headless_win32/internal.h"

namespace zorv::winsys {

namespace {
constexpr int kScreenW = 1024;
constexpr int kScreenH = 768;
constexpr int kMinimizedW = 160;
constexpr int kMinimizedH = 28;

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
  return r;
}
bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }
RECT Union(const RECT& a, const RECT& b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}
RECT ClientRectOf(const Window& w) {
  return RECT{0, 0, w.client.right - w.client.left, w.client.bottom - w.client.top};
}
}  // namespace

RECT NcInsets(DWORD style, DWORD exStyle, int* caption) {
  int b = 0;
  if (style & WS_THICKFRAME) b = 4;
  else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) b = 3;
  else if (style & WS_BORDER) b = 1;
  if (exStyle & WS_EX_CLIENTEDGE) b += 2;
  if (exStyle & WS_EX_STATICEDGE) b += 1;
  const int cap = (style & WS_CAPTION) == WS_CAPTION ? 18 : 0;
  if (caption) *caption = cap;
  return RECT{b, b + cap, b, b};
}

MINMAXINFO SendGetMinMaxInfo(HWND h) {
  MINMAXINFO mmi{};
  DWORD style = 0, ex = 0;
  {
    Lock lock(S().mutex);
    if (auto w = FindWindowLocked(h)) {
      style = w->style;
      ex = w->exStyle;
    }
  }
  const RECT in = NcInsets(style, ex, nullptr);
  mmi.ptMaxSize = POINT{kScreenW + in.left + in.right, kScreenH + in.left + in.right};
  mmi.ptMaxPosition = POINT{-in.left, -in.left};
  mmi.ptMinTrackSize = POINT{112, 27};
  mmi.ptMaxTrackSize = POINT{kScreenW + 12, kScreenH + 12};
  SendMessageW(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  return mmi;
}

void InvalidateLocked(Window& w, const RECT* r, bool erase, bool children) {
  if (!IsVisibleLocked(w)) return;
  const RECT cr = ClientRectOf(w);
  const RECT a = r ? Intersect(*r, cr) : cr;
  if (Empty(a)) return;
  w.update = w.hasUpdate ? Union(w.update, a) : a;
  w.hasUpdate = true;
  w.erase = w.erase || erase;
  if (w.queue) MarkPaintChanged(*w.queue);
  if (!children) return;
  for (HWND ch : w.children) {
    auto c = FindWindowLocked(ch);
    if (!c) continue;
    RECT in = Intersect(a, c->client);
    if (Empty(in)) continue;
    OffsetRect(&in, -c->client.left, -c->client.top);
    InvalidateLocked(*c, &in, erase, !(c->style & WS_CLIPCHILDREN));
  }
}

}  // namespace zorv::winsys

using namespace zorv::winsys;

// ---------------------------------------------------------------------------------------
// Rectangles and geometry

BOOL WINAPI PtInRect(const RECT* rect, POINT p) {
  return rect && p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom;
}

BOOL WINAPI OffsetRect(LPRECT rect, int dx, int dy) {
  if (!rect) return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = w->window;
  if (auto p = FindWindowLocked(w->parent)) {
    const POINT o = ClientOriginLocked(*p);
    OffsetRect(rect, o.x, o.y);
  }
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = ClientRectOf(*w);
  return TRUE;
}

namespace {
// Adds (sign 1) or takes off (sign -1) the screen position of a window's client area.
BOOL ShiftByClientOrigin(HWND hwnd, LPPOINT point, int sign) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || !point) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const POINT o = ClientOriginLocked(*w);
  point->x += sign * o.x;
  point->y += sign * o.y;
  return TRUE;
}
}  // namespace

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) { return ShiftByClientOrigin(hwnd, point, 1); }
BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) { return ShiftByClientOrigin(hwnd, point, -1); }

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  Lock lock(S().mutex);
  POINT a{0, 0}, b{0, 0};
  if (from && from != S().desktop) {
    auto w = WindowLocked(from);
    if (!w) return 0;
    a = ClientOriginLocked(*w);
  }
  if (to && to != S().desktop) {
    auto w = WindowLocked(to);
    if (!w) return 0;
    b = ClientOriginLocked(*w);
  }
  const int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return MAKELONG(dx, dy);
}

HWND WINAPI WindowFromPoint(POINT point) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(S().desktop);
  HWND found = nullptr;
  POINT pt = point;
  for (;;) {
    std::shared_ptr<Window> hit;
    for (HWND h : w->children) {
      auto c = FindWindowLocked(h);
      if (c && (c->style & WS_VISIBLE) && PtInRect(&c->window, pt)) {
        hit = c;
        break;
      }
    }
    if (!hit) break;
    found = hit->handle;
    if ((hit->style & (WS_DISABLED | WS_MINIMIZE)) || !PtInRect(&hit->client, pt)) break;
    pt.x -= hit->client.left;
    pt.y -= hit->client.top;
    w = hit;
  }
  return found;
}

// ---------------------------------------------------------------------------------------
// SetWindowPos

namespace {

// The flags of a move as the system sees them: what does not change is not done.
void NormalisePosFlags(WINDOWPOS& wp, const RECT& oldWin, DWORD style) {
  const int oldW = oldWin.right - oldWin.left, oldH = oldWin.bottom - oldWin.top;
  if (wp.flags & SWP_NOSIZE) {
    wp.cx = oldW;
    wp.cy = oldH;
  }
  if (wp.flags & SWP_NOMOVE) {
    wp.x = oldWin.left;
    wp.y = oldWin.top;
  }
  wp.cx = std::max(wp.cx, 0);
  wp.cy = std::max(wp.cy, 0);
  if (wp.cx == oldW && wp.cy == oldH) wp.flags |= SWP_NOSIZE;
  if (wp.x == oldWin.left && wp.y == oldWin.top) wp.flags |= SWP_NOMOVE;
  if (style & WS_VISIBLE) wp.flags &= ~SWP_SHOWWINDOW;
  else wp.flags &= ~SWP_HIDEWINDOW;
  if (wp.hwndInsertAfter == wp.hwnd) wp.flags |= SWP_NOZORDER;
}

// The client area after the move (WM_NCCALCSIZE when the size or the frame changes);
// false when the window went meanwhile.
bool CalcMovedClient(WINDOWPOS& wp, const RECT& newWin, const RECT& oldWin, const RECT& oldClient, RECT* newClient) {
  *newClient = oldClient;
  if (!(wp.flags & SWP_NOSIZE) || (wp.flags & SWP_FRAMECHANGED)) {
    NCCALCSIZE_PARAMS p{};
    p.rgrc[0] = newWin;
    p.rgrc[1] = oldWin;
    p.rgrc[2] = oldClient;
    p.lppos = &wp;
    SendMessageW(wp.hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&p));
    if (!IsWindow(wp.hwnd)) return false;
    *newClient = p.rgrc[0];
  } else {
    OffsetRect(newClient, newWin.left - oldWin.left, newWin.top - oldWin.top);
  }
  if (newClient->right - newClient->left == oldClient.right - oldClient.left &&
      newClient->bottom - newClient->top == oldClient.bottom - oldClient.top)
    wp.flags |= kSwpNoClientSize;
  if (newClient->left == oldClient.left && newClient->top == oldClient.top) wp.flags |= kSwpNoClientMove;
  return true;
}

void ApplyZOrderLocked(const Window& w, HWND after) {
  auto p = FindWindowLocked(w.parent);
  if (!p) return;
  auto& v = p->children;
  v.erase(std::remove(v.begin(), v.end(), w.handle), v.end());
  if (after == HWND_BOTTOM) {
    v.push_back(w.handle);
  } else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
    v.insert(v.begin(), w.handle);
  } else {
    auto it = std::find(v.begin(), v.end(), after);
    v.insert(it == v.end() ? v.begin() : it + 1, w.handle);
  }
}

// What a move leaves to be painted.
void InvalidateMovedLocked(Window& w, UINT flags, const RECT& oldClient) {
  if (flags & SWP_NOREDRAW) return;
  const bool sized = !(flags & kSwpNoClientSize);
  if ((flags & SWP_SHOWWINDOW) || (flags & SWP_FRAMECHANGED) || (sized && (w.cls->style & (CS_HREDRAW | CS_VREDRAW)))) {
    InvalidateLocked(w, nullptr, true, true);
  } else if (sized) {
    // The part of the client area that grew; the bounding model takes it whole.
    const RECT oldC{0, 0, oldClient.right - oldClient.left, oldClient.bottom - oldClient.top};
    const RECT cr = ClientRectOf(w);
    if (cr.right > oldC.right || cr.bottom > oldC.bottom) {
      RECT grown = cr;
      if (cr.bottom <= oldC.bottom) grown.left = oldC.right;
      else if (cr.right <= oldC.right) grown.top = oldC.bottom;
      InvalidateLocked(w, &grown, true, true);
    }
  }
}

// Stores the new place, order and visibility; false when the window went.
bool CommitPos(const WINDOWPOS& wp, const RECT& newWin, const RECT& newClient, const RECT& oldClient) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(wp.hwnd);
  if (!w) return false;
  w->window = newWin;
  w->client = newClient;
  if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = newWin;
  if (!(wp.flags & SWP_NOZORDER)) ApplyZOrderLocked(*w, wp.hwndInsertAfter);
  if (wp.flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
  if (wp.flags & SWP_HIDEWINDOW) {
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    w->hasUpdate = false;
    w->erase = false;
  }
  InvalidateMovedLocked(*w, wp.flags, oldClient);
  return true;
}

BOOL SetWindowPosOnOwner(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
  WINDOWPOS wp{hwnd, after, x, y, cx, cy, flags};
  RECT oldWin, oldClient;
  DWORD style;
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd);
    if (!w) return FALSE;
    oldWin = w->window;
    oldClient = w->client;
    style = w->style;
  }
  NormalisePosFlags(wp, oldWin, style);
  if (!(wp.flags & SWP_NOSENDCHANGING)) {
    SendMessageW(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (!IsWindow(hwnd)) return FALSE;
  }
  RECT newWin = oldWin;
  if (!(wp.flags & SWP_NOMOVE)) OffsetRect(&newWin, wp.x - oldWin.left, wp.y - oldWin.top);
  if (!(wp.flags & SWP_NOSIZE)) {
    newWin.right = newWin.left + std::max(wp.cx, 0);
    newWin.bottom = newWin.top + std::max(wp.cy, 0);
  }
  RECT newClient;
  if (!CalcMovedClient(wp, newWin, oldWin, oldClient, &newClient)) return FALSE;
  if (!CommitPos(wp, newWin, newClient, oldClient)) return FALSE;
  if (!(wp.flags & (SWP_NOACTIVATE | SWP_HIDEWINDOW))) {
    if ((style & (WS_CHILD | WS_POPUP)) == WS_CHILD) SendMessageW(hwnd, WM_CHILDACTIVATE, 0, 0);
    else SetForegroundWindow(hwnd);
  }
  constexpr UINT kNoPosChange = SWP_NOSIZE | SWP_NOMOVE | kSwpNoClientSize | kSwpNoClientMove | SWP_NOZORDER;
  constexpr UINT kStatus = kNoPosChange | SWP_FRAMECHANGED | SWP_HIDEWINDOW | SWP_SHOWWINDOW;
  if ((wp.flags & kStatus) != kNoPosChange && IsWindow(hwnd)) {
    wp.x = newWin.left;
    wp.y = newWin.top;
    wp.cx = newWin.right - newWin.left;
    wp.cy = newWin.bottom - newWin.top;
    SendMessageW(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  }
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// ShowWindow

enum class StateChange { None, Minimize, Maximize, Restore };

HWND NextTopLevelToActivate(HWND leaving) {
  Lock lock(S().mutex);
  for (HWND h : FindWindowLocked(S().desktop)->children) {
    auto w = FindWindowLocked(h);
    if (!w || h == leaving || w->threadId != ThisThreadId() || w->destroying) continue;
    if ((w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) && !(w->exStyle & WS_EX_NOACTIVATE)) return h;
  }
  return nullptr;
}

void ShowOwnedPopups(HWND owner, bool show) {
  std::vector<HWND> list;
  {
    Lock lock(S().mutex);
    for (auto& [k, w] : S().windows) {
      if (w->owner != owner || w->destroyed || !(w->style & WS_POPUP)) continue;
      if (show ? w->hiddenByOwner : (w->style & WS_VISIBLE) != 0) {
        w->hiddenByOwner = !show;
        list.push_back(w->handle);
      }
    }
  }
  for (HWND h : list) {
    SendMessageW(h, WM_SHOWWINDOW, show, show ? SW_PARENTOPENING : SW_PARENTCLOSING);
  }
}

// Whether this thread's focus is the window or one of its descendants.
bool HoldsFocus(HWND hwnd) {
  Lock lock(S().mutex);
  HWND focus = CurrentQueueLocked()->focus;
  return focus && (focus == hwnd || IsChildLocked(hwnd, focus));
}

HWND ParentIfChild(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || !(w->style & WS_CHILD)) return nullptr;
  return w->parent;
}

// The SetWindowPos flags and state change of a ShowWindow command; false when there is
// nothing to do, with ShowWindow's answer in result.
bool PlanShow(HWND hwnd, int cmd, DWORD style, UINT* swp, StateChange* change, BOOL* result) {
  const bool wasVisible = (style & WS_VISIBLE) != 0;
  const bool child = (style & WS_CHILD) != 0;
  *swp = 0;
  *change = StateChange::None;
  *result = wasVisible;
  switch (cmd) {
    case SW_HIDE:
      if (!wasVisible) return false;
      *swp |= SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE;
      if (hwnd != GetActiveWindow()) *swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      return true;
    case SW_SHOWMINNOACTIVE:
    case SW_MINIMIZE:
    case SW_FORCEMINIMIZE:
      *swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      [[fallthrough]];
    case SW_SHOWMINIMIZED:
      *swp |= SWP_SHOWWINDOW | SWP_FRAMECHANGED;
      if (style & WS_MINIMIZE) *swp |= SWP_NOSIZE | SWP_NOMOVE;
      else *change = StateChange::Minimize;
      return true;
    case SW_SHOWMAXIMIZED:
      *swp |= SWP_SHOWWINDOW | SWP_FRAMECHANGED;
      if (style & WS_MAXIMIZE) *swp |= SWP_NOSIZE | SWP_NOMOVE;
      else *change = StateChange::Maximize;
      return true;
    case SW_SHOWNA:
      *swp |= SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER;
      return true;
    case SW_SHOW:
      *result = TRUE;
      if (wasVisible) return false;
      *swp |= SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE;
      if (child) *swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      return true;
    case SW_SHOWNOACTIVATE:
      *swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      [[fallthrough]];
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWDEFAULT:
      *swp |= SWP_SHOWWINDOW;
      if (style & (WS_MINIMIZE | WS_MAXIMIZE)) {
        *swp |= SWP_FRAMECHANGED;
        *change = StateChange::Restore;
      } else {
        *result = TRUE;
        if (wasVisible) return false;
        *swp |= SWP_NOSIZE | SWP_NOMOVE;
      }
      if (child && *change == StateChange::None) *swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      return true;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      *result = FALSE;
      return false;
  }
}

// Sets the minimised or maximised state and answers the window's new rectangle.
RECT ApplyStateLocked(Window& w, StateChange change) {
  const bool child = (w.style & WS_CHILD) != 0;
  auto p = FindWindowLocked(w.parent);
  switch (change) {
    case StateChange::Minimize: {
      w.style = (w.style | WS_MINIMIZE) & ~static_cast<DWORD>(WS_MAXIMIZE);
      if (!child) return RECT{-32000, -32000, -32000 + kMinimizedW, -32000 + kMinimizedH};
      const int ph = p ? p->client.bottom - p->client.top : 0;
      return RECT{0, ph - kMinimizedH, kMinimizedW, ph};
    }
    case StateChange::Maximize: {
      w.style = (w.style | WS_MAXIMIZE) & ~static_cast<DWORD>(WS_MINIMIZE);
      const RECT in = NcInsets(w.style, w.exStyle, nullptr);
      const RECT area = child && p ? ClientRectOf(*p) : RECT{0, 0, kScreenW, kScreenH};
      return RECT{area.left - in.left, area.top - in.left, area.right + in.right, area.bottom + in.bottom};
    }
    default:
      w.style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
      return w.normalRect;
  }
}

// The size messages an overlapped window did not get at its creation.
void SendPendingSize(HWND hwnd) {
  RECT c{};
  bool needSize = false;
  DWORD now = 0;
  {
    Lock lock(S().mutex);
    if (auto w = FindWindowLocked(hwnd)) {
      needSize = w->needSize;
      w->needSize = false;
      c = w->client;
      now = w->style;
    }
  }
  if (!needSize) return;
  const WPARAM kind = (now & WS_MAXIMIZE) ? SIZE_MAXIMIZED : (now & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED;
  SendMessageW(hwnd, WM_SIZE, kind, kind == SIZE_MINIMIZED ? 0 : MAKELPARAM(c.right - c.left, c.bottom - c.top));
  SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
}

// Activation and focus after the window was hidden, minimised or restored.
void MoveFocusAfterShow(HWND hwnd, int cmd, StateChange change, DWORD oldStyle) {
  if (cmd == SW_HIDE) {
    if (hwnd == GetActiveWindow()) SetActiveWindow(NextTopLevelToActivate(hwnd));
    if (HoldsFocus(hwnd)) SetFocus(ParentIfChild(hwnd));
  } else if (change == StateChange::Minimize) {
    if (HoldsFocus(hwnd)) SetFocus(nullptr);
  } else if (change == StateChange::Restore && (oldStyle & WS_MINIMIZE)) {
    SetFocus(hwnd);
  }
}

BOOL ShowWindowOnOwner(HWND hwnd, int cmd) {
  DWORD style;
  RECT target;
  HWND parent;
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd);
    if (!w) return FALSE;
    style = w->style;
    target = w->normalRect;
    parent = w->parent;
  }
  const bool wasVisible = (style & WS_VISIBLE) != 0;
  const bool child = (style & WS_CHILD) != 0;
  UINT swp;
  StateChange change;
  BOOL result;
  if (!PlanShow(hwnd, cmd, style, &swp, &change, &result)) return result;
  const bool showFlag = cmd != SW_HIDE;
  if ((showFlag != wasVisible || cmd == SW_SHOWNA) && cmd != SW_SHOWMAXIMIZED && change == StateChange::None) {
    SendMessageW(hwnd, WM_SHOWWINDOW, showFlag, 0);
    if (!IsWindow(hwnd)) return wasVisible;
  }
  if (child && change == StateChange::None && (swp & (SWP_NOSIZE | SWP_NOMOVE)) == (SWP_NOSIZE | SWP_NOMOVE) &&
      !IsWindowVisible(parent)) {
    // Under a hidden parent only the style changes, as in Win32.
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return wasVisible;
    if (showFlag) w->style |= WS_VISIBLE;
    else w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    return wasVisible;
  }
  if (change != StateChange::None) {
    swp |= kSwpStateChanged;
    if (change == StateChange::Minimize && !child) ShowOwnedPopups(hwnd, false);
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return wasVisible;
    target = ApplyStateLocked(*w, change);
  }
  SetWindowPosOnOwner(hwnd, HWND_TOP, target.left, target.top, target.right - target.left,
                      target.bottom - target.top, swp);
  if (change == StateChange::Restore && !child) ShowOwnedPopups(hwnd, true);
  MoveFocusAfterShow(hwnd, cmd, change, style);
  if (cmd != SW_HIDE) SendPendingSize(hwnd);
  return wasVisible;
}

}  // namespace

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!CheckWindow(hwnd)) return FALSE;
  return static_cast<BOOL>(RunOnOwner(hwnd, [=] {
    return static_cast<LRESULT>(SetWindowPosOnOwner(hwnd, insertAfter, x, y, cx, cy, flags));
  }));
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
  if (!CheckWindow(hwnd)) return FALSE;
  return static_cast<BOOL>(
      RunOnOwner(hwnd, [=] { return static_cast<LRESULT>(ShowWindowOnOwner(hwnd, cmdShow)); }));
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  return w && IsVisibleLocked(*w);
}

BOOL WINAPI IsIconic(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  return w && (w->style & WS_MINIMIZE);
}

BOOL WINAPI IsZoomed(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  return w && (w->style & WS_MAXIMIZE);
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  return w && !(w->style & WS_DISABLED);
}

namespace {
// Sets or clears WS_DISABLED; answers whether it was set.
bool SetDisabledStyle(HWND hwnd, bool disabled) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) return false;
  const bool was = (w->style & WS_DISABLED) != 0;
  if (disabled) w->style |= WS_DISABLED;
  else w->style &= ~static_cast<DWORD>(WS_DISABLED);
  return was;
}
}  // namespace

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
  if (!CheckWindow(hwnd)) return FALSE;
  return static_cast<BOOL>(RunOnOwner(hwnd, [=]() -> LRESULT {
    if (enable) {
      const bool was = SetDisabledStyle(hwnd, false);
      if (was) SendMessageW(hwnd, WM_ENABLE, TRUE, 0);
      return was;
    }
    SendMessageW(hwnd, WM_CANCELMODE, 0, 0);
    const bool was = SetDisabledStyle(hwnd, true);
    if (!was) {
      if (HoldsFocus(hwnd)) SetFocus(nullptr);
      SendMessageW(hwnd, WM_ENABLE, FALSE, 0);
    }
    return was;
  }));
}

// ---------------------------------------------------------------------------------------
// Focus, activation, capture

namespace {

HWND SetFocusWindow(HWND hwnd) {
  HWND previous;
  {
    Lock lock(S().mutex);
    auto q = CurrentQueueLocked();
    previous = q->focus;
    if (previous == hwnd) return previous;
    q->focus = hwnd;
  }
  if (previous && IsWindow(previous)) {
    SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (GetFocus() != hwnd) return previous;
  }
  if (hwnd && IsWindow(hwnd)) SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

// WM_ACTIVATEAPP to the top-level windows of the thread losing and of the thread gaining
// the activation.
void SendActivateApp(DWORD oldThread, DWORD newThread) {
  if (oldThread == newThread) return;
  std::vector<HWND> tops;
  {
    Lock lock(S().mutex);
    tops = FindWindowLocked(S().desktop)->children;
  }
  for (HWND t : tops) {
    if (oldThread && GetWindowThreadProcessId(t, nullptr) == oldThread) SendMessageW(t, WM_ACTIVATEAPP, FALSE, newThread);
  }
  for (HWND t : tops) {
    if (newThread && GetWindowThreadProcessId(t, nullptr) == newThread) SendMessageW(t, WM_ACTIVATEAPP, TRUE, oldThread);
  }
}

bool SetActiveWindowInternal(HWND hwnd, HWND* prevOut, bool mouse, bool focus) {
  HWND previous = GetActiveWindow();
  if (prevOut) *prevOut = previous;
  if (previous != hwnd) {
    if (previous && IsWindow(previous)) {
      SendMessageW(previous, WM_NCACTIVATE, FALSE, reinterpret_cast<LPARAM>(hwnd));
      SendMessageW(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(previous)),
                   reinterpret_cast<LPARAM>(hwnd));
    }
    {
      Lock lock(S().mutex);
      auto q = CurrentQueueLocked();
      previous = q->active;
      q->active = hwnd;
      if (hwnd) S().foreground = hwnd;
      else if (S().foreground == previous) S().foreground = nullptr;
    }
    if (prevOut) *prevOut = previous;
    if (previous == hwnd) return true;
    SendActivateApp(previous ? GetWindowThreadProcessId(previous, nullptr) : 0,
                    hwnd ? GetWindowThreadProcessId(hwnd, nullptr) : 0);
    if (hwnd && IsWindow(hwnd)) {
      SendMessageW(hwnd, WM_NCACTIVATE, hwnd == GetForegroundWindow(), reinterpret_cast<LPARAM>(previous));
      SendMessageW(hwnd, WM_ACTIVATE, MAKEWPARAM(mouse ? WA_CLICKACTIVE : WA_ACTIVE, IsIconic(hwnd)),
                   reinterpret_cast<LPARAM>(previous));
    }
  }
  if (focus && hwnd == GetActiveWindow()) {
    HWND f = GetFocus();
    if (!f || !hwnd || GetAncestor(f, GA_ROOT) != hwnd) SetFocusWindow(hwnd);
  }
  return true;
}

// The top-level window that must be active for hwnd to take the focus; null when it cannot.
HWND FocusableTopLocked(const Window& w) {
  HWND top = w.handle;
  for (;;) {
    auto t = FindWindowLocked(top);
    if (!t || (t->style & (WS_MINIMIZE | WS_DISABLED))) return nullptr;
    if (!(t->style & WS_CHILD)) return top;
    if (t->parent == S().messageRoot) return nullptr;
    if (t->parent == S().desktop) return top;
    top = t->parent;
  }
}

}  // namespace

HWND WINAPI SetFocus(HWND hwnd) {
  HWND previous = GetFocus();
  if (hwnd) {
    HWND top;
    {
      Lock lock(S().mutex);
      auto w = WindowLocked(hwnd);
      if (!w) return nullptr;
      if (w->threadId != ThisThreadId()) return nullptr;
      if (hwnd == previous) return previous;
      top = FocusableTopLocked(*w);
      if (!top) return nullptr;
    }
    if (top != GetActiveWindow()) {
      SetActiveWindowInternal(top, nullptr, false, false);
      if (!IsWindow(hwnd) || top != GetActiveWindow()) return nullptr;
    }
  } else if (!previous) {
    return nullptr;
  }
  return SetFocusWindow(hwnd);
}

HWND WINAPI GetFocus() {
  Lock lock(S().mutex);
  return CurrentQueueLocked()->focus;
}

HWND WINAPI GetActiveWindow() {
  Lock lock(S().mutex);
  return CurrentQueueLocked()->active;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
  if (hwnd) {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd);
    if (!w) return nullptr;
    if ((w->style & (WS_POPUP | WS_CHILD)) == WS_CHILD) return CurrentQueueLocked()->active;
    if (w->threadId != ThisThreadId()) return nullptr;
  }
  HWND prev = nullptr;
  SetActiveWindowInternal(hwnd, &prev, false, true);
  return prev;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
  DWORD tid;
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd);
    if (!w) return FALSE;
    tid = w->threadId;
    S().foreground = RootLocked(hwnd);
    if (tid != ThisThreadId() && w->queue) {
      w->queue->pendingActivate = S().foreground;
      w->queue->changed |= QS_POSTMESSAGE;
      S().wake.notify_all();
    }
  }
  if (tid == ThisThreadId()) SetActiveWindowInternal(GetAncestor(hwnd, GA_ROOT), nullptr, false, true);
  return TRUE;
}

HWND WINAPI GetForegroundWindow() {
  Lock lock(S().mutex);
  return S().foreground;
}

HWND WINAPI SetCapture(HWND hwnd) {
  HWND previous;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    auto q = CurrentQueueLocked();
    previous = q->capture;
    if (!w || w->threadId != ThisThreadId()) return previous;
    q->capture = hwnd;
  }
  if (previous && previous != hwnd) {
    SendMessageW(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  }
  return previous;
}

BOOL WINAPI ReleaseCapture() {
  HWND previous;
  {
    Lock lock(S().mutex);
    auto q = CurrentQueueLocked();
    previous = q->capture;
    q->capture = nullptr;
  }
  if (previous) SendMessageW(previous, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND WINAPI GetCapture() {
  Lock lock(S().mutex);
  return CurrentQueueLocked()->capture;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  Lock lock(S().mutex);
  HCURSOR old = S().cursor;
  S().cursor = cursor;
  return old;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (!point) return FALSE;
  Lock lock(S().mutex);
  *point = S().cursorPos;
  return TRUE;
}

SHORT WINAPI GetKeyState(int virtKey) {
  if (virtKey < 0 || virtKey > 255) return 0;
  Lock lock(S().mutex);
  const BYTE s = S().keyState[virtKey];
  return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track) {
  if (!track || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!(track->dwFlags & TME_LEAVE)) return TRUE;  // hovering is not tracked
  POINT cursor;
  GetCursorPos(&cursor);
  const HWND under = WindowFromPoint(cursor);
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  if (track->dwFlags & TME_CANCEL) {
    if (q->trackLeave == track->hwndTrack) q->trackLeave = nullptr;
    return TRUE;
  }
  if (!WindowLocked(track->hwndTrack)) return FALSE;
  if (under != track->hwndTrack) {
    // The mouse is elsewhere already: the leave comes at once.
    PostLocked(*q, MSG{track->hwndTrack, WM_MOUSELEAVE, 0, 0, GetTickCount(), cursor});
    q->trackLeave = nullptr;
    return TRUE;
  }
  q->trackLeave = track->hwndTrack;
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Painting

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  Lock lock(S().mutex);
  if (hwnd == nullptr) {
    for (HWND h : FindWindowLocked(S().desktop)->children) {
      if (auto w = FindWindowLocked(h)) InvalidateLocked(*w, nullptr, erase, true);
    }
    return TRUE;
  }
  auto w = WindowLocked(hwnd);
  if (!w) return FALSE;
  InvalidateLocked(*w, rect, erase, !(w->style & WS_CLIPCHILDREN));
  return TRUE;
}

namespace {

void ValidateTreeLocked(Window& w) {
  w.hasUpdate = false;
  w.erase = false;
  for (HWND ch : w.children) {
    if (auto c = FindWindowLocked(ch)) ValidateTreeLocked(*c);
  }
}

void UpdateNow(HWND hwnd, bool children) {
  bool paint;
  std::vector<HWND> kids;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return;
    paint = w->hasUpdate && IsVisibleLocked(*w);
    kids = w->children;
  }
  if (paint) SendMessageW(hwnd, WM_PAINT, 0, 0);
  if (!children) return;
  for (HWND c : kids) UpdateNow(c, true);
}

}  // namespace

BOOL WINAPI UpdateWindow(HWND hwnd) {
  if (!CheckWindow(hwnd)) return FALSE;
  UpdateNow(hwnd, true);
  return TRUE;
}

// RDW_INVALIDATE, RDW_ERASE, RDW_ALLCHILDREN, RDW_NOCHILDREN and RDW_UPDATENOW.
BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* update, HRGN region, UINT flags) {
  RECT box{};
  const RECT* r = update;
  if (!r && region) {
    if (GetRgnBox(region, &box) == ERROR) return FALSE;
    r = &box;
  }
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd ? hwnd : S().desktop);
    if (!w) return FALSE;
    const bool children = (flags & RDW_ALLCHILDREN) ||
                          (!(flags & RDW_NOCHILDREN) && !(w->style & WS_CLIPCHILDREN));
    if (flags & RDW_INVALIDATE) InvalidateLocked(*w, r, (flags & RDW_ERASE) != 0, children);
  }
  if (flags & RDW_UPDATENOW) UpdateNow(hwnd, !(flags & RDW_NOCHILDREN));
  return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
  if (!paint) return nullptr;
  RECT rc{};
  bool erase;
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd);
    if (!w) return nullptr;
    if (w->hasUpdate) rc = w->update;
    erase = w->erase;
    w->hasUpdate = false;
    w->erase = false;
  }
  HDC dc = NewWindowDc(hwnd, &rc);
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  paint->rcPaint = rc;
  paint->fErase = FALSE;
  if (erase) paint->fErase = !SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  return dc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  ReleaseDC(hwnd, paint->hdc);
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase) {
  RECT u{};
  bool has, needErase;
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd);
    if (!w) return FALSE;
    has = w->hasUpdate;
    if (has) u = w->update;
    needErase = has && w->erase && erase;
    if (needErase) w->erase = false;
  }
  if (rect) *rect = u;
  if (needErase) {
    HDC dc = NewWindowDc(hwnd, &u);
    SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ReleaseDC(hwnd, dc);
  }
  return has;
}

int WINAPI GetUpdateRgn(HWND hwnd, HRGN region, BOOL erase) {
  RECT u{};
  const BOOL has = GetUpdateRect(hwnd, &u, erase);
  if (!IsWindow(hwnd)) return ERROR;
  if (!SetRegionRect(region, has ? u : RECT{0, 0, 0, 0})) return ERROR;
  return has ? SIMPLEREGION : NULLREGION;
}

// ---------------------------------------------------------------------------------------
// The default window procedure: one function per family of messages

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (proc == nullptr) return 0;
  return proc(hwnd, msg, wParam, lParam);
}

namespace {

bool StylesOf(HWND hwnd, DWORD* style, DWORD* ex) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) return false;
  *style = w->style;
  if (ex) *ex = w->exStyle;
  return true;
}

LRESULT HitTest(HWND hwnd, POINT screen) {
  RECT wr, cr;
  DWORD style, ex;
  if (!StylesOf(hwnd, &style, &ex)) return HTNOWHERE;
  GetWindowRect(hwnd, &wr);
  if (!PtInRect(&wr, screen)) return HTNOWHERE;
  GetClientRect(hwnd, &cr);
  POINT c = screen;
  ScreenToClient(hwnd, &c);
  if (PtInRect(&cr, c)) return HTCLIENT;
  if (style & WS_MINIMIZE) return HTCAPTION;
  int caption = 0;
  const RECT in = NcInsets(style, ex, &caption);
  const int frame = in.left;
  if (style & WS_THICKFRAME) {
    const bool l = screen.x < wr.left + frame, r = screen.x >= wr.right - frame;
    const bool t = screen.y < wr.top + frame, b = screen.y >= wr.bottom - frame;
    if (t && l) return HTTOPLEFT;
    if (t && r) return HTTOPRIGHT;
    if (b && l) return HTBOTTOMLEFT;
    if (b && r) return HTBOTTOMRIGHT;
    if (l) return HTLEFT;
    if (r) return HTRIGHT;
    if (t) return HTTOP;
    if (b) return HTBOTTOM;
  }
  if (caption && screen.y >= wr.top + frame && screen.y < wr.top + frame + caption) return HTCAPTION;
  return HTBORDER;
}

// WM_NCCALCSIZE: the fixed non-client model.
LRESULT CalcClient(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (!lParam) return 0;
  RECT* r = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
  DWORD style, ex;
  if (!StylesOf(hwnd, &style, &ex)) return 0;
  if (style & WS_MINIMIZE) {
    r->right = r->left;
    r->bottom = r->top;
    return 0;
  }
  const RECT in = NcInsets(style, ex, nullptr);
  r->left += in.left;
  r->top += in.top;
  r->right = std::max(r->left, r->right - in.right);
  r->bottom = std::max(r->top, r->bottom - in.bottom);
  return 0;
}

// WM_NCCREATE, WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH: the window's text.
LRESULT TextMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) w->text = FromPtr(cs->lpszName);
      return TRUE;
    }
    case WM_SETTEXT: w->text = FromPtr(reinterpret_cast<LPCWSTR>(lParam)); return TRUE;
    case WM_GETTEXT: return CopyOut(w->text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    default: return static_cast<LRESULT>(w->text.size());
  }
}

// WM_WINDOWPOSCHANGING: the tracking size of sizeable and overlapped windows.
LRESULT PosChanging(HWND hwnd, WINDOWPOS* wp) {
  DWORD style;
  if (!wp || (wp->flags & SWP_NOSIZE) || !StylesOf(hwnd, &style, nullptr)) return 0;
  if (!(style & (WS_MINIMIZE | WS_MAXIMIZE)) && ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD)))) {
    const MINMAXINFO mmi = SendGetMinMaxInfo(hwnd);
    wp->cx = std::clamp<int>(wp->cx, mmi.ptMinTrackSize.x, std::max(mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x));
    wp->cy = std::clamp<int>(wp->cy, mmi.ptMinTrackSize.y, std::max(mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y));
  }
  return 0;
}

// WM_WINDOWPOSCHANGED: WM_MOVE and WM_SIZE.
LRESULT PosChanged(HWND hwnd, const WINDOWPOS* wp) {
  if (!wp) return 0;
  RECT c;
  DWORD style;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return 0;
    c = w->client;
    style = w->style;
  }
  if (!(wp->flags & kSwpNoClientMove)) SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
  if ((wp->flags & kSwpNoClientSize) && !(wp->flags & kSwpStateChanged)) return 0;
  {
    Lock lock(S().mutex);
    if (auto w = FindWindowLocked(hwnd)) w->needSize = false;
  }
  if (style & WS_MINIMIZE) SendMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
  else SendMessageW(hwnd, WM_SIZE, (style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                    MAKELPARAM(c.right - c.left, c.bottom - c.top));
  return 0;
}

// WM_SYSCOMMAND, and the caption's WM_NCLBUTTONDOWN and WM_NCLBUTTONDBLCLK that lead to it.
LRESULT SysCommand(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCLBUTTONDOWN) {
    if (wParam == HTCAPTION) {
      HWND top = GetAncestor(hwnd, GA_ROOT);
      if (GetActiveWindow() != top) SetActiveWindow(top);
      SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE + HTCAPTION, lParam);
    }
    return 0;
  }
  if (msg == WM_NCLBUTTONDBLCLK) {
    if (wParam == HTCAPTION && (GetWindowLongW(hwnd, GWL_STYLE) & WS_MAXIMIZEBOX)) {
      SendMessageW(hwnd, WM_SYSCOMMAND, IsZoomed(hwnd) ? SC_RESTORE : SC_MAXIMIZE, lParam);
    }
    return 0;
  }
  switch (wParam & 0xFFF0) {
    case SC_CLOSE: SendMessageW(hwnd, WM_CLOSE, 0, 0); return 0;
    case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); return 0;
    case SC_MAXIMIZE: ShowWindow(hwnd, SW_MAXIMIZE); return 0;
    case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); return 0;
    case SC_MOVE: {
      // Win32 runs its modal move loop here; the headless system counts the request.
      Lock lock(S().mutex);
      S().dragMoves[Key(hwnd)]++;
      S().dragMovesTotal++;
      return 0;
    }
    default: return 0;
  }
}

// WM_ERASEBKGND (the class brush), WM_PAINT (validates), WM_SETREDRAW.
LRESULT PaintMessage(HWND hwnd, UINT msg, WPARAM wParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
  }
  HBRUSH brush;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return 0;
    if (msg == WM_SETREDRAW) {
      // Redrawing off: the window counts as hidden and has nothing to paint.
      if (wParam) {
        w->style |= WS_VISIBLE;
      } else {
        ValidateTreeLocked(*w);
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
      }
      return 0;
    }
    brush = w->cls->background;
  }
  if (!brush) return 0;
  RECT r;
  GetClientRect(hwnd, &r);
  FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
  return 1;
}

LRESULT ControlColor(HDC dc, UINT msg) {
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  SetBkColor(dc, GetSysColor(COLOR_3DFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE));
}

// WM_SETCURSOR (the parent first, then the class cursor), WM_MOUSEACTIVATE (the parent
// first) and WM_MOUSEWHEEL (passed to the parent).
LRESULT MouseMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND parent = ParentIfChild(hwnd);
  if (msg == WM_MOUSEWHEEL) return parent ? SendMessageW(parent, msg, wParam, lParam) : 0;
  if (parent) {
    const LRESULT r = SendMessageW(parent, msg, wParam, lParam);
    if (r) return msg == WM_SETCURSOR ? TRUE : r;
  }
  if (msg == WM_MOUSEACTIVATE) {
    return (HIWORD(lParam) == WM_LBUTTONDOWN && LOWORD(lParam) == HTCAPTION) ? MA_NOACTIVATE : MA_ACTIVATE;
  }
  if (LOWORD(lParam) != HTCLIENT) return FALSE;
  HCURSOR c;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    c = w ? w->cls->cursor : nullptr;
  }
  if (!c) return FALSE;
  SetCursor(c);
  return TRUE;
}

// WM_ACTIVATE (the focus), WM_NCACTIVATE, WM_SHOWWINDOW (owned popups follow their owner),
// WM_CANCELMODE (the capture goes).
LRESULT ActivationMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(hwnd)) SetFocus(hwnd);
      return 0;
    case WM_NCACTIVATE: return TRUE;
    case WM_SHOWWINDOW: {
      DWORD style;
      if (!lParam || !StylesOf(hwnd, &style, nullptr)) return 0;
      if (!(style & WS_POPUP) || !GetWindow(hwnd, GW_OWNER)) return 0;
      if (((style & WS_VISIBLE) != 0) == (wParam != 0)) return 0;
      ShowWindow(hwnd, wParam ? SW_SHOWNOACTIVATE : SW_HIDE);
      return 0;
    }
    default:
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
  }
}

LRESULT SetIcon(HWND hwnd, WPARAM which, LPARAM icon) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) return 0;
  HICON& slot = which == ICON_BIG ? w->iconBig : w->iconSmall;
  HICON old = slot;
  slot = reinterpret_cast<HICON>(icon);
  return reinterpret_cast<LRESULT>(old);
}

}  // namespace

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE:
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return TextMessage(hwnd, msg, wParam, lParam);
    case WM_NCCALCSIZE: return CalcClient(hwnd, wParam, lParam);
    case WM_NCHITTEST: return HitTest(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_WINDOWPOSCHANGING: return PosChanging(hwnd, reinterpret_cast<WINDOWPOS*>(lParam));
    case WM_WINDOWPOSCHANGED: return PosChanged(hwnd, reinterpret_cast<const WINDOWPOS*>(lParam));
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SYSCOMMAND:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK: return SysCommand(hwnd, msg, wParam, lParam);
    case WM_ERASEBKGND:
    case WM_PAINT:
    case WM_SETREDRAW: return PaintMessage(hwnd, msg, wParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: return ControlColor(reinterpret_cast<HDC>(wParam), msg);
    case WM_SETCURSOR:
    case WM_MOUSEACTIVATE:
    case WM_MOUSEWHEEL: return MouseMessage(hwnd, msg, wParam, lParam);
    case WM_ACTIVATE:
    case WM_NCACTIVATE:
    case WM_SHOWWINDOW:
    case WM_CANCELMODE: return ActivationMessage(hwnd, msg, wParam, lParam);
    case WM_SETICON: return SetIcon(hwnd, wParam, lParam);
    default: return 0;
  }
}
