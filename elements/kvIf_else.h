// Two-way branch: compares two operands and continues on onTrue or onFalse with the value
// that arrived (not the operands).
//
// Points: input doCompare; data points Op2Point, Op1Point (each overrides its property
// unless unconnected or answering Break; with neither, the operand is taken from the
// arriving chain, first value for Op1, next for Op2); outputs onTrue, onFalse.
#pragma once

#include <cstdint>

#include "elements/If_arg.h"
#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvIf_else : public TObj {
 public:
  // Properties.
  std::uint8_t Compare = cmpEqual;  // operator code, see If_arg
  TData Op1;
  TData Op2;

  // Points.
  void doCompare(TData& d, std::uint16_t index);
  TEventPoint Op2Point;
  TEventPoint Op1Point;
  TEventPoint onTrue;
  TEventPoint onFalse;

 protected:
  ~TKvIf_else() override = default;
};
