#include "elements/kvHub.h"

void TKvHub::SetOutCount(std::uint8_t n) {
  OutCount = n;
  onEvent.resize(n);
}

void TKvHub::doEvent(TData& d, std::uint16_t) {
  // Each output's whole downstream chain completes before the next output fires.
  for (std::size_t k = 0; k < onEvent.size(); ++k) FireData(onEvent[k], d);
}
