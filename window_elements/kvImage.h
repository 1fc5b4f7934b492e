// A bitmap drawn into the element's rectangle, scaled to fit with its proportions kept;
// the rest is filled with the element's colour. In this program: the error picture.
//
// Points: output onClick; inputs and outputs of TKvWin (doVisible shows the picture).
#pragma once

#include <cstdint>

#include "window_elements/Win.h"
#include "winlib/Graphics.h"

class TKvImage : public TKvWin {
 public:
  explicit TKvImage(TControl* parent);

  TBitmap* Picture;  // owned; empty until a picture is given
  bool AutoSize = false;
  TEventPoint onClick;

  // Takes over the bitmap handle; 0 is ignored.
  void SetPicture(HBITMAP bitmap);
  // HALFTONE when on and the system is recent enough, COLORONCOLOR otherwise.
  void SetSmoothStretch(bool on);
  int StretchMode() const { return stretchMode_; }

  void Init() override;

 protected:
  ~TKvImage() override;

 private:
  static void Paint(void* self, TControl* control, HDC dc);

  int stretchMode_ = COLORONCOLOR;
};
