// Single-value test: when the first arriving value equals Value, fires Result on onMatch;
// otherwise hands the arriving value on to onDefault. Both outputs fire inside the routine.
//
// Points: input doCase; outputs onMatch, onDefault.
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvCase : public TObj {
 public:
  // Properties.
  TData Result;  // fired on a match (NULL unless set)
  TData Value;   // what the arriving value is compared with

  // Points.
  void doCase(TData& d, std::uint16_t index);
  TEventPoint onMatch;
  TEventPoint onDefault;

 protected:
  ~TKvCase() override = default;
};
