// Memory stream: owns one memory stream and lends it to readers as a Stream value.
// The upload holds the firmware image in one of these; the byte reader pulls it out.
//
// Points: data output Stream (the owned stream; its position is shared by every reader
// and reading the point never moves it).
#pragma once

#include <cstdint>

#include "runtime/Share.h"
#include "winlib/StrStreams.h"

class TKvMemoryStream : public TObj {
 public:
  TKvMemoryStream();

  // Frees the current stream and takes ownership of the given one (the scheme passes the
  // image resource). nullptr gives a new empty stream; the current stream itself is kept.
  void ReplaceStream(TStream* stream);
  TStream* CurrentStream() const { return stream_; }

  // Points.
  void Stream(TData& d, std::uint16_t index);

 protected:
  ~TKvMemoryStream() override;

 private:
  TStream* stream_ = nullptr;
};
