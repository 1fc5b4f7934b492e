// Headless window system, core: the shared state, window classes, creation and
// destruction of windows, window longs, properties, texts and the window tree.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "headless_win32/internal.h"

namespace zorv::winsys {

State& S() {
  // Never destroyed: threads may still leave the window system while the process ends.
  static State* state = [] {
    auto* s = new State;
    return s;
  }();
  return *state;
}

namespace {
std::atomic<DWORD> nextThreadId{0x104};
thread_local DWORD threadId = 0;
thread_local DWORD lastError = 0;
constexpr DWORD kProcessId = 0x4D2;
}  // namespace

DWORD ThisThreadId() {
  if (threadId == 0) threadId = nextThreadId.fetch_add(4);
  return threadId;
}

UINT_PTR NewHandleValue() {
  S().nextHandle += 4;
  return S().nextHandle;
}

std::u16string Upper(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    else if (c >= 0x430 && c <= 0x44F) c = static_cast<char16_t>(c - 0x20);  // Cyrillic
  }
  return out;
}

std::u16string FromPtr(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

int CopyOut(const std::u16string& s, LPWSTR buf, int max) {
  if (buf == nullptr || max <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(s.size()), max - 1);
  std::copy_n(s.data(), n, buf);
  buf[n] = 0;
  return n;
}

std::string ToUtf8(std::u16string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

// The desktop and the parent of message-only windows: windows of no thread.
void EnsureRootsLocked() {
  State& s = S();
  if (s.desktop) return;
  auto make = [&](const char16_t* name) {
    auto w = std::make_shared<Window>();
    w->handle = HandleOf<HWND>(NewHandleValue());
    auto cls = std::make_shared<WndClass>();
    cls->name = name;
    cls->key = Upper(name);
    cls->system = true;
    cls->proc = DefWindowProcW;
    w->cls = cls;
    w->proc = DefWindowProcW;
    w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    w->window = w->client = RECT{0, 0, 1024, 768};
    s.windows[Key(w->handle)] = w;
    return w->handle;
  };
  s.desktop = make(u"#32769");
  s.messageRoot = make(u"Message");
  RegisterSystemClassesLocked();
}

}  // namespace

std::shared_ptr<Window> FindWindowLocked(HWND h) {
  EnsureRootsLocked();
  auto it = S().windows.find(Key(h));
  if (it == S().windows.end() || it->second->destroyed) return nullptr;
  return it->second;
}

std::shared_ptr<Window> WindowLocked(HWND h) {
  auto w = FindWindowLocked(h);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

bool CheckWindow(HWND h) {
  Lock lock(S().mutex);
  return WindowLocked(h) != nullptr;
}

bool IsVisibleLocked(const Window& w) {
  const Window* p = &w;
  while (p) {
    if (!(p->style & WS_VISIBLE)) return false;
    if (p->handle == S().desktop || p->handle == S().messageRoot) return p->handle == S().desktop;
    auto it = S().windows.find(Key(p->parent));
    p = it == S().windows.end() ? nullptr : it->second.get();
  }
  return false;
}

bool IsEnabledChainLocked(const Window& w) {
  const Window* p = &w;
  while (p && p->handle != S().desktop && p->handle != S().messageRoot) {
    if (p->style & WS_DISABLED) return false;
    if (!(p->style & WS_CHILD)) return true;
    auto it = S().windows.find(Key(p->parent));
    p = it == S().windows.end() ? nullptr : it->second.get();
  }
  return true;
}

POINT ClientOriginLocked(const Window& w) {
  POINT pt{0, 0};
  const Window* p = &w;
  while (p && p->handle != S().desktop && p->handle != S().messageRoot) {
    pt.x += p->client.left;
    pt.y += p->client.top;
    auto it = S().windows.find(Key(p->parent));
    p = it == S().windows.end() ? nullptr : it->second.get();
  }
  return pt;
}

HWND RootLocked(HWND h) {
  auto w = FindWindowLocked(h);
  while (w && w->parent && w->parent != S().desktop && w->parent != S().messageRoot) {
    auto p = FindWindowLocked(w->parent);
    if (!p) break;
    w = p;
  }
  return w ? w->handle : nullptr;
}

bool IsChildLocked(HWND parent, HWND h) {
  auto w = FindWindowLocked(h);
  while (w && (w->style & WS_CHILD)) {
    if (w->parent == parent) return true;
    w = FindWindowLocked(w->parent);
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// Classes

std::shared_ptr<WndClass> FindClassLocked(LPCWSTR name, HINSTANCE instance) {
  EnsureRootsLocked();
  std::shared_ptr<WndClass> any, system;
  for (auto& c : S().classes) {
    const bool match = IS_INTRESOURCE(name) ? c->atom == static_cast<ATOM>(Key(name))
                                            : c->key == Upper(FromPtr(name));
    if (!match) continue;
    if (c->system) system = c;
    else if (c->instance == instance || instance == nullptr) return c;
    else if (!any) any = c;
  }
  return any ? any : system;
}

}  // namespace zorv::winsys

using namespace zorv::winsys;

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXW) || wc->lpszClassName == nullptr ||
      wc->cbClsExtra < 0 || wc->cbWndExtra < 0 || wc->cbClsExtra > 40 || wc->cbWndExtra > 40 * 1024) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Lock lock(S().mutex);
  FindClassLocked(u"", nullptr);  // makes sure the system classes exist
  const std::u16string name = FromPtr(wc->lpszClassName);
  const std::u16string key = Upper(name);
  for (auto& c : S().classes) {
    if (!c->system && c->key == key && c->instance == wc->hInstance) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  auto c = std::make_shared<WndClass>();
  c->name = name;
  c->key = key;
  c->atom = S().nextAtom++;
  c->style = wc->style;
  c->proc = wc->lpfnWndProc;
  c->clsExtra = wc->cbClsExtra;
  c->wndExtra = wc->cbWndExtra;
  c->instance = wc->hInstance;
  c->icon = wc->hIcon;
  c->iconSm = wc->hIconSm;
  c->cursor = wc->hCursor;
  c->background = wc->hbrBackground;
  S().classes.push_back(c);
  return c->atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance) {
  Lock lock(S().mutex);
  FindClassLocked(u"", nullptr);
  auto& classes = S().classes;
  for (auto it = classes.begin(); it != classes.end(); ++it) {
    auto& c = *it;
    if (c->system) continue;
    const bool match = IS_INTRESOURCE(className) ? c->atom == static_cast<ATOM>(Key(className))
                                                 : c->key == Upper(FromPtr(className));
    if (!match || c->instance != instance) continue;
    if (c->windows > 0) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
    classes.erase(it);
    return TRUE;
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW wc) {
  if (wc == nullptr || className == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lock(S().mutex);
  auto c = FindClassLocked(className, instance);
  if (!c || (!c->system && instance != nullptr && c->instance != instance)) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  wc->style = c->style;
  wc->lpfnWndProc = c->proc;
  wc->cbClsExtra = c->clsExtra;
  wc->cbWndExtra = c->wndExtra;
  wc->hInstance = c->system ? nullptr : c->instance;
  wc->hIcon = c->icon;
  wc->hCursor = c->cursor;
  wc->hbrBackground = c->background;
  wc->lpszMenuName = nullptr;
  wc->lpszClassName = className;
  wc->hIconSm = c->iconSm;
  return c->atom;
}

// ---------------------------------------------------------------------------------------
// Creation and destruction

namespace {

void SendParentNotify(HWND hwnd, UINT event) {
  // To each ancestor while the window on the way is a child without WS_EX_NOPARENTNOTIFY.
  HWND cur = hwnd;
  for (;;) {
    HWND parent;
    LONG_PTR id;
    {
      Lock lock(S().mutex);
      auto w = FindWindowLocked(cur);
      if (!w || !(w->style & WS_CHILD) || (w->exStyle & WS_EX_NOPARENTNOTIFY)) return;
      parent = w->parent;
      id = w->id;
      if (!FindWindowLocked(parent)) return;
    }
    SendMessageW(parent, WM_PARENTNOTIFY, MAKEWPARAM(event, id), reinterpret_cast<LPARAM>(hwnd));
    cur = parent;
  }
}

std::vector<HWND> ChildrenOf(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  return w ? w->children : std::vector<HWND>();
}

void SendDestroyMessages(HWND hwnd) {
  HWND active = nullptr;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return;
    active = w->queue ? w->queue->active : nullptr;
  }
  if (active == hwnd) SetActiveWindow(nullptr);
  SendMessageW(hwnd, WM_DESTROY, 0, 0);
  for (HWND c : ChildrenOf(hwnd)) {
    if (IsWindow(c)) SendDestroyMessages(c);
  }
}

void Unlink(const Window& w) {
  if (auto p = FindWindowLocked(w.parent)) {
    auto& v = p->children;
    v.erase(std::remove(v.begin(), v.end(), w.handle), v.end());
  }
}

// Takes a window out of the system: nothing refers to it afterwards. Lock held.
void ForgetLocked(const std::shared_ptr<Window>& w) {
  const HWND h = w->handle;
  S().windows.erase(Key(h));
  w->destroyed = true;
  w->cls->windows--;
  w->props.clear();
  if (w->sysMenu) DestroyMenuLocked(w->sysMenu);
  w->sysMenu = nullptr;
  for (auto& [tid, q] : S().queues) {
    if (q->focus == h) q->focus = nullptr;
    if (q->active == h) q->active = nullptr;
    if (q->capture == h) q->capture = nullptr;
    if (q->trackLeave == h) q->trackLeave = nullptr;
    q->input.erase(std::remove_if(q->input.begin(), q->input.end(), [&](const InputEvent& e) { return e.msg.hwnd == h; }),
                   q->input.end());
  }
  if (S().foreground == h) S().foreground = nullptr;
  for (auto& [k, other] : S().windows) {
    if (other->owner == h) other->owner = nullptr;
  }
}

void FinalDestroy(HWND hwnd) {
  for (HWND c : ChildrenOf(hwnd)) {
    DWORD owner = GetWindowThreadProcessId(c, nullptr);
    if (owner == ThisThreadId()) FinalDestroy(c);
    else if (owner != 0) RunOnOwner(c, [c] { return static_cast<LRESULT>(DestroyWindow(c)); });
  }
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return;
    Unlink(*w);
  }
  SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
  std::shared_ptr<Window> w;
  {
    Lock lock(S().mutex);
    auto it = S().windows.find(Key(hwnd));
    if (it == S().windows.end()) return;
    w = it->second;
    ForgetLocked(w);
  }
  NotifyAll();
  w->control.reset();  // outside the lock: a control's state may release GDI objects
}

void ForgetTreeLocked(const std::shared_ptr<Window>& w, std::vector<std::shared_ptr<Window>>& dropped) {
  for (HWND c : std::vector<HWND>(w->children)) {
    if (auto child = FindWindowLocked(c)) ForgetTreeLocked(child, dropped);
  }
  Unlink(*w);
  ForgetLocked(w);
  dropped.push_back(w);
}

// The parent a new window goes under, and its owner; false (the error set) when the
// parent does not fit the style.
bool ResolveParentLocked(HWND parent, DWORD style, HWND* realParent, HWND* owner) {
  *realParent = S().desktop;
  *owner = nullptr;
  if (parent == HWND_MESSAGE) {
    *realParent = S().messageRoot;
    return true;
  }
  if ((style & WS_CHILD) && parent == nullptr) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return false;
  }
  if (parent == nullptr) return true;
  if (!WindowLocked(parent)) return false;
  if (style & WS_CHILD) *realParent = parent;
  else *owner = RootLocked(parent);
  return true;
}

// The window record of a new window, in the tree before its first message (lock held).
std::shared_ptr<Window> NewWindowLocked(const std::shared_ptr<WndClass>& cls, DWORD exStyle, DWORD style,
                                        RECT place, HWND parent, HWND owner, HMENU menu) {
  const bool child = (style & WS_CHILD) != 0;
  if (!(style & (WS_CHILD | WS_POPUP))) style |= WS_CAPTION | WS_CLIPSIBLINGS;
  if ((style & WS_THICKFRAME) || (style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME) ||
      !(style & (WS_CHILD | WS_POPUP)))
    exStyle |= WS_EX_WINDOWEDGE;
  else
    exStyle &= ~static_cast<DWORD>(WS_EX_WINDOWEDGE);
  auto w = std::make_shared<Window>();
  w->handle = HandleOf<HWND>(NewHandleValue());
  w->cls = cls;
  w->queue = CurrentQueueLocked();
  w->threadId = ThisThreadId();
  w->proc = cls->proc;
  w->style = style & ~static_cast<DWORD>(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
  w->exStyle = exStyle;
  w->id = child ? reinterpret_cast<LONG_PTR>(menu) : 0;
  w->parent = parent;
  w->owner = owner;
  w->window = w->client = w->normalRect = place;
  w->needSize = !(style & (WS_CHILD | WS_POPUP));
  cls->windows++;
  S().windows[Key(w->handle)] = w;
  auto p = FindWindowLocked(parent);
  if (child) p->children.push_back(w->handle);  // children start at the bottom
  else p->children.insert(p->children.begin(), w->handle);
  return w;
}

// CW_USEDEFAULT: the headless system's default place and size for overlapped windows, zero
// for the others; no negative sizes.
RECT Placement(DWORD style, int x, int y, int width, int height) {
  if (!(style & (WS_CHILD | WS_POPUP))) {
    if (x == CW_USEDEFAULT) x = y = 40;
    if (width == CW_USEDEFAULT) {
      width = 640;
      height = 480;
    }
  } else {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = height = 0;
  }
  return RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
}

// The size a sizeable or overlapped window may have (WM_GETMINMAXINFO, its first message).
void ApplyTrackSize(Window& w, const CREATESTRUCTW& cs) {
  const MINMAXINFO mmi = SendGetMinMaxInfo(w.handle);
  int cx = cs.cx, cy = cs.cy;
  if (mmi.ptMaxTrackSize.x > 0) cx = std::min<int>(cx, mmi.ptMaxTrackSize.x);
  if (mmi.ptMaxTrackSize.y > 0) cy = std::min<int>(cy, mmi.ptMaxTrackSize.y);
  cx = std::max<int>(cx, mmi.ptMinTrackSize.x);
  cy = std::max<int>(cy, mmi.ptMinTrackSize.y);
  Lock lock(S().mutex);
  w.window.right = w.window.left + cx;
  w.window.bottom = w.window.top + cy;
  w.client = w.normalRect = w.window;
}

// WM_NCCALCSIZE of a new window: its rectangle in screen coordinates becomes its client area.
void CalcNewClient(Window& w) {
  RECT r;
  POINT origin;
  {
    Lock lock(S().mutex);
    auto p = FindWindowLocked(w.parent);
    origin = p ? ClientOriginLocked(*p) : POINT{0, 0};
    r = w.window;
  }
  OffsetRect(&r, origin.x, origin.y);
  SendMessageW(w.handle, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
  OffsetRect(&r, -origin.x, -origin.y);
  Lock lock(S().mutex);
  w.client = r;
}

// The messages of a creation after WM_NCCREATE; false when the window refused or went.
bool SendCreateMessages(Window& w, CREATESTRUCTW& cs) {
  const HWND hwnd = w.handle;
  CalcNewClient(w);
  if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) return false;
  if (!IsWindow(hwnd)) return false;
  bool needSize;
  RECT c;
  {
    Lock lock(S().mutex);
    c = w.client;
    needSize = w.needSize;
  }
  if (!needSize) {
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right - c.left, c.bottom - c.top));
    SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(c.left, c.top));
  }
  SendParentNotify(hwnd, WM_CREATE);
  return IsWindow(hwnd);
}

