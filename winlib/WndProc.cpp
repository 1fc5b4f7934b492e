// The window procedure chain: the shared window procedure, TControl::WndProc, attached
// procedures, reflected colour and command messages, combo box notifications and the
// subclassed child windows of combo boxes, key and mouse events, the painting hook, default
// and cancel buttons, Tab navigation, and calls handed over from other threads.
#include <cstring>
#include <optional>

#include "winlib/Applet.h"
#include "winlib/Census.h"
#include "winlib/ControlsInternal.h"
#include "winlib/Cp1251.h"
#include "winlib/WinText.h"

namespace {

thread_local int gSyncDepth = 0;

// WM_KEYDOWN .. WM_SYSDEADCHAR and the unused number after it; WM_UNICHAR is not taken.
bool IsKeyMessage(UINT msg) { return msg >= WM_KEYFIRST && msg < WM_UNICHAR; }

DWORD ShiftState() {
  DWORD s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= kShiftStateShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= kShiftStateCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= kShiftStateAlt;
  return s;
}

TControl* FormOf(TControl* c) { return c ? c->GetParentForm() : nullptr; }

}  // namespace

TGlobalHooks& GlobalHooks() {
  static TGlobalHooks hooks;
  return hooks;
}

const WCHAR* SelfPropName() {
  static const TWideString name = ToWide("SELF_");
  return name.c_str();
}

const WCHAR* PrevProcPropName() {
  static const TWideString name = ToWide("PREV_PROC");
  return name.c_str();
}

TControl* ControlOf(HWND wnd) {
  return wnd ? static_cast<TControl*>(GetPropW(wnd, SelfPropName())) : nullptr;
}

LRESULT CallPrevious(TControl* c, TMsg& m) {
  if (c->PrevWndProc) return CallWindowProcW(c->PrevWndProc, m.hwnd, m.message, m.wParam, m.lParam);
  return DefWindowProcW(m.hwnd, m.message, m.wParam, m.lParam);
}

// ---- The shared window procedure -------------------------------------------------------

LRESULT CALLBACK LibraryWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kSyncCallMessage && wParam == kSyncCallTag) {
    auto* call = reinterpret_cast<TSyncCall*>(lParam);
    ++gSyncDepth;
    (*call->fn)();
    --gSyncDepth;
    call->ran = true;
    return 0;
  }
  TControl* self = nullptr;
  TControl*& slot = CreationSlot();
  if (slot) {
    self = slot;
    slot = nullptr;
    self->Handle = wnd;
    SetPropW(wnd, SelfPropName(), self);
    // Counted from its first message: a creation refused later still ends in WM_NCDESTROY.
    CensusAdd(TCensusKind::Window);
  } else {
    self = ControlOf(wnd);
  }
  if (!self) {
    if (Applet && Applet->LockCount >= 0) self = Applet;
    else return DefWindowProcW(wnd, msg, wParam, lParam);
  }
  TMsg m{wnd, msg, wParam, lParam, 0};
  // A handler may free the object (a secondary form freed at WM_NCDESTROY): the lock keeps
  // it until this message is done.
  Lock(self);
  self->WndProc(m);
  Unlock(self);
  return m.result;
}

