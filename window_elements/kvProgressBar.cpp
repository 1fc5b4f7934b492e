#include "window_elements/kvProgressBar.h"

#include "winlib/Graphics.h"

void TKvProgressBar::Init() {
  std::uint32_t options = 0;
  if (Kind == 1) options |= kProgressOptionVertical;
  if (Smooth) options |= kProgressOptionSmooth;
  control_ = NewProgressBar(ParentControl(), options);
  control_->Perform(PBM_SETRANGE32, 0, Max);
  // The bar colour is also the control's text colour: a window made later gets it too.
  control_->TextColor = BarColor;
  control_->Perform(PBM_SETBARCOLOR, 0, static_cast<LPARAM>(ResolveColor(BarColor)));
  if (Ctl3D == 1) control_->SetExStyle(0);
  TKvWin::Init();
}

void TKvProgressBar::doPosition(TData& d, std::uint16_t) {
  const std::int32_t position = AsInteger(d);
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [c, position] {
    c->Perform(PBM_SETPOS, static_cast<WPARAM>(position), 0);
    if (c->Handle && !c->WindowGone) UpdateWindow(c->Handle);
  });
}
