// The progress bar: how far the firmware upload has come (acknowledged blocks of 0..Max).
//
// Points: input doPosition (the value as an integer; the bar is redrawn at once); inputs
// and outputs of TKvWin.
#pragma once

#include <cstdint>

#include "window_elements/Win.h"

class TKvProgressBar : public TKvWin {
 public:
  explicit TKvProgressBar(TControl* parent) : TKvWin(parent) {}

  std::uint8_t Kind = 0;     // 1: vertical
  bool Smooth = false;
  std::int32_t Max = 100;    // the range is 0..Max
  std::int32_t BarColor = 0;

  void doPosition(TData& d, std::uint16_t index);
  void Init() override;

 protected:
  ~TKvProgressBar() override = default;
};
