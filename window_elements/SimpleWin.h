// The leaner windowed element base of the form element: what TKvWinBase holds, for a
// top-level window, and a layout slot. It has no hint, companion control, character
// event, size data points or doVisible.
//
// Points: input doEnabled; outputs those of TKvWinBase.
#pragma once

#include "window_elements/WinBase.h"

class TKvSimpleWin : public TKvWinBase {
 public:
  explicit TKvSimpleWin(TControl* parent);

  void* LayoutSlot = nullptr;  // a layout manager (none in this program)
  int LayoutArg1 = 0, LayoutArg2 = 0;

 protected:
  ~TKvSimpleWin() override = default;
};
