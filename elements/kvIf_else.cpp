#include "elements/kvIf_else.h"

void TKvIf_else::doCompare(TData& d, std::uint16_t) {
  const TData keep = d;
  TData x, y;
  ReadValue(d, Op1Point, &Op1, x);
  ReadValue(d, Op2Point, &Op2, y);
  PassOn(d, CompareData(x, y, Compare) ? onTrue : onFalse, keep);
}
