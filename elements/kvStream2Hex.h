// Stream to hex: renders a byte string as hexadecimal text, two upper-case digits per
// byte, no separators (the upload renders every reply chunk this way before comparing it).
//
// Points: input doHex; data point Data (falls back to the incoming value); output onHex.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvStream2Hex : public TObj {
 public:
  // Properties the scheme sets; the conversion does not use them.
  std::int32_t Digits = 0;
  std::string Delimiter;

  // Points.
  void doHex(TData& d, std::uint16_t index);
  TEventPoint Data;
  TEventPoint onHex;

 protected:
  ~TKvStream2Hex() override = default;
};
