// Commutator: passes every arriving value to one selected output, or to all outputs, and
// can be gated and restricted to one input wire. Selection is read on each arrival.
//
// Points: input doWork[k] (k: the wire's own index); outputs onEvent[0 .. OutCount-1];
// data points Enabled (default 1: 0 blocks), InIndex (default -1: any input passes),
// OutIndex (default -1: every output; 0 .. OutCount-1: that output; above: none).
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvCommutator : public TObj {
 public:
  // Properties.
  std::uint8_t InCount = 0;  // number of input wires the scheme builds (not used here)
  std::uint8_t OutCount = 0;
  // A non-zero count resizes onEvent (new points unconnected); 0 only records the count,
  // the array keeps its size and its stale points are never fired.
  void SetOutCount(std::uint8_t n);

  // Points.
  void doWork(TData& d, std::uint16_t index);
  std::vector<TEventPoint> onEvent;
  TEventPoint Enabled;
  TEventPoint InIndex;
  TEventPoint OutIndex;

 protected:
  ~TKvCommutator() override = default;
};
