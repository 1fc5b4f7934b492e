// Two-state toggle: every arrival flips the state and emits the new state's value, first
// on onSwitch, then (by tail firing) on onOn or onOff.
//
// Points: input doSwitch; data points DataOffPoint, DataOnPoint (each overrides its
// property unless unconnected or answering Break; with neither, the arriving value
// becomes the new current value); outputs onOff, onOn, onSwitch; data output getCurrent.
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvSwitch : public TObj {
 public:
  // Properties.
  TData DataOn;
  TData DataOff;
  // Fixes the starting state from DataOn/DataOff (set both first): 0 starts on with
  // Current = DataOn, anything else starts off with Current = DataOff.
  void SetDefault(std::uint8_t v);

  // State.
  bool State = false;  // true: on
  TData Current;

  // Points.
  void doSwitch(TData& d, std::uint16_t index);
  void getCurrent(TData& d, std::uint16_t index);
  TEventPoint DataOffPoint;
  TEventPoint DataOnPoint;
  TEventPoint onOff;
  TEventPoint onOn;
  TEventPoint onSwitch;

 protected:
  ~TKvSwitch() override = default;
};
