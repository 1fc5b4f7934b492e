// Internal state of the headless window system, shared by its implementation files.
// One lock guards everything below; it is never held while a window procedure or an
// enumeration callback runs (helpers that call out take the lock by reference and release
// it around the call).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "headless_win32/headless.h"
#include "platform/winsys.h"

namespace zorv::winsys {

using Lock = std::unique_lock<std::mutex>;

// Internal messages (outside the 16-bit message range applications can use).
constexpr UINT kMsgRunOnOwner = 0x80000001u;  // lParam: std::function<LRESULT()>*

struct WndClass {
  std::u16string name;
  std::u16string key;  // upper-cased name: class names compare case-insensitively
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int clsExtra = 0;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON iconSm = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  bool system = false;
  int windows = 0;
};

struct Queue;

// State of a system control, owned by its window.
struct ControlState {
  virtual ~ControlState() = default;
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WndClass> cls;
  std::shared_ptr<Queue> queue;  // the owner thread's queue; null for the roots
  DWORD threadId = 0;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR id = 0;
  HWND parent = nullptr;  // the desktop (or the message root) for top-level windows
  HWND owner = nullptr;
  std::vector<HWND> children;  // z-order, topmost first
  std::u16string text;
  RECT window{};  // in the parent's client coordinates (screen for top-level windows)
  RECT client{};  // likewise
  std::vector<std::pair<std::u16string, HANDLE>> props;
  // Painting: one bounding rectangle in client coordinates.
  bool hasUpdate = false;
  RECT update{};
  bool erase = false;
  // Minimised and maximised state.
  RECT normalRect{};
  bool hiddenByOwner = false;
  bool needSize = false;  // overlapped windows get WM_SIZE and WM_MOVE when first shown
  bool destroying = false;
  bool destroyed = false;
  HICON iconBig = nullptr;
  HICON iconSmall = nullptr;
  HMENU sysMenu = nullptr;
  std::shared_ptr<ControlState> control;
};

struct SentMessage {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;
};

// An input event waiting in a thread's input queue; the target's client point is turned
// into screen coordinates when the event is read, so that windows moved or shown by the
// events before it are where the user saw them.
struct InputEvent {
  MSG msg{};  // hwnd, message, wParam; lParam for keys; pt: client point of hwnd
  bool mouse = false;
};

struct Queue {
  DWORD threadId = 0;
  bool alive = true;
  std::deque<MSG> posted;
  std::deque<InputEvent> input;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quitCode = 0;
  UINT changed = 0;  // QS_* bits that arrived since the thread last looked
  HWND focus = nullptr;
  HWND active = nullptr;
  HWND capture = nullptr;
  HWND trackLeave = nullptr;  // TrackMouseEvent(TME_LEAVE)
  HWND pendingActivate = nullptr;  // SetForegroundWindow from another thread
};

enum class GdiKind { Pen, Brush, Font, Bitmap, Region };

struct GdiObject;
struct DcState;
struct IconObject;
struct MenuObject;
struct EventObject {
  bool manual = false;
  bool signaled = false;
};

struct State {
  std::mutex mutex;
  std::condition_variable wake;  // any queue, event or window change
  UINT_PTR nextHandle = 0x10000;
  std::unordered_map<UINT_PTR, std::shared_ptr<Window>> windows;
  std::vector<std::shared_ptr<WndClass>> classes;
  ATOM nextAtom = 0xC000;
  std::unordered_map<DWORD, std::shared_ptr<Queue>> queues;
  HWND desktop = nullptr;
  HWND messageRoot = nullptr;
  HWND foreground = nullptr;
  POINT cursorPos{};
  HCURSOR cursor = nullptr;
  BYTE keyState[256] = {};       // as seen by the threads reading their input
  BYTE asyncKeyState[256] = {};  // as the headless user holds them
  std::unordered_map<UINT_PTR, std::shared_ptr<GdiObject>> gdi;
  std::unordered_map<UINT_PTR, std::shared_ptr<DcState>> dcs;
  std::unordered_map<UINT_PTR, std::shared_ptr<IconObject>> icons;
  std::unordered_map<UINT_PTR, std::shared_ptr<MenuObject>> menus;
  std::unordered_map<UINT_PTR, std::shared_ptr<EventObject>> events;
  std::map<std::string, int> moduleRefs;  // LoadLibrary counts by lower-case name
  std::vector<headless::DrawCall> drawLog;
  std::map<UINT_PTR, int> dragMoves;
  int dragMovesTotal = 0;
};

State& S();
DWORD ThisThreadId();
void DestroyThreadWindows(DWORD threadId);

UINT_PTR NewHandleValue();  // with the lock held
template <class T>
T HandleOf(UINT_PTR v) {
  return reinterpret_cast<T>(v);
}
inline UINT_PTR Key(const void* h) { return reinterpret_cast<UINT_PTR>(h); }

// Strings
std::u16string Upper(std::u16string_view s);
std::u16string FromPtr(LPCWSTR s);  // empty for null
int CopyOut(const std::u16string& s, LPWSTR buf, int max);  // GetWindowText's copy rule
std::string ToUtf8(std::u16string_view s);

// Windows, with the lock held.
std::shared_ptr<Window> FindWindowLocked(HWND h);
std::shared_ptr<Window> WindowLocked(HWND h);  // null with ERROR_INVALID_WINDOW_HANDLE set
bool CheckWindow(HWND h);  // IsWindow, setting ERROR_INVALID_WINDOW_HANDLE when not; takes the lock
std::shared_ptr<Queue> CurrentQueueLocked();  // creates this thread's queue on first use
bool IsVisibleLocked(const Window& w);
bool IsEnabledChainLocked(const Window& w);
POINT ClientOriginLocked(const Window& w);  // screen position of the client area's origin
HWND RootLocked(HWND h);                   // GA_ROOT
bool IsChildLocked(HWND parent, HWND h);
std::shared_ptr<WndClass> FindClassLocked(LPCWSTR name, HINSTANCE instance);

// Runs f on the thread that owns the window (directly when that is this thread, else by an
// inter-thread send, served as Win32 serves sent messages).
LRESULT RunOnOwner(HWND h, const std::function<LRESULT()>& f);

// Messages
void PostLocked(Queue& q, const MSG& m);
void NotifyAll();
void MarkPaintChanged(Queue& q);

// Painting and geometry shared with the GDI and controls.
constexpr UINT kSwpNoClientSize = 0x0800;  // the system's own WINDOWPOS flags
constexpr UINT kSwpNoClientMove = 0x1000;
constexpr UINT kSwpStateChanged = 0x8000;
MINMAXINFO SendGetMinMaxInfo(HWND h);  // the system's defaults, then WM_GETMINMAXINFO
bool SetRegionRect(HRGN region, const RECT& r);
void InvalidateLocked(Window& w, const RECT* r, bool erase, bool children);
RECT NcInsets(DWORD style, DWORD exStyle, int* caption);

// GDI pieces used by the window code.
HDC NewWindowDc(HWND h, const RECT* clip);
COLORREF SysColorLocked(int index);
void DestroyMenuLocked(HMENU m);

void CountGdiLocked(headless::Counts& c);
HBITMAP BitmapFromDib(const BITMAPINFO* info, const BYTE* bits, std::size_t bitsSize);

// Controls
void RegisterSystemClassesLocked();

// Text metric of the headless system.
struct FontMetric {
  int height;
  int charWidth;
};
FontMetric MetricOf(HFONT font);
FontMetric MetricOfLocked(HFONT font);

// Keyboard translation used by TranslateMessage and the headless typing.
WCHAR CharOfKey(UINT vk, bool shift, bool ctrl, bool* ok);

}  // namespace zorv::winsys
