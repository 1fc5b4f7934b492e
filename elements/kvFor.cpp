#include "elements/kvFor.h"

namespace {

std::int32_t Low32(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

}  // namespace

void TKvFor::doFor(TData& d, std::uint16_t) {
  if (KeepInput == 0) SetNull(d);
  Index = ReadInteger(d, StartPoint, Start);
  std::int64_t end = ReadInteger(d, EndPoint, End);

  // The position is a local 64-bit value and the step is fixed for the run: a 32-bit
  // variable would wrap past the limits and never end, and neither a doFor re-entered from
  // a step nor a property changed there can move this loop or make it endless.
  const std::int64_t step = Step;
  std::int64_t i = Index;
  if (step > 0) {
    if (IncludeEnd == 0) --end;
    while (i <= end) {
      Index = static_cast<std::int32_t>(i);
      FireInteger(onEvent, Index);
      i += step;
    }
  } else if (step < 0) {
    if (IncludeEnd == 0) ++end;
    while (i >= end) {
      Index = static_cast<std::int32_t>(i);
      FireInteger(onEvent, Index);
      i += step;
    }
  }
  Index = Low32(i);
  PassOnInteger(d, onStop, Index);
}
