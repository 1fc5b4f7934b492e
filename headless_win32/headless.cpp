// Headless window system, the test controls that stand for the user and the system:
// mouse and keyboard input into the owner thread's input queue, choosing a combo box item
// as a user does, changing a system colour, and a message pump for tests.
#include "headless_win32/controls.h"

namespace zorv::headless {

namespace {

using winsys::Lock;
using winsys::S;

void SetAsync(UINT vk, bool down) {
  if (vk > 255) return;
  if (down) S().asyncKeyState[vk] |= 0x80;
  else S().asyncKeyState[vk] &= static_cast<BYTE>(~0x80);
}

WPARAM HeldButtonsLocked() {
  WPARAM keys = 0;
  if (S().asyncKeyState[VK_LBUTTON] & 0x80) keys |= MK_LBUTTON;
  if (S().asyncKeyState[VK_RBUTTON] & 0x80) keys |= MK_RBUTTON;
  if (S().asyncKeyState[VK_MBUTTON] & 0x80) keys |= MK_MBUTTON;
  if (S().asyncKeyState[VK_SHIFT] & 0x80) keys |= MK_SHIFT;
  if (S().asyncKeyState[VK_CONTROL] & 0x80) keys |= MK_CONTROL;
  return keys;
}

bool PostInputLocked(HWND target, UINT msg, WPARAM wp, LPARAM lp, POINT clientPt, bool mouse) {
  auto w = winsys::FindWindowLocked(target);
  if (!w || !w->queue || !w->queue->alive) return false;
  winsys::InputEvent ev;
  ev.msg = MSG{target, msg, wp, lp, GetTickCount(), clientPt};
  ev.mouse = mouse;
  w->queue->input.push_back(ev);
  w->queue->changed |= mouse ? (msg == WM_MOUSEMOVE ? QS_MOUSEMOVE : QS_MOUSEBUTTON) : QS_KEY;
  S().wake.notify_all();
  return true;
}

UINT ButtonVk(Button b) { return b == Button::Left ? VK_LBUTTON : b == Button::Right ? VK_RBUTTON : VK_MBUTTON; }

UINT DownMsg(Button b) {
  return b == Button::Left ? WM_LBUTTONDOWN : b == Button::Right ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
}

bool Mouse(HWND hwnd, UINT msg, int x, int y, UINT keys, UINT vk, bool down, bool setState) {
  Lock lock(S().mutex);
  if (setState) SetAsync(vk, down);
  return PostInputLocked(hwnd, msg, HeldButtonsLocked() | keys, 0, POINT{x, y}, true);
}

// The window keys go to: the focus window of the foreground window's thread, else its
// active window (sys is then set, as Win32 sends WM_SYSKEY* when nothing has the focus).
HWND KeyTargetLocked(bool* sys) {
  *sys = false;
  HWND fg = S().foreground;
  auto w = winsys::FindWindowLocked(fg);
  std::shared_ptr<winsys::Queue> q = w ? w->queue : nullptr;
  if (!q) {
    for (auto& [tid, queue] : S().queues) {
      if (queue->focus || queue->active) {
        q = queue;
        break;
      }
    }
  }
  if (!q) return nullptr;
  if (q->focus) return q->focus;
  *sys = true;
  return q->active ? q->active : fg;
}

bool Key(UINT vk, bool down) {
  Lock lock(S().mutex);
  bool sys;
  HWND target = KeyTargetLocked(&sys);
  if (!target || vk == 0 || vk > 255) return false;
  const bool wasDown = (S().asyncKeyState[vk] & 0x80) != 0;
  SetAsync(vk, down);
  if (vk == VK_LMENU || vk == VK_RMENU) SetAsync(VK_MENU, down);
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) SetAsync(VK_SHIFT, down);
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) SetAsync(VK_CONTROL, down);
  const bool isAlt = vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU;
  // Releasing Alt is a system key only when no other key came between its press and release.
  static bool altAlone = false;
  if (down) altAlone = isAlt;
  const bool alt = (S().asyncKeyState[VK_MENU] & 0x80) != 0;
  const bool ctrl = (S().asyncKeyState[VK_CONTROL] & 0x80) != 0;
  sys = sys || (alt && !ctrl) || vk == VK_F10 || (isAlt && (down || altAlone));
  DWORD lp = 1;
  if (alt) lp |= 1u << 29;
  if (down && wasDown) lp |= 1u << 30;
  if (!down) lp |= (1u << 30) | (1u << 31);
  const UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  return PostInputLocked(target, msg, vk, static_cast<LPARAM>(lp), POINT{}, false);
}

