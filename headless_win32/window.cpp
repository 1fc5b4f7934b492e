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
// Rectangles

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
  if (!rect) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL WINAPI SetRectEmpty(LPRECT rect) { return SetRect(rect, 0, 0, 0, 0); }
BOOL WINAPI IsRectEmpty(const RECT* rect) { return !rect || Empty(*rect); }
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
BOOL WINAPI InflateRect(LPRECT rect, int dx, int dy) {
  if (!rect) return FALSE;
  rect->left -= dx;
  rect->right += dx;
  rect->top -= dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL WINAPI IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  *dst = Intersect(*a, *b);
  return !Empty(*dst);
}
BOOL WINAPI UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
  if (!dst || !a || !b) return FALSE;
  *dst = Union(*a, *b);
  return !Empty(*dst);
}
BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL WINAPI CopyRect(LPRECT dst, const RECT* src) {
  if (!dst || !src) return FALSE;
  *dst = *src;
  return TRUE;
}

// ---------------------------------------------------------------------------------------
// Geometry

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (!rect) return FALSE;
  const RECT in = NcInsets(style, exStyle, nullptr);
  rect->left -= in.left;
  rect->top -= in.top + (menu ? 19 : 0);
  rect->right += in.right;
  rect->bottom += in.bottom;
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

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || !point) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const POINT o = ClientOriginLocked(*w);
  point->x += o.x;
  point->y += o.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || !point) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const POINT o = ClientOriginLocked(*w);
  point->x -= o.x;
  point->y -= o.y;
  return TRUE;
}

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  Lock lock(S().mutex);
  POINT a{0, 0}, b{0, 0};
  if (from && from != S().desktop) {
    auto w = FindWindowLocked(from);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    a = ClientOriginLocked(*w);
  }
  if (to && to != S().desktop) {
    auto w = FindWindowLocked(to);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    b = ClientOriginLocked(*w);
  }
  const int dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return MAKELONG(dx, dy);
}

namespace {
HWND ChildFromPointLocked(const Window& parent, POINT clientPt, bool skipHidden) {
  for (HWND h : parent.children) {
    auto c = FindWindowLocked(h);
    if (!c) continue;
    if (skipHidden && !(c->style & WS_VISIBLE)) continue;
    if (PtInRect(&c->window, clientPt)) return h;
  }
  return nullptr;
}
}  // namespace

HWND WINAPI WindowFromPoint(POINT point) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(S().desktop);
  HWND found = nullptr;
  POINT pt = point;
  for (;;) {
    HWND h = ChildFromPointLocked(*w, pt, true);
    if (!h) break;
    found = h;
    auto c = FindWindowLocked(h);
    if (c->style & (WS_DISABLED | WS_MINIMIZE)) break;
    if (!PtInRect(&c->client, pt)) break;
    pt.x -= c->client.left;
    pt.y -= c->client.top;
    w = c;
  }
  return found;
}

HWND WINAPI ChildWindowFromPoint(HWND parent, POINT point) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(parent);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  const RECT cr = ClientRectOf(*w);
  if (!PtInRect(&cr, point)) return nullptr;
  HWND h = ChildFromPointLocked(*w, point, false);
  return h ? h : parent;
}

