// Checksum: a 16- or 32-bit cyclic redundancy check over a text, emitted as upper-case
// hexadecimal text. Polynomial and initial value are hexadecimal texts, so a scheme can
// continue a check over several pieces by feeding each result back as the next initial
// value (the upload keeps its running CRC-16/MODBUS that way, one image byte at a time).
//
// CRCType: 0 16-bit reflected; 1 as 0, bytes swapped; 2 as 0, inverted and swapped;
// 3 16-bit most significant bit first; 4 32-bit reflected, inverted. Other values leave the
// register at its initial value. The final step is skipped for an empty text.
// InputMode: 0 the characters are the bytes; 1 hexadecimal pairs after removing blanks and
// "$"; other values hexadecimal pairs as they stand.
//
// Points: input doCRC; data points Data, PolynomialPoint, InitValuePoint (each falls back
// to its property, then to the incoming value); output onCRC.
//
// The lookup tables are built once per (bit order, polynomial) and never change after, so
// computations may run on several threads at once, on one element or on several.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "runtime/Share.h"
#include "winlib/Objects.h"

namespace zorv::crc {
struct Table;
}

class TKvCRC16_32 : public TObj {
 public:
  // Properties.
  std::uint8_t InputMode = 0;
  std::uint8_t CRCType = 0;
  std::string Polynomial;
  std::string InitValue;
  std::uint8_t SwapResult = 0;

  // Points.
  void doCRC(TData& d, std::uint16_t index);
  TEventPoint Data;
  TEventPoint PolynomialPoint;
  TEventPoint InitValuePoint;
  TEventPoint onCRC;

 protected:
  ~TKvCRC16_32() override = default;

 private:
  // The table of the last computation; any thread may replace it with another shared one.
  std::atomic<const zorv::crc::Table*> table_{nullptr};
};
