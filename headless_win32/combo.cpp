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
  bool extendedUi = false;
  int itemHeight = 16;
  int fieldHeight = 21;
  int droppedHeight = 100;    // list height available below the field
  int droppedWidth = 0;
};

struct ListState : ControlState {
  HWND combo = nullptr;
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
  int h = st.droppedHeight;
  if (n > 0) {
    const int need = n * st.itemHeight + 2;
    if (need < h) h = need;
    if (h < st.itemHeight) h = n < 5 ? (n + 1) * st.itemHeight : 6 * st.itemHeight;
    h = std::max(h, need);  // every item visible: the headless list does not scroll
  } else {
    h = std::max(h, st.itemHeight + 2);
  }
  return h;
}

void DropDown(ComboState& st) {
  if (st.dropped) return;
  Notify(st, CBN_DROPDOWN);
  if (!IsWindow(st.self)) return;
  RECT r;
  GetWindowRect(st.self, &r);
  const int width = std::max<int>(st.droppedWidth, r.right - r.left);
  st.hot = st.cursel;
  st.dropped = true;
  SetWindowPos(st.list, HWND_TOPMOST, r.left, r.bottom, width, ListHeight(st), SWP_NOACTIVATE | SWP_SHOWWINDOW);
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

void SetFieldHeight(ComboState& st) {
  const FontMetric m = MetricOf(st.font);
  st.fieldHeight = m.height + 8;
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
      return DefWindowProcW(hwnd, msg, wp, lp);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  const DWORD type = TypeOf(hwnd);
  switch (msg) {
    case WM_CREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
      HINSTANCE inst = cs ? cs->hInstance : nullptr;
      st->list = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, u"ComboLBox", nullptr,
                                 WS_POPUP | WS_BORDER | WS_CLIPSIBLINGS, 0, 0, 0, 0, hwnd, nullptr, inst, nullptr);
      if (!st->list) return -1;
      if (auto ls = StateOf<ListState>(st->list)) {
        ls->combo = hwnd;
        ls->owner = st;
      }
      if (type == CBS_DROPDOWN || type == CBS_SIMPLE) {
        const DWORD style = StyleOf(hwnd);
        DWORD es = WS_CHILD | WS_VISIBLE | ES_LEFT | ES_NOHIDESEL;
        if (style & CBS_AUTOHSCROLL) es |= ES_AUTOHSCROLL;
        if (style & CBS_UPPERCASE) es |= ES_UPPERCASE;
        if (style & CBS_LOWERCASE) es |= ES_LOWERCASE;
        if (!(style & WS_DISABLED)) es &= ~static_cast<DWORD>(WS_DISABLED);
        st->edit = CreateWindowExW(0, u"Edit", nullptr, es, 0, 0, 0, 0, hwnd,
                                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kEditId)), inst, nullptr);
        if (!st->edit) return -1;
      }
      if (type != CBS_SIMPLE) {
        RECT r;
        GetWindowRect(hwnd, &r);
        SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, st->fieldHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
      }
      Layout(*st);
      return 0;
    }
    case WM_SIZE: {
      if (type != CBS_SIMPLE && HIWORD(lp) != st->fieldHeight) {
        RECT r;
        GetWindowRect(hwnd, &r);
        const int h = r.bottom - r.top;
        if (h != st->fieldHeight) {
          // A new height says how far the list may drop; the field keeps its own height.
          st->droppedHeight = std::max(0, h - st->fieldHeight);
          SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, st->fieldHeight,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
      }
      Layout(*st);
      return 0;
    }
    case WM_DESTROY:
      if (st->list && IsWindow(st->list)) {
        HWND list = st->list;
        st->list = nullptr;
        DestroyWindow(list);
      }
      return 0;
    case CB_ADDSTRING: {
      std::u16string text = FromPtr(reinterpret_cast<LPCWSTR>(lp));
      const bool sorted = (StyleOf(hwnd) & CBS_SORT) != 0;
      Lock lock(S().mutex);
      auto& v = st->items;
      std::size_t at = v.size();
      if (sorted) {
        const std::u16string key = Upper(text);
        at = 0;
        while (at < v.size() && Upper(v[at].text) <= key) ++at;
      }
      v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), Item{std::move(text), 0});
      if (st->cursel >= static_cast<int>(at)) st->cursel++;
      return static_cast<LRESULT>(at);
    }
    case CB_INSERTSTRING: {
      std::u16string text = FromPtr(reinterpret_cast<LPCWSTR>(lp));
      Lock lock(S().mutex);
      auto& v = st->items;
      const int index = static_cast<int>(wp);
      if (index > static_cast<int>(v.size()) || index < -1) return CB_ERR;
      const std::size_t at = index == -1 ? v.size() : static_cast<std::size_t>(index);
      v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), Item{std::move(text), 0});
      if (st->cursel >= static_cast<int>(at)) st->cursel++;
      return static_cast<LRESULT>(at);
    }
    case CB_DELETESTRING: {
      Lock lock(S().mutex);
      auto& v = st->items;
      const int index = static_cast<int>(wp);
      if (index < 0 || index >= static_cast<int>(v.size())) return CB_ERR;
      v.erase(v.begin() + index);
      if (st->cursel == index) st->cursel = -1;
      else if (st->cursel > index) st->cursel--;
      return static_cast<LRESULT>(v.size());
    }
    case CB_GETCOUNT: return Count(*st);
    case CB_GETCURSEL: return st->cursel;
    case CB_SETCURSEL: {
      const int index = static_cast<int>(wp);
      if (index < 0 || index >= Count(*st)) {
        st->cursel = -1;
        UpdateText(*st);
        return CB_ERR;
      }
      st->cursel = index;
      UpdateText(*st);
      return index;
    }
    case CB_GETLBTEXT: {
      const int index = static_cast<int>(wp);
      if (index < 0 || index >= Count(*st)) return CB_ERR;
      const std::u16string t = ItemText(*st, index);
      if (auto* buf = reinterpret_cast<LPWSTR>(lp)) {
        std::copy(t.begin(), t.end(), buf);
        buf[t.size()] = 0;
      }
      return static_cast<LRESULT>(t.size());
    }
    case CB_GETLBTEXTLEN: {
      const int index = static_cast<int>(wp);
      if (index < 0 || index >= Count(*st)) return CB_ERR;
      return static_cast<LRESULT>(ItemText(*st, index).size());
    }
    case CB_RESETCONTENT: {
      {
        Lock lock(S().mutex);
        st->items.clear();
      }
      st->cursel = -1;
      st->hot = -1;
      UpdateText(*st);
      if (st->dropped) InvalidateRect(st->list, nullptr, TRUE);
      return CB_OKAY;
    }
    case CB_GETITEMDATA: {
      Lock lock(S().mutex);
      const int index = static_cast<int>(wp);
      if (index < 0 || index >= static_cast<int>(st->items.size())) return CB_ERR;
      return st->items[static_cast<std::size_t>(index)].data;
    }
    case CB_SETITEMDATA: {
      Lock lock(S().mutex);
      const int index = static_cast<int>(wp);
      if (index < -1 || index >= static_cast<int>(st->items.size())) return CB_ERR;
      if (index == -1) {
        for (auto& i : st->items) i.data = lp;
      } else {
        st->items[static_cast<std::size_t>(index)].data = lp;
      }
      return TRUE;
    }
    case CB_SHOWDROPDOWN:
      if (type == CBS_SIMPLE) return TRUE;
      if (wp && !st->dropped) DropDown(*st);
      else if (!wp && st->dropped) RollUp(*st, false);
      return TRUE;
    case CB_GETDROPPEDSTATE: return st->dropped;
    case CB_INITSTORAGE: return static_cast<LRESULT>(wp) + Count(*st);
    case CB_SETITEMHEIGHT: {
      const int h = static_cast<int>(lp);
      if (h <= 0 || h > 255) return CB_ERR;
      if (static_cast<int>(wp) == -1) {
        st->fieldHeight = h + 6;
        if (type != CBS_SIMPLE) {
          RECT r;
          GetWindowRect(hwnd, &r);
          SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, st->fieldHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
      } else {
        st->itemHeight = h;
      }
      return 0;
    }
    case CB_GETITEMHEIGHT:
      return static_cast<int>(wp) == -1 ? st->fieldHeight - 6 : st->itemHeight;
    case CB_SELECTSTRING: {
      const int i = Find(*st, static_cast<int>(wp), FromPtr(reinterpret_cast<LPCWSTR>(lp)), false);
      if (i == CB_ERR) return CB_ERR;
      st->cursel = i;
      UpdateText(*st);
      return i;
    }
    case CB_FINDSTRING: return Find(*st, static_cast<int>(wp), FromPtr(reinterpret_cast<LPCWSTR>(lp)), false);
    case CB_FINDSTRINGEXACT: return Find(*st, static_cast<int>(wp), FromPtr(reinterpret_cast<LPCWSTR>(lp)), true);
    case CB_GETEDITSEL:
      return st->edit ? SendMessageW(st->edit, EM_GETSEL, wp, lp) : CB_ERR;
    case CB_SETEDITSEL:
      if (!st->edit) return CB_ERR;
      SendMessageW(st->edit, EM_SETSEL, static_cast<WPARAM>(static_cast<short>(LOWORD(lp))),
                   static_cast<LPARAM>(static_cast<short>(HIWORD(lp))));
      return TRUE;
    case CB_LIMITTEXT:
      if (!st->edit) return CB_ERR;
      SendMessageW(st->edit, EM_LIMITTEXT, wp, 0);
      return TRUE;
    case CB_SETEXTENDEDUI: st->extendedUi = wp != 0; return CB_OKAY;
    case CB_GETEXTENDEDUI: return st->extendedUi;
    case CB_SETDROPPEDWIDTH: st->droppedWidth = static_cast<int>(wp); return st->droppedWidth;
    case CB_GETDROPPEDWIDTH: {
      RECT r;
      GetWindowRect(hwnd, &r);
      return std::max<int>(st->droppedWidth, r.right - r.left);
    }
    case CB_GETDROPPEDCONTROLRECT: {
      if (!lp) return CB_ERR;
      RECT r;
      GetWindowRect(hwnd, &r);
      r.bottom += st->droppedHeight;
      *reinterpret_cast<RECT*>(lp) = r;
      return CB_OKAY;
    }
    case CB_GETCOMBOBOXINFO: return GetComboBoxInfo(hwnd, reinterpret_cast<PCOMBOBOXINFO>(lp));
    case WM_SETTEXT: {
      if (st->edit) {
        SetEditText(*st, FromPtr(reinterpret_cast<LPCWSTR>(lp)));
        return TRUE;
      }
      const int i = Find(*st, -1, FromPtr(reinterpret_cast<LPCWSTR>(lp)), true);
      if (i == CB_ERR) return CB_ERR;
      st->cursel = i;
      InvalidateRect(hwnd, nullptr, TRUE);
      return TRUE;
    }
    case WM_GETTEXT: {
      if (st->edit) return SendMessageW(st->edit, WM_GETTEXT, wp, lp);
      return CopyOut(ItemText(*st, st->cursel), reinterpret_cast<LPWSTR>(lp), static_cast<int>(wp));
    }
    case WM_GETTEXTLENGTH: {
      if (st->edit) return SendMessageW(st->edit, WM_GETTEXTLENGTH, 0, 0);
      return static_cast<LRESULT>(ItemText(*st, st->cursel).size());
    }
    case WM_SETFONT:
      st->font = reinterpret_cast<HFONT>(wp);
      st->itemHeight = MetricOf(st->font).height + 3;
      SetFieldHeight(*st);
      if (st->edit) SendMessageW(st->edit, WM_SETFONT, wp, lp);
      if (st->list) SendMessageW(st->list, WM_SETFONT, wp, lp);
      if (type != CBS_SIMPLE) {
        RECT r;
        GetWindowRect(hwnd, &r);
        SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, st->fieldHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(st->font);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!st->focused) SetFocus(hwnd);
      if (!st->focused) return 0;
      RECT r;
      GetClientRect(hwnd, &r);
      const bool onButton = GET_X_LPARAM(lp) >= r.right - kButtonWidth;
      if (type == CBS_DROPDOWNLIST || (type == CBS_DROPDOWN && onButton)) {
        if (st->dropped) {
          RollUp(*st, true);
        } else {
          st->capture = true;
          SetCapture(hwnd);
          DropDown(*st);
        }
      }
      return 0;
    }
    case WM_LBUTTONUP:
      if (st->capture) {
        st->capture = false;
        if (GetCapture() == hwnd) ReleaseCapture();
        if (st->dropped) SetCapture(st->list);  // the list now follows the mouse
      }
      return 0;
    case WM_MOUSEMOVE:
      if (st->capture && st->dropped) {
        // Pressed on the field and dragged into the list: the list takes over.
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        MapWindowPoints(hwnd, st->list, &p, 1);
        RECT lr;
        GetClientRect(st->list, &lr);
        if (PtInRect(&lr, p)) {
          st->capture = false;
          ReleaseCapture();
          SetCapture(st->list);
          SendMessageW(st->list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        }
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (st->capture && reinterpret_cast<HWND>(lp) != st->list) st->capture = false;
      return 0;
    case WM_SETFOCUS:
      if (st->edit) {
        SetFocus(st->edit);
        return 0;
      }
      if (!st->focused) {
        st->focused = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        Notify(*st, CBN_SETFOCUS);
      }
      return 0;
    case WM_KILLFOCUS: {
      HWND to = reinterpret_cast<HWND>(wp);
      if (st->edit || to == st->list) return 0;
      if (st->focused) {
        if (st->dropped) RollUp(*st, false);
        st->focused = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        Notify(*st, CBN_KILLFOCUS);
      }
      return 0;
    }
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lp) == st->edit && st->edit) {
        switch (HIWORD(wp)) {
          case EN_SETFOCUS:
            if (!st->focused) {
              st->focused = true;
              Notify(*st, CBN_SETFOCUS);
            }
            break;
          case EN_KILLFOCUS: {
            HWND to = GetFocus();
            if (st->focused && to != hwnd && to != st->list) {
              if (st->dropped) RollUp(*st, false);
              st->focused = false;
              Notify(*st, CBN_KILLFOCUS);
            }
            break;
          }
          case EN_CHANGE:
            if (!st->noEditNotify) Notify(*st, CBN_EDITCHANGE);
            break;
          case EN_UPDATE:
            if (!st->noEditNotify) Notify(*st, CBN_EDITUPDATE);
            break;
          default: break;
        }
      }
      return 0;
    case WM_KEYDOWN: {
      const int n = Count(*st);
      if (wp == VK_F4 || ((wp == VK_DOWN || wp == VK_UP) && GetKeyState(VK_MENU) < 0)) {
        if (st->dropped) RollUp(*st, true);
        else DropDown(*st);
        return 0;
      }
      if (st->dropped && (wp == VK_RETURN || wp == VK_ESCAPE)) {
        if (wp == VK_RETURN && st->hot >= 0 && st->hot != st->cursel) SelectionChanged(*st, st->hot, true);
        else RollUp(*st, wp == VK_RETURN);
        return 0;
      }
      int next = st->cursel;
      switch (wp) {
        case VK_DOWN: next = std::min(n - 1, st->cursel + 1); break;
        case VK_UP: next = st->cursel < 0 ? 0 : std::max(0, st->cursel - 1); break;
        case VK_HOME: next = 0; break;
        case VK_END: next = n - 1; break;
        default: return 0;
      }
      if (n > 0 && next != st->cursel) {
        st->hot = next;
        SelectionChanged(*st, next, false);
      }
      return 0;
    }
    case WM_CHAR: {
      if (st->edit) return 0;
      const WCHAR ch = static_cast<WCHAR>(wp);
      if (ch < 0x20) return 0;
      const int i = Find(*st, st->cursel, std::u16string(1, ch), false);
      if (i != CB_ERR && i != st->cursel) SelectionChanged(*st, i, false);
      return 0;
    }
    case WM_ENABLE:
      if (st->edit) EnableWindow(st->edit, static_cast<BOOL>(wp));
      if (!wp && st->dropped) RollUp(*st, false);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      HWND parent = GetParent(hwnd);
      LRESULT r = parent ? SendMessageW(parent, msg, wp, lp) : 0;
      return r ? r : DefWindowProcW(hwnd, msg, wp, lp);
    }
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
      if (st->dropped) code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      const bool enabled = IsWindowEnabled(hwnd);
      PaintFilledText(hwnd, enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC, st->font,
                      st->edit ? std::u16string() : ItemText(*st, st->cursel), DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
      return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

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
    case WM_LBUTTONDOWN: {
      const int i = itemAt(lp);
      if (i == -2) {
        if (st->dropped) RollUp(*st, false);
        return 0;
      }
      if (i >= 0) {
        st->hot = i;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case WM_MOUSEMOVE: {
      const int i = itemAt(lp);
      if (i >= 0 && i != st->hot) {
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
    case WM_CAPTURECHANGED:
      return 0;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case LB_GETCOUNT: return Count(*st);
    case LB_GETCURSEL: return st->dropped ? st->hot : st->cursel;
    case LB_GETITEMHEIGHT: return st->itemHeight;
    case LB_GETTEXTLEN: {
      const int i = static_cast<int>(wp);
      return i >= 0 && i < Count(*st) ? static_cast<LRESULT>(ItemText(*st, i).size()) : LB_ERR;
    }
    case LB_GETTEXT: {
      const int i = static_cast<int>(wp);
      if (i < 0 || i >= Count(*st)) return LB_ERR;
      const std::u16string t = ItemText(*st, i);
      if (auto* buf = reinterpret_cast<LPWSTR>(lp)) {
        std::copy(t.begin(), t.end(), buf);
        buf[t.size()] = 0;
      }
      return static_cast<LRESULT>(t.size());
    }
    case LB_GETITEMRECT: {
      const int i = static_cast<int>(wp);
      if (i < 0 || i >= Count(*st) || !lp) return LB_ERR;
      RECT r;
      GetClientRect(hwnd, &r);
      *reinterpret_cast<RECT*>(lp) = RECT{0, i * st->itemHeight, r.right, (i + 1) * st->itemHeight};
      return 1;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      HWND owner = GetParent(st->self);
      LRESULT b = owner ? SendMessageW(owner, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(hwnd))
                        : 0;
      if (!b) b = DefWindowProcW(hwnd, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd));
      FillRect(dc, &r, reinterpret_cast<HBRUSH>(b));
      const int n = Count(*st);
      for (int i = 0; i < n; ++i) {
        RECT ir{0, i * st->itemHeight, r.right, (i + 1) * st->itemHeight};
        if (i == st->hot) FillRect(dc, &ir, GetSysColorBrush(COLOR_HIGHLIGHT));
        const std::u16string t = ItemText(*st, i);
        DrawTextW(dc, t.c_str(), static_cast<int>(t.size()), &ir, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
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