void ShowCreated(HWND hwnd, DWORD style) {
  if (style & WS_VISIBLE) {
    int sw = SW_SHOW;
    if (style & WS_MAXIMIZE) sw = SW_SHOWMAXIMIZED;
    else if (style & WS_MINIMIZE) sw = SW_SHOWMINIMIZED;
    ShowWindow(hwnd, sw);
  } else if (style & WS_MINIMIZE) {
    ShowWindow(hwnd, SW_MINIMIZE);
  } else if (style & WS_MAXIMIZE) {
    ShowWindow(hwnd, SW_MAXIMIZE);
  }
}

// The windows this top-level window owns go before it.
void DestroyOwnedWindows(HWND hwnd) {
  for (;;) {
    HWND owned = nullptr;
    {
      Lock lock(S().mutex);
      for (auto& [k, o] : S().windows) {
        if (o->owner != hwnd || o->destroyed) continue;
        if (o->threadId == ThisThreadId() && !o->destroying) {
          owned = o->handle;
          break;
        }
        o->owner = nullptr;
      }
    }
    if (!owned) return;
    DestroyWindow(owned);
  }
}

}  // namespace

void zorv::winsys::DestroyThreadWindows(DWORD threadId) {
  // Win32 frees the windows of an ending thread without messages: the thread can no
  // longer run its window procedures.
  std::vector<std::shared_ptr<Window>> dropped;
  {
    Lock lock(S().mutex);
    std::vector<std::shared_ptr<Window>> mine;
    for (auto& [k, w] : S().windows) {
      if (!w->destroyed && w->threadId == threadId) mine.push_back(w);
    }
    for (auto& w : mine) {
      if (!w->destroyed) ForgetTreeLocked(w, dropped);
    }
  }
  NotifyAll();
  dropped.clear();  // control states go outside the lock
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  std::shared_ptr<Window> w;
  const RECT place = Placement(style, x, y, width, height);
  {
    Lock lock(S().mutex);
    auto cls = FindClassLocked(className, instance);
    if (!cls || className == nullptr) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    HWND realParent, owner;
    if (!ResolveParentLocked(parent, style, &realParent, &owner)) return nullptr;
    w = NewWindowLocked(cls, exStyle, style, place, realParent, owner, menu);
  }
  const HWND hwnd = w->handle;
  CREATESTRUCTW cs{param, instance, menu, parent, static_cast<int>(place.bottom - place.top),
                   static_cast<int>(place.right - place.left), static_cast<int>(place.top),
                   static_cast<int>(place.left), static_cast<LONG>(style), windowName, className, w->exStyle};
  if ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD))) ApplyTrackSize(*w, cs);
  if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) || !SendCreateMessages(*w, cs)) {
    if (IsWindow(hwnd)) FinalDestroy(hwnd);
    return nullptr;
  }
  ShowCreated(hwnd, style);
  return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  bool child;
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w || hwnd == S().desktop || hwnd == S().messageRoot) {
      SetLastError(w ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->threadId != ThisThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    child = (w->style & WS_CHILD) != 0;
  }
  if (child) SendParentNotify(hwnd, WM_DESTROY);
  if (!IsWindow(hwnd)) return TRUE;
  if (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) {
    if (child) ShowWindow(hwnd, SW_HIDE);
    else SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                      SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  }
  if (!IsWindow(hwnd)) return TRUE;
  if (!child) DestroyOwnedWindows(hwnd);
  SendDestroyMessages(hwnd);
  if (IsWindow(hwnd)) FinalDestroy(hwnd);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
  Lock lock(S().mutex);
  return FindWindowLocked(hwnd) != nullptr;
}

