// Headless window system, the combo box ("ComboBox") and its drop-down list
// ("ComboLBox"): items, selection, the edit part of CBS_DROPDOWN, dropping down and
// closing up with the notifications in the order the real control sends them.
//
// Geometry: a drop-down combo box is the font's height + 8 pixels high, whatever height it
// is created or sized with; the rest of that height is the drop-down list's (as the classic
// control does), which shrinks to its items and, unlike the real control, grows to show
// every item (it never scrolls). List items are the font's height + 3 pixels high; the
// drop-down button is the rightmost 17 pixels.
#include <algorithm>

#include "headless_win32/controls.h"

namespace zorv::winsys {

namespace {

constexpr int kButtonWidth = 17;
constexpr UINT kEditId = 1001;

struct Item {
  std::u16string text;
  LPARAM data = 0;
};

struct ComboState : ControlState {
  HWND self = nullptr;
  HWND edit = nullptr;
  HWND list = nullptr;
  HFONT font = nullptr;
  std::vector<Item> items;  // guarded by the window system's lock (read by the test controls)
  int cursel = -1;
  int hot = -1;               // the item under the mouse in the open list
  bool dropped = false;
  bool focused = false;
  bool capture = false;       // tracking the press that opened the list
  bool noEditNotify = false;  // the combo box itself is changing the edit part
  int itemHeight = 16;
  int fieldHeight = 21;
  int droppedHeight = 100;    // list height available below the field
};

struct ListState : ControlState {
  std::weak_ptr<ComboState> owner;
};

DWORD TypeOf(HWND hwnd) { return StyleOf(hwnd) & 3; }

void Notify(ComboState& st, UINT code) { NotifyParent(st.self, code); }

std::u16string ItemText(ComboState& st, int i) {
  Lock lock(S().mutex);
  return i >= 0 && i < static_cast<int>(st.items.size()) ? st.items[static_cast<std::size_t>(i)].text : std::u16string();
}

int Count(ComboState& st) {
  Lock lock(S().mutex);
  return static_cast<int>(st.items.size());
}

void SetEditText(ComboState& st, const std::u16string& text) {
  if (!st.edit) return;
  st.noEditNotify = true;
  SendMessageW(st.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  st.noEditNotify = false;
  if (st.focused) SendMessageW(st.edit, EM_SETSEL, 0, -1);
}

void UpdateText(ComboState& st) {
  if (st.edit) SetEditText(st, ItemText(st, st.cursel));
  InvalidateRect(st.self, nullptr, TRUE);
}

int ListHeight(ComboState& st) {
  const int n = Count(st);
  if (n == 0) return std::max(st.droppedHeight, st.itemHeight + 2);
  const int need = n * st.itemHeight + 2;
  int h = std::min(st.droppedHeight, need);
  if (h < st.itemHeight) h = n < 5 ? (n + 1) * st.itemHeight : 6 * st.itemHeight;
  return std::max(h, need);  // every item visible: the headless list does not scroll
}

void DropDown(ComboState& st) {
  if (st.dropped) return;
  Notify(st, CBN_DROPDOWN);
  if (!IsWindow(st.self)) return;
  RECT r;
  GetWindowRect(st.self, &r);
  st.hot = st.cursel;
  st.dropped = true;
  SetWindowPos(st.list, HWND_TOPMOST, r.left, r.bottom, r.right - r.left, ListHeight(st), SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(st.self, nullptr, TRUE);
}

void RollUp(ComboState& st, bool ok) {
  Notify(st, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
  if (!IsWindow(st.self) || !st.dropped) return;
  st.dropped = false;
  st.capture = false;
  ShowWindow(st.list, SW_HIDE);
  if (GetCapture() == st.list || GetCapture() == st.self) ReleaseCapture();
  InvalidateRect(st.self, nullptr, TRUE);
  Notify(st, CBN_CLOSEUP);
}

// The user chose an item in the list (or moved the selection with the keyboard).
void SelectionChanged(ComboState& st, int index, bool rollUp) {
  st.cursel = index;
  if (rollUp) RollUp(st, true);
  if (!IsWindow(st.self)) return;
  Notify(st, CBN_SELCHANGE);
  if (!IsWindow(st.self)) return;
  UpdateText(st);
}

// The first item after start (wrapping) whose text is text, or begins with it.
int Find(ComboState& st, int start, const std::u16string& text, bool exact) {
  Lock lock(S().mutex);
  const int n = static_cast<int>(st.items.size());
  if (n == 0) return CB_ERR;
  const std::u16string key = Upper(text);
  int first = (start < -1 || start >= n) ? 0 : start + 1;
  for (int k = 0; k < n; ++k) {
    const int i = (first + k) % n;
    const std::u16string item = Upper(st.items[static_cast<std::size_t>(i)].text);
    if (exact ? item == key : item.compare(0, key.size(), key) == 0) return i;
  }
  return CB_ERR;
}

void Layout(ComboState& st) {
  RECT r;
  GetClientRect(st.self, &r);
  if (st.edit) {
    SetWindowPos(st.edit, nullptr, 2, 2, std::max<int>(0, r.right - 2 - kButtonWidth - 2), std::max<int>(0, r.bottom - 4),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// A drop-down combo box keeps the height of its field.
void KeepFieldHeight(ComboState& st, UINT flags) {
  if (TypeOf(st.self) == CBS_SIMPLE) return;
  RECT r;
  GetWindowRect(st.self, &r);
  SetWindowPos(st.self, nullptr, 0, 0, r.right - r.left, st.fieldHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
}

// WM_CREATE: the drop-down list, and the edit part of CBS_DROPDOWN and CBS_SIMPLE.
LRESULT ComboCreate(HWND hwnd, ComboState& st, const CREATESTRUCTW* cs) {
  const DWORD style = StyleOf(hwnd);
  const DWORD type = style & 3;
  HINSTANCE inst = cs ? cs->hInstance : nullptr;
  st.list = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, u"ComboLBox", nullptr, WS_POPUP | WS_BORDER | WS_CLIPSIBLINGS,
                            0, 0, 0, 0, hwnd, nullptr, inst, nullptr);
  if (!st.list) return -1;
  if (auto ls = StateOf<ListState>(st.list)) ls->owner = StateOf<ComboState>(hwnd);
  if (type == CBS_DROPDOWN || type == CBS_SIMPLE) {
    DWORD es = WS_CHILD | WS_VISIBLE | ES_LEFT | ES_NOHIDESEL;
    if (style & CBS_AUTOHSCROLL) es |= ES_AUTOHSCROLL;
    if (style & CBS_UPPERCASE) es |= ES_UPPERCASE;
    if (style & CBS_LOWERCASE) es |= ES_LOWERCASE;
    st.edit = CreateWindowExW(0, u"Edit", nullptr, es, 0, 0, 0, 0, hwnd,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kEditId)), inst, nullptr);
    if (!st.edit) return -1;
  }
  KeepFieldHeight(st, SWP_NOREDRAW);
  Layout(st);
  return 0;
}

// WM_SIZE: a new height says how far the list may drop; the field keeps its own height.
LRESULT ComboSize(HWND hwnd, ComboState& st, LPARAM lp) {
  if (TypeOf(hwnd) != CBS_SIMPLE && HIWORD(lp) != st.fieldHeight) {
    RECT r;
    GetWindowRect(hwnd, &r);
    if (r.bottom - r.top != st.fieldHeight) {
      st.droppedHeight = std::max<int>(0, r.bottom - r.top - st.fieldHeight);
      KeepFieldHeight(st, 0);
    }
  }
  Layout(st);
  return 0;
}

LRESULT InsertItem(HWND hwnd, ComboState& st, int index, LPCWSTR text) {
  Item item{FromPtr(text), 0};
  const bool sorted = index == -2 && (StyleOf(hwnd) & CBS_SORT);  // CB_ADDSTRING of a sorted box
  Lock lock(S().mutex);
  auto& v = st.items;
  std::size_t at = v.size();
  if (index >= 0) {
    if (index > static_cast<int>(v.size())) return CB_ERR;
    at = static_cast<std::size_t>(index);
  } else if (sorted) {
    const std::u16string key = Upper(item.text);
    at = 0;
    while (at < v.size() && Upper(v[at].text) <= key) ++at;
  }
  v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
  if (st.cursel >= static_cast<int>(at)) st.cursel++;
  return static_cast<LRESULT>(at);
}

// The item messages: adding, inserting, deleting, reading and their data.
LRESULT ComboItems(HWND hwnd, ComboState& st, UINT msg, WPARAM wp, LPARAM lp) {
  const int index = static_cast<int>(wp);
  switch (msg) {
    case CB_ADDSTRING: return InsertItem(hwnd, st, -2, reinterpret_cast<LPCWSTR>(lp));
    case CB_INSERTSTRING: return index < -1 ? CB_ERR : InsertItem(hwnd, st, index, reinterpret_cast<LPCWSTR>(lp));
    case CB_GETCOUNT: return Count(st);
    case CB_INITSTORAGE: return static_cast<LRESULT>(wp) + Count(st);
    case CB_RESETCONTENT: {
      {
        Lock lock(S().mutex);
        st.items.clear();
      }
      st.cursel = -1;
      st.hot = -1;
      UpdateText(st);
      if (st.dropped) InvalidateRect(st.list, nullptr, TRUE);
      return CB_OKAY;
    }
    default: break;
  }
  Lock lock(S().mutex);
  auto& v = st.items;
  if (index < (msg == CB_SETITEMDATA ? -1 : 0) || index >= static_cast<int>(v.size())) return CB_ERR;
  switch (msg) {
    case CB_DELETESTRING:
      v.erase(v.begin() + index);
      if (st.cursel == index) st.cursel = -1;
      else if (st.cursel > index) st.cursel--;
      return static_cast<LRESULT>(v.size());
    case CB_GETLBTEXT: {
      const std::u16string& t = v[static_cast<std::size_t>(index)].text;
      if (auto* buf = reinterpret_cast<LPWSTR>(lp)) {
        std::copy(t.begin(), t.end(), buf);
        buf[t.size()] = 0;
      }
      return static_cast<LRESULT>(t.size());
    }
    case CB_GETLBTEXTLEN: return static_cast<LRESULT>(v[static_cast<std::size_t>(index)].text.size());
    case CB_GETITEMDATA: return v[static_cast<std::size_t>(index)].data;
    default:  // CB_SETITEMDATA; index -1: every item
      for (std::size_t i = 0; i < v.size(); ++i) {
        if (index == -1 || static_cast<int>(i) == index) v[i].data = lp;
      }
      return TRUE;
  }
}

// The selection and the drop-down state: CB_GETCURSEL, CB_SETCURSEL, CB_SHOWDROPDOWN,
// CB_GETDROPPEDSTATE.
LRESULT ComboSelection(HWND hwnd, ComboState& st, UINT msg, WPARAM wp) {
  switch (msg) {
    case CB_GETCURSEL: return st.cursel;
    case CB_SETCURSEL: {
      const int index = static_cast<int>(wp);
      st.cursel = index < 0 || index >= Count(st) ? -1 : index;
      UpdateText(st);
      return st.cursel == -1 ? CB_ERR : index;
    }
    case CB_SHOWDROPDOWN:
      if (TypeOf(hwnd) == CBS_SIMPLE) return TRUE;
      if (wp && !st.dropped) DropDown(st);
      else if (!wp && st.dropped) RollUp(st, false);
      return TRUE;
    default: return st.dropped;
  }
}

// The text (the edit part's, or the selected item's) and the font.
LRESULT ComboText(HWND hwnd, ComboState& st, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SETTEXT: {
      if (st.edit) {
        SetEditText(st, FromPtr(reinterpret_cast<LPCWSTR>(lp)));
        return TRUE;
      }
      const int i = Find(st, -1, FromPtr(reinterpret_cast<LPCWSTR>(lp)), true);
      if (i == CB_ERR) return CB_ERR;
      st.cursel = i;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case WM_GETTEXT:
      if (st.edit) return SendMessageW(st.edit, WM_GETTEXT, wp, lp);
      return CopyOut(ItemText(st, st.cursel), reinterpret_cast<LPWSTR>(lp), static_cast<int>(wp));
    case WM_GETTEXTLENGTH:
      if (st.edit) return SendMessageW(st.edit, WM_GETTEXTLENGTH, 0, 0);
      return static_cast<LRESULT>(ItemText(st, st.cursel).size());
    case WM_GETFONT: return reinterpret_cast<LRESULT>(st.font);
    default:  // WM_SETFONT: the field's and the items' heights follow the font
      st.font = reinterpret_cast<HFONT>(wp);
      st.itemHeight = MetricOf(st.font).height + 3;
      st.fieldHeight = MetricOf(st.font).height + 8;
      if (st.edit) SendMessageW(st.edit, WM_SETFONT, wp, lp);
      if (st.list) SendMessageW(st.list, WM_SETFONT, wp, lp);
      KeepFieldHeight(st, 0);
      if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
  }
}

// The mouse on the field: a press opens the list (or closes it), a drag into the list
// hands the mouse to the list.
LRESULT ComboMouse(HWND hwnd, ComboState& st, UINT msg, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!st.focused) SetFocus(hwnd);
      if (!st.focused) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      const DWORD type = TypeOf(hwnd);
      if (type == CBS_DROPDOWNLIST || (type == CBS_DROPDOWN && GET_X_LPARAM(lp) >= r.right - kButtonWidth)) {
        if (st.dropped) {
          RollUp(st, true);
        } else {
          st.capture = true;
          SetCapture(hwnd);
          DropDown(st);
        }
      }
      return 0;
    }
    case WM_LBUTTONUP:
      if (st.capture) {
        st.capture = false;
        if (GetCapture() == hwnd) ReleaseCapture();
        if (st.dropped) SetCapture(st.list);  // the list now follows the mouse
      }
      return 0;
    case WM_MOUSEMOVE:
      if (st.capture && st.dropped) {
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        MapWindowPoints(hwnd, st.list, &p, 1);
        RECT lr;
        GetClientRect(st.list, &lr);
        if (PtInRect(&lr, p)) {
          st.capture = false;
          ReleaseCapture();
          SetCapture(st.list);
          SendMessageW(st.list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        }
      }
      return 0;
    default:  // WM_CAPTURECHANGED
      if (st.capture && reinterpret_cast<HWND>(lp) != st.list) st.capture = false;
      return 0;
  }
}

// The combo box (or its edit part) loses the focus to a window outside it.
void LoseFocus(ComboState& st, bool repaint) {
  if (!st.focused) return;
  if (st.dropped) RollUp(st, false);
  st.focused = false;
  if (repaint) InvalidateRect(st.self, nullptr, TRUE);
  Notify(st, CBN_KILLFOCUS);
}

// The focus (of the combo box or its edit part) and the edit part's notifications.
LRESULT ComboFocus(HWND hwnd, ComboState& st, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SETFOCUS:
      if (st.edit) {
        SetFocus(st.edit);
      } else if (!st.focused) {
        st.focused = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        Notify(st, CBN_SETFOCUS);
      }
      return 0;
    case WM_KILLFOCUS:
      if (!st.edit && reinterpret_cast<HWND>(wp) != st.list) LoseFocus(st, true);
      return 0;
    default: break;  // WM_COMMAND
  }
  if (!st.edit || reinterpret_cast<HWND>(lp) != st.edit) return 0;
  switch (HIWORD(wp)) {
    case EN_SETFOCUS:
      if (!st.focused) {
        st.focused = true;
        Notify(st, CBN_SETFOCUS);
      }
      break;
    case EN_KILLFOCUS: {
      HWND to = GetFocus();
      if (to != hwnd && to != st.list) LoseFocus(st, false);
      break;
    }
    case EN_CHANGE:
      if (!st.noEditNotify) Notify(st, CBN_EDITCHANGE);
      break;
    case EN_UPDATE:
      if (!st.noEditNotify) Notify(st, CBN_EDITUPDATE);
      break;
    default: break;
  }
  return 0;
}

// The keyboard: F4 and Alt+Down open and close the list, Enter and Escape close it, the
// arrows, Home and End move the selection, a character selects the next item it begins.
LRESULT ComboKeys(ComboState& st, UINT msg, WPARAM wp) {
  if (msg == WM_CHAR) {
    const WCHAR ch = static_cast<WCHAR>(wp);
    if (st.edit || ch < 0x20) return 0;
    const int i = Find(st, st.cursel, std::u16string(1, ch), false);
    if (i != CB_ERR && i != st.cursel) SelectionChanged(st, i, false);
    return 0;
  }
  const int n = Count(st);
  if (wp == VK_F4 || ((wp == VK_DOWN || wp == VK_UP) && GetKeyState(VK_MENU) < 0)) {
    if (st.dropped) RollUp(st, true);
    else DropDown(st);
    return 0;
  }
  if (st.dropped && (wp == VK_RETURN || wp == VK_ESCAPE)) {
    if (wp == VK_RETURN && st.hot >= 0 && st.hot != st.cursel) SelectionChanged(st, st.hot, true);
    else RollUp(st, wp == VK_RETURN);
    return 0;
  }
  int next = st.cursel;
  switch (wp) {
    case VK_DOWN: next = std::min(n - 1, st.cursel + 1); break;
    case VK_UP: next = st.cursel < 0 ? 0 : std::max(0, st.cursel - 1); break;
    case VK_HOME: next = 0; break;
    case VK_END: next = n - 1; break;
    default: return 0;
  }
  if (n > 0 && next != st.cursel) {
    st.hot = next;
    SelectionChanged(st, next, false);
  }
  return 0;
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto st = StateOf<ComboState>(hwnd);
  if (!st) {
    if (msg == WM_NCCREATE) {
      auto s = std::make_shared<ComboState>();
      s->self = hwnd;
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
      if (cs) s->droppedHeight = std::max(0, cs->cy - s->fieldHeight);
      SetState(hwnd, s);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  switch (msg) {
    case WM_CREATE: return ComboCreate(hwnd, *st, reinterpret_cast<const CREATESTRUCTW*>(lp));
    case WM_SIZE: return ComboSize(hwnd, *st, lp);
    case WM_DESTROY:
      if (st->list && IsWindow(st->list)) {
        HWND list = st->list;
        st->list = nullptr;
        DestroyWindow(list);
      }
      return 0;
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
    case CB_DELETESTRING:
    case CB_GETCOUNT:
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN:
    case CB_RESETCONTENT:
    case CB_GETITEMDATA:
    case CB_SETITEMDATA:
    case CB_INITSTORAGE: return ComboItems(hwnd, *st, msg, wp, lp);
    case CB_GETCURSEL:
    case CB_SETCURSEL:
    case CB_SHOWDROPDOWN:
    case CB_GETDROPPEDSTATE: return ComboSelection(hwnd, *st, msg, wp);
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_SETFONT:
    case WM_GETFONT: return ComboText(hwnd, *st, msg, wp, lp);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_CAPTURECHANGED: return ComboMouse(hwnd, *st, msg, lp);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_COMMAND: return ComboFocus(hwnd, *st, msg, wp, lp);
    case WM_KEYDOWN:
    case WM_CHAR: return ComboKeys(*st, msg, wp);
    case WM_ENABLE:
      if (st->edit) EnableWindow(st->edit, static_cast<BOOL>(wp));
      if (!wp && st->dropped) RollUp(*st, false);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      // The edit part's colours are the parent's.
      HWND parent = GetParent(hwnd);
      LRESULT r = parent ? SendMessageW(parent, msg, wp, lp) : 0;
      return r ? r : DefWindowProcW(hwnd, msg, wp, lp);
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
      PaintFilledText(hwnd, IsWindowEnabled(hwnd) ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC, st->font,
                      st->edit ? std::u16string() : ItemText(*st, st->cursel), DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
      return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

namespace {

void PaintList(HWND hwnd, ComboState& st) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  HWND owner = GetParent(st.self);
  LRESULT b = owner ? SendMessageW(owner, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)) : 0;
  if (!b) b = DefWindowProcW(hwnd, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd));
  FillRect(dc, &r, reinterpret_cast<HBRUSH>(b));
  const int n = Count(st);
  for (int i = 0; i < n; ++i) {
    RECT ir{0, i * st.itemHeight, r.right, (i + 1) * st.itemHeight};
    if (i == st.hot) FillRect(dc, &ir, GetSysColorBrush(COLOR_HIGHLIGHT));
    const std::u16string t = ItemText(st, i);
    DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &ir, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
  EndPaint(hwnd, &ps);
}

}  // namespace

// The drop-down list follows the mouse and chooses the item it is released on.
LRESULT CALLBACK ComboListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto ls = StateOf<ListState>(hwnd);
  if (!ls) {
    if (msg == WM_NCCREATE) SetState(hwnd, std::make_shared<ListState>());
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  auto st = ls->owner.lock();
  if (!st) return DefWindowProcW(hwnd, msg, wp, lp);
  auto itemAt = [&](LPARAM at) {
    RECT r;
    GetClientRect(hwnd, &r);
    const POINT p{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (!PtInRect(&r, p)) return -2;  // outside the list
    const int i = p.y / std::max(1, st->itemHeight);
    return i < Count(*st) ? i : -1;
  };
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE: {
      const int i = itemAt(lp);
      if (i == -2 && msg == WM_LBUTTONDOWN && st->dropped) RollUp(*st, false);
      if (i >= 0 && (i != st->hot || msg == WM_LBUTTONDOWN)) {
        st->hot = i;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      const int i = itemAt(lp);
      if (i >= 0 && st->dropped) {
        if (i != st->cursel) SelectionChanged(*st, i, true);
        else RollUp(*st, true);
      }
      return 0;
    }
    case WM_CAPTURECHANGED: return 0;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintList(hwnd, *st); return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

bool ComboChoicePoints(HWND combo, int index, ComboChoice* out) {
  auto st = StateOf<ComboState>(combo);
  if (!st || TypeOf(combo) == CBS_SIMPLE || index < 0 || index >= Count(*st)) return false;
  RECT r;
  GetClientRect(combo, &r);
  out->list = st->list;
  out->comboPoint = POINT{std::max<LONG>(0, r.right - 8), r.bottom / 2};
  out->listPoint = POINT{4, index * st->itemHeight + st->itemHeight / 2};
  return true;
}

}  // namespace zorv::winsys

using namespace zorv::winsys;

BOOL WINAPI GetComboBoxInfo(HWND combo, PCOMBOBOXINFO info) {
  auto st = StateOf<ComboState>(combo);
  if (!st || !info || info->cbSize != sizeof(COMBOBOXINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECT r;
  GetClientRect(combo, &r);
  info->rcItem = RECT{2, 2, std::max<LONG>(2, r.right - 2 - kButtonWidth), std::max<LONG>(2, r.bottom - 2)};
  info->rcButton = RECT{std::max<LONG>(0, r.right - 2 - kButtonWidth), 2, std::max<LONG>(0, r.right - 2), std::max<LONG>(2, r.bottom - 2)};
  info->stateButton = TypeOf(combo) == CBS_SIMPLE ? STATE_SYSTEM_INVISIBLE : (st->dropped ? STATE_SYSTEM_PRESSED : 0);
  info->hwndCombo = combo;
  info->hwndItem = st->edit ? st->edit : combo;
  info->hwndList = st->list;
  return TRUE;
}