bool PacketChar(WCHAR ch) {
  Lock lock(S().mutex);
  bool sys;
  HWND target = KeyTargetLocked(&sys);
  if (!target) return false;
  const LPARAM lp = static_cast<LPARAM>(1u | (static_cast<DWORD>(ch) << 16));
  return PostInputLocked(target, WM_KEYDOWN, VK_PACKET, lp, POINT{}, false) &&
         PostInputLocked(target, WM_KEYUP, VK_PACKET, lp, POINT{}, false);
}

// The key (and whether Shift is needed) that types ch on the US layout.
bool KeyOfChar(WCHAR ch, UINT* vk, bool* shift) {
  if (ch == u'\r' || ch == u'\n') {
    *vk = VK_RETURN;
    *shift = false;
    return true;
  }
  for (UINT k = 1; k < 256; ++k) {
    if (k >= VK_NUMPAD0 && k <= VK_DIVIDE) continue;  // the main keys are the ones a person uses
    for (int s = 0; s < 2; ++s) {
      bool ok;
      if (winsys::CharOfKey(k, s == 1, false, &ok) == ch && ok) {
        *vk = k;
        *shift = s == 1;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool MouseMove(HWND hwnd, int x, int y, UINT keys) { return Mouse(hwnd, WM_MOUSEMOVE, x, y, keys, 0, false, false); }

bool MouseDown(HWND hwnd, int x, int y, Button button, UINT keys) {
  return Mouse(hwnd, DownMsg(button), x, y, keys, ButtonVk(button), true, true);
}

bool MouseUp(HWND hwnd, int x, int y, Button button, UINT keys) {
  return Mouse(hwnd, DownMsg(button) + 1, x, y, keys, ButtonVk(button), false, true);
}

bool Click(HWND hwnd, int x, int y, Button button) {
  return MouseMove(hwnd, x, y) && MouseDown(hwnd, x, y, button) && MouseUp(hwnd, x, y, button);
}

bool ClickCenter(HWND hwnd, Button button) {
  RECT r;
  if (!GetClientRect(hwnd, &r)) return false;
  return Click(hwnd, r.right / 2, r.bottom / 2, button);
}

bool DoubleClick(HWND hwnd, int x, int y, Button button) {
  bool dbl;
  {
    Lock lock(S().mutex);
    auto w = winsys::FindWindowLocked(hwnd);
    if (!w) return false;
    dbl = (w->cls->style & CS_DBLCLKS) != 0;
  }
  if (!Click(hwnd, x, y, button)) return false;
  const UINT down = DownMsg(button) + (dbl ? 2 : 0);
  return Mouse(hwnd, down, x, y, 0, ButtonVk(button), true, true) && MouseUp(hwnd, x, y, button);
}

bool Wheel(HWND hwnd, int x, int y, int delta) {
  Lock lock(S().mutex);
  const WPARAM keys = HeldButtonsLocked();
  return PostInputLocked(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<short>(delta)), 0, POINT{x, y}, true);
}

bool KeyDown(UINT vk) { return Key(vk, true); }
bool KeyUp(UINT vk) { return Key(vk, false); }
bool KeyPress(UINT vk) { return Key(vk, true) && Key(vk, false); }

bool TypeText(std::u16string_view text) {
  for (WCHAR ch : text) {
    UINT vk;
    bool shift;
    if (!KeyOfChar(ch, &vk, &shift)) {
      if (!PacketChar(ch)) return false;
      continue;
    }
    bool held;
    {
      Lock lock(S().mutex);
      held = (S().asyncKeyState[VK_SHIFT] & 0x80) != 0;
    }
    if (shift && !held && !KeyDown(VK_SHIFT)) return false;
    if (!KeyPress(vk)) return false;
    if (shift && !held && !KeyUp(VK_SHIFT)) return false;
  }
  return true;
}

bool ChooseComboItem(HWND combo, int index) {
  winsys::ComboChoice c;
  if (!winsys::ComboChoicePoints(combo, index, &c)) return false;
  return Click(combo, c.comboPoint.x, c.comboPoint.y) && Click(c.list, c.listPoint.x, c.listPoint.y);
}

bool ChangeSysColor(int index, COLORREF color) {
  const INT element = index;
  return SetSysColors(1, &element, &color) != FALSE;
}

int Pump(int maxMessages) {
  int n = 0;
  MSG msg;
  while (n < maxMessages && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ++n;
  }
  return n;
}

}  // namespace zorv::headless
