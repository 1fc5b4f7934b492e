// Hub: merges any number of input wires and hands every arriving value to each of its
// outputs in index order, each output with its own copy of the value as it arrived.
//
// Points: input doEvent[k] (every entry the same routine; the index is not used);
// outputs onEvent[0 .. OutCount-1].
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvHub : public TObj {
 public:
  // Properties.
  std::uint8_t InCount = 0;  // number of input wires the scheme builds (not used here)
  std::uint8_t OutCount = 0;
  void SetOutCount(std::uint8_t n);  // resizes onEvent (new points unconnected)

  // Points.
  void doEvent(TData& d, std::uint16_t index);
  std::vector<TEventPoint> onEvent;
};

// A hub with its two properties set, as the schemes create them.
TKvHub* NewHub(std::uint8_t inCount, std::uint8_t outCount);
