// The Win32 window API subset for native (non-Windows) builds: types, structures, constants
// with their Win32 values and the function declarations, implemented headlessly by
// headless_win32/*.cpp. Include it through platform/winsys.h only. The subset is what the
// window code and its tests call; the constants are those they name, and every name of the
// window styles, messages, notification codes and window flags listed here.
//
// Choices where Win32 leaves room (the headless system's own model, exact for tests):
//  - Non-client area: WS_BORDER 1 pixel, WS_EX_CLIENTEDGE 2, WS_EX_STATICEDGE 1,
//    WS_DLGFRAME (so also WS_CAPTION) frame 3, WS_THICKFRAME frame 4 (instead of 3), a
//    caption (WS_CAPTION) 18 pixels high under the frame; a border and a frame do not add up:
//    WS_THICKFRAME or WS_DLGFRAME replace WS_BORDER. Edges add to the frame. No menu bars.
//  - Screen 1024 x 768 pixels at 96 pixels per logical inch; the work area is the screen.
//  - Text metric: a character is max(1, |lfHeight| / 2) pixels wide and a line |lfHeight|
//    pixels high; lfHeight 0 and the stock fonts use height 13 (so 6 pixels a character).
//  - Update regions are kept as one bounding rectangle (the union's bounds); regions (HRGN)
//    likewise, with COMPLEXREGION never reported.
//  - Memory bitmaps hold real pixels (compatible bitmaps as colours, DIB sections of 1, 4,
//    8, 24 and 32 bits in their own bits); windows and screen DCs hold none (GetPixel there
//    gives CLR_INVALID). Bitmaps over 2^26 pixels fail for want of memory.
//  - CW_USEDEFAULT places an overlapped window at (40, 40), 640 x 480. A minimised top-level
//    window is 160 x 28 at (-32000, -32000); a maximised one covers the screen with its frame
//    outside it. The minimum tracking size is 112 x 27.
//  - A drop-down combo box is the font's height + 8 pixels high (21 with the default font);
//    the rest of the height it is given is its list's, list items are the font's height + 3
//    high, the drop-down button is the rightmost 17 pixels, and the open list shows every
//    item (it never scrolls).
//  - System colours start as the classic Windows scheme; SetSysColors changes them and the
//    brushes of GetSysColorBrush follow. Keyboard characters follow the US layout.
//  - The program's module handle (GetModuleHandleW(nullptr)) finds the program's resources
//    by name (platform/resources.h: ICON groups as .ico files, BITMAPs as .bmp files).
//  - MessageBoxW writes to standard error and answers the first button of its kind (IDOK,
//    IDYES, IDABORT, IDRETRY).
//  - Of the options of a call, those the window code uses: window longs GWLP_WNDPROC,
//    GWL_STYLE and GWL_EXSTYLE (others fail with ERROR_INVALID_INDEX); CombineRgn's RGN_OR
//    and RGN_COPY (others fail); StretchBlt's SRCCOPY (other raster operations draw
//    nothing); RedrawWindow's RDW_INVALIDATE, RDW_ERASE, RDW_ALLCHILDREN, RDW_NOCHILDREN and
//    RDW_UPDATENOW (others are ignored); TrackMouseEvent's TME_LEAVE and TME_CANCEL.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------
// Basic types
#define WINAPI
#define CALLBACK
#define VOID void

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef short SHORT;
typedef int INT;
typedef unsigned int UINT;
typedef char CHAR;
typedef char16_t WCHAR;
typedef std::uint64_t ULONGLONG;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LONG_PTR;
typedef std::uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef DWORD COLORREF;
typedef LONG NTSTATUS;
typedef DWORD* LPDWORD;
typedef DWORD_PTR* PDWORD_PTR;
typedef void* LPVOID;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Handles: distinct opaque pointer types, as Win32 declares them with STRICT. HANDLE and
// HGDIOBJ are void pointers there too, so every GDI handle converts to HGDIOBJ implicitly.
#define DECLARE_HANDLE(name) \
  struct name##__ {          \
    int unused;              \
  };                         \
  typedef struct name##__* name
typedef void* HANDLE;
typedef void* HGDIOBJ;
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HFONT);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HRGN);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HKEY);
typedef HICON HCURSOR;
typedef HINSTANCE HMODULE;
typedef HANDLE HGLOBAL;
typedef HANDLE HRSRC;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);
typedef INT_PTR(WINAPI* FARPROC)();

