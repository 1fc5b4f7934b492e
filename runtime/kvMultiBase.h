// Base of the generated sub-scheme classes: a sub-scheme object owns its elements and
// records its boundary element, the inner face of the container that hosts it.
#pragma once

#include "winlib/Objects.h"

class TKvEditMultiEx;

class TClassMultiBase : public TObj {
 public:
  TKvEditMultiEx* boundary = nullptr;  // set by the generated constructor

 protected:
  ~TClassMultiBase() override = default;
};
