// A push button that fires a fixed value when clicked.
//
// Points: output onClick (a copy of Data; a disabled button fires nothing); inputs and
// outputs of TKvWin (doVisible, doEnabled).
#pragma once

#include <string>

#include "window_elements/Win.h"

class TKvButton : public TKvWin {
 public:
  explicit TKvButton(TControl* parent) : TKvWin(parent) {}

  TData Data;
  std::string Caption;
  bool Default = false;  // pressed by the Enter key
  TEventPoint onClick;

  void Init() override;

 protected:
  ~TKvButton() override = default;
};