// ---------------------------------------------------------------------------------------
// Macros and inline helpers
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)(((DWORD_PTR)(w)) & 0xff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKELRESULT(l, h) ((LRESULT)(DWORD)MAKELONG(l, h))
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
#define WHEEL_DELTA 120

// ---------------------------------------------------------------------------------------
// Structures
typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *LPSIZE;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSEXW {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
  HICON hIconSm;
} WNDCLASSEXW, *LPWNDCLASSEXW;

typedef struct tagCREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTW;

typedef struct tagWINDOWPOS {
  HWND hwnd;
  HWND hwndInsertAfter;
  int x;
  int y;
  int cx;
  int cy;
  UINT flags;
} WINDOWPOS, *PWINDOWPOS;

typedef struct tagNCCALCSIZE_PARAMS {
  RECT rgrc[3];
  PWINDOWPOS lppos;
} NCCALCSIZE_PARAMS;

typedef struct tagMINMAXINFO {
  POINT ptReserved;
  POINT ptMaxSize;
  POINT ptMaxPosition;
  POINT ptMinTrackSize;
  POINT ptMaxTrackSize;
} MINMAXINFO;

typedef struct tagPAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

#define LF_FACESIZE 32
typedef struct tagLOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW;

typedef struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
} LOGBRUSH;

typedef struct tagLOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
} LOGPEN;

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagTRACKMOUSEEVENT {
  DWORD cbSize;
  DWORD dwFlags;
  HWND hwndTrack;
  DWORD dwHoverTime;
} TRACKMOUSEEVENT, *LPTRACKMOUSEEVENT;

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX;

typedef struct tagTOOLINFOW {
  UINT cbSize;
  UINT uFlags;
  HWND hwnd;
  UINT_PTR uId;
  RECT rect;
  HINSTANCE hinst;
  LPWSTR lpszText;
  LPARAM lParam;
  void* lpReserved;
} TTTOOLINFOW;
#define TTTOOLINFOW_V1_SIZE offsetof(TTTOOLINFOW, lParam)
#define TTTOOLINFOW_V2_SIZE offsetof(TTTOOLINFOW, lpReserved)

typedef struct tagNMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
} NMHDR;

typedef struct tagDRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
} DRAWITEMSTRUCT;

typedef struct tagMEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
} MEASUREITEMSTRUCT;

typedef struct _OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} RTL_OSVERSIONINFOW, *PRTL_OSVERSIONINFOW;

typedef struct tagCOMBOBOXINFO {
  DWORD cbSize;
  RECT rcItem;
  RECT rcButton;
  DWORD stateButton;
  HWND hwndCombo;
  HWND hwndItem;
  HWND hwndList;
} COMBOBOXINFO, *PCOMBOBOXINFO;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct tagSTYLESTRUCT {
  DWORD styleOld;
  DWORD styleNew;
} STYLESTRUCT;

typedef struct _PBRANGE {
  int iLow;
  int iHigh;
} PBRANGE;

// ---------------------------------------------------------------------------------------
// Window messages
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SYSCOLORCHANGE 0x0015
#define WM_ENDSESSION 0x0016
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_CANCELMODE 0x001F
#define WM_SETCURSOR 0x0020
#define WM_MOUSEACTIVATE 0x0021
#define WM_CHILDACTIVATE 0x0022
#define WM_GETMINMAXINFO 0x0024
#define WM_DRAWITEM 0x002B
#define WM_MEASUREITEM 0x002C
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NOTIFY 0x004E
#define WM_STYLECHANGING 0x007C
#define WM_STYLECHANGED 0x007D
#define WM_SETICON 0x0080
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_NCCALCSIZE 0x0083
#define WM_NCHITTEST 0x0084
#define WM_NCACTIVATE 0x0086
#define WM_NCMOUSEMOVE 0x00A0
#define WM_NCLBUTTONDOWN 0x00A1
#define WM_NCLBUTTONDBLCLK 0x00A3
#define WM_KEYFIRST 0x0100
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_SYSDEADCHAR 0x0107
#define WM_UNICHAR 0x0109
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_UPDATEUISTATE 0x0128
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEFIRST 0x0200
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_RBUTTONDBLCLK 0x0206
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MBUTTONDBLCLK 0x0209
#define WM_MOUSEWHEEL 0x020A
#define WM_PARENTNOTIFY 0x0210
#define WM_CAPTURECHANGED 0x0215
#define WM_MOUSEHOVER 0x02A1
#define WM_MOUSELEAVE 0x02A3
#define WM_PRINT 0x0317
#define WM_PRINTCLIENT 0x0318
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_ACTIVATE, WM_MOUSEACTIVATE, WM_SIZE, WM_SHOWWINDOW, WM_PRINT parameters
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2
#define MA_ACTIVATE 1
#define MA_ACTIVATEANDEAT 2
#define MA_NOACTIVATE 3
#define MA_NOACTIVATEANDEAT 4
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2
#define SW_PARENTCLOSING 1
#define SW_PARENTOPENING 3
#define PRF_CLIENT 0x00000004L
#define ICON_BIG 1
#define UIS_CLEAR 2
#define UISF_HIDEFOCUS 0x1