void TControl::WndProc(TMsg& m) {
  LRESULT r = 0;
  auto finish = [&](LRESULT result) {
    m.result = result;
    if (!AppletTerminated.load() && !WindowGone && Hooks.AfterMessage) {
      LRESULT ignored = result;
      Hooks.AfterMessage(this, m, ignored);
    }
  };
  if (GlobalHooks().Message && GlobalHooks().Message(this, m, r)) return finish(r);
  if (AppletRunning.load() > 0 && Applet && Applet != this && Applet->OnMessage.Proc &&
      Applet->OnMessage.Proc(Applet->OnMessage.Data, m, r))
    return finish(r);
  if (OnMessage.Proc && OnMessage.Proc(OnMessage.Data, m, r)) return finish(r);
  if (Hooks.Attached && Hooks.Attached(this, m, r)) return finish(r);
  if (Hooks.MessagePreview && Hooks.MessagePreview(this, m, r)) return finish(r);

  switch (m.message) {
    case WM_CLOSE: {
      bool accept = true;
      if (OnClose.Proc) OnClose.Proc(OnClose.Data, this, accept);
      if (!accept && AppletRunning.load() > 0) return finish(0);
      OnClose = TOnClose{};
      if (IsMainWindow()) {
        // The main window is not destroyed here: Terminate frees it after the loop.
        if (Applet && Applet != this && Applet->Handle) SendMessageW(Applet->Handle, WM_CLOSE, 0, 0);
        PostQuitMessage(0);
        return finish(0);
      }
      break;
    }
    case WM_NCDESTROY: {
      const LRESULT result = CallPrevious(this, m);
      RemovePropW(m.hwnd, SelfPropName());
      CensusRemove(TCensusKind::Window);
      WindowGone = true;
      m.result = result;
      // A secondary window under the application window goes with its window. The main
      // form and the application window are freed by Terminate.
      // (Not while its creation is refused: CreateHandle is still running for it.)
      if (Parent && Parent == Applet && Parent->IsApplet && !IsMainWindow() && LockCount >= 0 && CreatingNow() != this) {
        Free(this);
      }
      return;
    }
    case WM_SIZE: {
      const LRESULT result = CallPrevious(this, m);
      if (!IsForm && Parent) Parent->AlignChildren();
      AlignChildren();
      return finish(result);
    }
    case WM_SHOWWINDOW:
      if (m.lParam == SW_PARENTCLOSING) {
        ShowStateToRestore = IsIconic(m.hwnd) ? SW_SHOWMINNOACTIVE : IsZoomed(m.hwnd) ? SW_SHOWMAXIMIZED : SW_SHOWNOACTIVATE;
      } else if (m.lParam == SW_PARENTOPENING && ShowStateToRestore) {
        ShowWindow(m.hwnd, ShowStateToRestore);
        ShowStateToRestore = 0;
      }
      break;
    case WM_SYSCOMMAND:
      if ((m.wParam & kSysCommandMask) == SC_MINIMIZE && !IsApplet && IsMainWindow() && Applet && Applet->Handle) {
        return finish(SendMessageW(Applet->Handle, WM_SYSCOMMAND, m.wParam, m.lParam));
      }
      break;
    case WM_SETCURSOR:
      if (LOWORD(m.lParam) == HTCLIENT && Cursor && !GetCapture()) {
        ::SetCursor(Cursor);
        return finish(TRUE);
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      InFocusChange = true;
      const LRESULT result = CallPrevious(this, m);
      InFocusChange = false;
      return finish(result);
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM: {
      // Items drawn by the owner: the child control that asks gets its own event.
      const UINT id = m.message == WM_DRAWITEM ? reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam)->CtlID
                                               : reinterpret_cast<MEASUREITEMSTRUCT*>(m.lParam)->CtlID;
      for (int i = 0; i < Children->Count; ++i) {
        auto* child = static_cast<TControl*>(Children->Get(i));
        if (child->CtlId != id) continue;
        if (m.message == WM_DRAWITEM && child->OnDrawItem.Proc) {
          child->OnDrawItem.Proc(child->OnDrawItem.Data, child, *reinterpret_cast<DRAWITEMSTRUCT*>(m.lParam));
          return finish(TRUE);
        }
        if (m.message == WM_MEASUREITEM && child->OnMeasureItem.Proc) {
          child->OnMeasureItem.Proc(child->OnMeasureItem.Data, child, *reinterpret_cast<MEASUREITEMSTRUCT*>(m.lParam));
          return finish(TRUE);
        }
      }
      break;
    }
    case WM_COMMAND:
      if (m.lParam) {
        HWND child = reinterpret_cast<HWND>(m.lParam);
        if (ControlOf(child)) return finish(SendMessageW(child, kReflectedCommand, m.wParam, m.lParam));
      }
      break;
    default:
      if (m.message >= WM_CTLCOLORMSGBOX && m.message <= WM_CTLCOLORSTATIC) {
        HWND child = reinterpret_cast<HWND>(m.lParam);
        if (ControlOf(child)) {
          const LRESULT brush = SendMessageW(child, m.message + kReflectOffset, m.wParam, m.lParam);
          if (brush) return finish(brush);
        }
        break;
      }
      if (IsKeyMessage(m.message) && GetFocus() == m.hwnd) {
        if (GlobalHooks().Key && GlobalHooks().Key(this, m, r)) return finish(r);
        if (Hooks.KeyPreview && Hooks.KeyPreview(this, m, r)) return finish(r);
        if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) break;
        if (m.message == WM_CHAR && m.wParam == VK_TAB) return finish(0);
        TControl* form = GetParentForm();
        if (form && form->NavHandler && form->NavHandler(this, m, m.message == WM_KEYDOWN)) return finish(0);
      }
      break;
  }
  finish(CallPrevious(this, m));
}