namespace {

BOOL SetWindowPosOnOwner(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
  WINDOWPOS wp{hwnd, after, x, y, cx, cy, flags};
  RECT oldWin, oldClient;
  DWORD style;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    oldWin = w->window;
    oldClient = w->client;
    style = w->style;
  }
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
  if (after == hwnd) wp.flags |= SWP_NOZORDER;

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
  RECT newClient = oldClient;
  if (!(wp.flags & SWP_NOSIZE) || (wp.flags & SWP_FRAMECHANGED)) {
    NCCALCSIZE_PARAMS p{};
    p.rgrc[0] = newWin;
    p.rgrc[1] = oldWin;
    p.rgrc[2] = oldClient;
    p.lppos = &wp;
    SendMessageW(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&p));
    if (!IsWindow(hwnd)) return FALSE;
    newClient = p.rgrc[0];
  } else {
    OffsetRect(&newClient, newWin.left - oldWin.left, newWin.top - oldWin.top);
  }
  if (newClient.right - newClient.left == oldClient.right - oldClient.left &&
      newClient.bottom - newClient.top == oldClient.bottom - oldClient.top)
    wp.flags |= kSwpNoClientSize;
  if (newClient.left == oldClient.left && newClient.top == oldClient.top) wp.flags |= kSwpNoClientMove;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return FALSE;
    w->window = newWin;
    w->client = newClient;
    if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = newWin;
    if (!(wp.flags & SWP_NOZORDER)) {
      if (auto p = FindWindowLocked(w->parent)) {
        auto& v = p->children;
        v.erase(std::remove(v.begin(), v.end(), hwnd), v.end());
        if (wp.hwndInsertAfter == HWND_BOTTOM) v.push_back(hwnd);
        else if (wp.hwndInsertAfter == HWND_TOP || wp.hwndInsertAfter == HWND_TOPMOST ||
                 wp.hwndInsertAfter == HWND_NOTOPMOST)
          v.insert(v.begin(), hwnd);
        else {
          auto it = std::find(v.begin(), v.end(), wp.hwndInsertAfter);
          v.insert(it == v.end() ? v.begin() : it + 1, hwnd);
        }
      }
    }
    if (wp.flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (wp.flags & SWP_HIDEWINDOW) {
      w->style &= ~static_cast<DWORD>(WS_VISIBLE);
      w->hasUpdate = false;
      w->erase = false;
    }
    if (!(wp.flags & SWP_NOREDRAW)) {
      const bool sized = !(wp.flags & kSwpNoClientSize);
      if ((wp.flags & SWP_SHOWWINDOW) || (wp.flags & SWP_FRAMECHANGED) ||
          (sized && (w->cls->style & (CS_HREDRAW | CS_VREDRAW)))) {
        InvalidateLocked(*w, nullptr, true, true);
      } else if (sized) {
        // The part of the client area that grew; the bounding model takes it whole.
        const RECT oldC{0, 0, oldClient.right - oldClient.left, oldClient.bottom - oldClient.top};
        const RECT cr = ClientRectOf(*w);
        if (cr.right > oldC.right || cr.bottom > oldC.bottom) {
          RECT grown = cr;
          if (cr.bottom <= oldC.bottom) grown.left = oldC.right;
          else if (cr.right <= oldC.right) grown.top = oldC.bottom;
          InvalidateLocked(*w, &grown, true, true);
        }
      }
    }
  }
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

