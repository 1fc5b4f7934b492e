#include "elements/kvDoData.h"

void TKvDoData::doEmit(TData& d, std::uint16_t) {
  SetNull(d);  // the arriving value never leaks into the result
  TData out;
  ReadValue(d, ValuePoint, &Value, out);
  PassOn(d, onEmit, out);
}
