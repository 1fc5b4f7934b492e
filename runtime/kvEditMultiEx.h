// Boundary of a sub-scheme: the inner face of its container's points. What enters the
// container's doWork[k] leaves onWork[k]; what an inner element sends into doEvent[k]
// leaves the container's onEvent[k]. Reads of the container's OutVar[k] are answered by
// OutVar[k]; inner reads of InVar[k] are answered by the container's InVar[k].
//
// Points: inputs doEvent[k]; data outputs InVar[k]; outputs onWork[k]; data points
// OutVar[k].
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvMultiElementEx;
class TClassMultiBase;

class TKvEditMultiEx : public TObj {
 public:
  TKvMultiElementEx* container = nullptr;
  TClassMultiBase* owner = nullptr;  // the sub-scheme object; freeing it ends the instance

  void SetWorkCount(int n) { onWork.resize(n > 0 ? static_cast<std::size_t>(n) : 0); }
  void SetVarCount(int n) { OutVar.resize(n > 0 ? static_cast<std::size_t>(n) : 0); }

  void doEvent(TData& d, std::uint16_t k);
  void InVar(TData& d, std::uint16_t k);

  std::vector<TEventPoint> onWork;
  std::vector<TEventPoint> OutVar;

 protected:
  ~TKvEditMultiEx() override = default;
};
