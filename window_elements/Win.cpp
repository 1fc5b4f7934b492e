#include "window_elements/Win.h"

#include "window_elements/WindowGate.h"

TKvWin::TKvWin(TControl* parent) : TKvWinBase(parent) {}

TKvWin::~TKvWin() {
  if (hint_ && hintInterface_) hintInterface_->Destroy(hintInterface_->Manager, hint_);
  hint_ = nullptr;
}

void TKvWin::Init() {
  if (!control_) return;
  TKvWinBase::Init();
  if (Ctl3D == 0) {
    DWORD ex = 0;
    bool apply = true;
    switch (BorderStyle) {
      case 1: ex = 0; break;
      case 2: ex = WS_EX_STATICEDGE; break;
      case 3: ex = WS_EX_DLGMODALFRAME; break;
      case 4: ex = WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE; break;
      default: apply = false; break;
    }
    if (apply) control_->SetExStyle(ex);
  }
}

void TKvWin::HookEvents() {
  TKvWinBase::HookEvents();
  control_->SetOnChar(TOnChar{[](void* d, TControl*, char& key, DWORD shift) { static_cast<TKvWin*>(d)->Char(key, shift); },
                              this});
}

void TKvWin::HookUpHint(const THintInterface* iface) {
  if (!iface && Hint.empty()) return;
  if (!control_ || Hint.empty()) return;
  hintInterface_ = iface ? iface : &DefaultHintManager()->Interface();
  if (!control_->Handle) control_->CreateHandle();
  hint_ = hintInterface_->Create(hintInterface_->Manager, control_->Handle);
  hintInterface_->SetText(hintInterface_->Manager, hint_, Hint);
}

void TKvWin::doVisible(TData& d, std::uint16_t) {
  const bool show = AsBool(d);
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [c, show] { c->SetVisible(show); });
}

void TKvWin::Char(char& key, DWORD) {
  if (key != 0) FireWindowString(onChar, std::string(1, key));
}

void TKvWin::MouseMove(const TMouseEventData& m) {
  if (hint_ && hintInterface_) hintInterface_->MouseMove(hintInterface_->Manager, hint_, m.X, m.Y);
  TKvWinBase::MouseMove(m);
}

void TKvWin::MouseEnter() {
  if (hint_ && hintInterface_) hintInterface_->MouseEnter(hintInterface_->Manager, hint_);
  TKvWinBase::MouseEnter();
}

void TKvWin::MouseLeave() {
  if (hint_ && hintInterface_) hintInterface_->MouseLeave(hintInterface_->Manager, hint_);
  TKvWinBase::MouseLeave();
}

void TKvWin::CorrectSize(WINDOWPOS& pos) {
  if (pos.flags & SWP_NOSIZE) return;
  RECT r{};
  if (!GetWindowRect(pos.hwnd, &r)) return;
  const int height = r.bottom - r.top;
  const int width = r.right - r.left;
  auto ask = [](const TEventPoint& point, int current, int& wanted) {
    if (!point.Connected() || wanted == current) return;
    TData d;
    SetInteger(d, wanted - current);
    ReadWindowPoint(point, d);
    if (d.DataKind == kindInteger || d.DataKind == kindReal || d.DataKind == kindString) wanted = current + AsInteger(d);
  };
  ask(HeightPoint, height, pos.cy);
  ask(WidthPoint, width, pos.cx);
}

bool TKvWin::MessageFilter(TMsg& msg, LRESULT& result) {
  if (!control_) return false;
  if (msg.message == WM_WINDOWPOSCHANGING && msg.lParam) {
    CorrectSize(*reinterpret_cast<WINDOWPOS*>(msg.lParam));
    return false;
  }
  return TKvWinBase::MessageFilter(msg, result);
}
