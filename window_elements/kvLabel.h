// A line or block of text. The control is made at construction; its text at Init.
//
// Points: output onClick (no data); inputs and outputs of TKvWin (doVisible shows the
// completion message and the error lines in this program).
#pragma once

#include <cstdint>
#include <string>

#include "window_elements/Win.h"

class TKvLabel : public TKvWin {
 public:
  explicit TKvLabel(TControl* parent);

  std::int32_t HoverColor = 0;  // the font colour while the mouse is over the label (0: none)
  bool HoverUnderline = false;
  std::string Caption;
  TEventPoint onClick;

  // Applied to the control at once.
  void SetAutoSize(bool on);
  void SetTextAlign(int align);
  bool AutoSize() const { return autoSize_; }
  int TextAlign() const { return textAlign_; }

  void Init() override;
  void MouseEnter() override;
  void MouseLeave() override;

 protected:
  ~TKvLabel() override = default;

 private:
  bool autoSize_ = false;
  int textAlign_ = 0;
};
