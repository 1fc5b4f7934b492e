#include "elements/kvFor.h"

void TKvFor::doFor(TData& d, std::uint16_t) {
  if (KeepInput == 0) SetNull(d);
  Index = ReadInteger(d, StartPoint, Start);
  std::int64_t end = ReadInteger(d, EndPoint, End);

  // The position is a local 64-bit value and the step is fixed for the run: a 32-bit
  // variable would wrap past the limits and never end, and neither a doFor re-entered from
  // a step nor a property changed there can move this loop or make it endless.
  const std::int64_t step = Step;
  const bool up = step > 0;
  std::int64_t i = Index;
  if (step != 0) {
    if (IncludeEnd == 0) end += up ? -1 : 1;
    while (up ? i <= end : i >= end) {
      Index = static_cast<std::int32_t>(i);
      FireInteger(onEvent, Index);
      i += step;
    }
  }
  Index = static_cast<std::int32_t>(i);  // the low 32 bits
  PassOnInteger(d, onStop, Index);
}