// ---------------------------------------------------------------------------------------
// Window longs, properties, texts

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    default: SetLastError(ERROR_INVALID_INDEX); return 0;
  }
}

namespace {
// A new style or extended style, with WM_STYLECHANGING before and WM_STYLECHANGED after.
LONG_PTR SetStyleLong(HWND hwnd, int index, DWORD value) {
  STYLESTRUCT ss{};
  {
    Lock lock(S().mutex);
    auto w = WindowLocked(hwnd);
    if (!w) return 0;
    ss.styleOld = index == GWL_STYLE ? w->style : w->exStyle;
  }
  ss.styleNew = value;
  SendMessageW(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
  {
    Lock lock(S().mutex);
    auto w = FindWindowLocked(hwnd);
    if (!w) return 0;
    (index == GWL_STYLE ? w->style : w->exStyle) = ss.styleNew;
  }
  SendMessageW(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
  return static_cast<LONG>(ss.styleOld);
}
}  // namespace

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  if (index == GWL_STYLE || index == GWL_EXSTYLE) return SetStyleLong(hwnd, index, static_cast<DWORD>(value));
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return 0;
  if (index != GWLP_WNDPROC || value == 0) {
    SetLastError(index == GWLP_WNDPROC ? ERROR_INVALID_PARAMETER : ERROR_INVALID_INDEX);
    return 0;
  }
  const LONG_PTR old = reinterpret_cast<LONG_PTR>(w->proc);
  w->proc = reinterpret_cast<WNDPROC>(value);
  return old;
}

LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
  return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

namespace {
std::u16string PropKey(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return u"#" + std::u16string(1, static_cast<char16_t>(Key(name)));
  return Upper(FromPtr(name));
}
}  // namespace

BOOL WINAPI SetPropW(HWND hwnd, LPCWSTR name, HANDLE data) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return FALSE;
  const auto key = PropKey(name);
  for (auto& [k, v] : w->props) {
    if (k == key) {
      v = data;
      return TRUE;
    }
  }
  w->props.emplace_back(key, data);
  return TRUE;
}

