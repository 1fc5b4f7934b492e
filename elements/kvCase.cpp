#include "elements/kvCase.h"

#include "elements/If_arg.h"

void TKvCase::doCase(TData& d, std::uint16_t) {
  TData keep = d;
  TData x;
  TakeFirstValue(d, x);
  if (CompareData(x, Value, cmpEqual)) {
    FireData(onMatch, Result);
  } else {
    FireEvent(onDefault, keep);
  }
}
