// Converter: turns an integer into text. Mode 4: the one-character string whose byte is
// the integer's low 8 bits; mode 6: upper-case hexadecimal of at least Digits digits. Any
// other mode gives an empty string. (The upload sends each image byte as a mode 4
// character and feeds its mode 6 text to the checksum.)
//
// Points: input doConvert; data point Data (falls back to the incoming value); output
// onResult.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvConvertor : public TObj {
 public:
  // Properties.
  std::int32_t Mode = 0;
  std::int32_t Digits = 0;
  // Text properties the scheme sets (empty); modes 4 and 6 do not use them.
  std::string Text1;
  std::string Text2;
  std::string Text3;
  std::string Text4;

  // Points.
  void doConvert(TData& d, std::uint16_t index);
  TEventPoint Data;
  TEventPoint onResult;

 protected:
  ~TKvConvertor() override = default;
};