// ---- Attached procedures ---------------------------------------------------------------

bool AttachedDispatch(TControl* self, TMsg& m, LRESULT& r) {
  if (self->LockCount < 0 || self->AttachedProcs.empty()) return false;
  Lock(self);
  bool handled = false;
  const bool closing = AppletTerminated.load();
  for (std::size_t i = self->AttachedProcs.size(); i-- > 0;) {
    if (i >= self->AttachedProcs.size()) continue;  // a procedure detached others
    const TAttachedProc p = self->AttachedProcs[i];
    if (closing && !p.RunAfterClose) continue;
    if (p.Proc(self, m, r)) {
      handled = true;
      break;
    }
    // Freed by the procedure (a Free under the lock leaves the count odd).
    if (self->LockCount & 1) break;
  }
  if (self->LockCount & 1) handled = true;
  Unlock(self);
  return handled;
}

// ---- Colours and notifications of child controls ---------------------------------------

bool ColorNotifyProc(TControl* c, TMsg& m, LRESULT& r) {
  if (m.message >= WM_CTLCOLORMSGBOX + kReflectOffset && m.message <= WM_CTLCOLORSTATIC + kReflectOffset) {
    HDC dc = reinterpret_cast<HDC>(m.wParam);
    ::SetTextColor(dc, ResolveColor(c->TextColor));
    if (c->Transparent) {
      SetBkMode(dc, TRANSPARENT);
      r = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    } else {
      SetBkMode(dc, OPAQUE);
      SetBkColor(dc, ResolveColor(c->Color));
      r = reinterpret_cast<LRESULT>(c->BackgroundBrush());
    }
    return true;
  }
  if (m.message == kReflectedCommand) {
    const WORD code = HIWORD(m.wParam);
    const TActions& a = c->Actions;
    if (code == a.ClickCode) {
      if (!c->InFocusChange) c->OnClick(c);
    } else if (code == a.SetFocusCode) {
      c->OnEnter(c);
    } else if (code == a.KillFocusCode) {
      c->OnLeave(c);
    } else if (code == a.ChangeCode) {
      c->OnChange(c);
    } else if (code == a.SelChangeCode) {
      if (c->OnSelChange) c->OnSelChange(c);
      else c->OnChange(c);
    }
    r = 0;
    return true;
  }
  if (m.message == WM_SETFOCUS) {
    if (TControl* form = FormOf(c)) form->CurrentControl = c;
  }
  return false;
}

