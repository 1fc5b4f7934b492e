// Headless window system, system control classes: "Button", "Static", "Edit",
// "msctls_progress32" and "tooltips_class32" (the combo box is in combo.cpp),
// behaving as their Win32 counterparts do for what the window library uses, and the
// keyboard's characters.
#include <algorithm>

#include "headless_win32/controls.h"

namespace zorv::winsys {

// ---------------------------------------------------------------------------------------
// Helpers shared by the controls

void NotifyParent(HWND hwnd, UINT code) {
  HWND parent = GetParent(hwnd);
  if (!parent) return;
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

HBRUSH ControlBrush(HWND hwnd, HDC dc, UINT msg) {
  HWND parent = GetParent(hwnd);
  LRESULT r = parent ? SendMessageW(parent, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)) : 0;
  if (!r) r = DefWindowProcW(parent ? parent : hwnd, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd));
  return reinterpret_cast<HBRUSH>(r);
}

void PaintFilledText(HWND hwnd, UINT ctlColor, HFONT font, const std::u16string& text, UINT format) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  HBRUSH brush = ControlBrush(hwnd, dc, ctlColor);
  RECT r;
  GetClientRect(hwnd, &r);
  if (brush) FillRect(dc, &r, brush);
  if (!text.empty()) {
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
  }
  if (oldFont) SelectObject(dc, oldFont);
  EndPaint(hwnd, &ps);
}

std::u16string TextOf(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  return w ? w->text : std::u16string();
}

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

WCHAR CharOfKey(UINT vk, bool shift, bool ctrl, bool* ok) {
  *ok = true;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return static_cast<WCHAR>(vk - 'A' + 1);
    return static_cast<WCHAR>(shift ? vk : vk - 'A' + 'a');
  }
  if (ctrl) {
    *ok = false;
    return 0;
  }
  if (vk >= '0' && vk <= '9') return shift ? u")!@#$%^&*("[vk - '0'] : static_cast<WCHAR>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<WCHAR>(u'0' + (vk - VK_NUMPAD0));
  switch (vk) {
    case VK_SPACE: return u' ';
    case VK_TAB: return u'\t';
    case VK_RETURN: return u'\r';
    case VK_ESCAPE: return 0x1B;
    case VK_BACK: return 0x08;
    case VK_MULTIPLY: return u'*';
    case VK_ADD: return u'+';
    case VK_SUBTRACT: return u'-';
    case VK_DECIMAL: return u'.';
    case VK_DIVIDE: return u'/';
    case VK_OEM_1: return shift ? u':' : u';';
    case VK_OEM_PLUS: return shift ? u'+' : u'=';
    case VK_OEM_COMMA: return shift ? u'<' : u',';
    case VK_OEM_MINUS: return shift ? u'_' : u'-';
    case VK_OEM_PERIOD: return shift ? u'>' : u'.';
    case VK_OEM_2: return shift ? u'?' : u'/';
    case VK_OEM_3: return shift ? u'~' : u'`';
    case VK_OEM_4: return shift ? u'{' : u'[';
    case VK_OEM_5: return shift ? u'|' : u'\\';
    case VK_OEM_6: return shift ? u'}' : u']';
    case VK_OEM_7: return shift ? u'"' : u'\'';
    default: *ok = false; return 0;
  }
}

