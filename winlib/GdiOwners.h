// Owners of what the window library takes from GDI: objects (fonts, brushes, bitmaps,
// regions), device contexts (GetDC, memory DCs, BeginPaint) and the selection of an object
// into a DC. Each gives back what it holds when it goes, or when it is given something
// else, and reports to the census (Census.h) both ways. They move; they do not copy.
//
// An owned object reads as its handle (the library's fields keep their handle types for
// their readers), so it can be passed where the handle is wanted; only the owner deletes.
#pragma once

#include <utility>

#include "platform/winsys.h"

// Census bookkeeping of one GDI object made by the library (nothing for null).
void CountGdiObject(HGDIOBJ object);
// Deletes an object the library made and counted.
void DeleteGdiObject(HGDIOBJ object);

// A GDI object that is ours to delete. H is HGDIOBJ or one of its typed handles.
template <class H>
class TGdiOwned {
 public:
  TGdiOwned() = default;
  // Takes over a new object (null: holds nothing).
  explicit TGdiOwned(H object) : object_(object) { CountGdiObject(object_); }
  TGdiOwned(TGdiOwned&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  TGdiOwned& operator=(TGdiOwned&& other) noexcept {
    if (this != &other) {
      DeleteGdiObject(object_);
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  TGdiOwned(const TGdiOwned&) = delete;
  TGdiOwned& operator=(const TGdiOwned&) = delete;
  ~TGdiOwned() { DeleteGdiObject(object_); }

  H Get() const { return object_; }
  operator H() const { return object_; }  // NOLINT: reads as the handle
  // Deletes what it holds and takes over `object`.
  void Reset(H object = nullptr) {
    if (object != object_) *this = TGdiOwned(object);
  }

 private:
  H object_ = nullptr;
};

using TGdiObject = TGdiOwned<HGDIOBJ>;
using TBrushObject = TGdiOwned<HBRUSH>;
using TFontObject = TGdiOwned<HFONT>;
using TBitmapObject = TGdiOwned<HBITMAP>;
using TRegion = TGdiOwned<HRGN>;

// A device context and the way it goes back: ReleaseDC for one from GetDC, DeleteDC for
// one the library made (or was given to keep), nothing for one it only borrows (the DC of
// a paint that someone else began).
class TDeviceContext {
 public:
  TDeviceContext() = default;
  // GetDC of the window (null: the screen).
  static TDeviceContext OfWindow(HWND wnd);
  // A memory DC compatible with `like` (null: the screen).
  static TDeviceContext Memory(HDC like = nullptr);
  // A DC made elsewhere that is now ours to delete.
  static TDeviceContext Adopt(HDC dc);
  static TDeviceContext Borrow(HDC dc);
  TDeviceContext(TDeviceContext&& other) noexcept;
  TDeviceContext& operator=(TDeviceContext&& other) noexcept;
  TDeviceContext(const TDeviceContext&) = delete;
  TDeviceContext& operator=(const TDeviceContext&) = delete;
  ~TDeviceContext() { Reset(); }

  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }
  // Gives the DC back now.
  void Reset();
  // Lets go of the DC without giving it back (someone else does).
  void Forget();

 private:
  enum class TKind { Borrowed, Window, Made };
  TDeviceContext(HDC dc, TKind kind, HWND wnd);

  HDC dc_ = nullptr;
  TKind kind_ = TKind::Borrowed;
  HWND wnd_ = nullptr;
};

// BeginPaint .. EndPaint of a window.
class TPaintDC {
 public:
  explicit TPaintDC(HWND wnd);
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  ~TPaintDC();

  HDC Get() const { return dc_; }
  const PAINTSTRUCT& Info() const { return ps_; }

 private:
  HWND wnd_;
  PAINTSTRUCT ps_{};
  HDC dc_ = nullptr;
};

// An object selected into a DC for a while: the one it replaced goes back when it goes.
class TSelection {
 public:
  TSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
  TSelection(const TSelection&) = delete;
  TSelection& operator=(const TSelection&) = delete;
  ~TSelection() {
    if (previous_) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