// Key and mouse state
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010

#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_MBUTTON 0x04
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_NUMPAD0 0x60
#define VK_NUMPAD9 0x69
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F4 0x73
#define VK_F10 0x79
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
#define VK_OEM_1 0xBA
#define VK_OEM_PLUS 0xBB
#define VK_OEM_COMMA 0xBC
#define VK_OEM_MINUS 0xBD
#define VK_OEM_PERIOD 0xBE
#define VK_OEM_2 0xBF
#define VK_OEM_3 0xC0
#define VK_OEM_4 0xDB
#define VK_OEM_5 0xDC
#define VK_OEM_6 0xDD
#define VK_OEM_7 0xDE
#define VK_PACKET 0xE7

// Hit-test codes
#define HTERROR (-2)
#define HTTRANSPARENT (-1)
#define HTNOWHERE 0
#define HTCLIENT 1
#define HTCAPTION 2
#define HTLEFT 10
#define HTRIGHT 11
#define HTTOP 12
#define HTTOPLEFT 13
#define HTTOPRIGHT 14
#define HTBOTTOM 15
#define HTBOTTOMLEFT 16
#define HTBOTTOMRIGHT 17
#define HTBORDER 18

// System commands
#define SC_SIZE 0xF000
#define SC_MOVE 0xF010
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120

// Menus
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L
#define MF_ENABLED 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L

// Window styles
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_SIZEBOX WS_THICKFRAME
#define WS_OVERLAPPEDWINDOW \
  (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_STATICEDGE 0x00020000L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_NOACTIVATE 0x08000000L

// Class styles
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_OWNDC 0x0020
#define CS_CLASSDC 0x0040
#define CS_PARENTDC 0x0080
#define CS_SAVEBITS 0x0800
#define CS_GLOBALCLASS 0x4000

// ShowWindow
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10
#define SW_FORCEMINIMIZE 11

// SetWindowPos
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOSENDCHANGING 0x0400
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)
#define HWND_MESSAGE ((HWND)-3)
#define CW_USEDEFAULT ((int)0x80000000)

// Window and class longs
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_WNDPROC (-4)

// GetWindow, GetAncestor
#define GW_HWNDNEXT 2
#define GW_OWNER 4
#define GW_CHILD 5
#define GA_PARENT 1
#define GA_ROOT 2

// Message queue
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define QS_KEY 0x0001
#define QS_MOUSEMOVE 0x0002
#define QS_MOUSEBUTTON 0x0004
#define QS_POSTMESSAGE 0x0008
#define QS_TIMER 0x0010
#define QS_PAINT 0x0020
#define QS_SENDMESSAGE 0x0040
#define QS_HOTKEY 0x0080
#define QS_ALLPOSTMESSAGE 0x0100
#define QS_RAWINPUT 0x0400
#define QS_MOUSE (QS_MOUSEMOVE | QS_MOUSEBUTTON)
#define QS_INPUT (QS_MOUSE | QS_KEY | QS_RAWINPUT)
#define QS_ALLINPUT (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY | QS_SENDMESSAGE)
#define PM_QS_SENDMESSAGE (QS_SENDMESSAGE << 16)
#define SMTO_NORMAL 0x0000
#define SMTO_ABORTIFHUNG 0x0002

// Mouse tracking
#define TME_HOVER 0x00000001
#define TME_LEAVE 0x00000002
#define TME_CANCEL 0x80000000
#define HOVER_DEFAULT 0xFFFFFFFF

// Painting
#define RDW_INVALIDATE 0x0001
#define RDW_ERASE 0x0004
#define RDW_NOCHILDREN 0x0040
#define RDW_ALLCHILDREN 0x0080
#define RDW_UPDATENOW 0x0100

// DrawText
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800

