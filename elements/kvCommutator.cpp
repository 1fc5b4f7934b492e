#include "elements/kvCommutator.h"

#include <algorithm>

namespace {

// Reads a selector with a fresh incoming value, so the value being routed is never consumed.
std::int32_t ReadSelector(const TEventPoint& point, std::int32_t def) {
  TData none;
  return ReadInteger(none, point, def);
}

}  // namespace

void TKvCommutator::SetOutCount(std::uint8_t n) {
  OutCount = n;
  if (n != 0) onEvent.resize(n);
}

void TKvCommutator::doWork(TData& d, std::uint16_t index) {
  if (ReadSelector(Enabled, 1) == 0) return;
  const std::int32_t out = ReadSelector(OutIndex, -1);
  const std::int32_t in = ReadSelector(InIndex, -1);
  if (in >= 0 && in != index) return;

  // OutCount is a plain field the scheme may set without the setter: never index past the
  // points that exist.
  if (out >= 0) {
    if (out < OutCount && static_cast<std::size_t>(out) < onEvent.size()) FireData(onEvent[out], d);
    return;
  }
  for (std::size_t k = 0; k < std::min<std::size_t>(OutCount, onEvent.size()); ++k) FireData(onEvent[k], d);
}