BOOL ShowWindowOnOwner(HWND hwnd, int cmd) {
  DWORD style;
  RECT normal;
  HWND parent;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    style = w->style;
    normal = w->normalRect;
    parent = w->parent;
  }
  const bool wasVisible = (style & WS_VISIBLE) != 0;
  const bool child = (style & WS_CHILD) != 0;
  UINT swp = 0;
  enum { None, Minimize, Maximize, Restore } change = None;
  switch (cmd) {
    case SW_HIDE:
      if (!wasVisible) return FALSE;
      swp |= SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE;
      if (hwnd != GetActiveWindow()) swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      break;
    case SW_SHOWMINNOACTIVE:
    case SW_MINIMIZE:
    case SW_FORCEMINIMIZE:
      swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      [[fallthrough]];
    case SW_SHOWMINIMIZED:
      swp |= SWP_SHOWWINDOW | SWP_FRAMECHANGED;
      if (style & WS_MINIMIZE) swp |= SWP_NOSIZE | SWP_NOMOVE;
      else change = Minimize;
      break;
    case SW_SHOWMAXIMIZED:
      swp |= SWP_SHOWWINDOW | SWP_FRAMECHANGED;
      if (style & WS_MAXIMIZE) swp |= SWP_NOSIZE | SWP_NOMOVE;
      else change = Maximize;
      break;
    case SW_SHOWNA:
      swp |= SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER;
      break;
    case SW_SHOW:
      if (wasVisible) return TRUE;
      swp |= SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE;
      if (child) swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      break;
    case SW_SHOWNOACTIVATE:
      swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      [[fallthrough]];
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWDEFAULT:
      swp |= SWP_SHOWWINDOW;
      if (style & (WS_MINIMIZE | WS_MAXIMIZE)) {
        swp |= SWP_FRAMECHANGED;
        change = Restore;
      } else {
        if (wasVisible) return TRUE;
        swp |= SWP_NOSIZE | SWP_NOMOVE;
      }
      if (child && change == None) swp |= SWP_NOACTIVATE | SWP_NOZORDER;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  const bool showFlag = cmd != SW_HIDE;
  if ((showFlag != wasVisible || cmd == SW_SHOWNA) && cmd != SW_SHOWMAXIMIZED && change == None) {
    SendMessageW(hwnd, WM_SHOWWINDOW, showFlag, 0);
    if (!IsWindow(hwnd)) return wasVisible;
  }
  if (child && change == None && (swp & (SWP_NOSIZE | SWP_NOMOVE)) == (SWP_NOSIZE | SWP_NOMOVE) &&
      !IsWindowVisible(parent)) {
    // Under a hidden parent only the style changes, as in Win32.
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return wasVisible;
    if (showFlag) w->style |= WS_VISIBLE;
    else w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    return wasVisible;
  }
  RECT target = normal;
  if (change != None) {
    swp |= kSwpStateChanged;
    if (change == Minimize && !child) ShowOwnedPopups(hwnd, false);
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return wasVisible;
    if (change == Minimize) {
      if (child) {
        auto p = FindWindowLocked(parent);
        const int ph = p ? p->client.bottom - p->client.top : 0;
        target = RECT{0, ph - kMinimizedH, kMinimizedW, ph};
      } else {
        target = RECT{-32000, -32000, -32000 + kMinimizedW, -32000 + kMinimizedH};
      }
      w->style = (w->style | WS_MINIMIZE) & ~static_cast<DWORD>(WS_MAXIMIZE);
    } else if (change == Maximize) {
      const RECT in = NcInsets(w->style, w->exStyle, nullptr);
      RECT area{0, 0, kScreenW, kScreenH};
      if (child) {
        if (auto p = FindWindowLocked(parent)) area = ClientRectOf(*p);
      }
      target = RECT{area.left - in.left, area.top - in.left, area.right + in.right, area.bottom + in.bottom};
      w->style = (w->style | WS_MAXIMIZE) & ~static_cast<DWORD>(WS_MINIMIZE);
    } else {
      w->style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
    }
  }
  SetWindowPosOnOwner(hwnd, HWND_TOP, target.left, target.top, target.right - target.left,
                      target.bottom - target.top, swp);
  if (change == Restore && !child) ShowOwnedPopups(hwnd, true);
  if (cmd == SW_HIDE) {
    if (hwnd == GetActiveWindow()) {
      HWND next = NextTopLevelToActivate(hwnd);
      SetActiveWindow(next);
    }
    HWND focus = GetFocus();
    if (focus && (focus == hwnd || IsChild(hwnd, focus))) {
      HWND p = GetAncestor(hwnd, GA_PARENT);
      SetFocus(p == GetDesktopWindow() ? nullptr : p);
    }
  } else if (change == Minimize) {
    HWND focus = GetFocus();
    if (focus && (focus == hwnd || IsChild(hwnd, focus))) SetFocus(nullptr);
  } else if (change == Restore && (style & WS_MINIMIZE)) {
    SetFocus(hwnd);
  }
  if (cmd != SW_HIDE) {
    // The size messages an overlapped window did not get at its creation.
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
    if (needSize) {
      const WPARAM kind = (now & WS_MAXIMIZE) ? SIZE_MAXIMIZED : (now & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED;
      SendMessageW(hwnd, WM_SIZE, kind, kind == SIZE_MINIMIZED ? 0 : MAKELPARAM(c.right - c.left, c.bottom - c.top));
      SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
    }
  }
  return wasVisible;
}

}  // namespace

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return static_cast<BOOL>(RunOnOwner(hwnd, [=] {
    return static_cast<LRESULT>(SetWindowPosOnOwner(hwnd, insertAfter, x, y, cx, cy, flags));
  }));
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
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

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return static_cast<BOOL>(RunOnOwner(hwnd, [=]() -> LRESULT {
    auto setStyle = [&](bool disabled) {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      if (!w) return false;
      const bool was = (w->style & WS_DISABLED) != 0;
      if (disabled) w->style |= WS_DISABLED;
      else w->style &= ~static_cast<DWORD>(WS_DISABLED);
      return was;
    };
    if (enable) {
      const bool was = setStyle(false);
      if (was) SendMessageW(hwnd, WM_ENABLE, TRUE, 0);
      return was;
    }
    SendMessageW(hwnd, WM_CANCELMODE, 0, 0);
    const bool was = setStyle(true);
    if (!was) {
      HWND focus = GetFocus();
      if (focus && (focus == hwnd || IsChild(hwnd, focus))) SetFocus(nullptr);
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
    const DWORD oldThread = previous ? GetWindowThreadProcessId(previous, nullptr) : 0;
    const DWORD newThread = hwnd ? GetWindowThreadProcessId(hwnd, nullptr) : 0;
    if (oldThread != newThread) {
      std::vector<HWND> tops;
      {
        Lock lock(S().mutex);
        tops = FindWindowLocked(S().desktop)->children;
      }
      for (HWND t : tops) {
        const DWORD tid = GetWindowThreadProcessId(t, nullptr);
        if (oldThread && tid == oldThread) SendMessageW(t, WM_ACTIVATEAPP, FALSE, newThread);
      }
      for (HWND t : tops) {
        const DWORD tid = GetWindowThreadProcessId(t, nullptr);
        if (newThread && tid == newThread) SendMessageW(t, WM_ACTIVATEAPP, TRUE, oldThread);
      }
    }
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

}  // namespace

HWND WINAPI SetFocus(HWND hwnd) {
  HWND previous = GetFocus();
  if (hwnd) {
    HWND top = hwnd;
    {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      if (w->threadId != ThisThreadId()) return nullptr;
      if (hwnd == previous) return previous;
      for (;;) {
        auto t = FindWindowLocked(top);
        if (!t || (t->style & (WS_MINIMIZE | WS_DISABLED))) return nullptr;
        if (!(t->style & WS_CHILD)) break;
        if (t->parent == S().messageRoot) return nullptr;
        if (t->parent == S().desktop) break;
        top = t->parent;
      }
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
    auto w = FindWindowLocked(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
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
    auto w = FindWindowLocked(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
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

HCURSOR WINAPI GetCursor() {
  Lock lock(S().mutex);
  return S().cursor;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (!point) return FALSE;
  Lock lock(S().mutex);
  *point = S().cursorPos;
  return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
  Lock lock(S().mutex);
  S().cursorPos = POINT{x, y};
  return TRUE;
}

SHORT WINAPI GetKeyState(int virtKey) {
  if (virtKey < 0 || virtKey > 255) return 0;
  Lock lock(S().mutex);
  const BYTE s = S().keyState[virtKey];
  return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int virtKey) {
  if (virtKey < 0 || virtKey > 255) return 0;
  Lock lock(S().mutex);
  return static_cast<SHORT>((S().asyncKeyState[virtKey] & 0x80) ? 0x8000 : 0);
}

BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track) {
  if (!track || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  POINT cursor;
  GetCursorPos(&cursor);
  const HWND under = (track->dwFlags & TME_LEAVE) && !(track->dwFlags & (TME_CANCEL | TME_QUERY))
                         ? WindowFromPoint(cursor)
                         : nullptr;
  Lock lock(S().mutex);
  auto q = CurrentQueueLocked();
  if (track->dwFlags & TME_QUERY) {
    track->dwFlags = q->trackLeave ? TME_LEAVE : 0;
    track->hwndTrack = q->trackLeave;
    return TRUE;
  }
  if (!(track->dwFlags & TME_LEAVE)) return TRUE;
  if (track->dwFlags & TME_CANCEL) {
    if (q->trackLeave == track->hwndTrack) q->trackLeave = nullptr;
    return TRUE;
  }
  if (!FindWindowLocked(track->hwndTrack)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
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
  auto w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  InvalidateLocked(*w, rect, erase, !(w->style & WS_CLIPCHILDREN));
  return TRUE;
}

namespace {
void ValidateLocked(Window& w, const RECT* r, bool children) {
  if (w.hasUpdate) {
    if (!r) {
      w.hasUpdate = false;
      w.erase = false;
    } else {
      RECT u = w.update;
      // Only what the bounding rectangle can express: a rectangle covering it or one side.
      if (r->left <= u.left && r->right >= u.right && r->top <= u.top && r->bottom >= u.bottom) {
        w.hasUpdate = false;
        w.erase = false;
      } else if (r->left <= u.left && r->right >= u.right) {
        if (r->top <= u.top && r->bottom > u.top) u.top = r->bottom;
        else if (r->bottom >= u.bottom && r->top < u.bottom) u.bottom = r->top;
        w.update = u;
      } else if (r->top <= u.top && r->bottom >= u.bottom) {
        if (r->left <= u.left && r->right > u.left) u.left = r->right;
        else if (r->right >= u.right && r->left < u.right) u.right = r->left;
        w.update = u;
      }
    }
  }
  if (!children) return;
  for (HWND ch : w.children) {
    if (auto c = FindWindowLocked(ch)) ValidateLocked(*c, nullptr, true);
  }
}

void UpdateNow(HWND hwnd, bool children) {
  bool paint;
  std::vector<HWND> kids;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return;
    paint = (w->hasUpdate || w->internalPaint) && IsVisibleLocked(*w);
    if (paint) w->internalPaint = false;
    kids = w->children;
  }
  if (paint) SendMessageW(hwnd, WM_PAINT, 0, 0);
  if (!children) return;
  for (HWND c : kids) UpdateNow(c, true);
}
}  // namespace

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  ValidateLocked(*w, rect, false);
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  UpdateNow(hwnd, true);
  return TRUE;
}

BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* update, HRGN region, UINT flags) {
  RECT box{};
  const RECT* r = update;
  if (!r && region) {
    if (GetRgnBox(region, &box) == ERROR) return FALSE;
    r = &box;
  }
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd ? hwnd : S().desktop);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    const bool children = (flags & RDW_ALLCHILDREN) ||
                          (!(flags & RDW_NOCHILDREN) && !(w->style & WS_CLIPCHILDREN));
    if (flags & RDW_INVALIDATE) InvalidateLocked(*w, r, (flags & RDW_ERASE) != 0, children);
    if (flags & RDW_VALIDATE) ValidateLocked(*w, r, children);
    if (flags & RDW_INTERNALPAINT) {
      w->internalPaint = true;
      if (w->queue) MarkPaintChanged(*w->queue);
    }
    if (flags & RDW_NOINTERNALPAINT) w->internalPaint = false;
    if (flags & RDW_NOERASE) w->erase = false;
  }
  if (flags & RDW_ERASENOW) {
    RECT u;
    GetUpdateRect(hwnd, &u, TRUE);
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
    auto w = FindWindowLocked(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if (w->hasUpdate) rc = w->update;
    erase = w->erase;
    w->hasUpdate = false;
    w->erase = false;
    w->internalPaint = false;
  }
  HDC dc = NewWindowDc(hwnd, &rc, true);
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
    auto w = FindWindowLocked(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    has = w->hasUpdate;
    if (has) u = w->update;
    needErase = has && w->erase && erase;
    if (needErase) w->erase = false;
  }
  if (rect) *rect = u;
  if (needErase) {
    HDC dc = NewWindowDc(hwnd, &u, false);
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
// The default window procedure

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (proc == nullptr) return 0;
  return proc(hwnd, msg, wParam, lParam);
}

namespace {

LRESULT HitTest(HWND hwnd, POINT screen) {
  RECT wr, cr;
  DWORD style, ex;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return HTNOWHERE;
    style = w->style;
    ex = w->exStyle;
  }
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

LRESULT ControlColor(HDC dc, UINT msg) {
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  SetBkColor(dc, GetSysColor(COLOR_3DFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE));
}

HWND ParentIfChild(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || !(w->style & WS_CHILD)) return nullptr;
  return w->parent;
}

}  // namespace

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
        Lock lock(S().mutex);
        if (auto w = FindWindowLocked(hwnd)) w->text = FromPtr(cs->lpszName);
      }
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      if (!lParam) return 0;
      RECT* r = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
      DWORD style = 0, ex = 0;
      {
        Lock lock(S().mutex);
        auto w = FindWindowLocked(hwnd);
        if (!w) return 0;
        style = w->style;
        ex = w->exStyle;
      }
      if (style & WS_MINIMIZE) {
        r->right = r->left;
        r->bottom = r->top;
        return 0;
      }
      const RECT in = NcInsets(style, ex, nullptr);
      r->left += in.left;
      r->top += in.top;
      r->right -= in.right;
      r->bottom -= in.bottom;
      if (r->right < r->left) r->right = r->left;
      if (r->bottom < r->top) r->bottom = r->top;
      return 0;
    }
    case WM_NCHITTEST:
      return HitTest(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_SETTEXT: {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      if (!w) return FALSE;
      w->text = FromPtr(reinterpret_cast<LPCWSTR>(lParam));
      return TRUE;
    }
    case WM_GETTEXT: {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      if (!w) return 0;
      return CopyOut(w->text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    }
    case WM_GETTEXTLENGTH: {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_WINDOWPOSCHANGING: {
      auto* wp = reinterpret_cast<WINDOWPOS*>(lParam);
      const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
      if (wp && !(wp->flags & SWP_NOSIZE) && !(style & (WS_MINIMIZE | WS_MAXIMIZE)) &&
          ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD)))) {
        const MINMAXINFO mmi = SendGetMinMaxInfo(hwnd);
        wp->cx = std::clamp<int>(wp->cx, mmi.ptMinTrackSize.x, std::max(mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x));
        wp->cy = std::clamp<int>(wp->cy, mmi.ptMinTrackSize.y, std::max(mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y));
      }
      return 0;
    }
    case WM_WINDOWPOSCHANGED: {
      auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (!wp) return 0;
      RECT c;
      bool iconic, zoomed;
      {
        Lock lock(S().mutex);
        auto w = FindWindowLocked(hwnd);
        if (!w) return 0;
        c = w->client;
        iconic = (w->style & WS_MINIMIZE) != 0;
        zoomed = (w->style & WS_MAXIMIZE) != 0;
      }
      if (!(wp->flags & kSwpNoClientMove)) SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
      if (!(wp->flags & kSwpNoClientSize) || (wp->flags & kSwpStateChanged)) {
        {
          Lock lock(S().mutex);
          if (auto w = FindWindowLocked(hwnd)) w->needSize = false;
        }
        if (iconic) SendMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        else SendMessageW(hwnd, WM_SIZE, zoomed ? SIZE_MAXIMIZED : SIZE_RESTORED,
                          MAKELPARAM(c.right - c.left, c.bottom - c.top));
      }
      return 0;
    }
    case WM_SYSCOMMAND:
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
    case WM_NCLBUTTONDOWN:
      if (wParam == HTCAPTION) {
        HWND top = GetAncestor(hwnd, GA_ROOT);
        if (GetActiveWindow() != top) SetActiveWindow(top);
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE + HTCAPTION, lParam);
      }
      return 0;
    case WM_NCLBUTTONDBLCLK:
      if (wParam == HTCAPTION && (GetWindowLongW(hwnd, GWL_STYLE) & WS_MAXIMIZEBOX)) {
        SendMessageW(hwnd, WM_SYSCOMMAND, IsZoomed(hwnd) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      }
      return 0;
    case WM_ERASEBKGND: {
      HBRUSH brush;
      {
        Lock lock(S().mutex);
        auto w = FindWindowLocked(hwnd);
        if (!w) return 0;
        brush = w->cls->background;
      }
      if (!brush) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return ControlColor(reinterpret_cast<HDC>(wParam), msg);
    case WM_SETCURSOR: {
      if (HWND parent = ParentIfChild(hwnd)) {
        if (SendMessageW(parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
      }
      if (LOWORD(lParam) == HTCLIENT) {
        HCURSOR c = reinterpret_cast<HCURSOR>(GetClassLongPtrW(hwnd, GCLP_HCURSOR));
        if (c) {
          SetCursor(c);
          return TRUE;
        }
      }
      return FALSE;
    }
    case WM_MOUSEACTIVATE: {
      if (HWND parent = ParentIfChild(hwnd)) {
        const LRESULT r = SendMessageW(parent, WM_MOUSEACTIVATE, wParam, lParam);
        if (r) return r;
      }
      return (HIWORD(lParam) == WM_LBUTTONDOWN && LOWORD(lParam) == HTCAPTION) ? MA_NOACTIVATE : MA_ACTIVATE;
    }
    case WM_MOUSEWHEEL:
    case WM_CONTEXTMENU:
      if (HWND parent = ParentIfChild(hwnd)) return SendMessageW(parent, msg, wParam, lParam);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(hwnd)) SetFocus(hwnd);
      return 0;
    case WM_NCACTIVATE:
      return TRUE;
    case WM_SHOWWINDOW: {
      if (!lParam) return 0;
      const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
      if (!(style & WS_POPUP) || !GetWindow(hwnd, GW_OWNER)) return 0;
      if (((style & WS_VISIBLE) != 0) == (wParam != 0)) return 0;
      ShowWindow(hwnd, wParam ? SW_SHOWNOACTIVATE : SW_HIDE);
      return 0;
    }
    case WM_SETICON: {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      if (!w) return 0;
      HICON& slot = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
      HICON old = slot;
      slot = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_GETICON: {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      if (!w) return 0;
      if (wParam == ICON_BIG) return reinterpret_cast<LRESULT>(w->iconBig);
      if (wParam == ICON_SMALL2) return reinterpret_cast<LRESULT>(w->iconSmall ? w->iconSmall : w->iconBig);
      return reinterpret_cast<LRESULT>(w->iconSmall);
    }
    case WM_SETREDRAW: {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(hwnd);
      if (!w) return 0;
      w->redraw = wParam != 0;
      if (wParam) {
        w->style |= WS_VISIBLE;
      } else {
        ValidateLocked(*w, nullptr, true);
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
      }
      return 0;
    }
    case WM_CANCELMODE:
      if (GetCapture() == hwnd) ReleaseCapture();
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN)) PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_QUERYOPEN:
    case WM_QUERYENDSESSION:
      return 1;
    case WM_NOTIFYFORMAT:
      return 2;  // NFR_UNICODE
    case WM_UPDATEUISTATE:
    case WM_CHANGEUISTATE:
    case WM_QUERYUISTATE:
    case WM_PRINT:
    case WM_PRINTCLIENT:
    default:
      return 0;
  }
}