// System colours
#define COLOR_WINDOW 5
#define COLOR_WINDOWTEXT 8
#define COLOR_HIGHLIGHT 13
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_3DFACE COLOR_BTNFACE

// System metrics
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// Cursors and icons (resource ids of the system's own)
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define LR_CREATEDIBSECTION 0x00002000

// Message boxes
#define MB_OK 0x00000000L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define IDOK 1
#define IDABORT 3
#define IDRETRY 4
#define IDYES 6

// Owner drawing
#define ODS_SELECTED 0x0001

// Button control
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_TYPEMASK 0x0000000FL
#define BS_LEFT 0x00000100L
#define BS_RIGHT 0x00000200L
#define BS_CENTER 0x00000300L
#define BS_PUSHLIKE 0x00001000L
#define BS_MULTILINE 0x00002000L
#define BS_FLAT 0x00008000L
#define BN_CLICKED 0
#define BN_SETFOCUS 6
#define BN_KILLFOCUS 7
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5

// Static control
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_SIMPLE 0x0000000BL
#define SS_LEFTNOWORDWRAP 0x0000000CL
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_NOTIFY 0x00000100L
#define SS_CENTERIMAGE 0x00000200L
#define STN_CLICKED 0
#define STN_DBLCLK 1
#define STN_ENABLE 2
#define STN_DISABLE 3

// Edit control
#define ES_LEFT 0x0000L
#define ES_CENTER 0x0001L
#define ES_RIGHT 0x0002L
#define ES_MULTILINE 0x0004L
#define ES_UPPERCASE 0x0008L
#define ES_LOWERCASE 0x0010L
#define ES_PASSWORD 0x0020L
#define ES_AUTOVSCROLL 0x0040L
#define ES_AUTOHSCROLL 0x0080L
#define ES_NOHIDESEL 0x0100L
#define ES_OEMCONVERT 0x0400L
#define ES_READONLY 0x0800L
#define ES_WANTRETURN 0x1000L
#define ES_NUMBER 0x2000L
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define EN_UPDATE 0x0400
#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_GETLINECOUNT 0x00BA
#define EM_LINEINDEX 0x00BB
#define EM_LINELENGTH 0x00C1
#define EM_REPLACESEL 0x00C2
#define EM_GETLINE 0x00C4

// List box (the list part of a combo box)
#define LB_GETCOUNT 0x018B
#define LB_GETITEMRECT 0x0198
#define LB_ERR (-1)

// Combo box
#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_OWNERDRAWFIXED 0x0010L
#define CBS_OWNERDRAWVARIABLE 0x0020L
#define CBS_AUTOHSCROLL 0x0040L
#define CBS_OEMCONVERT 0x0080L
#define CBS_SORT 0x0100L
#define CBS_HASSTRINGS 0x0200L
#define CBS_NOINTEGRALHEIGHT 0x0400L
#define CBS_DISABLENOSCROLL 0x0800L
#define CBS_UPPERCASE 0x2000L
#define CBS_LOWERCASE 0x4000L
#define CBN_SELCHANGE 1
#define CBN_DBLCLK 2
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_EDITUPDATE 6
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define CBN_SELENDOK 9
#define CBN_SELENDCANCEL 10
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_INSERTSTRING 0x014A
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_SHOWDROPDOWN 0x014F
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_GETITEMHEIGHT 0x0154
#define CB_GETDROPPEDSTATE 0x0157
#define CB_INITSTORAGE 0x0161
#define CB_OKAY 0
#define CB_ERR (-1)
#define STATE_SYSTEM_PRESSED 0x00000008
#define STATE_SYSTEM_INVISIBLE 0x00008000
#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002

// Common controls
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_HOTKEY_CLASS 0x00000040
#define ICC_ANIMATE_CLASS 0x00000080
#define ICC_STANDARD_CLASSES 0x00004000
#define CCM_FIRST 0x2000
#define CCM_SETBKCOLOR (CCM_FIRST + 1)
#define CLR_DEFAULT 0xFF000000L
#define PROGRESS_CLASSW u"msctls_progress32"
#define TOOLTIPS_CLASSW u"tooltips_class32"

// Progress bar
#define PBS_SMOOTH 0x01
#define PBS_VERTICAL 0x04
#define PBM_SETPOS (WM_USER + 2)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)
#define PBM_SETBARCOLOR (WM_USER + 9)
#define PBM_GETBARCOLOR (WM_USER + 15)

