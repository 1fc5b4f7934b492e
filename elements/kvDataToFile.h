// Data to file: moves one value of a fixed type between a value record and a stream. The
// upload pulls the firmware image out of the memory stream one byte per doGet.
//
// Points: output onGet (the value read); data point Stream (the stream to use; when it
// yields no stream doGet does nothing); input doGet (the wire's index is not used).
// With StopAtEnd set, doGet does nothing either once the stream is exhausted.
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/StrStreams.h"

// Moves one value: with value none it reads one from the stream's position into result;
// with a value it writes that value at the stream's position and leaves result alone.
using TTransferRoutine = void (*)(TStream* stream, const TData* value, TData& result);

// One byte. Reading gives an Integer 0..255, or Integer 0 at or past the end of the stream
// (the position then stays); writing stores the low 8 bits of the value's AsInteger, the
// stream growing as needed.
void TransferByte(TStream* stream, const TData* value, TData& result);

class TKvDataToFile : public TObj {
 public:
  // The type of value moved, chosen by the scheme (bytes are the only type there is).
  TTransferRoutine Transfer = &TransferByte;
  // Set: at or past the end of the stream doGet fires nothing, instead of handing on the
  // routine's end-of-stream value (the upload must never send bytes beyond the image).
  bool StopAtEnd = false;

  // Points.
  TEventPoint onGet;
  TEventPoint Stream;
  void doGet(TData& d, std::uint16_t index);

 protected:
  ~TKvDataToFile() override = default;
};
