#include "elements/kvMemoryStream.h"

TKvMemoryStream::TKvMemoryStream() : stream_(NewMemoryStream()) {}

TKvMemoryStream::~TKvMemoryStream() { Free(stream_); }

void TKvMemoryStream::ReplaceStream(TStream* stream) {
  if (stream == stream_) return;  // freeing it would leave us holding a dead stream
  Free(stream_);
  stream_ = stream ? stream : NewMemoryStream();
}

void TKvMemoryStream::Stream(TData& d, std::uint16_t) { SetStream(d, stream_); }