// Tooltip
#define TTS_ALWAYSTIP 0x01
#define TTS_NOPREFIX 0x02
#define TTS_BALLOON 0x40
#define TTF_IDISHWND 0x0001
#define TTF_SUBCLASS 0x0010
#define TTF_TRANSPARENT 0x0100
#define TTDT_AUTOMATIC 0
#define TTDT_RESHOW 1
#define TTDT_AUTOPOP 2
#define TTDT_INITIAL 3
#define TTI_INFO 1
#define TTM_SETDELAYTIME (WM_USER + 3)
#define TTM_GETTOOLCOUNT (WM_USER + 13)
#define TTM_TRACKACTIVATE (WM_USER + 17)
#define TTM_TRACKPOSITION (WM_USER + 18)
#define TTM_SETTIPBKCOLOR (WM_USER + 19)
#define TTM_SETTIPTEXTCOLOR (WM_USER + 20)
#define TTM_GETDELAYTIME (WM_USER + 21)
#define TTM_GETTIPBKCOLOR (WM_USER + 22)
#define TTM_GETTIPTEXTCOLOR (WM_USER + 23)
#define TTM_SETMARGIN (WM_USER + 26)
#define TTM_SETTITLEW (WM_USER + 33)
#define TTM_ADDTOOLW (WM_USER + 50)
#define TTM_DELTOOLW (WM_USER + 51)
#define TTM_GETTEXTW (WM_USER + 56)
#define TTM_UPDATETIPTEXTW (WM_USER + 57)
#define LPSTR_TEXTCALLBACKW ((LPWSTR)(LONG_PTR)-1)

// GDI
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10
#define BS_SOLID 0
#define BS_NULL 1
#define BS_PATTERN 3
#define PS_SOLID 0
#define PS_NULL 5
#define TRANSPARENT 1
#define OPAQUE 2
#define SRCCOPY 0x00CC0020
#define BLACKONWHITE 1
#define COLORONCOLOR 3
#define HALFTONE 4
#define DIB_RGB_COLORS 0
#define BI_RGB 0L
#define BI_BITFIELDS 3L
#define RGN_OR 2
#define RGN_COPY 5
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define LOGPIXELSY 90
#define CLR_INVALID 0xFFFFFFFF
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2

// kernel32
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define MAXIMUM_WAIT_OBJECTS 64
#define VER_PLATFORM_WIN32_NT 2
#define STATUS_SUCCESS ((NTSTATUS)0x00000000L)
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_MESSAGE_SYNC_ONLY 1159L
#define ERROR_NOT_FOUND 1168L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_MENU_HANDLE 1401L
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_TIMEOUT 1460L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// ---------------------------------------------------------------------------------------
// Functions

// Classes
ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc);
BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance);
BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR className, LPWNDCLASSEXW wc);

// Windows
HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
BOOL WINAPI DestroyWindow(HWND hwnd);
BOOL WINAPI IsWindow(HWND hwnd);
LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index);
LONG WINAPI GetWindowLongW(HWND hwnd, int index);
BOOL WINAPI SetPropW(HWND hwnd, LPCWSTR name, HANDLE data);
HANDLE WINAPI GetPropW(HWND hwnd, LPCWSTR name);
HANDLE WINAPI RemovePropW(HWND hwnd, LPCWSTR name);
BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text);
int WINAPI GetWindowTextW(HWND hwnd, LPWSTR text, int maxCount);
int WINAPI GetWindowTextLengthW(HWND hwnd);
BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect);
BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect);
BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point);
BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point);
int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
HWND WINAPI WindowFromPoint(POINT point);
BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow);
BOOL WINAPI IsWindowVisible(HWND hwnd);
BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable);
BOOL WINAPI IsWindowEnabled(HWND hwnd);
BOOL WINAPI IsIconic(HWND hwnd);
BOOL WINAPI IsZoomed(HWND hwnd);
HWND WINAPI GetParent(HWND hwnd);
HWND WINAPI GetWindow(HWND hwnd, UINT cmd);
HWND WINAPI GetAncestor(HWND hwnd, UINT flags);
BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam);
HWND WINAPI FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName);
int WINAPI GetDlgCtrlID(HWND hwnd);
DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId);

