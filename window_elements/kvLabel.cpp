#include "window_elements/kvLabel.h"

#include "window_elements/WindowGate.h"

TKvLabel::TKvLabel(TControl* parent) : TKvWin(parent) {
  control_ = NewLabel(parent, "");
  winbase::WatchControl(control_, this);
}

void TKvLabel::SetAutoSize(bool on) {
  autoSize_ = on;
  if (control_) control_->SetAutoSize(on);
}

void TKvLabel::SetTextAlign(int align) {
  textAlign_ = align;
  if (control_) control_->SetTextAlign(align);
}

void TKvLabel::Init() {
  TKvWin::Init();
  if (!control_) return;
  control_->SetCaption(Caption);
  control_->OnClick = TOnEvent{[](void* d, TControl*) { FireWindowNull(static_cast<TKvLabel*>(d)->onClick); }, this};
}

void TKvLabel::MouseEnter() {
  TKvWin::MouseEnter();
  if (!control_) return;
  TGraphicTool* f = control_->GetFont();
  if (HoverColor != 0) f->SetColor(HoverColor);
  if (HoverUnderline) f->SetFontStyle(f->FontStyle() | kFontUnderlineBit);
}

void TKvLabel::MouseLeave() {
  TKvWin::MouseLeave();
  if (!control_) return;
  TGraphicTool* f = control_->GetFont();
  if (HoverColor != 0) f->SetColor(static_cast<std::int32_t>(Font.Color));
  if (HoverUnderline) f->SetFontStyle(f->FontStyle() & ~kFontUnderlineBit);
}
