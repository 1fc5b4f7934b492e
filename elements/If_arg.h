// The comparison shared by the conditional elements: two values and an operator code.
#pragma once

#include <cstdint>

#include "runtime/Share.h"

// Operator codes (a op b).
enum TCompareOp : std::uint8_t {
  cmpEqual = 0,
  cmpLess = 1,
  cmpGreater = 2,
  cmpLessOrEqual = 3,
  cmpGreaterOrEqual = 4,
  cmpNotEqual = 5,
};

// The kind of a decides: NULL equals only NULL (whatever op); Integer, Real and String
// compare with b converted to the same kind (strings: equality byte for byte, ordering
// with ASCII letters folded); any other kind of a, and an unknown op, give false.
bool CompareData(const TData& a, const TData& b, std::uint8_t op);
