#include "window_elements/WinBase.h"

#include "window_elements/WindowGate.h"
#include "window_elements/kvHintManager.h"
#include "winlib/Graphics.h"

namespace {

TKvWinBase* ElementOf(void* data) { return static_cast<TKvWinBase*>(data); }

bool FilterProc(TControl* c, TMsg& msg, LRESULT& result) {
  auto* h = static_cast<TWinHandlers*>(c->Owner);
  return h && h->MessageFilter(msg, result);
}

void Detached(void* data, TObj*) { static_cast<TWinHandlers*>(data)->Detach(); }

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

void ApplyLayout(TControl* control, const TWinProperties& p) {
  control->SetAlign(p.Align);
  if (control->Handle && !control->WindowGone) {
    SetWindowPos(control->Handle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  control->SetVisible(p.Visible);
}

void Track(HWND wnd, DWORD flags) {
  TRACKMOUSEEVENT t{};
  t.cbSize = sizeof t;
  t.dwFlags = flags;
  t.hwndTrack = wnd;
  if (flags & TME_HOVER) t.dwHoverTime = HOVER_DEFAULT;
  TrackMouseEvent(&t);
}

}  // namespace

namespace winbase {

void WatchControl(TControl* control, TWinHandlers* handlers) {
  control->Owner = handlers;
  control->OnDestroy = TObjEvent{Detached, handlers};
}

}  // namespace winbase

TKvWinBase::TKvWinBase(TControl* parent) : parent_(parent) {
  WindowElementsStartUp();
  Color = parent ? parent->Color : SysColor(COLOR_BTNFACE);
}

TKvWinBase::~TKvWinBase() {
  if (!control_ || detached_) return;
  TControl* c = control_;
  control_ = nullptr;
  c->OnDestroy = TObjEvent{};
  c->Owner = nullptr;
  c->SetVisible(false);
  Free(c);
}

void TKvWinBase::Init() {
  if (!control_) return;
  ApplyProperties(control_, *this);
  HookEvents();
  ApplyLayout(control_, *this);
}

void TKvWinBase::HookEvents() {
  TControl* c = control_;
  winbase::WatchControl(c, this);
  c->SetOnMouseDown(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { ElementOf(d)->MouseDown(m); }, this});
  c->SetOnMouseMove(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { ElementOf(d)->MouseMove(m); }, this});
  c->SetOnMouseUp(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { ElementOf(d)->MouseUp(m); }, this});
  c->SetOnMouseWheel(TOnMouse{[](void* d, TControl*, const TMouseEventData& m) { ElementOf(d)->MouseWheel(m); }, this});
  c->SetOnKeyDown(TOnKey{[](void* d, TControl*, int& key, DWORD shift) { ElementOf(d)->KeyDown(key, shift); }, this});
  c->SetOnKeyUp(TOnKey{[](void* d, TControl*, int& key, DWORD shift) { ElementOf(d)->KeyUp(key, shift); }, this});
  c->AttachProc(FilterProc);
  c->SetOnMouseDblClk(TOnMouse{
      [](void* d, TControl*, const TMouseEventData& m) { FireWindowInteger(ElementOf(d)->onDblClick, m.Button); },
      this});
}

void TKvWinBase::doEnabled(TData& d, std::uint16_t) {
  const bool on = AsBool(d);
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [c, on] { c->SetEnabled(on); });
}

void TKvWinBase::KeyDown(int& key, DWORD) {
  if (key != 0) FireWindowInteger(onKeyDown, key);
}

void TKvWinBase::KeyUp(int& key, DWORD) {
  if (key != 0) FireWindowInteger(onKeyUp, key);
}

void TKvWinBase::MouseDown(const TMouseEventData& m) {
  if (MouseCapture && control_ && control_->Handle) {
    ReleaseCapture();
    SetCapture(control_->Handle);
  }
  FireWindowInteger(onMouseDown, m.Button);
}

void TKvWinBase::MouseUp(const TMouseEventData& m) {
  if (MouseCapture) ReleaseCapture();
  FireWindowInteger(onMouseUp, m.Button);
}

void TKvWinBase::MouseMove(const TMouseEventData& m) { FireWindowInteger(onMouseMove, m.Button); }
void TKvWinBase::MouseWheel(const TMouseEventData& m) { FireWindowInteger(onMouseWheel, m.WheelDelta); }
void TKvWinBase::MouseEnter() { FireWindowNull(onMouseEnter); }
void TKvWinBase::MouseLeave() { FireWindowNull(onMouseLeave); }
void TKvWinBase::Resize() { FireWindowNull(onResize); }
void TKvWinBase::Show() { FireWindowNull(onShow); }

void TKvWinBase::Detach() {
  detached_ = true;
  control_ = nullptr;
}

bool TKvWinBase::MessageFilter(TMsg& msg, LRESULT&) {
  // A handler may let go of the control (it stays alive until the message is done).
  TControl* const c = control_;
  if (!c) return false;
  switch (msg.message) {
    case WM_MOVE:
      FireWindowNull(onMove);
      break;
    case WM_SETFOCUS:
      FireWindowNull(onSetFocus);
      break;
    case WM_KILLFOCUS:
      FireWindowNull(onKillFocus);
      break;
    case WM_SIZE:
      Resize();
      break;
    case WM_SHOWWINDOW:
      // Only a show of a window that was hidden (the message comes before the change).
      if (msg.wParam && !IsWindowVisible(msg.hwnd)) {
        shownOnce_ = true;
        Show();
      }
      break;
    case WM_MOUSEHOVER:
      MouseEnter();
      break;
    case WM_MOUSELEAVE:
      MouseLeave();
      Track(c->Handle, TME_HOVER);
      break;
    default:
      if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSEWHEEL) {
        Track(c->Handle, TME_LEAVE);
        MouseEnter();
      }
      break;
  }
  return false;
}
