// A small raw-Win32 window for testing the window test machinery itself (windriver,
// tests/support/wintest.py, the X server fixture): a button, a drop-down combo box, an
// edit, a progress bar, two labels and a solid-coloured square, at fixed places.
//
// It reports what reaches it as UTF-8 lines on stdout ("READY", "BUTTON", "SELCHANGE
// <index> <item>", "CLOSE") and exits with 20 + the number of button clicks when its window
// is closed. With --hold FILE, a button click keeps the window thread busy inside the
// click's WM_COMMAND until FILE exists (so that a test can see a window that does not
// answer, and then let it go). With --quit, it prints "DISPLAY <the X display it got>"
// once its window is up and closes it at once.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr int kButton = 101, kCombo = 102, kEdit = 103, kProgress = 104, kStatus = 105, kAnsi = 106;
constexpr RECT kSquare{320, 20, 380, 80};  // client coordinates
constexpr COLORREF kSquareColour = RGB(0x20, 0x60, 0xC0);

int g_clicks = 0;
std::wstring g_hold;

void Say(const std::wstring& line) {
  const std::wstring w = line + L"\n";
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
  return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void Create(HWND w) {
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HWND controls[] = {
      Child(w, L"BUTTON", L"Записать", BS_PUSHBUTTON | WS_TABSTOP, 20, 20, 110, 28, kButton),
      // Created tall: with classic controls the height includes the drop-down list.
      Child(w, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 150, 20, 150, 160, kCombo),
      Child(w, L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 20, 70, 280, 24, kEdit),
      Child(w, PROGRESS_CLASSW, L"", PBS_SMOOTH, 20, 110, 280, 20, kProgress),
      Child(w, L"STATIC", L"Статус: готов", SS_LEFT, 20, 145, 280, 20, kStatus),
      Child(w, L"STATIC", L"", SS_LEFT, 20, 170, 280, 20, kAnsi),
  };
  for (HWND c : controls) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  HWND combo = GetDlgItem(w, kCombo);
  for (const wchar_t* item : {L"COM1", L"COM3", L"Порт 7"}) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  HWND progress = GetDlgItem(w, kProgress);
  SendMessageW(progress, PBM_SETRANGE32, 0, 200);
  SendMessageW(progress, PBM_SETPOS, 75, 0);
  // Windows-1251 bytes of "Мама" through the ANSI call: shows what a text set that way
  // becomes under a code page other than 1251.
  SetWindowTextA(GetDlgItem(w, kAnsi), "\xCC\xE0\xEC\xE0");
}

void OnCommand(HWND w, int id, int code) {
  if (id == kButton && code == BN_CLICKED) {
    ++g_clicks;
    SendMessageW(GetDlgItem(w, kProgress), PBM_SETPOS, 200, 0);
    Say(L"BUTTON");
    // Busy inside the message, as a program that does long work on its window thread.
    const ULONGLONG until = GetTickCount64() + 120000;
    while (!g_hold.empty() && GetFileAttributesW(g_hold.c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetTickCount64() < until) {
      Sleep(20);
    }
  } else if (id == kCombo && code == CBN_SELCHANGE) {
    HWND combo = GetDlgItem(w, kCombo);
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    std::wstring item;
    const LRESULT len = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (len >= 0) {
      item.resize(static_cast<std::size_t>(len) + 1);
      const LRESULT got = SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item.data()));
      item.resize(got >= 0 ? static_cast<std::size_t>(got) : 0);
    }
    Say(L"SELCHANGE " + std::to_wstring(index) + L" " + item);
  }
}

LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      Create(w);
      return 0;
    case WM_COMMAND:
      OnCommand(w, LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(w, &ps);
      HBRUSH brush = CreateSolidBrush(kSquareColour);
      FillRect(dc, &kSquare, brush);
      DeleteObject(brush);
      EndPaint(w, &ps);
      return 0;
    }
    case WM_CLOSE:
      Say(L"CLOSE");
      break;
    case WM_DESTROY:
      PostQuitMessage(20 + g_clicks);
      return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  bool quit = false;
  for (int i = 1; argv && i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--hold" && i + 1 < argc) g_hold = argv[++i];
    if (a == L"--quit") quit = true;
  }
  if (argv) LocalFree(argv);

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"ZorvSampleWindow";
  if (!RegisterClassW(&wc)) return 2;
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"Проба окна", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                           120, 90, 420, 260, nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 3;
  ShowWindow(w, SW_SHOW);
  UpdateWindow(w);
  Say(L"READY");
  if (quit) {
    wchar_t display[64] = L"(none)";
    GetEnvironmentVariableW(L"DISPLAY", display, 64);
    Say(std::wstring(L"DISPLAY ") + display);
    DestroyWindow(w);
  }

  MSG m;
  BOOL got;
  while ((got = GetMessageW(&m, nullptr, 0, 0)) > 0) {
    if (!IsDialogMessageW(w, &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  return got == 0 ? static_cast<int>(m.wParam) : 4;
}
