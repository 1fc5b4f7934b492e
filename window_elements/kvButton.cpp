#include "window_elements/kvButton.h"

#include "window_elements/WindowGate.h"

void TKvButton::Init() {
  control_ = NewButton(ParentControl(), Caption);
  control_->OnClick = TOnEvent{[](void* d, TControl* c) {
                                 // A disabled button fires nothing, whatever reached it.
                                 if (!c->Enabled || (c->Handle && !IsWindowEnabled(c->Handle))) return;
                                 auto* b = static_cast<TKvButton*>(d);
                                 FireWindowData(b->onClick, b->Data);
                               },
                               this};
  if (Default) SetDefaultButton(control_, true);
  control_->SetStyle(control_->Style | BS_MULTILINE);
  TKvWin::Init();
}
