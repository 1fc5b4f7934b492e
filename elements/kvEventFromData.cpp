#include "elements/kvEventFromData.h"

#include <utility>

TKvEventFromData::~TKvEventFromData() { FreeChain(stored_); }

void TKvEventFromData::doStore(TData& d, std::uint16_t) {
  TData v;
  ReadAllValues(d, Value, nullptr, v);
  // The new chain may run through our own nodes (a value read from Stored and stored
  // back): copy it before the old chain is released.
  TData fresh;
  CopyChain(fresh, v);
  FreeChain(stored_);
  stored_ = std::move(fresh);
}

void TKvEventFromData::Stored(TData& d, std::uint16_t) {
  FireEvent(onGet, d);
  d = stored_;
}
