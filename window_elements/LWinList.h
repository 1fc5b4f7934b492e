// A list element that fills itself from a multi-line text (one item per line).
#pragma once

#include "window_elements/WinList.h"

class TKvLWinList : public TKvWinList {
 public:
  explicit TKvLWinList(TControl* parent) : TKvWinList(parent) {}

  // Begin update (redraw off, items cleared), one item per line in order, end update.
  void FillFromText(const std::string& text) override;

 protected:
  ~TKvLWinList() override = default;
};