namespace {

// ---------------------------------------------------------------------------------------
// Button

struct ButtonState : ControlState {
  HFONT font = nullptr;
  UINT check = BST_UNCHECKED;
  bool pushed = false;
  bool focused = false;
  bool tracking = false;  // pressed by the mouse or the space bar, capture held
  HANDLE image = nullptr;
};

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<ButtonState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) SetState(hwnd, std::make_shared<ButtonState>());
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  const DWORD style = StyleOf(hwnd);
  const UINT type = style & BS_TYPEMASK;
  auto click = [&] {
    switch (type) {
      case BS_AUTOCHECKBOX: st->check = st->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED; break;
      case BS_AUTO3STATE: st->check = (st->check + 1) % 3; break;
      case BS_AUTORADIOBUTTON: st->check = BST_CHECKED; break;
      default: break;
    }
    NotifyParent(hwnd, BN_CLICKED);
  };
  auto endPress = [&](bool inside) {
    st->tracking = false;
    const bool wasPushed = st->pushed;
    st->pushed = false;
    if (GetCapture() == hwnd) ReleaseCapture();
    InvalidateRect(hwnd, nullptr, FALSE);
    if (inside && wasPushed) click();
  };
  switch (msg) {
    case WM_SETFONT:
      st->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(st->font);
    case WM_SETTEXT: {
      const LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case BM_GETCHECK: return st->check;
    case BM_SETCHECK:
      if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON && type != BS_GROUPBOX && type != BS_OWNERDRAW) {
        st->check = static_cast<UINT>(wp) & 3;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case BM_GETSTATE:
      return st->check | (st->pushed ? BST_PUSHED : 0) | (st->focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
      st->pushed = wp != 0;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case BM_SETSTYLE:
      SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>((style & ~static_cast<DWORD>(BS_TYPEMASK)) | (wp & BS_TYPEMASK)));
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case BM_SETIMAGE: {
      HANDLE old = st->image;
      st->image = reinterpret_cast<HANDLE>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE: return reinterpret_cast<LRESULT>(st->image);
    case BM_CLICK:
      if (!IsWindowEnabled(hwnd)) return 0;
      SendMessageW(hwnd, WM_LBUTTONDOWN, 0, 0);
      SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case WM_LBUTTONDBLCLK:
      if ((style & BS_NOTIFY) || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON || type == BS_USERBUTTON ||
          type == BS_OWNERDRAW) {
        NotifyParent(hwnd, BN_DOUBLECLICKED);
        return 0;
      }
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      if (GetFocus() != hwnd) SetFocus(hwnd);
      SetCapture(hwnd);
      st->tracking = true;
      st->pushed = true;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_MOUSEMOVE:
      if (st->tracking && GetCapture() == hwnd) {
        RECT r;
        GetClientRect(hwnd, &r);
        const bool inside = PtInRect(&r, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        if (inside != st->pushed) {
          st->pushed = inside;
          InvalidateRect(hwnd, nullptr, FALSE);
        }
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!st->tracking) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      endPress(PtInRect(&r, p) || (IsRectEmpty(&r) && p.x == 0 && p.y == 0));
      return 0;
    }
    case WM_KEYDOWN:
      if (wp == VK_SPACE && !st->tracking) {
        st->tracking = true;
        st->pushed = true;
        SetCapture(hwnd);
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE && st->tracking) endPress(true);
      return 0;
    case WM_CAPTURECHANGED:
      if (st->tracking && reinterpret_cast<HWND>(lp) != hwnd) {
        st->tracking = false;
        st->pushed = false;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_SETFOCUS:
      st->focused = true;
      if (style & BS_NOTIFY) NotifyParent(hwnd, BN_SETFOCUS);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_KILLFOCUS:
      st->focused = false;
      if (style & BS_NOTIFY) NotifyParent(hwnd, BN_KILLFOCUS);
      if (st->tracking && GetCapture() == hwnd) ReleaseCapture();
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETDLGCODE:
      if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      if (type == BS_GROUPBOX) return DLGC_STATIC;
      return DLGC_BUTTON;
    case WM_NCHITTEST:
      if (type == BS_GROUPBOX) return HTTRANSPARENT;
      return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      if (type == BS_OWNERDRAW) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = (st->pushed ? ODS_SELECTED : 0) | (st->focused ? ODS_FOCUS : 0) |
                        (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
        dis.hwndItem = hwnd;
        dis.hDC = dc;
        GetClientRect(hwnd, &dis.rcItem);
        if (HWND parent = GetParent(hwnd)) {
          SendMessageW(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        }
        EndPaint(hwnd, &ps);
        return 0;
      }
      const bool pushLike = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || (style & BS_PUSHLIKE);
      PaintFilledText(hwnd, pushLike ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC, st->font, TextOf(hwnd),
                      pushLike ? DT_CENTER | DT_VCENTER | DT_SINGLELINE : DT_LEFT | DT_VCENTER | DT_SINGLELINE);
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---------------------------------------------------------------------------------------
// Static

struct StaticState : ControlState {
  HFONT font = nullptr;
  HANDLE image = nullptr;
  HICON icon = nullptr;
};

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<StaticState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) SetState(hwnd, std::make_shared<StaticState>());
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  const DWORD style = StyleOf(hwnd);
  switch (msg) {
    case WM_NCHITTEST:
      return (style & SS_NOTIFY) ? DefWindowProcW(hwnd, msg, wp, lp) : HTTRANSPARENT;
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      if (style & SS_NOTIFY) NotifyParent(hwnd, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDBLCLK:
      if (style & SS_NOTIFY) NotifyParent(hwnd, STN_DBLCLK);
      return 0;
    case WM_ENABLE:
      if (style & SS_NOTIFY) NotifyParent(hwnd, wp ? STN_ENABLE : STN_DISABLE);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_SETFONT:
      st->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(st->font);
    case WM_SETTEXT: {
      const LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case STM_SETICON: {
      HICON old = st->icon;
      st->icon = reinterpret_cast<HICON>(wp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON: return reinterpret_cast<LRESULT>(st->icon);
    case STM_SETIMAGE: {
      HANDLE old = wp == IMAGE_ICON ? st->icon : st->image;
      if (wp == IMAGE_ICON) st->icon = reinterpret_cast<HICON>(lp);
      else st->image = reinterpret_cast<HANDLE>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE: return reinterpret_cast<LRESULT>(wp == IMAGE_ICON ? st->icon : st->image);
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      const UINT type = style & SS_TYPEMASK;
      if (type == SS_OWNERDRAW) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_STATIC;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        dis.itemAction = ODA_DRAWENTIRE;
        dis.hwndItem = hwnd;
        dis.hDC = dc;
        GetClientRect(hwnd, &dis.rcItem);
        if (HWND parent = GetParent(hwnd)) SendMessageW(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        EndPaint(hwnd, &ps);
        return 0;
      }
      const bool textual = type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
      UINT format = DT_NOCLIP | (type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT);
      if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) format |= DT_WORDBREAK;
      if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
      if (style & SS_CENTERIMAGE) format |= DT_VCENTER | DT_SINGLELINE;
      PaintFilledText(hwnd, WM_CTLCOLORSTATIC, st->font, textual ? TextOf(hwnd) : std::u16string(), format);
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---------------------------------------------------------------------------------------
// Edit

struct EditState : ControlState {
  HFONT font = nullptr;
  std::u16string text;
  std::size_t selStart = 0;
  std::size_t selEnd = 0;
  bool modified = false;
  std::size_t limit = 0x7FFFFFFE;
};

// Start index of each line (lines end at "\r\n" in a multi-line edit).
std::vector<std::size_t> LineStarts(const std::u16string& t, bool multiline) {
  std::vector<std::size_t> starts{0};
  if (!multiline) return starts;
  for (std::size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i] == u'\r' && t[i + 1] == u'\n') starts.push_back(i + 2);
  }
  return starts;
}

std::size_t LineEnd(const std::u16string& t, const std::vector<std::size_t>& starts, std::size_t line) {
  if (line + 1 < starts.size()) return starts[line + 1] - 2;
  return t.size();
}

std::size_t LineOf(const std::vector<std::size_t>& starts, std::size_t index) {
  std::size_t line = 0;
  while (line + 1 < starts.size() && starts[line + 1] <= index) ++line;
  return line;
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<EditState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) {
      auto s = std::make_shared<EditState>();
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) s->text = FromPtr(cs->lpszName);
      SetState(hwnd, s);
      return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  const DWORD style = StyleOf(hwnd);
  const bool multiline = (style & ES_MULTILINE) != 0;
  auto changed = [&] {
    st->modified = true;
    InvalidateRect(hwnd, nullptr, TRUE);
    NotifyParent(hwnd, EN_UPDATE);
    NotifyParent(hwnd, EN_CHANGE);
  };
  // Replaces the selection; false when the limit does not allow it.
  auto replace = [&](const std::u16string& with) {
    const std::size_t a = std::min(st->selStart, st->selEnd), b = std::max(st->selStart, st->selEnd);
    if (st->text.size() - (b - a) + with.size() > st->limit && !with.empty()) {
      NotifyParent(hwnd, EN_MAXTEXT);
      return false;
    }
    st->text.replace(a, b - a, with);
    st->selStart = st->selEnd = a + with.size();
    return true;
  };
  switch (msg) {
    case WM_SETTEXT: {
      st->text = FromPtr(reinterpret_cast<LPCWSTR>(lp));
      if (st->text.size() > st->limit) st->text.resize(st->limit);
      st->selStart = st->selEnd = 0;
      st->modified = false;
      {
        Lock lock(S().mutex);
        if (auto w = FindWindowLocked(hwnd)) w->text = st->text;
      }
      InvalidateRect(hwnd, nullptr, TRUE);
      if (!multiline) {
        NotifyParent(hwnd, EN_UPDATE);
        NotifyParent(hwnd, EN_CHANGE);
      }
      return TRUE;
    }
    case WM_GETTEXT: return CopyOut(st->text, reinterpret_cast<LPWSTR>(lp), static_cast<int>(wp));
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(st->text.size());
    case WM_SETFONT:
      st->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(st->font);
    case EM_GETSEL: {
      const auto a = static_cast<DWORD>(std::min(st->selStart, st->selEnd));
      const auto b = static_cast<DWORD>(std::max(st->selStart, st->selEnd));
      if (wp) *reinterpret_cast<DWORD*>(wp) = a;
      if (lp) *reinterpret_cast<DWORD*>(lp) = b;
      return MAKELRESULT(std::min<DWORD>(a, 0xFFFF), std::min<DWORD>(b, 0xFFFF));
    }
    case EM_SETSEL: {
      const auto n = static_cast<long long>(st->text.size());
      long long a = static_cast<int>(wp), b = static_cast<int>(lp);
      if (a == -1) {
        st->selStart = st->selEnd = std::max(st->selStart, st->selEnd);
        return 0;
      }
      if (a < 0 || a > n) a = n;
      if (b < 0 || b > n) b = n;
      st->selStart = static_cast<std::size_t>(std::min(a, b));
      st->selEnd = static_cast<std::size_t>(std::max(a, b));
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case EM_REPLACESEL:
      if (replace(FromPtr(reinterpret_cast<LPCWSTR>(lp)))) changed();
      return 0;
    case EM_SETREADONLY:
      SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(wp ? style | ES_READONLY : style & ~static_cast<DWORD>(ES_READONLY)));
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    case EM_GETMODIFY: return st->modified;
    case EM_SETMODIFY: st->modified = wp != 0; return 0;
    case EM_LIMITTEXT: st->limit = wp ? wp : 0x7FFFFFFE; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(st->limit);
    case EM_GETLINECOUNT: return static_cast<LRESULT>(LineStarts(st->text, multiline).size());
    case EM_LINEINDEX: {
      const auto starts = LineStarts(st->text, multiline);
      const auto line = static_cast<long long>(static_cast<int>(wp)) == -1 ? LineOf(starts, st->selEnd) : wp;
      if (line >= starts.size()) return -1;
      return static_cast<LRESULT>(starts[line]);
    }
    case EM_LINEFROMCHAR: {
      const auto starts = LineStarts(st->text, multiline);
      const std::size_t index = static_cast<int>(wp) == -1 ? st->selEnd : std::min<std::size_t>(wp, st->text.size());
      return static_cast<LRESULT>(LineOf(starts, index));
    }
    case EM_LINELENGTH: {
      const auto starts = LineStarts(st->text, multiline);
      const std::size_t index = static_cast<int>(wp) == -1 ? st->selEnd : wp;
      if (index > st->text.size()) return 0;
      const std::size_t line = LineOf(starts, index);
      return static_cast<LRESULT>(LineEnd(st->text, starts, line) - starts[line]);
    }
    case EM_GETLINE: {
      auto* buf = reinterpret_cast<WCHAR*>(lp);
      if (!buf) return 0;
      const WORD max = static_cast<WORD>(buf[0]);
      const auto starts = LineStarts(st->text, multiline);
      const std::size_t line = multiline ? wp : 0;
      if (line >= starts.size()) return 0;
      const std::size_t len = LineEnd(st->text, starts, line) - starts[line];
      const std::size_t n = std::min<std::size_t>(len, max);
      std::copy_n(st->text.data() + starts[line], n, buf);
      if (n < max) buf[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case EM_CANUNDO:
    case EM_UNDO:
    case EM_SETMARGINS:
    case EM_GETMARGINS:
    case EM_SETTABSTOPS:
    case EM_GETFIRSTVISIBLELINE:
      return 0;
    case EM_EMPTYUNDOBUFFER: return 0;
    case EM_SCROLLCARET: return TRUE;
    case WM_CLEAR:
    case WM_CUT:
      if (!(style & ES_READONLY) && st->selStart != st->selEnd && replace(u"")) changed();
      return 0;
    case WM_CHAR: {
      if (style & ES_READONLY) return 0;
      const auto ch = static_cast<WCHAR>(wp);
      if (ch == 0x08) {
        if (st->selStart == st->selEnd) {
          if (st->selStart == 0) return 0;
          std::size_t from = st->selStart - 1;
          if (multiline && from > 0 && st->text[from] == u'\n' && st->text[from - 1] == u'\r') --from;
          st->selStart = from;
        }
        if (replace(u"")) changed();
        return 0;
      }
      if (ch == u'\r' || ch == u'\n') {
        if (multiline && replace(u"\r\n")) changed();
        return 0;
      }
      if (ch == u'\t') {
        if (multiline && replace(u"\t")) changed();
        return 0;
      }
      if (ch < 0x20) return 0;
      if ((style & ES_NUMBER) && (ch < u'0' || ch > u'9')) return 0;
      std::u16string s(1, ch);
      if (style & ES_UPPERCASE) s = Upper(s);
      if ((style & ES_LOWERCASE) && ch >= u'A' && ch <= u'Z') s[0] = static_cast<WCHAR>(ch - u'A' + u'a');
      if (replace(s)) changed();
      return 0;
    }
    case WM_KEYDOWN: {
      const bool shift = GetKeyState(VK_SHIFT) < 0;
      std::size_t caret = st->selEnd;
      switch (wp) {
        case VK_LEFT: if (caret > 0) --caret; break;
        case VK_RIGHT: if (caret < st->text.size()) ++caret; break;
        case VK_HOME: caret = 0; break;
        case VK_END: caret = st->text.size(); break;
        case VK_DELETE:
          if (style & ES_READONLY) return 0;
          if (st->selStart == st->selEnd) {
            if (st->selEnd >= st->text.size()) return 0;
            st->selEnd++;
          }
          if (replace(u"")) changed();
          return 0;
        default: return 0;
      }
      st->selEnd = caret;
      if (!shift) st->selStart = caret;
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      if (GetFocus() != hwnd) SetFocus(hwnd);
      const FontMetric m = MetricOf(st->font);
      const int x = std::max(0, static_cast<int>(GET_X_LPARAM(lp)));
      const std::size_t caret = std::min<std::size_t>(static_cast<std::size_t>((x + m.charWidth / 2) / m.charWidth), st->text.size());
      if (!multiline) st->selStart = st->selEnd = caret;
      return 0;
    }
    case WM_SETFOCUS:
      NotifyParent(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      NotifyParent(hwnd, EN_KILLFOCUS);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if (multiline) code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      const bool grey = (style & ES_READONLY) || !IsWindowEnabled(hwnd);
      std::u16string shown = st->text;
      if (style & ES_PASSWORD) shown.assign(shown.size(), u'*');
      PaintFilledText(hwnd, grey ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, st->font, shown,
                      DT_NOPREFIX | (multiline ? DT_WORDBREAK : DT_SINGLELINE));
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---------------------------------------------------------------------------------------
// Progress bar

struct ProgressState : ControlState {
  HFONT font = nullptr;
  int low = 0, high = 100, pos = 0, step = 10;
  COLORREF bar = CLR_DEFAULT, back = CLR_DEFAULT;
  int state = 1;  // PBST_NORMAL
};

void FillColor(HDC dc, const RECT& r, COLORREF c) {
  HBRUSH b = CreateSolidBrush(c);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<ProgressState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) SetState(hwnd, std::make_shared<ProgressState>());
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  auto clampPos = [&](int p) { return std::clamp(p, std::min(st->low, st->high), std::max(st->low, st->high)); };
  auto setPos = [&](int p) {
    const int old = st->pos;
    st->pos = clampPos(p);
    if (st->pos != old) InvalidateRect(hwnd, nullptr, FALSE);
    return old;
  };
  switch (msg) {
    case PBM_SETRANGE: {
      const LRESULT old = MAKELRESULT(st->low, st->high);
      st->low = LOWORD(lp);
      st->high = HIWORD(lp);
      st->pos = clampPos(st->pos);
      InvalidateRect(hwnd, nullptr, TRUE);
      return old;
    }
    case PBM_SETRANGE32: {
      const LRESULT old = MAKELRESULT(st->low, st->high);
      st->low = static_cast<int>(wp);
      st->high = static_cast<int>(lp);
      st->pos = clampPos(st->pos);
      InvalidateRect(hwnd, nullptr, TRUE);
      return old;
    }
    case PBM_GETRANGE:
      if (lp) *reinterpret_cast<PBRANGE*>(lp) = PBRANGE{st->low, st->high};
      return wp ? st->low : st->high;
    case PBM_SETPOS: return setPos(static_cast<int>(wp));
    case PBM_GETPOS: return st->pos;
    case PBM_DELTAPOS: return setPos(st->pos + static_cast<int>(wp));
    case PBM_SETSTEP: {
      const int old = st->step;
      st->step = static_cast<int>(wp);
      return old;
    }
    case PBM_GETSTEP: return st->step;
    case PBM_STEPIT: {
      int p = st->pos + st->step;
      if (st->high > st->low && p > st->high) p = st->low + (p - st->high);
      if (st->high > st->low && p < st->low) p = st->high - (st->low - p);
      return setPos(p);
    }
    case PBM_SETBARCOLOR: {
      const COLORREF old = st->bar;
      st->bar = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, FALSE);
      return old;
    }
    case PBM_GETBARCOLOR: return st->bar;
    case CCM_SETBKCOLOR: {
      const COLORREF old = st->back;
      st->back = static_cast<COLORREF>(lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return old;
    }
    case PBM_GETBKCOLOR: return st->back;
    case PBM_SETSTATE: {
      const int old = st->state;
      st->state = static_cast<int>(wp);
      return old;
    }
    case PBM_GETSTATE: return st->state;
    case PBM_SETMARQUEE: return TRUE;
    case WM_SETFONT: st->font = reinterpret_cast<HFONT>(wp); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(st->font);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      FillColor(dc, r, st->back == CLR_DEFAULT ? GetSysColor(COLOR_3DFACE) : st->back);
      const int range = st->high - st->low;
      if (range > 0 && st->pos > st->low) {
        RECT bar = r;
        bar.right = r.left + static_cast<LONG>(static_cast<long long>(r.right - r.left) * (st->pos - st->low) / range);
        if (bar.right > bar.left) FillColor(dc, bar, st->bar == CLR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : st->bar);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---------------------------------------------------------------------------------------
// Tooltip

struct Tool {
  UINT flags = 0;
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  RECT rect{};
  HINSTANCE hinst = nullptr;
  std::u16string text;
  bool callback = false;
  LPARAM lParam = 0;
};

struct TooltipState : ControlState {
  HFONT font = nullptr;
  std::vector<Tool> tools;  // guarded by the window system's lock (read by the test controls)
  std::u16string title;
  UINT_PTR titleIcon = 0;
  COLORREF textColor = 0, bkColor = 0;
  int delays[4] = {500, 500, 5000, 500};  // automatic, reshow, autopop, initial
  RECT margin{};
  int maxWidth = -1;
  bool active = true;
  bool tracking = false;
  POINT trackPos{};
};

Tool FromInfo(const TTTOOLINFOW& ti) {
  Tool t;
  t.flags = ti.uFlags;
  t.hwnd = ti.hwnd;
  t.id = ti.uId;
  t.rect = ti.rect;
  t.hinst = ti.hinst;
  if (ti.lpszText == LPSTR_TEXTCALLBACKW) t.callback = true;
  else if (!IS_INTRESOURCE(ti.lpszText)) t.text = FromPtr(ti.lpszText);
  if (ti.cbSize >= TTTOOLINFOW_V2_SIZE) t.lParam = ti.lParam;
  return t;
}

LRESULT CALLBACK TooltipProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<TooltipState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) {
      auto s = std::make_shared<TooltipState>();
      s->textColor = GetSysColor(COLOR_INFOTEXT);
      s->bkColor = GetSysColor(COLOR_INFOBK);
      SetState(hwnd, s);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  auto* ti = reinterpret_cast<TTTOOLINFOW*>(lp);
  auto find = [&](const TTTOOLINFOW& info) {
    return std::find_if(st->tools.begin(), st->tools.end(),
                        [&](const Tool& t) { return t.hwnd == info.hwnd && t.id == info.uId; });
  };
  auto validInfo = [&] { return ti && ti->cbSize >= TTTOOLINFOW_V1_SIZE; };
  switch (msg) {
    case TTM_ADDTOOLW: {
      if (!validInfo()) return FALSE;
      Lock lock(S().mutex);
      st->tools.push_back(FromInfo(*ti));
      return TRUE;
    }
    case TTM_DELTOOLW: {
      if (!validInfo()) return 0;
      Lock lock(S().mutex);
      auto it = find(*ti);
      if (it != st->tools.end()) st->tools.erase(it);
      return 0;
    }
    case TTM_UPDATETIPTEXTW: {
      if (!validInfo()) return 0;
      Lock lock(S().mutex);
      auto it = find(*ti);
      if (it != st->tools.end()) {
        it->callback = ti->lpszText == LPSTR_TEXTCALLBACKW;
        it->text = it->callback || IS_INTRESOURCE(ti->lpszText) ? std::u16string() : FromPtr(ti->lpszText);
      }
      return 0;
    }
    case TTM_NEWTOOLRECTW: {
      if (!validInfo()) return 0;
      Lock lock(S().mutex);
      auto it = find(*ti);
      if (it != st->tools.end()) it->rect = ti->rect;
      return 0;
    }
    case TTM_GETTOOLINFOW:
    case TTM_GETTEXTW: {
      if (!validInfo()) return FALSE;
      Lock lock(S().mutex);
      auto it = find(*ti);
      if (it == st->tools.end()) return FALSE;
      if (msg == TTM_GETTEXTW) {
        if (ti->lpszText) CopyOut(it->text, ti->lpszText, static_cast<int>(wp ? wp : 80));
        return TRUE;
      }
      ti->uFlags = it->flags;
      ti->rect = it->rect;
      ti->hinst = it->hinst;
      if (ti->cbSize >= TTTOOLINFOW_V2_SIZE) ti->lParam = it->lParam;
      return TRUE;
    }
    case TTM_GETTOOLCOUNT: {
      Lock lock(S().mutex);
      return static_cast<LRESULT>(st->tools.size());
    }
    case TTM_SETTITLEW:
      st->titleIcon = wp;
      st->title = FromPtr(reinterpret_cast<LPCWSTR>(lp));
      return TRUE;
    case TTM_SETTIPTEXTCOLOR: st->textColor = static_cast<COLORREF>(wp); return 0;
    case TTM_SETTIPBKCOLOR: st->bkColor = static_cast<COLORREF>(wp); return 0;
    case TTM_GETTIPTEXTCOLOR: return st->textColor;
    case TTM_GETTIPBKCOLOR: return st->bkColor;
    case TTM_SETDELAYTIME: {
      const int t = static_cast<short>(LOWORD(lp));
      if (wp == TTDT_AUTOMATIC) {
        const int base = t < 0 ? 500 : t;
        st->delays[TTDT_AUTOMATIC] = base;
        st->delays[TTDT_INITIAL] = base;
        st->delays[TTDT_RESHOW] = base / 5;
        st->delays[TTDT_AUTOPOP] = base * 10;
      } else if (wp <= TTDT_INITIAL) {
        static const int defaults[4] = {500, 100, 5000, 500};
        st->delays[wp] = t < 0 ? defaults[wp] : t;
      }
      return 0;
    }
    case TTM_GETDELAYTIME: return wp <= TTDT_INITIAL ? st->delays[wp] : 0;
    case TTM_SETMARGIN:
      if (lp) st->margin = *reinterpret_cast<const RECT*>(lp);
      return 0;
    case TTM_GETMARGIN:
      if (lp) *reinterpret_cast<RECT*>(lp) = st->margin;
      return 0;
    case TTM_SETMAXTIPWIDTH: {
      const int old = st->maxWidth;
      st->maxWidth = static_cast<int>(lp);
      return old;
    }
    case TTM_GETMAXTIPWIDTH: return st->maxWidth;
    case TTM_ACTIVATE: st->active = wp != 0; return 0;
    case TTM_TRACKACTIVATE:
      st->tracking = wp != 0;
      if (st->tracking) {
        SetWindowPos(hwnd, HWND_TOPMOST, st->trackPos.x, st->trackPos.y, 0, 0,
                     SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
      } else {
        ShowWindow(hwnd, SW_HIDE);
      }
      return 0;
    case TTM_TRACKPOSITION:
      st->trackPos = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (st->tracking) {
        SetWindowPos(hwnd, nullptr, st->trackPos.x, st->trackPos.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    case TTM_POP:
      ShowWindow(hwnd, SW_HIDE);
      return 0;
    case TTM_UPDATE:
    case TTM_RELAYEVENT:
      return 0;
    case WM_SETFONT: st->font = reinterpret_cast<HFONT>(wp); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(st->font);
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      FillColor(dc, r, st->bkColor);
      std::u16string text;
      {
        Lock lock(S().mutex);
        if (!st->tools.empty()) text = st->tools.front().text;
      }
      if (!text.empty()) {
        SetTextColor(dc, st->textColor);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_NOPREFIX);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

void AddSystemClassLocked(const char16_t* name, UINT style, WNDPROC proc) {
  auto c = std::make_shared<WndClass>();
  c->name = name;
  c->key = Upper(name);
  c->atom = S().nextAtom++;
  c->style = style;
  c->proc = proc;
  c->system = true;
  S().classes.push_back(c);
}

}  // namespace

void RegisterSystemClassesLocked() {
  AddSystemClassLocked(u"Button", CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW, ButtonProc);
  AddSystemClassLocked(u"Static", CS_DBLCLKS | CS_PARENTDC, StaticProc);
  AddSystemClassLocked(u"Edit", CS_DBLCLKS | CS_PARENTDC, EditProc);
  AddSystemClassLocked(u"ComboBox", CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW, ComboBoxProc);
  AddSystemClassLocked(u"ComboLBox", CS_DBLCLKS | CS_SAVEBITS, ComboListProc);
  AddSystemClassLocked(u"msctls_progress32", CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW, ProgressProc);
  AddSystemClassLocked(u"tooltips_class32", CS_GLOBALCLASS | CS_DBLCLKS | CS_SAVEBITS, TooltipProc);
}

}  // namespace zorv::winsys

namespace zorv::headless {

int TooltipToolCount(HWND tooltip) {
  auto st = winsys::StateOf<winsys::TooltipState>(tooltip);
  if (!st) return -1;
  winsys::Lock lock(winsys::S().mutex);
  return static_cast<int>(st->tools.size());
}

std::u16string TooltipText(HWND tooltip, HWND toolWindow, UINT_PTR id) {
  auto st = winsys::StateOf<winsys::TooltipState>(tooltip);
  if (!st) return {};
  winsys::Lock lock(winsys::S().mutex);
  for (const auto& t : st->tools) {
    if (t.hwnd == toolWindow && t.id == id) return t.text;
  }
  return {};
}

}  // namespace zorv::headless
