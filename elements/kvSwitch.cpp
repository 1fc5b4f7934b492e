#include "elements/kvSwitch.h"

void TKvSwitch::SetDefault(std::uint8_t v) {
  State = (v == 0);
  Current = State ? DataOn : DataOff;
  Current.Next = nullptr;  // the property's chain, if any, is not ours to hand out
}

void TKvSwitch::doSwitch(TData& d, std::uint16_t) {
  State = !State;
  if (State) {
    ReadValue(d, DataOnPoint, &DataOn, Current);
  } else {
    ReadValue(d, DataOffPoint, &DataOff, Current);
  }
  const TEventPoint chosen = State ? onOn : onOff;
  d = Current;
  FireEvent(onSwitch, d);
  PassOn(d, chosen, Current);
}

void TKvSwitch::getCurrent(TData& d, std::uint16_t) { d = Current; }