HANDLE WINAPI GetPropW(HWND hwnd, LPCWSTR name) {
  if (name == nullptr) return nullptr;
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return nullptr;
  const auto key = PropKey(name);
  for (auto& [k, v] : w->props) {
    if (k == key) return v;
  }
  return nullptr;
}

HANDLE WINAPI RemovePropW(HWND hwnd, LPCWSTR name) {
  if (name == nullptr) return nullptr;
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return nullptr;
  const auto key = PropKey(name);
  for (auto it = w->props.begin(); it != w->props.end(); ++it) {
    if (it->first == key) {
      HANDLE v = it->second;
      w->props.erase(it);
      return v;
    }
  }
  return nullptr;
}

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
  if (!CheckWindow(hwnd)) return FALSE;
  return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR text, int maxCount) {
  if (text && maxCount > 0) text[0] = 0;
  if (!CheckWindow(hwnd)) return 0;
  if (text == nullptr || maxCount <= 0) return 0;
  return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                       reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextLengthW(HWND hwnd) {
  if (!CheckWindow(hwnd)) return 0;
  return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// ---------------------------------------------------------------------------------------
// The window tree

HWND WINAPI GetParent(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return nullptr;
  if (w->style & WS_CHILD) return w->parent;
  if (w->style & WS_POPUP) return w->owner;
  return nullptr;
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return nullptr;
  switch (cmd) {
    case GW_CHILD: return w->children.empty() ? nullptr : w->children.front();
    case GW_OWNER: return w->owner;
    case GW_HWNDNEXT: {
      auto p = FindWindowLocked(w->parent);
      if (!p) return nullptr;
      const auto& sib = p->children;
      auto it = std::find(sib.begin(), sib.end(), hwnd);
      return (it == sib.end() || it + 1 == sib.end()) ? nullptr : *(it + 1);
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HWND WINAPI GetAncestor(HWND hwnd, UINT flags) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  if (!w || hwnd == S().desktop) return nullptr;
  if (flags == GA_PARENT) return w->parent;
  return flags == GA_ROOT ? RootLocked(hwnd) : nullptr;
}

namespace {
void CollectDescendants(HWND h, std::vector<HWND>& out) {
  auto w = FindWindowLocked(h);
  if (!w) return;
  for (HWND c : w->children) {
    out.push_back(c);
    CollectDescendants(c, out);
  }
}
}  // namespace

BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam) {
  std::vector<HWND> list;
  {
    Lock lock(S().mutex);
    if (!WindowLocked(parent)) return FALSE;
    CollectDescendants(parent, list);
  }
  for (HWND h : list) {
    if (IsWindow(h) && !proc(h, lParam)) return FALSE;
  }
  return TRUE;
}

HWND WINAPI FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName) {
  Lock lock(S().mutex);
  FindWindowLocked(nullptr);
  HWND root = parent == nullptr ? S().desktop : parent == HWND_MESSAGE ? S().messageRoot : parent;
  auto p = FindWindowLocked(root);
  if (!p) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  bool started = childAfter == nullptr;
  for (HWND h : p->children) {
    if (!started) {
      started = h == childAfter;
      continue;
    }
    auto w = FindWindowLocked(h);
    if (!w) continue;
    if (className) {
      const bool match = IS_INTRESOURCE(className)
                             ? w->cls->atom == static_cast<ATOM>(Key(className))
                             : w->cls->key == Upper(FromPtr(className));
      if (!match) continue;
    }
    if (windowName && Upper(w->text) != Upper(FromPtr(windowName))) continue;
    return h;
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return 0;
  return (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
  Lock lock(S().mutex);
  auto w = WindowLocked(hwnd);
  if (!w) return 0;
  if (processId) *processId = kProcessId;
  return w->threadId;
}

DWORD WINAPI GetLastError() { return lastError; }
void WINAPI SetLastError(DWORD error) { lastError = error; }
DWORD WINAPI GetCurrentThreadId() { return ThisThreadId(); }