namespace {

// WM_NOTIFY of common controls, handed to the child that sent it.
bool NotifyReflectionProc(TControl*, TMsg& m, LRESULT& r) {
  if (m.message != WM_NOTIFY || !m.lParam) return false;
  const auto* hdr = reinterpret_cast<const NMHDR*>(m.lParam);
  if (!ControlOf(hdr->hwndFrom)) return false;
  r = SendMessageW(hdr->hwndFrom, WM_NOTIFY + kReflectOffset, m.wParam, m.lParam);
  return true;
}

// ---- Combo boxes -----------------------------------------------------------------------

bool ComboNotifyProc(TControl* c, TMsg& m, LRESULT& r) {
  if (m.message != kReflectedCommand) return false;
  switch (HIWORD(m.wParam)) {
    case CBN_SELCHANGE:
      // The box has not yet finished updating its selection: the selection event fires when
      // this posted copy arrives.
      PostMessageW(c->Handle, kReflectedCommand, MAKEWPARAM(0, kComboSelChangeCode), m.lParam);
      r = 0;
      return true;
    case CBN_DROPDOWN:
      c->DropDownIndex = static_cast<int>(SendMessageW(c->Handle, CB_GETCURSEL, 0, 0));
      c->OnDropDown(c);
      r = 0;
      return true;
    case CBN_CLOSEUP:
      c->OnCloseUp(c);
      r = 0;
      return true;
    default:
      return false;
  }
}

// The filter procedure of a combo box's own child windows (the edit part).
LRESULT CALLBACK ChildFilterProc(HWND child, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto prev = reinterpret_cast<WNDPROC>(GetPropW(child, PrevProcPropName()));
  TControl* c = ControlOf(GetParent(child));
  if (c && !c->WindowGone && c->LockCount >= 0) {
    TMsg m{c->Handle, msg, wParam, lParam, 0};
    LRESULT r = 0;
    const bool key = IsKeyMessage(msg);
    if (key && GlobalHooks().Key && GlobalHooks().Key(c, m, r)) return r;
    if (AppletRunning.load() > 0 && Applet && Applet->OnMessage.Proc && Applet->OnMessage.Proc(Applet->OnMessage.Data, m, r))
      return r;
    if (c->OnMessage.Proc && c->OnMessage.Proc(c->OnMessage.Data, m, r)) return r;
    if (msg == WM_SETFOCUS) {
      if (TControl* form = FormOf(c)) form->CurrentControl = c;
    }
    if (key) {
      TControl* form = FormOf(c);
      if (wParam == VK_TAB && (msg == WM_KEYDOWN || msg == WM_CHAR) && form && form->NavHandler) {
        if (msg == WM_CHAR) return 0;
        if (form->NavHandler(c, m, true)) return 0;
      } else if (msg == WM_CHAR && (wParam == VK_RETURN || wParam == VK_ESCAPE) &&
                 SendMessageW(c->Handle, CB_GETDROPPEDSTATE, 0, 0)) {
        SendMessageW(c->Handle, CB_SHOWDROPDOWN, FALSE, 0);
        if (wParam == VK_ESCAPE) SendMessageW(c->Handle, CB_SETCURSEL, static_cast<WPARAM>(c->DropDownIndex), 0);
      } else if (c->Hooks.KeyPreview && c->Hooks.KeyPreview(c, m, r)) {
        return r;
      }
    }
  }
  const LRESULT result = prev ? CallWindowProcW(prev, child, msg, wParam, lParam) : DefWindowProcW(child, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) RemovePropW(child, PrevProcPropName());
  return result;
}

BOOL CALLBACK SubclassChild(HWND child, LPARAM) {
  if (GetPropW(child, PrevProcPropName())) return TRUE;
  const LONG_PTR prev = GetWindowLongPtrW(child, GWLP_WNDPROC);
  SetPropW(child, PrevProcPropName(), reinterpret_cast<HANDLE>(prev));
  SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ChildFilterProc));
  return TRUE;
}

void SubclassComboChildren(void*, TControl* combo) { EnumChildWindows(combo->Handle, SubclassChild, 0); }

}  // namespace

void AttachComboProcs(TControl* combo) {
  combo->AttachProc(ComboNotifyProc);
  combo->AfterCreate = TOnEvent{SubclassComboChildren, nullptr};
}

void AttachNotifyReflection(TControl* parent) { parent->AttachProc(NotifyReflectionProc); }

// ---- Key, mouse and paint events -------------------------------------------------------

