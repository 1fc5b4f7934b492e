// Test controls of the headless window system (native builds only): they stand for the
// user and for the system, and read out its state for tests.
//
// Input is delivered as the real system delivers it: each event goes into the input queue
// of the thread that owns the target window, and that thread's message loop reads and
// dispatches it (PeekMessageW does the system's part on reading: WM_NCHITTEST,
// WM_MOUSEACTIVATE and activation for button presses, WM_SETCURSOR, capture, and the key
// state that GetKeyState reports). Nothing runs until the loop under test runs.
// Points are in the client coordinates of the window named; they become screen points
// when the event is read, so an event after one that opens or moves a window lands where
// the user would see it. Events for a window that is disabled or hidden (itself or an
// ancestor) at that moment go nowhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/winsys.h"

namespace zorv::headless {

enum class Button { Left, Right, Middle };

// Mouse. keys: MK_SHIFT/MK_CONTROL added to the wParam of the messages.
bool MouseMove(HWND hwnd, int x, int y, UINT keys = 0);
bool MouseDown(HWND hwnd, int x, int y, Button button = Button::Left, UINT keys = 0);
bool MouseUp(HWND hwnd, int x, int y, Button button = Button::Left, UINT keys = 0);
// Move, press and release at one point.
bool Click(HWND hwnd, int x, int y, Button button = Button::Left);
// Click at the centre of the client area.
bool ClickCenter(HWND hwnd, Button button = Button::Left);
// Two clicks; the second press is WM_xBUTTONDBLCLK when the window's class has CS_DBLCLKS
// (plain clicks never pair up on their own, so that tests do not depend on timing).
bool DoubleClick(HWND hwnd, int x, int y, Button button = Button::Left);
// Wheel turned by delta (WHEEL_DELTA a notch) over the point; goes to the focus window.
bool Wheel(HWND hwnd, int x, int y, int delta);

// Keyboard: to the focus window of the foreground thread (the active window with
// WM_SYSKEY* when nothing has the focus). With VK_MENU held, keys are WM_SYSKEY*.
// TranslateMessage makes WM_CHAR of letters, digits, the US layout's punctuation, space,
// Tab, Enter ('\r'), Escape and Backspace (and Ctrl+letter control characters).
bool KeyDown(UINT vk);
bool KeyUp(UINT vk);
bool KeyPress(UINT vk);  // down and up
// Types text: characters with a key of their own as key presses (with Shift where needed),
// any other character as a VK_PACKET key press whose WM_CHAR is that character (the
// character rides in bits 16-31 of the key message's lParam).
bool TypeText(std::u16string_view text);
// The user chooses item `index` of a combo box in its drop-down: a click on the combo box
// opens it (CBN_DROPDOWN), a click on the item in the list chooses it (the selection
// changes, the edit part shows the item's text, then the notifications the real control
// sends on such a choice). Fails at once for an index out of range.
bool ChooseComboItem(HWND combo, int index);

// The system: changes a system colour (as SetSysColors does: every top-level window gets
// WM_SYSCOLORCHANGE).
bool ChangeSysColor(int index, COLORREF color);

// Runs this thread's message loop until nothing is left to read (sent messages, posted
// messages, input and paints), translating and dispatching; returns how many messages it
// dispatched. WM_QUIT stays queued. maxMessages bounds it (a window that never validates
// would paint forever).
int Pump(int maxMessages = 100000);

// Read-outs: live counts.
struct Counts {
  int windows = 0;        // every window of the program (not the desktop)
  int classes = 0;        // classes registered by the program
  int pens = 0;
  int brushes = 0;        // created brushes (stock and system-colour brushes not counted)
  int fonts = 0;
  int bitmaps = 0;
  int regions = 0;
  int dcs = 0;            // memory DCs and window DCs not yet released
  int icons = 0;          // icons and cursors loaded from the program or created (not shared)
  int menus = 0;
  int events = 0;
  int modules = 0;        // LoadLibrary references not yet freed
  int props = 0;          // window properties, all windows
  int gdiObjects() const { return pens + brushes + fonts + bitmaps + regions; }
};
Counts GetCounts();

// The drawing log: every drawing call on a DC, in order, process-wide.
enum class DrawOp { FillRect, StretchBlt, StretchDIBits, DrawText, SetPixel };
struct DrawCall {
  DrawOp op{};
  HDC dc = nullptr;
  HWND hwnd = nullptr;   // the window of a window DC, else null
  RECT rect{};           // destination rectangle in the DC's coordinates
  RECT source{};         // source rectangle of the copying calls
  COLORREF color = 0;    // brush colour (FillRect), text colour (DrawText), colour (SetPixel)
  int stretchMode = 0;   // the DC's stretch mode at the call
  DWORD rop = 0;         // the raster operation (DrawText: its format)
  std::u16string text;   // DrawText
};
std::vector<DrawCall> DrawLog(HWND hwnd = nullptr);  // null: all
void ClearDrawLog();

// How often a drag move was requested: WM_SYSCOMMAND SC_MOVE (with HTCAPTION or not)
// reaching DefWindowProcW for the window (null: all windows).
int DragMoveRequests(HWND hwnd = nullptr);

// Tools of a tooltip window (-1 when hwnd is no tooltip) and the text of one.
int TooltipToolCount(HWND tooltip);
std::u16string TooltipText(HWND tooltip, HWND toolWindow, UINT_PTR id);

}  // namespace zorv::headless
