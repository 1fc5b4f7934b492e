// Format string: fills the numbered placeholders %1 .. %N of a template with the values
// read from the Str points (an unconnected entry takes the next value of the incoming
// chain). "%%" gives a percent sign, and %1 never matches inside %10.
//
// Points: input doFormat; data points Str[0 .. DataCount-1] (Str[k] fills %k+1);
// output onFormat.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvFormatStr : public TObj {
 public:
  // Properties.
  std::string Mask;
  std::int32_t DataCount = 0;
  void SetDataCount(std::int32_t n);  // resizes Str (new points unconnected)

  // Points.
  void doFormat(TData& d, std::uint16_t index);
  std::vector<TEventPoint> Str;
  TEventPoint onFormat;

 protected:
  ~TKvFormatStr() override = default;
};
