// String concatenation: joins two texts (the upload builds its final acknowledgement text,
// the checksum followed by "465A", this way).
//
// Points: input doStrCat; data points Str2Point, Str1Point (each falls back to its property,
// then to the incoming value; Str1 is read first); output onStrCat.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvStrCat : public TObj {
 public:
  // Properties.
  std::string Str1;
  std::string Str2;

  // Points.
  void doStrCat(TData& d, std::uint16_t index);
  TEventPoint Str2Point;
  TEventPoint Str1Point;
  TEventPoint onStrCat;

  const std::string& Result() const { return result_; }  // the last result

 protected:
  ~TKvStrCat() override = default;

 private:
  std::string result_;
};
