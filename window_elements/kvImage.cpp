#include "window_elements/kvImage.h"

#include "window_elements/WindowGate.h"
#include "winlib/Layout.h"

TKvImage::TKvImage(TControl* parent) : TKvWin(parent), Picture(New<TBitmap>()) {}

TKvImage::~TKvImage() { Free(Picture); }

void TKvImage::SetPicture(HBITMAP bitmap) {
  if (bitmap) Picture->SetHandle(bitmap);
}

void TKvImage::SetSmoothStretch(bool on) { stretchMode_ = (on && WinVersion() > 2) ? HALFTONE : COLORONCOLOR; }

void TKvImage::Init() {
  control_ = NewPaintPanel(ParentControl());
  TKvWin::Init();
  control_->OnClick = TOnEvent{[](void* d, TControl*) { FireWindowNull(static_cast<TKvImage*>(d)->onClick); }, this};
  control_->SetOnPaint(TOnPaint{Paint, this});
  control_->Canvas()->Brush->SetColor(Color);
  if (AutoSize && !Picture->Empty()) {
    control_->SetWidth(Picture->Width);
    control_->SetHeight(Picture->Height);
  }
}

void TKvImage::doVisible(TData& d, std::uint16_t) {
  const bool show = AsBool(d);
  TControl* c = control_;
  if (!c) return;
  winbase::OnWindowThread(c, [c, show] {
    c->SetVisible(show);
    if (show && c->Handle && !c->WindowGone) {
      SetWindowPos(c->Handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  });
}

void TKvImage::Paint(void* self, TControl* control, HDC dc) {
  auto* e = static_cast<TKvImage*>(self);
  RECT client{};
  GetClientRect(control->Handle, &client);
  const TFit fit = ProportionalFit(client.right, client.bottom, e->Picture->Width, e->Picture->Height);
  TCanvas* canvas = control->Canvas();
  auto fill = [canvas](const TRect& r) {
    if (r.Width() > 0 && r.Height() > 0) canvas->FillRect(RECT{r.Left, r.Top, r.Right, r.Bottom});
  };
  fill(fit.Band1);
  fill(fit.Band2);
  if (e->Picture->Empty()) return;
  SetStretchBltMode(dc, e->stretchMode_);
  // HALFTONE needs the brush origin set again after the mode (it may have moved).
  SetBrushOrgEx(dc, 0, 0, nullptr);
  e->Picture->StretchDraw(dc, RECT{fit.Picture.Left, fit.Picture.Top, fit.Picture.Right, fit.Picture.Bottom});
}
