#include "runtime/kvEditMultiEx.h"

#include "runtime/kvMultiElementEx.h"

void TKvEditMultiEx::doEvent(TData& d, std::uint16_t k) {
  if (container) container->RouteEvent(this, d, k);
}

void TKvEditMultiEx::InVar(TData& d, std::uint16_t k) {
  if (container) {
    container->RouteRead(this, d, k);
  } else {
    d.DataKind = kindBreak;
  }
}
