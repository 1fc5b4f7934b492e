#include "winlib/GdiOwners.h"

#include "winlib/Census.h"

void CountGdiObject(HGDIOBJ object) {
  if (object) CensusAdd(TCensusKind::GdiObject);
}

void DeleteGdiObject(HGDIOBJ object) {
  if (object && DeleteObject(object)) CensusRemove(TCensusKind::GdiObject);
}

// ---- Device contexts -------------------------------------------------------------------

TDeviceContext::TDeviceContext(HDC dc, TKind kind, HWND wnd) : dc_(dc), kind_(kind), wnd_(wnd) {
  if (dc_ && kind_ != TKind::Borrowed) CensusAdd(TCensusKind::DeviceContext);
}

TDeviceContext TDeviceContext::OfWindow(HWND wnd) { return TDeviceContext(GetDC(wnd), TKind::Window, wnd); }

TDeviceContext TDeviceContext::Memory(HDC like) { return TDeviceContext(CreateCompatibleDC(like), TKind::Made, nullptr); }

TDeviceContext TDeviceContext::Adopt(HDC dc) { return TDeviceContext(dc, TKind::Made, nullptr); }

TDeviceContext TDeviceContext::Borrow(HDC dc) { return TDeviceContext(dc, TKind::Borrowed, nullptr); }

TDeviceContext::TDeviceContext(TDeviceContext&& other) noexcept
    : dc_(std::exchange(other.dc_, nullptr)), kind_(other.kind_), wnd_(other.wnd_) {}

TDeviceContext& TDeviceContext::operator=(TDeviceContext&& other) noexcept {
  if (this != &other) {
    Reset();
    dc_ = std::exchange(other.dc_, nullptr);
    kind_ = other.kind_;
    wnd_ = other.wnd_;
  }
  return *this;
}

void TDeviceContext::Reset() {
  HDC dc = std::exchange(dc_, nullptr);
  if (!dc) return;
  switch (kind_) {
    case TKind::Window:
      if (ReleaseDC(wnd_, dc)) CensusRemove(TCensusKind::DeviceContext);
      break;
    case TKind::Made:
      if (DeleteDC(dc)) CensusRemove(TCensusKind::DeviceContext);
      break;
    case TKind::Borrowed:
      break;
  }
}

void TDeviceContext::Forget() {
  if (dc_ && kind_ != TKind::Borrowed) CensusRemove(TCensusKind::DeviceContext);
  dc_ = nullptr;
}

TPaintDC::TPaintDC(HWND wnd) : wnd_(wnd), dc_(BeginPaint(wnd, &ps_)) {
  if (dc_) CensusAdd(TCensusKind::DeviceContext);
}

TPaintDC::~TPaintDC() {
  // EndPaint is owed even when BeginPaint gave no DC: it shows the caret again.
  EndPaint(wnd_, &ps_);
  if (dc_) CensusRemove(TCensusKind::DeviceContext);
}
