// Constant source: replaces whatever arrives with a fixed value (or the value a data point
// answers) and passes it on.
//
// Points: input doEmit; data point ValuePoint (overrides the property unless unconnected
// or answering Break); output onEmit.
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvDoData : public TObj {
 public:
  // Properties.
  TData Value;  // emitted when the data point gives nothing; NULL emits NULL

  // Points.
  void doEmit(TData& d, std::uint16_t index);
  TEventPoint ValuePoint;
  TEventPoint onEmit;

 protected:
  ~TKvDoData() override = default;
};
