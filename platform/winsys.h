// The window system API that window code includes: the real Win32 API on Windows, the
// headless implementation of the same subset elsewhere (headless_win32/win32.h).
// This is the one place where window code may depend on the system it is built for.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
// Wide string literals in the API's character type (wchar_t here, char16_t natively).
#define ZORV_W(s) L##s
#else
#include "headless_win32/win32.h"
#define ZORV_W(s) u##s
#endif
