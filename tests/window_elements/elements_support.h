// Support for the window element tests, in both builds: a form element run as the program
// runs it (Init, Run, the message loop, close, Terminate), a pump for the window thread,
// user input (natively the headless system's test controls; under wine the real system's
// input through SendInput or input messages) and screen pixels (under wine).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/winsys.h"
#include "runtime/Share.h"
#include "tests/support/probes.h"
#include "window_elements/kvSimpleForm.h"
#include "winlib/Applet.h"
#include "winlib/Cp1251.h"
#include "winlib/WinText.h"

#ifndef _WIN32
#include "headless_win32/headless.h"
#endif

namespace zorv::test {

// Runs the calling thread's messages until none is left (WM_QUIT is left queued).
inline void Pump() {
#ifdef _WIN32
  MSG msg;
  int n = 0;
  while (n++ < 100000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
#else
  zorv::headless::Pump();
#endif
}

// Pumps until pred holds or the time is up (generous: the machine may be loaded).
inline bool PumpUntil(const std::function<bool()>& pred, int ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    Pump();
    if (pred()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

inline void PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  Pump();
}

inline std::string TextOf(HWND wnd) { return wnd ? WindowText(wnd) : std::string(); }

// The program's texts are Windows-1251 bytes.
inline std::string Cp(const std::u16string& s) { return Utf16ToCp1251(s); }

inline RECT ScreenRect(HWND wnd) {
  RECT r{};
  GetWindowRect(wnd, &r);
  return r;
}

// A form element with its window library around it, as the program makes it. Elements
// made with Add are freed after the windows are gone (as the scheme frees them).
class FormFixture : public ::testing::Test {
 protected:
  // The loop's end leaves a WM_QUIT behind (the process would end with it).
  static void DropQuit() {
    MSG m;
    while (PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  void SetUp() override {
    closed_ = false;
    DropQuit();
    EventsOff();
    AppletTerminated = false;
    form = New<TKvSimpleForm>();
    form->Left = 120;
    form->Top = 100;
    form->Width = 420;
    form->Height = 300;
    form->Color = SysColor(COLOR_BTNFACE);
    form->SetCaption("Element test");
    form->SetBorderStyle(1);
  }

  void TearDown() override {
    if (!closed_) Close();
    TControl* a = Applet;
    if (a) Terminate(a);
    DropQuit();
    for (auto it = elements_.rbegin(); it != elements_.rend(); ++it) Free(*it);
    elements_.clear();
    Free(form);
    EventsOff();
    AppletTerminated = false;
  }

  // Keeps the element for freeing after the windows.
  template <class T>
  T* Add(T* element) {
    elements_.push_back(element);
    return element;
  }
  template <class T>
  T* Make() {
    return Add(New<T>(form->Control()));
  }

  // Init of the form, Run (events on, onCreate, the form shown), the windows.
  void Start() {
    form->Init();
    StartInitialised();
  }
  // As the program: Run, then the loop makes the windows.
  void StartInitialised() {
    AppletRunning.fetch_add(1);  // as the library's Run does before its loop
    form->Run();
    Applet->CreateHandle();
    Pump();
    HWND f = form->Control()->Handle;
    SetForegroundWindow(f);
    PumpUntil([&] { return IsWindowVisible(f) != FALSE; });
    Pump();
  }

  // A close as the OK button makes it (past CloseLock); the loop ends.
  void Close() {
    closed_ = true;
    if (!form->Control()) return;
    TData d;
    form->doClose(d, 0);
    Pump();
  }

  HWND FormWnd() const { return form->Control()->Handle; }

  TKvSimpleForm* form = nullptr;

 private:
  std::vector<TObj*> elements_;
  bool closed_ = false;
};

// ---- Input -----------------------------------------------------------------------------

#ifdef _WIN32
inline void SendMouse(DWORD flags, POINT screen = POINT{-1, -1}) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  if (screen.x >= 0) {
    in.mi.dx = (screen.x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = (screen.y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags |= MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  }
  SendInput(1, &in, sizeof in);
}

// A click as a person makes it: move there, let the system see the pointer arrive, press,
// release.
inline void RealClickAt(POINT screen) {
  SendMouse(0, screen);
  PumpFor(150);
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  SendMouse(MOUSEEVENTF_LEFTUP);
}

// The pixels of a screen rectangle, row by row (what the X server shows).
inline std::vector<COLORREF> CaptureScreen(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<COLORREF> out;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    HGDIOBJ old = SelectObject(mem, dib);
    if (BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT)) {
      GdiFlush();
      const auto* p = static_cast<const std::uint32_t*>(bits);
      for (int i = 0; i < w * h; ++i) {
        const std::uint32_t v = p[i];
        out.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
      }
    }
    SelectObject(mem, old);
    DeleteObject(dib);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return out;
}
#endif

// A key pressed in the focused control: natively through the headless keyboard, under wine
// as the input messages the system would post for it (synthesised keyboard input needs the
// X focus, which a test run without a window manager cannot count on).
inline void PressKey(HWND focus, UINT vk, char ch = 0) {
  SetFocus(focus);
  Pump();
#ifdef _WIN32
  // The loop's TranslateMessage makes the character from the key press.
  (void)ch;
  const UINT scan = MapVirtualKeyW(vk, 0);
  PostMessageW(focus, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageW(focus, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
#else
  (void)ch;
  zorv::headless::KeyPress(vk);
#endif
  Pump();
}

}  // namespace zorv::test

namespace zorv::test {

// Mouse input on a window at client coordinates (button 0 left, 1 right, 2 middle):
// natively the headless user's hand, under wine the messages the system posts for it.
inline void MouseAt(HWND w, UINT msg, int x, int y, WPARAM keys = 0) {
#ifdef _WIN32
  // The pointer really is there (the system's mouse tracking looks at it); a move of the
  // pointer is a mouse message of its own, so it is let through first.
  POINT p{x, y}, now{};
  ClientToScreen(w, &p);
  GetCursorPos(&now);
  if (now.x != p.x || now.y != p.y) {
    SetCursorPos(p.x, p.y);
    PumpFor(100);
  }
  PostMessageW(w, msg, keys, MAKELPARAM(x, y));
#else
  using zorv::headless::Button;
  switch (msg) {
    case WM_MOUSEMOVE: zorv::headless::MouseMove(w, x, y, static_cast<UINT>(keys)); break;
    case WM_LBUTTONDOWN: zorv::headless::MouseDown(w, x, y, Button::Left); break;
    case WM_LBUTTONUP: zorv::headless::MouseUp(w, x, y, Button::Left); break;
    case WM_RBUTTONDOWN: zorv::headless::MouseDown(w, x, y, Button::Right); break;
    case WM_RBUTTONUP: zorv::headless::MouseUp(w, x, y, Button::Right); break;
    case WM_MBUTTONDOWN: zorv::headless::MouseDown(w, x, y, Button::Middle); break;
    case WM_MBUTTONUP: zorv::headless::MouseUp(w, x, y, Button::Middle); break;
    default: PostMessageW(w, msg, keys, MAKELPARAM(x, y)); break;
  }
#endif
  Pump();
}

// The pointer leaves a window for a point of another (under wine the system's tracking
// notices it by itself).
inline void MoveAway(HWND other, int x, int y) {
#ifdef _WIN32
  POINT p{x, y};
  ClientToScreen(other, &p);
  SetCursorPos(p.x, p.y);
  PostMessageW(other, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  PumpFor(50);
#else
  MouseAt(other, WM_MOUSEMOVE, x, y);
#endif
}

inline void ClickOn(HWND w, int x = 5, int y = 5) {
  MouseAt(w, WM_MOUSEMOVE, x, y);
  MouseAt(w, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
  MouseAt(w, WM_LBUTTONUP, x, y);
}

// A data point that records what it is asked with and answers a fixed value (null: no
// answer).
struct Asker {
  std::vector<TData> asked;
  TData answer;
  void Get(TData& d, std::uint16_t) {
    TData copy = d;
    copy.Next = nullptr;
    asked.push_back(copy);
    d = answer;
  }
  TEventPoint Point() { return MakePoint<&Asker::Get>(0, this); }
};

}  // namespace zorv::test
