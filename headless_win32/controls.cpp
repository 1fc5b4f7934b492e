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

LRESULT FontMessage(HFONT& font, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETFONT) return reinterpret_cast<LRESULT>(font);
  font = reinterpret_cast<HFONT>(wp);
  if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
  return 0;
}

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
// Button: push buttons (the library makes no other kind), clicked by the mouse, the space
// bar or BM_CLICK.

struct ButtonState : ControlState {
  HFONT font = nullptr;
  bool pushed = false;
  bool tracking = false;  // pressed by the mouse or the space bar, capture held
};

void Press(HWND hwnd, ButtonState& st) {
  st.tracking = true;
  st.pushed = true;
  SetCapture(hwnd);
  InvalidateRect(hwnd, nullptr, FALSE);
}

void EndPress(HWND hwnd, ButtonState& st, bool inside) {
  st.tracking = false;
  const bool wasPushed = st.pushed;
  st.pushed = false;
  if (GetCapture() == hwnd) ReleaseCapture();
  InvalidateRect(hwnd, nullptr, FALSE);
  if (inside && wasPushed) NotifyParent(hwnd, BN_CLICKED);
}

LRESULT ButtonMouse(HWND hwnd, ButtonState& st, UINT msg, LPARAM lp) {
  RECT r;
  GetClientRect(hwnd, &r);
  const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (GetFocus() != hwnd) SetFocus(hwnd);
      Press(hwnd, st);
      return 0;
    case WM_MOUSEMOVE:
      if (st.tracking && GetCapture() == hwnd && PtInRect(&r, p) != st.pushed) {
        st.pushed = !st.pushed;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP:
      // BM_CLICK's release comes at (0, 0), inside even a button of no size.
      if (st.tracking) EndPress(hwnd, st, PtInRect(&r, p) || (p.x == 0 && p.y == 0));
      return 0;
    default:  // WM_CAPTURECHANGED
      if (st.tracking && reinterpret_cast<HWND>(lp) != hwnd) {
        st.tracking = false;
        st.pushed = false;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
  }
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<ButtonState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) SetState(hwnd, std::make_shared<ButtonState>());
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  const DWORD style = StyleOf(hwnd);
  switch (msg) {
    case WM_SETFONT:
    case WM_GETFONT: return FontMessage(st->font, hwnd, msg, wp, lp);
    case WM_SETTEXT: {
      const LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case BM_SETSTYLE:
      SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG>((style & ~static_cast<DWORD>(BS_TYPEMASK)) | (wp & BS_TYPEMASK)));
      if (lp) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case BM_CLICK:
      if (!IsWindowEnabled(hwnd)) return 0;
      SendMessageW(hwnd, WM_LBUTTONDOWN, 0, 0);
      SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: return ButtonMouse(hwnd, *st, msg, lp);
    case WM_KEYDOWN:
      if (wp == VK_SPACE && !st->tracking) Press(hwnd, *st);
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE && st->tracking) EndPress(hwnd, *st, true);
      return 0;
    case WM_KILLFOCUS:
      if (st->tracking && GetCapture() == hwnd) ReleaseCapture();
      [[fallthrough]];
    case WM_SETFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      const UINT type = style & BS_TYPEMASK;
      const bool pushLike = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || (style & BS_PUSHLIKE);
      PaintFilledText(hwnd, pushLike ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC, st->font, TextOf(hwnd),
                      pushLike ? DT_CENTER | DT_VCENTER | DT_SINGLELINE : DT_LEFT | DT_VCENTER | DT_SINGLELINE);
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---------------------------------------------------------------------------------------
// Static: text, transparent to the mouse unless SS_NOTIFY makes it report clicks.

struct StaticState : ControlState {
  HFONT font = nullptr;
};

void PaintStatic(HWND hwnd, DWORD style, HFONT font) {
  const UINT type = style & SS_TYPEMASK;
  const bool textual = type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
  UINT format = DT_NOCLIP | (type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT);
  if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) format |= DT_WORDBREAK;
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  if (style & SS_CENTERIMAGE) format |= DT_VCENTER | DT_SINGLELINE;
  PaintFilledText(hwnd, WM_CTLCOLORSTATIC, font, textual ? TextOf(hwnd) : std::u16string(), format);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<StaticState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) SetState(hwnd, std::make_shared<StaticState>());
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  const DWORD style = StyleOf(hwnd);
  const bool notify = (style & SS_NOTIFY) != 0;
  switch (msg) {
    case WM_NCHITTEST: return notify ? DefWindowProcW(hwnd, msg, wp, lp) : HTTRANSPARENT;
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      if (notify) NotifyParent(hwnd, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDBLCLK:
      if (notify) NotifyParent(hwnd, STN_DBLCLK);
      return 0;
    case WM_ENABLE:
      if (notify) NotifyParent(hwnd, wp ? STN_ENABLE : STN_DISABLE);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_SETFONT:
    case WM_GETFONT: return FontMessage(st->font, hwnd, msg, wp, lp);
    case WM_SETTEXT: {
      const LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintStatic(hwnd, style, st->font); return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---------------------------------------------------------------------------------------
// Edit: the text, the selection, lines ("\r\n") of a multi-line edit, typing and the
// caret keys.

struct EditState : ControlState {
  HFONT font = nullptr;
  std::u16string text;
  std::size_t selStart = 0;
  std::size_t selEnd = 0;
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

void EditChanged(HWND hwnd) {
  InvalidateRect(hwnd, nullptr, TRUE);
  NotifyParent(hwnd, EN_UPDATE);
  NotifyParent(hwnd, EN_CHANGE);
}

// Replaces the selection; the caret goes after the new text.
void ReplaceSelection(EditState& st, const std::u16string& with) {
  const std::size_t a = std::min(st.selStart, st.selEnd), b = std::max(st.selStart, st.selEnd);
  st.text.replace(a, b - a, with);
  st.selStart = st.selEnd = a + with.size();
}

// WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH: the edit keeps its own text (and the window's).
LRESULT EditText(HWND hwnd, EditState& st, bool multiline, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETTEXT) return CopyOut(st.text, reinterpret_cast<LPWSTR>(lp), static_cast<int>(wp));
  if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(st.text.size());
  st.text = FromPtr(reinterpret_cast<LPCWSTR>(lp));
  st.selStart = st.selEnd = 0;
  {
    Lock lock(S().mutex);
    if (auto w = FindWindowLocked(hwnd)) w->text = st.text;
  }
  InvalidateRect(hwnd, nullptr, TRUE);
  if (!multiline) {
    NotifyParent(hwnd, EN_UPDATE);
    NotifyParent(hwnd, EN_CHANGE);
  }
  return TRUE;
}

// EM_GETSEL, EM_SETSEL, EM_REPLACESEL.
LRESULT EditSelection(HWND hwnd, EditState& st, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == EM_REPLACESEL) {
    ReplaceSelection(st, FromPtr(reinterpret_cast<LPCWSTR>(lp)));
    EditChanged(hwnd);
    return 0;
  }
  if (msg == EM_GETSEL) {
    const auto a = static_cast<DWORD>(std::min(st.selStart, st.selEnd));
    const auto b = static_cast<DWORD>(std::max(st.selStart, st.selEnd));
    if (wp) *reinterpret_cast<DWORD*>(wp) = a;
    if (lp) *reinterpret_cast<DWORD*>(lp) = b;
    return MAKELRESULT(std::min<DWORD>(a, 0xFFFF), std::min<DWORD>(b, 0xFFFF));
  }
  const auto n = static_cast<long long>(st.text.size());
  long long a = static_cast<int>(wp), b = static_cast<int>(lp);
  if (a == -1) {
    st.selStart = st.selEnd = std::max(st.selStart, st.selEnd);
    return 0;
  }
  if (a < 0 || a > n) a = n;
  if (b < 0 || b > n) b = n;
  st.selStart = static_cast<std::size_t>(std::min(a, b));
  st.selEnd = static_cast<std::size_t>(std::max(a, b));
  InvalidateRect(hwnd, nullptr, FALSE);
  return 0;
}

// EM_GETLINECOUNT, EM_LINEINDEX, EM_LINELENGTH, EM_GETLINE.
LRESULT EditLines(const EditState& st, bool multiline, UINT msg, WPARAM wp, LPARAM lp) {
  const auto starts = LineStarts(st.text, multiline);
  switch (msg) {
    case EM_GETLINECOUNT: return static_cast<LRESULT>(starts.size());
    case EM_LINEINDEX: {
      const auto line = static_cast<int>(wp) == -1 ? LineOf(starts, st.selEnd) : wp;
      return line < starts.size() ? static_cast<LRESULT>(starts[line]) : -1;
    }
    case EM_LINELENGTH: {
      const std::size_t index = static_cast<int>(wp) == -1 ? st.selEnd : wp;
      if (index > st.text.size()) return 0;
      const std::size_t line = LineOf(starts, index);
      return static_cast<LRESULT>(LineEnd(st.text, starts, line) - starts[line]);
    }
    default: {  // EM_GETLINE: the buffer's first WORD holds its size
      auto* buf = reinterpret_cast<WCHAR*>(lp);
      const std::size_t line = multiline ? wp : 0;
      if (!buf || line >= starts.size()) return 0;
      const WORD max = static_cast<WORD>(buf[0]);
      const std::size_t n = std::min<std::size_t>(LineEnd(st.text, starts, line) - starts[line], max);
      std::copy_n(st.text.data() + starts[line], n, buf);
      if (n < max) buf[n] = 0;
      return static_cast<LRESULT>(n);
    }
  }
}

// WM_CHAR: typing replaces the selection (Backspace, Enter and Tab as the style allows).
LRESULT EditChar(HWND hwnd, EditState& st, DWORD style, WCHAR ch) {
  const bool multiline = (style & ES_MULTILINE) != 0;
  if (style & ES_READONLY) return 0;
  std::u16string with(1, ch);
  if (ch == 0x08) {
    if (st.selStart == st.selEnd) {
      if (st.selStart == 0) return 0;
      std::size_t from = st.selStart - 1;
      if (multiline && from > 0 && st.text[from] == u'\n' && st.text[from - 1] == u'\r') --from;
      st.selStart = from;
    }
    with.clear();
  } else if (ch == u'\r' || ch == u'\n' || ch == u'\t') {
    if (!multiline) return 0;
    if (ch != u'\t') with = u"\r\n";
  } else if (ch < 0x20 || ((style & ES_NUMBER) && (ch < u'0' || ch > u'9'))) {
    return 0;
  } else {
    if (style & ES_UPPERCASE) with = Upper(with);
    if ((style & ES_LOWERCASE) && ch >= u'A' && ch <= u'Z') with[0] = static_cast<WCHAR>(ch - u'A' + u'a');
  }
  ReplaceSelection(st, with);
  EditChanged(hwnd);
  return 0;
}

// WM_KEYDOWN: the caret keys (with Shift they extend the selection) and Delete.
LRESULT EditKey(HWND hwnd, EditState& st, DWORD style, WPARAM vk) {
  std::size_t caret = st.selEnd;
  switch (vk) {
    case VK_LEFT: if (caret > 0) --caret; break;
    case VK_RIGHT: if (caret < st.text.size()) ++caret; break;
    case VK_HOME: caret = 0; break;
    case VK_END: caret = st.text.size(); break;
    case VK_DELETE:
      if (style & ES_READONLY) return 0;
      if (st.selStart == st.selEnd) {
        if (st.selEnd >= st.text.size()) return 0;
        st.selEnd++;
      }
      ReplaceSelection(st, u"");
      EditChanged(hwnd);
      return 0;
    default: return 0;
  }
  st.selEnd = caret;
  if (GetKeyState(VK_SHIFT) >= 0) st.selStart = caret;
  InvalidateRect(hwnd, nullptr, FALSE);
  return 0;
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<EditState>(hwnd);
  if (!st) {
    if (msg != WM_NCCREATE) return DefWindowProcW(hwnd, msg, wp, lp);
    auto s = std::make_shared<EditState>();
    auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
    if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) s->text = FromPtr(cs->lpszName);
    SetState(hwnd, s);
    return TRUE;
  }
  const DWORD style = StyleOf(hwnd);
  const bool multiline = (style & ES_MULTILINE) != 0;
  switch (msg) {
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH: return EditText(hwnd, *st, multiline, msg, wp, lp);
    case WM_SETFONT:
    case WM_GETFONT: return FontMessage(st->font, hwnd, msg, wp, lp);
    case EM_GETSEL:
    case EM_SETSEL:
    case EM_REPLACESEL: return EditSelection(hwnd, *st, msg, wp, lp);
    case EM_GETLINECOUNT:
    case EM_LINEINDEX:
    case EM_LINELENGTH:
    case EM_GETLINE: return EditLines(*st, multiline, msg, wp, lp);
    case WM_CHAR: return EditChar(hwnd, *st, style, static_cast<WCHAR>(wp));
    case WM_KEYDOWN: return EditKey(hwnd, *st, style, wp);
    case WM_LBUTTONDOWN: {
      if (GetFocus() != hwnd) SetFocus(hwnd);
      const FontMetric m = MetricOf(st->font);
      const int x = std::max(0, static_cast<int>(GET_X_LPARAM(lp)));
      const std::size_t caret = std::min<std::size_t>(static_cast<std::size_t>((x + m.charWidth / 2) / m.charWidth), st->text.size());
      if (!multiline) st->selStart = st->selEnd = caret;
      return 0;
    }
    case WM_SETFOCUS: NotifyParent(hwnd, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: NotifyParent(hwnd, EN_KILLFOCUS); return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, TRUE); return 0;
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
// Progress bar: range, position and colours.

struct ProgressState : ControlState {
  int low = 0, high = 100, pos = 0;
  COLORREF bar = CLR_DEFAULT, back = CLR_DEFAULT;
};

void FillColor(HDC dc, const RECT& r, COLORREF c) {
  HBRUSH b = CreateSolidBrush(c);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

void PaintProgress(HWND hwnd, const ProgressState& st) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  FillColor(dc, r, st.back == CLR_DEFAULT ? GetSysColor(COLOR_3DFACE) : st.back);
  const int range = st.high - st.low;
  if (range > 0 && st.pos > st.low) {
    RECT bar = r;
    bar.right = r.left + static_cast<LONG>(static_cast<long long>(r.right - r.left) * (st.pos - st.low) / range);
    if (bar.right > bar.left) FillColor(dc, bar, st.bar == CLR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : st.bar);
  }
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<ProgressState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) SetState(hwnd, std::make_shared<ProgressState>());
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  auto clampPos = [&](int p) { return std::clamp(p, std::min(st->low, st->high), std::max(st->low, st->high)); };
  auto swapColor = [&](COLORREF& slot, BOOL erase) {
    const COLORREF old = slot;
    slot = static_cast<COLORREF>(lp);
    InvalidateRect(hwnd, nullptr, erase);
    return old;
  };
  switch (msg) {
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
    case PBM_SETPOS: {
      const int old = st->pos;
      st->pos = clampPos(static_cast<int>(wp));
      if (st->pos != old) InvalidateRect(hwnd, nullptr, FALSE);
      return old;
    }
    case PBM_GETPOS: return st->pos;
    case PBM_SETBARCOLOR: return swapColor(st->bar, FALSE);
    case PBM_GETBARCOLOR: return st->bar;
    case CCM_SETBKCOLOR: return swapColor(st->back, TRUE);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintProgress(hwnd, *st); return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// ---------------------------------------------------------------------------------------
// Tooltip: its tools and their texts, colours, delays, and the tracking position.

struct Tool {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  std::u16string text;
};

struct TooltipState : ControlState {
  HFONT font = nullptr;
  std::vector<Tool> tools;  // guarded by the window system's lock (read by the test controls)
  COLORREF textColor = 0, bkColor = 0;
  int delays[4] = {500, 500, 5000, 500};  // automatic, reshow, autopop, initial
  bool tracking = false;
  POINT trackPos{};
};

std::u16string ToolText(LPCWSTR text) {
  return text == LPSTR_TEXTCALLBACKW || IS_INTRESOURCE(text) ? std::u16string() : FromPtr(text);
}

// TTM_ADDTOOLW, TTM_DELTOOLW, TTM_UPDATETIPTEXTW, TTM_GETTEXTW, TTM_GETTOOLCOUNT.
LRESULT TooltipTools(TooltipState& st, UINT msg, WPARAM wp, LPARAM lp) {
  Lock lock(S().mutex);
  if (msg == TTM_GETTOOLCOUNT) return static_cast<LRESULT>(st.tools.size());
  auto* ti = reinterpret_cast<TTTOOLINFOW*>(lp);
  if (!ti || ti->cbSize < TTTOOLINFOW_V1_SIZE) return FALSE;
  if (msg == TTM_ADDTOOLW) {
    st.tools.push_back(Tool{ti->hwnd, ti->uId, ToolText(ti->lpszText)});
    return TRUE;
  }
  auto it = std::find_if(st.tools.begin(), st.tools.end(), [&](const Tool& t) { return t.hwnd == ti->hwnd && t.id == ti->uId; });
  if (it == st.tools.end()) return FALSE;
  switch (msg) {
    case TTM_DELTOOLW: st.tools.erase(it); return 0;
    case TTM_UPDATETIPTEXTW: it->text = ToolText(ti->lpszText); return 0;
    default:  // TTM_GETTEXTW
      if (ti->lpszText) CopyOut(it->text, ti->lpszText, static_cast<int>(wp ? wp : 80));
      return TRUE;
  }
}

// TTM_TRACKACTIVATE, TTM_TRACKPOSITION: a tracking tooltip shows where it is told.
LRESULT TooltipTracking(HWND hwnd, TooltipState& st, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == TTM_TRACKPOSITION) {
    st.trackPos = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (st.tracking) {
      SetWindowPos(hwnd, nullptr, st.trackPos.x, st.trackPos.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return 0;
  }
  st.tracking = wp != 0;
  if (st.tracking) {
    SetWindowPos(hwnd, HWND_TOPMOST, st.trackPos.x, st.trackPos.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  } else {
    ShowWindow(hwnd, SW_HIDE);
  }
  return 0;
}

void PaintTooltip(HWND hwnd, const TooltipState& st) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  FillColor(dc, r, st.bkColor);
  std::u16string text;
  {
    Lock lock(S().mutex);
    if (!st.tools.empty()) text = st.tools.front().text;
  }
  if (!text.empty()) {
    SetTextColor(dc, st.textColor);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_NOPREFIX);
  }
  EndPaint(hwnd, &ps);
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
  switch (msg) {
    case TTM_ADDTOOLW:
    case TTM_DELTOOLW:
    case TTM_UPDATETIPTEXTW:
    case TTM_GETTEXTW:
    case TTM_GETTOOLCOUNT: return TooltipTools(*st, msg, wp, lp);
    case TTM_TRACKACTIVATE:
    case TTM_TRACKPOSITION: return TooltipTracking(hwnd, *st, msg, wp, lp);
    case TTM_SETTITLEW: return TRUE;  // the title is not shown
    case TTM_SETTIPTEXTCOLOR: st->textColor = static_cast<COLORREF>(wp); return 0;
    case TTM_SETTIPBKCOLOR: st->bkColor = static_cast<COLORREF>(wp); return 0;
    case TTM_GETTIPTEXTCOLOR: return st->textColor;
    case TTM_GETTIPBKCOLOR: return st->bkColor;
    case TTM_SETDELAYTIME: {
      const int t = static_cast<short>(LOWORD(lp));
      if (wp == TTDT_AUTOMATIC) {
        const int base = t < 0 ? 500 : t;
        st->delays[TTDT_AUTOMATIC] = st->delays[TTDT_INITIAL] = base;
        st->delays[TTDT_RESHOW] = base / 5;
        st->delays[TTDT_AUTOPOP] = base * 10;
      } else if (wp <= TTDT_INITIAL) {
        static const int defaults[4] = {500, 100, 5000, 500};
        st->delays[wp] = t < 0 ? defaults[wp] : t;
      }
      return 0;
    }
    case TTM_GETDELAYTIME: return wp <= TTDT_INITIAL ? st->delays[wp] : 0;
    case TTM_SETMARGIN: return 0;  // the margin is not shown
    case WM_SETFONT:
    case WM_GETFONT: return FontMessage(st->font, hwnd, msg, wp, lp);
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintTooltip(hwnd, *st); return 0;
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
