// Stored value: keeps a value, possibly a whole multi-value chain, and hands it to every
// reader, announcing each read on onGet first (whatever runs there may store a new value,
// which the same read then returns).
//
// Points: input doStore (stores the data point's chain, or else the arriving chain);
// data point Value; output onGet; data output Stored.
//
// The element owns every node of its stored chain; a reader receives the head with Next
// pointing at the element's own second node, which it may walk but must not free.
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvEventFromData : public TObj {
 public:
  // Points.
  void doStore(TData& d, std::uint16_t index);
  void Stored(TData& d, std::uint16_t index);
  TEventPoint Value;
  TEventPoint onGet;

  // The stored head value (NULL until something is stored).
  const TData& StoredValue() const { return stored_; }

 protected:
  ~TKvEventFromData() override;

 private:
  TData stored_;
};
