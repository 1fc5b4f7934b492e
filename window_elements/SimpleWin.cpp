#include "window_elements/SimpleWin.h"

#include "window_elements/WindowGate.h"
#include "window_elements/kvHintManager.h"

TKvSimpleWin::TKvSimpleWin(TControl* parent) : parent_(parent) {
  WindowElementsStartUp();
  Color = parent ? parent->Color : SysColor(COLOR_BTNFACE);
}

TKvSimpleWin::~TKvSimpleWin() {
  winbase::ReleaseControl(control_, detached_);
}

void TKvSimpleWin::Init() {
  if (!control_) return;
  winbase::ApplyProperties(control_, *this);
  winbase::HookHandlers(control_, this);
  control_->SetOnMouseDblClk(TOnMouse{
      [](void* d, TControl*, const TMouseEventData& m) {
        FireWindowInteger(static_cast<TKvSimpleWin*>(d)->onDblClick, m.Button);
      },
      this});
  winbase::ApplyLayout(control_, *this);
}

void TKvSimpleWin::doEnabled(TData& d, std::uint16_t) {
  const bool on = AsBool(d);
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [c, on] { c->SetEnabled(on); });
}

void TKvSimpleWin::KeyDown(int& key, DWORD) { winbase::KeyCommon(onKeyDown, key); }
void TKvSimpleWin::KeyUp(int& key, DWORD) { winbase::KeyCommon(onKeyUp, key); }
void TKvSimpleWin::MouseDown(const TMouseEventData& m) { winbase::MouseDownCommon(control_, *this, *this, m); }
void TKvSimpleWin::MouseUp(const TMouseEventData& m) { winbase::MouseUpCommon(control_, *this, *this, m); }
void TKvSimpleWin::MouseMove(const TMouseEventData& m) { winbase::MouseMoveCommon(*this, m); }
void TKvSimpleWin::MouseWheel(const TMouseEventData& m) { FireWindowInteger(onMouseWheel, m.WheelDelta); }
void TKvSimpleWin::MouseEnter() { FireWindowNull(onMouseEnter); }
void TKvSimpleWin::MouseLeave() { FireWindowNull(onMouseLeave); }
void TKvSimpleWin::Resize() { FireWindowNull(onResize); }
void TKvSimpleWin::Show() { FireWindowNull(onShow); }

void TKvSimpleWin::Detach() {
  detached_ = true;
  control_ = nullptr;
}

bool TKvSimpleWin::MessageFilter(TMsg& msg, LRESULT&) {
  if (!control_) return false;
  winbase::FilterCommon(control_, this, *this, msg, shownOnce_);
  return false;
}