namespace {

bool KeyEventsProc(TControl* c, TMsg& m, LRESULT& r) {
  const DWORD shift = ShiftState();
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
      const TOnKey& e = down ? c->OnKeyDown : c->OnKeyUp;
      if (!e.Proc) return false;
      int key = static_cast<int>(m.wParam);
      e.Proc(e.Data, c, key, shift);
      if (key == 0) {
        r = 0;
        return true;
      }
      m.wParam = static_cast<WPARAM>(key);
      return false;
    }
    case WM_CHAR: {
      if (!c->OnChar.Proc) return false;
      const int b = UnicodeToCp1251(static_cast<char16_t>(m.wParam));
      char ch = b < 0 ? '?' : static_cast<char>(b);
      c->OnChar.Proc(c->OnChar.Data, c, ch, shift);
      if (ch == 0) {
        r = 0;
        return true;
      }
      m.wParam = static_cast<WPARAM>(Cp1251ToUnicode(static_cast<unsigned char>(ch)));
      return false;
    }
    default:
      return false;
  }
}

bool MouseEventsProc(TControl* c, TMsg& m, LRESULT&) {
  if (m.message < WM_MOUSEMOVE || m.message > WM_MOUSEWHEEL) return false;
  TMouseEventData e;
  e.Shift = LOWORD(m.wParam) | (GetKeyState(VK_MENU) < 0 ? kShiftStateAlt : 0);
  e.X = static_cast<short>(LOWORD(m.lParam));
  e.Y = static_cast<short>(HIWORD(m.lParam));
  const TOnMouse* ev = nullptr;
  switch (m.message) {
    case WM_MOUSEMOVE:
      e.Button = (m.wParam & MK_LBUTTON) ? 0 : (m.wParam & MK_RBUTTON) ? 1 : (m.wParam & MK_MBUTTON) ? 2 : 255;
      ev = &c->OnMouseMove;
      break;
    case WM_LBUTTONDOWN: e.Button = 0; ev = &c->OnMouseDown; break;
    case WM_RBUTTONDOWN: e.Button = 1; ev = &c->OnMouseDown; break;
    case WM_MBUTTONDOWN: e.Button = 2; ev = &c->OnMouseDown; break;
    case WM_LBUTTONUP: e.Button = 0; ev = &c->OnMouseUp; break;
    case WM_RBUTTONUP: e.Button = 1; ev = &c->OnMouseUp; break;
    case WM_MBUTTONUP: e.Button = 2; ev = &c->OnMouseUp; break;
    case WM_LBUTTONDBLCLK: e.Button = 0; ev = &c->OnMouseDblClk; break;
    case WM_RBUTTONDBLCLK: e.Button = 1; ev = &c->OnMouseDblClk; break;
    case WM_MBUTTONDBLCLK: e.Button = 2; ev = &c->OnMouseDblClk; break;
    case WM_MOUSEWHEEL:
      e.WheelDelta = static_cast<short>(HIWORD(m.wParam));
      ev = &c->OnMouseWheel;
      break;
    default: return false;
  }
  if (ev && ev->Proc) ev->Proc(ev->Data, c, e);
  return false;
}

bool PaintProc(TControl* c, TMsg& m, LRESULT& r) {
  if ((m.message != WM_PAINT && m.message != WM_PRINTCLIENT) || !c->OnPaint.Proc) return false;
  TRegion region(CreateRectRgn(0, 0, 0, 0));
  if (region) {
    const int kind = m.message == WM_PAINT ? GetUpdateRgn(m.hwnd, region, FALSE) : NULLREGION;
    if (kind == NULLREGION || kind == ERROR) region.Reset();
  }
  if (c->UpdateRgn) {
    if (region && CombineRgn(c->UpdateRgn, c->UpdateRgn, region, RGN_OR) == COMPLEXREGION) {
      RECT cr{};
      GetClientRect(m.hwnd, &cr);
      c->UpdateRgn.Reset(CreateRectRgnIndirect(&cr));
    }
    RECT box{};
    if (c->UpdateRgn && GetRgnBox(c->UpdateRgn, &box) != NULLREGION) InvalidateRect(m.hwnd, &box, FALSE);
  }
  {
    // WM_PRINTCLIENT brings the DC to paint into; WM_PAINT begins a paint.
    std::optional<TPaintDC> paint;
    HDC dc = nullptr;
    if (m.message == WM_PRINTCLIENT) {
      dc = reinterpret_cast<HDC>(m.wParam);
    } else {
      paint.emplace(m.hwnd);
      dc = paint->Get();
    }
    if (dc) {
      if (c->UpdateRgn) SelectClipRgn(dc, c->UpdateRgn);
      HDC outer = c->PaintDC;
      c->PaintDC = dc;
      c->OnPaint.Proc(c->OnPaint.Data, c, dc);
      if (c->CanvasObj) c->CanvasObj->SetHandle(nullptr);
      c->PaintDC = outer;
    }
  }
  c->UpdateRgn.Reset();
  r = 0;
  return true;
}

}  // namespace