// Focus, activation, capture, cursor, keyboard
HWND WINAPI SetFocus(HWND hwnd);
HWND WINAPI GetFocus();
BOOL WINAPI SetForegroundWindow(HWND hwnd);
HWND WINAPI GetForegroundWindow();
HWND WINAPI SetActiveWindow(HWND hwnd);
HWND WINAPI GetActiveWindow();
HWND WINAPI SetCapture(HWND hwnd);
BOOL WINAPI ReleaseCapture();
HWND WINAPI GetCapture();
HCURSOR WINAPI SetCursor(HCURSOR cursor);
BOOL WINAPI GetCursorPos(LPPOINT point);
SHORT WINAPI GetKeyState(int virtKey);
BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track);

// Messages and queues
LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, PDWORD_PTR result);
BOOL WINAPI SendNotifyMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int exitCode);
BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL WINAPI WaitMessage();
BOOL WINAPI TranslateMessage(const MSG* msg);
LRESULT WINAPI DispatchMessageW(const MSG* msg);
DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                       DWORD milliseconds, DWORD wakeMask);

// Painting
BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL WINAPI UpdateWindow(HWND hwnd);
BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* update, HRGN region, UINT flags);
HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT paint);
BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
HDC WINAPI GetDC(HWND hwnd);
int WINAPI ReleaseDC(HWND hwnd, HDC dc);
int WINAPI GetUpdateRgn(HWND hwnd, HRGN region, BOOL erase);
BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase);
int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
DWORD WINAPI GetSysColor(int index);
HBRUSH WINAPI GetSysColorBrush(int index);
BOOL WINAPI SetSysColors(int count, const INT* elements, const COLORREF* colors);

// Rectangles
BOOL WINAPI PtInRect(const RECT* rect, POINT point);
BOOL WINAPI OffsetRect(LPRECT rect, int dx, int dy);

// Menus, cursors, icons, images, message boxes
HMENU WINAPI GetSystemMenu(HWND hwnd, BOOL revert);
BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT enable);
BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags);
UINT WINAPI GetMenuState(HMENU menu, UINT id, UINT flags);
HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name);
HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name);
HBITMAP WINAPI LoadBitmapW(HINSTANCE instance, LPCWSTR name);
BOOL WINAPI DestroyIcon(HICON icon);
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
BOOL WINAPI GetComboBoxInfo(HWND combo, PCOMBOBOXINFO info);

// GDI
HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font);
HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* brush);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);
BOOL WINAPI DeleteObject(HGDIOBJ object);
HGDIOBJ WINAPI GetStockObject(int index);
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
int WINAPI GetObjectW(HANDLE object, int size, LPVOID buffer);
DWORD WINAPI GetObjectType(HGDIOBJ object);
HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT type);
HDC WINAPI CreateCompatibleDC(HDC dc);
BOOL WINAPI DeleteDC(HDC dc);
HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height);
HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, VOID** bits,
                                HANDLE section, DWORD offset);
BOOL WINAPI StretchBlt(HDC dst, int xDst, int yDst, int wDst, int hDst, HDC src, int xSrc,
                       int ySrc, int wSrc, int hSrc, DWORD rop);
int WINAPI StretchDIBits(HDC dc, int xDst, int yDst, int wDst, int hDst, int xSrc, int ySrc,
                         int wSrc, int hSrc, const VOID* bits, const BITMAPINFO* info,
                         UINT usage, DWORD rop);
int WINAPI SetStretchBltMode(HDC dc, int mode);
COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
COLORREF WINAPI GetTextColor(HDC dc);
COLORREF WINAPI SetBkColor(HDC dc, COLORREF color);
COLORREF WINAPI GetBkColor(HDC dc);
int WINAPI SetBkMode(HDC dc, int mode);
BOOL WINAPI SetBrushOrgEx(HDC dc, int x, int y, LPPOINT previous);
BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous);
BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size);
HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom);
HRGN WINAPI CreateRectRgnIndirect(const RECT* rect);
int WINAPI CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);
int WINAPI SelectClipRgn(HDC dc, HRGN region);
int WINAPI GetRgnBox(HRGN region, LPRECT rect);
COLORREF WINAPI GetPixel(HDC dc, int x, int y);
COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color);

// comctl32
void WINAPI InitCommonControls();
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);

// kernel32 and ntdll
HMODULE WINAPI LoadLibraryW(LPCWSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
HMODULE WINAPI GetModuleHandleW(LPCWSTR name);
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                           LPCWSTR name);
BOOL WINAPI SetEvent(HANDLE event);
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);
DWORD WINAPI GetCurrentThreadId();
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetTickCount();
NTSTATUS WINAPI RtlGetVersion(PRTL_OSVERSIONINFOW info);
