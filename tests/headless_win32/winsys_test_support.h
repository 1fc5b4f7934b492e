// Support for the window system tests, in both builds: a window class whose procedure logs
// every message (and may answer some itself), RAII for classes and windows, a pump, and a
// skip for Windows test runs that have no display to make windows on.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/winsys.h"

namespace zorv::wintest {

struct Logged {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  DWORD thread;
};

// Process-wide log of the messages that reach LoggingProc.
class MessageLog {
 public:
  void Add(const Logged& m) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(m);
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }
  std::vector<Logged> Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  // The messages out of `interesting` that reached hwnd (any window when null), in order.
  std::vector<UINT> Messages(const std::vector<UINT>& interesting, HWND hwnd = nullptr) const {
    std::vector<UINT> out;
    for (const auto& e : Entries()) {
      if (hwnd && e.hwnd != hwnd) continue;
      for (UINT m : interesting) {
        if (m == e.msg) {
          out.push_back(e.msg);
          break;
        }
      }
    }
    return out;
  }
  // (window, message) pairs of the interesting messages, in order.
  std::vector<std::pair<HWND, UINT>> Pairs(const std::vector<UINT>& interesting) const {
    std::vector<std::pair<HWND, UINT>> out;
    for (const auto& e : Entries()) {
      for (UINT m : interesting) {
        if (m == e.msg) {
          out.emplace_back(e.hwnd, e.msg);
          break;
        }
      }
    }
    return out;
  }
  int Count(UINT msg, HWND hwnd = nullptr) const {
    int n = 0;
    for (const auto& e : Entries()) {
      if (e.msg == msg && (!hwnd || e.hwnd == hwnd)) ++n;
    }
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Logged> entries_;
};

inline MessageLog& Log() {
  static MessageLog log;
  return log;
}

// An answer a test gives in place of DefWindowProcW (empty: let it through).
using Override = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;
inline Override& CurrentOverride() {
  static Override o;
  return o;
}

inline LRESULT CALLBACK LoggingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Log().Add(Logged{hwnd, msg, wp, lp, GetCurrentThreadId()});
  if (CurrentOverride()) {
    if (auto r = CurrentOverride()(hwnd, msg, wp, lp)) return *r;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

class TestClass {
 public:
  explicit TestClass(LPCWSTR name, UINT style = 0, WNDPROC proc = LoggingProc) : name_(name) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = name;
    wc.cbWndExtra = sizeof(LONG_PTR);
    atom_ = RegisterClassExW(&wc);
  }
  ~TestClass() {
    if (atom_) UnregisterClassW(name_, GetModuleHandleW(nullptr));
  }
  TestClass(const TestClass&) = delete;
  TestClass& operator=(const TestClass&) = delete;
  ATOM atom() const { return atom_; }
  LPCWSTR name() const { return name_; }

 private:
  LPCWSTR name_;
  ATOM atom_ = 0;
};

class Window {
 public:
  Window() = default;
  explicit Window(HWND h) : h_(h) {}
  ~Window() { Reset(); }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  void Reset(HWND h = nullptr) {
    if (h_ && IsWindow(h_)) DestroyWindow(h_);
    h_ = h;
  }
  HWND get() const { return h_; }
  operator HWND() const { return h_; }

 private:
  HWND h_ = nullptr;
};

inline HWND MakeWindow(LPCWSTR cls, DWORD style, HWND parent = nullptr, int id = 0, int x = 10, int y = 10,
                       int w = 200, int h = 100, DWORD exStyle = 0, LPCWSTR text = nullptr) {
  return CreateWindowExW(exStyle, cls, text, style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// Reads and dispatches everything this thread has to read now.
inline int PumpAll(int max = 10000) {
  int n = 0;
  MSG msg;
  while (n < max && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
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

inline std::u16string Text(HWND h) {
  WCHAR buf[512];
  const int n = GetWindowTextW(h, buf, 512);
  return std::u16string(reinterpret_cast<const char16_t*>(buf), static_cast<std::size_t>(n));
}

inline const WCHAR* W(const char16_t* s) { return reinterpret_cast<const WCHAR*>(s); }

// True under wine, where a few behaviours differ from Win32's documented ones; tests check
// those only against the headless system (which follows the documentation), saying so.
inline bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(ZORV_W("ntdll.dll"));
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Windows test programs may run where wine has no display; windows cannot be made there.
inline bool CanMakeWindows() {
  static const bool can = [] {
    HWND h = CreateWindowExW(0, ZORV_W("Static"), nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (!h) return false;
    DestroyWindow(h);
    return true;
  }();
  return can;
}

}  // namespace zorv::wintest

#define ZORV_NEED_WINDOWS()                                                   \
  do {                                                                        \
    if (!::zorv::wintest::CanMakeWindows()) GTEST_SKIP() << "no display to make windows on"; \
  } while (0)