void TControl::SetOnPaint(TOnPaint e) {
  OnPaint = e;
  AttachProc(PaintProc);
}

void TControl::SetOnKeyDown(TOnKey e) {
  OnKeyDown = e;
  Hooks.KeyPreview = KeyEventsProc;
}

void TControl::SetOnKeyUp(TOnKey e) {
  OnKeyUp = e;
  Hooks.KeyPreview = KeyEventsProc;
}

void TControl::SetOnChar(TOnChar e) {
  OnChar = e;
  Hooks.KeyPreview = KeyEventsProc;
}

void TControl::SetOnMouseDown(TOnMouse e) {
  OnMouseDown = e;
  AttachProc(MouseEventsProc);
}
void TControl::SetOnMouseUp(TOnMouse e) {
  OnMouseUp = e;
  AttachProc(MouseEventsProc);
}
void TControl::SetOnMouseMove(TOnMouse e) {
  OnMouseMove = e;
  AttachProc(MouseEventsProc);
}
void TControl::SetOnMouseDblClk(TOnMouse e) {
  OnMouseDblClk = e;
  AttachProc(MouseEventsProc);
}
void TControl::SetOnMouseWheel(TOnMouse e) {
  OnMouseWheel = e;
  AttachProc(MouseEventsProc);
}

// ---- Default and cancel buttons --------------------------------------------------------

namespace {

TOnMessage gPreviousAppletMessage;
bool gKeyProcWanted = false;

bool Usable(TControl* b) { return b && b->Handle && IsWindowVisible(b->Handle) && IsWindowEnabled(b->Handle); }

bool TakesEnter(TControl* c) {
  return c->Actions.Kind == TControlKind::Button ||
         (c->Actions.Kind == TControlKind::Edit && (c->Style & ES_MULTILINE));
}

bool DialogKeysProc(void*, TMsg& m, LRESULT& r) {
  if (gPreviousAppletMessage.Proc && gPreviousAppletMessage.Proc(gPreviousAppletMessage.Data, m, r)) return true;
  if ((m.message != WM_KEYDOWN && m.message != WM_KEYUP) || (m.wParam != VK_RETURN && m.wParam != VK_ESCAPE)) {
    return false;
  }
  TControl* focused = ControlOf(m.hwnd);
  TControl* form = FormOf(focused);
  if (!focused || !form) return false;
  TControl* button = nullptr;
  if (m.wParam == VK_RETURN) {
    TControl* d = form->DefaultButton;
    if (Usable(d) && !focused->IsCancelButton && (!TakesEnter(focused) || focused == d)) {
      button = d;
    } else if (form->EnterOnButton && focused->Actions.Kind == TControlKind::Button && Usable(focused)) {
      button = focused;
    }
  } else if (Usable(form->CancelButton)) {
    button = form->CancelButton;
  }
  if (!button) return false;
  // The button clicks as if Space were pressed on it.
  if (m.message == WM_KEYDOWN) {
    button->Focus();
    SendMessageW(button->Handle, WM_KEYDOWN, VK_SPACE, m.lParam);
  } else {
    SendMessageW(button->Handle, WM_KEYUP, VK_SPACE, m.lParam);
  }
  r = 0;
  return true;
}

void InstallDialogKeys() {
  gKeyProcWanted = true;
  if (!Applet || Applet->OnMessage.Proc == DialogKeysProc) return;
  gPreviousAppletMessage = Applet->OnMessage;
  Applet->OnMessage = TOnMessage{DialogKeysProc, nullptr};
}

void SetButtonStyleBit(TControl* b, bool on) {
  const DWORD style = on ? (b->Style | BS_DEFPUSHBUTTON) : (b->Style & ~static_cast<DWORD>(BS_DEFPUSHBUTTON));
  b->Style = style;
  if (b->Handle && !b->WindowGone) SendMessageW(b->Handle, BM_SETSTYLE, LOWORD(style), TRUE);
}

}  // namespace

