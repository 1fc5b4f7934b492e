// A user at the keyboard and mouse for window tests that run in both builds: input goes
// through the window system as real input does (SendInput on Windows, the headless
// system's input queue natively), and the test's own loop reads it. Under wine input
// arrives a little later than it is sent, so waits are by condition (PumpUntil) with
// generous bounds, never by a fixed time alone.
#pragma once

#include <functional>

#include "platform/winsys.h"
#ifndef _WIN32
#include "headless_win32/headless.h"
#endif

namespace zorv::user {

// Reads and dispatches what this thread has to read now; a WM_QUIT stays queued.
inline int Pump() {
#ifdef _WIN32
  int n = 0;
  MSG msg;
  while (n < 100000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    ++n;
  }
  return n;
#else
  return zorv::headless::Pump();
#endif
}

// Pumps until pred holds; false after maxMs without it.
inline bool PumpUntil(const std::function<bool()>& pred, DWORD maxMs = 15000) {
  const DWORD start = GetTickCount();
  for (;;) {
    Pump();
    if (pred()) return true;
    if (GetTickCount() - start > maxMs) return false;
    Sleep(5);
  }
}

// Pumps for a while (under wine: lets input and paints arrive; natively one pump).
inline void Settle(DWORD ms = 150) {
#ifdef _WIN32
  const DWORD start = GetTickCount();
  do {
    Pump();
    Sleep(5);
  } while (GetTickCount() - start < ms);
#else
  (void)ms;
  Pump();
#endif
}

#ifdef _WIN32
namespace detail {
inline void SendKey(UINT vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = static_cast<WORD>(vk);
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
}
inline void MoveTo(POINT screen) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = (screen.x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (screen.y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
}
inline void ClickScreen(POINT screen) {
  MoveTo(screen);
  Settle(150);
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof in[0]);
}
}  // namespace detail
#endif

inline void KeyDown(UINT vk) {
#ifdef _WIN32
  detail::SendKey(vk, false);
#else
  zorv::headless::KeyDown(vk);
#endif
}

inline void KeyUp(UINT vk) {
#ifdef _WIN32
  detail::SendKey(vk, true);
#else
  zorv::headless::KeyUp(vk);
#endif
}

inline void KeyPress(UINT vk) {
  KeyDown(vk);
  KeyUp(vk);
}

// The key pressed with Shift held.
inline void ShiftKeyPress(UINT vk) {
  KeyDown(VK_SHIFT);
  KeyPress(vk);
  KeyUp(VK_SHIFT);
}

// A left click at the centre of the window.
inline void Click(HWND wnd) {
#ifdef _WIN32
  RECT r{};
  GetWindowRect(wnd, &r);
  detail::ClickScreen(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
#else
  zorv::headless::ClickCenter(wnd);
#endif
}

// Chooses item `index` of a drop-down combo box with the mouse: opens the list with a
// click near the box's right edge, waits until it shows and clicks the item.
inline bool ChooseComboItem(HWND combo, int index) {
#ifdef _WIN32
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(combo, &info)) return false;
  RECT r{};
  // The visible box is its edit part's height, not the window's (which includes the list).
  GetWindowRect(combo, &r);
  RECT item{};
  GetWindowRect(info.hwndItem ? info.hwndItem : combo, &item);
  detail::ClickScreen(POINT{r.right - 8, (item.top + item.bottom) / 2});
  if (!PumpUntil([&] { return IsWindowVisible(info.hwndList) != FALSE; })) return false;
  RECT ir{};
  if (SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ir)) == LB_ERR) {
    return false;
  }
  POINT p{(ir.left + ir.right) / 2, (ir.top + ir.bottom) / 2};
  ClientToScreen(info.hwndList, &p);
  detail::ClickScreen(p);
  return PumpUntil([&] { return !SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0); });
#else
  return zorv::headless::ChooseComboItem(combo, index);
#endif
}

// Brings the top-level window to the front with the keyboard focus in it.
inline bool MakeForeground(HWND top) {
  SetForegroundWindow(top);
  return PumpUntil([&] { return GetForegroundWindow() == top; });
}

}  // namespace zorv::user
