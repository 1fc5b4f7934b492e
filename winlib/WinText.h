// The one place where the program's texts cross into and out of windows. Inside, texts are
// Windows-1251 byte strings; the window calls take and give UTF-16 (the "W" calls), so the
// conversion is made here, explicitly with code page 1251, never with the system's code
// page (which would turn every Cyrillic text into mojibake where it is not 1251).
#pragma once

#include <cstddef>
#include <string>

#include "platform/winsys.h"

using TWideString = std::basic_string<WCHAR>;

TWideString ToWide(const std::string& cp1251);
std::string FromWide(const WCHAR* s, std::size_t n);
inline std::string FromWide(const TWideString& s) { return FromWide(s.data(), s.size()); }

// The window's text (WM_GETTEXT through GetWindowTextW), as Windows-1251.
std::string WindowText(HWND wnd);
// Sets the window's text from Windows-1251; a text with a NUL byte ends there, as any
// window text does.
BOOL SetWindowText1251(HWND wnd, const std::string& text);