void SetDefaultButton(TControl* button, bool on) {
  TControl* form = FormOf(button);
  if (!form) return;
  if (on) {
    if (button->IsCancelButton) SetCancelButton(button, false);
    if (form->DefaultButton && form->DefaultButton != button) SetDefaultButton(form->DefaultButton, false);
    form->DefaultButton = button;
    button->IsDefaultButton = true;
    SetButtonStyleBit(button, true);
  } else if (button->IsDefaultButton) {
    if (form->DefaultButton == button) form->DefaultButton = nullptr;
    button->IsDefaultButton = false;
    SetButtonStyleBit(button, false);
  }
  InstallDialogKeys();
}

void SetCancelButton(TControl* button, bool on) {
  TControl* form = FormOf(button);
  if (!form) return;
  if (on) {
    if (button->IsDefaultButton) SetDefaultButton(button, false);
    form->CancelButton = button;
    button->IsCancelButton = true;
  } else if (button->IsCancelButton) {
    if (form->CancelButton == button) form->CancelButton = nullptr;
    button->IsCancelButton = false;
  }
  InstallDialogKeys();
}

void InstallPendingDialogKeys() {
  if (gKeyProcWanted) InstallDialogKeys();
}

// ---- Tab navigation --------------------------------------------------------------------

namespace {

void CollectTabControls(TControl* parent, std::vector<TControl*>& out) {
  for (int i = 0; i < parent->Children->Count; ++i) {
    auto* c = static_cast<TControl*>(parent->Children->Get(i));
    out.push_back(c);
    CollectTabControls(c, out);
  }
}

bool TabNavHandler(TControl* control, TMsg& m, bool keyDown) {
  if (!keyDown || m.wParam != VK_TAB || !(control->NavKeys & kNavTab)) return false;
  TControl* form = control->GetParentForm();
  if (!form) return false;
  std::vector<TControl*> all;
  CollectTabControls(form, all);
  std::vector<TTabCandidate> candidates;
  int current = -1;
  for (std::size_t i = 0; i < all.size(); ++i) {
    TControl* c = all[i];
    const bool eligible = c->TabStop && c->Handle && !c->WindowGone && IsWindowVisible(c->Handle) &&
                          IsWindowEnabled(c->Handle);
    candidates.push_back(TTabCandidate{c->TabOrder, eligible});
    if (c == control) current = static_cast<int>(i);
  }
  const int next = NextTabIndex(candidates, current, GetKeyState(VK_SHIFT) >= 0);
  if (next >= 0) all[static_cast<std::size_t>(next)]->Focus();
  return true;
}

}  // namespace

void Tabulate(TControl* form) {
  if (form) form->NavHandler = TabNavHandler;
}

// ---- Threads ---------------------------------------------------------------------------

bool SyncCall(TControl* control, const std::function<void()>& fn) {
  HWND wnd = control ? control->Handle : nullptr;
  if (!wnd || GetWindowThreadProcessId(wnd, nullptr) == GetCurrentThreadId()) {
    fn();
    return true;
  }
  // The window's thread runs the call when it next serves sent messages; a window destroyed
  // before (or meanwhile) answers nothing and the call is dropped with it: `ran` stays
  // false. SendMessageW returns only after the call, so reading it here needs no lock.
  TSyncCall call{&fn, false};
  SendMessageW(wnd, kSyncCallMessage, kSyncCallTag, reinterpret_cast<LPARAM>(&call));
  return call.ran;
}

bool InSyncCall() { return gSyncDepth > 0; }
