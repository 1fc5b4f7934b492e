#include "elements/kvHub.h"

void TKvHub::SetOutCount(std::uint8_t n) {
  OutCount = n;
  onEvent.resize(n);
}

TKvHub* NewHub(std::uint8_t inCount, std::uint8_t outCount) {
  TKvHub* hub = New<TKvHub>();
  hub->InCount = inCount;
  hub->SetOutCount(outCount);
  return hub;
}

void TKvHub::doEvent(TData& d, std::uint16_t) {
  // Each output's whole downstream chain completes before the next output fires.
  for (std::size_t k = 0; k < onEvent.size(); ++k) FireData(onEvent[k], d);
}
