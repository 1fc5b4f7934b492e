// String mask: tests a whole text against a wildcard mask ("*" any run, "?" one character
// other than byte 0, "#" one decimal digit, anything else itself). With IgnoreCase 1 the
// letters of both are folded as Windows-1251, whatever the system's code page.
//
// Points: inputs doCompare (emits the text as read on onTrue or onFalse) and doSetMask
// (the incoming value becomes the mask; nothing fires); data point Str (falls back to the
// incoming value); outputs onTrue, onFalse.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvStrMask : public TObj {
 public:
  // Properties.
  std::string Mask;
  std::uint8_t IgnoreCase = 0;  // exactly 1: compare case-insensitively

  // Points.
  void doCompare(TData& d, std::uint16_t index);
  void doSetMask(TData& d, std::uint16_t index);
  TEventPoint Str;
  TEventPoint onTrue;
  TEventPoint onFalse;

 protected:
  ~TKvStrMask() override = default;
};

namespace zorv::mask {
// Lower case of a Windows-1251 byte.
unsigned char Lower1251(unsigned char c);
// Whole text against whole mask; takes time proportional to text length times mask length
// at most, and constant stack.
bool Matches(const std::string& text, const std::string& mask, bool ignoreCase);
}  // namespace zorv::mask
