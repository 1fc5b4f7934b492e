// A bitmap drawn into the element's rectangle, scaled to fit with its proportions kept;
// the rest is filled with the element's colour. In this program: the error picture.
//
// Points: output onClick; inputs and outputs of TKvWin (doVisible shows the picture, above
// the controls it lies on).
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
  // Shows or hides the picture. Shown, it comes to the top of its siblings: the error
  // picture lies on the first error line, which is made before it and would otherwise
  // clip it away (sibling controls clip each other, the earlier made on top).
  void doVisible(TData& d, std::uint16_t index);

 protected:
  ~TKvImage() override;

 private:
  static void Paint(void* self, TControl* control, HDC dc);

  int stretchMode_ = COLORONCOLOR;
};
