#include "window_elements/WinBase.h"

#include "window_elements/WindowGate.h"
#include "winlib/Graphics.h"

namespace winbase {

namespace {

TWinHandlers* HandlersOf(void* data) { return static_cast<TWinHandlers*>(data); }

bool FilterProc(TControl* c, TMsg& msg, LRESULT& result) {
  auto* h = static_cast<TWinHandlers*>(c->Owner);
  return h && h->MessageFilter(msg, result);
}

void Detached(void* data, TObj*) { HandlersOf(data)->Detach(); }

void ApplyFont(TControl* control, const TWinProperties& p) {
  if (p.ParentFont && control->Parent && control->Parent->Font) {
    TGraphicTool* f = control->GetFont();
    AssignTool(f, control->Parent->Font);
    return;
  }
  TGraphicTool* f = control->GetFont();
  const auto color = static_cast<std::int32_t>(p.Font.Color);
  f->SetColor(color);
  control->TextColor = color;
  f->SetFontStyle(p.Font.Style);
  f->SetFontName(p.Font.Name);
  f->SetData(tool::kFontHeight, FontHeight(p.Font.Size));
  f->SetCharSet(p.Font.CharSet);
}

}  // namespace

void ApplyProperties(TControl* control, const TWinProperties& p) {
  control->SetColor(p.Color);
  control->SetBoundsRect(RECT{p.Left, p.Top, p.Left + p.Width, p.Top + p.Height});
  if (p.Ctl3D < 2) control->SetCtl3D(p.Ctl3D == 0);
  control->SetEnabled(p.Enabled);
  control->SetCursor(p.Cursor);
  if (p.Flat) control->SetStyle(control->Style | BS_FLAT);
  ApplyFont(control, p);
  if (p.TabOrder >= 1) {
    control->TabStop = true;
    control->TabOrder = p.TabOrder;
    control->SetStyle(control->Style | WS_TABSTOP);
  } else {
    control->TabStop = false;
    control->SetStyle(control->Style & ~static_cast<DWORD>(WS_TABSTOP));
  }
}

void WatchControl(TControl* control, TWinHandlers* handlers) {
  control->Owner = handlers;
  control->OnDestroy = TObjEvent{Detached, handlers};
}

void ReleaseControl(TControl*& control, bool detached) {
  if (!control || detached) return;
  TControl* c = control;
  control = nullptr;
  c->OnDestroy = TObjEvent{};
  c->Owner = nullptr;
  c->SetVisible(false);
  Free(c);
}

void HookHandlers(TControl* control, TWinHandlers* handlers) {
  WatchControl(control, handlers);
  control->SetOnMouseDown(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { HandlersOf(d)->MouseDown(m); }, handlers});
  control->SetOnMouseMove(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { HandlersOf(d)->MouseMove(m); }, handlers});
  control->SetOnMouseUp(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { HandlersOf(d)->MouseUp(m); }, handlers});
  control->SetOnMouseWheel(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { HandlersOf(d)->MouseWheel(m); }, handlers});
  control->SetOnKeyDown(TOnKey{[](void* d, TControl*, int& key, DWORD shift) { HandlersOf(d)->KeyDown(key, shift); }, handlers});
  control->SetOnKeyUp(TOnKey{[](void* d, TControl*, int& key, DWORD shift) { HandlersOf(d)->KeyUp(key, shift); }, handlers});
  control->AttachProc(FilterProc);
}

void ApplyLayout(TControl* control, const TWinProperties& p) {
  control->SetAlign(p.Align);
  if (control->Handle && !control->WindowGone) {
    SetWindowPos(control->Handle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  control->SetVisible(p.Visible);
}

void FilterCommon(TControl* control, TWinHandlers* handlers, const TWinEvents& events, TMsg& msg, bool& shownOnce) {
  switch (msg.message) {
    case WM_MOVE:
      FireWindowNull(events.onMove);
      return;
    case WM_SETFOCUS:
      FireWindowNull(events.onSetFocus);
      return;
    case WM_KILLFOCUS:
      FireWindowNull(events.onKillFocus);
      return;
    case WM_SIZE:
      handlers->Resize();
      return;
    case WM_SHOWWINDOW:
      // Only a show of a window that was hidden (the message comes before the change).
      if (msg.wParam && !IsWindowVisible(msg.hwnd)) {
        shownOnce = true;
        handlers->Show();
      }
      return;
    case WM_MOUSEHOVER:
      handlers->MouseEnter();
      return;
    case WM_MOUSELEAVE: {
      handlers->MouseLeave();
      TRACKMOUSEEVENT t{};
      t.cbSize = sizeof t;
      t.dwFlags = TME_HOVER;
      t.hwndTrack = control->Handle;
      t.dwHoverTime = HOVER_DEFAULT;
      TrackMouseEvent(&t);
      return;
    }
    default:
      if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSEWHEEL) {
        TRACKMOUSEEVENT t{};
        t.cbSize = sizeof t;
        t.dwFlags = TME_LEAVE;
        t.hwndTrack = control->Handle;
        TrackMouseEvent(&t);
        handlers->MouseEnter();
      }
      return;
  }
}

void MouseDownCommon(TControl* control, const TWinProperties& p, const TWinEvents& events, const TMouseEventData& m) {
  if (p.MouseCapture && control->Handle) {
    ReleaseCapture();
    SetCapture(control->Handle);
  }
  FireWindowInteger(events.onMouseDown, m.Button);
}

void MouseUpCommon(TControl*, const TWinProperties& p, const TWinEvents& events, const TMouseEventData& m) {
  if (p.MouseCapture) ReleaseCapture();
  FireWindowInteger(events.onMouseUp, m.Button);
}

void MouseMoveCommon(const TWinEvents& events, const TMouseEventData& m) {
  FireWindowInteger(events.onMouseMove, m.Button);
}

void KeyCommon(const TEventPoint& point, int& key) {
  if (key != 0) FireWindowInteger(point, key);
}

}  // namespace winbase
