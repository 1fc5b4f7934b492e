// Multi-part string: splits a text at a delimiter, drops Skip parts, keeps the next
// PartCount parts for readers and emits what is left.
//
// Points: input doSplit; data point Text (falls back to the incoming value); outputs
// onNoDelimiter (the text when the delimiter does not occur in it; the parts stay empty)
// and onSplit (the rest after the kept parts); data output Part[k] (kept part k).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvMultiStrPart : public TObj {
 public:
  // Properties.
  std::string Delimiter;
  std::int32_t Skip = 0;
  std::int32_t PartCount = 0;
  void SetPartCount(std::int32_t n);  // resizes Parts (new parts empty)

  // The kept parts of the last split.
  std::vector<std::string> Parts;

  // Points.
  void doSplit(TData& d, std::uint16_t index);
  TEventPoint Text;
  TEventPoint onNoDelimiter;
  TEventPoint onSplit;
  void Part(TData& d, std::uint16_t index);

 protected:
  ~TKvMultiStrPart() override = default;
};
