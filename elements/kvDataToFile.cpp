#include "elements/kvDataToFile.h"

void TransferByte(TStream* stream, const TData* value, TData& result) {
  if (!stream) return;
  if (value) {
    const auto b = static_cast<std::uint8_t>(AsInteger(*value));
    stream->Write(&b, 1);
    return;
  }
  std::uint8_t b = 0;
  if (stream->Read(&b, 1) != 1) b = 0;
  SetInteger(result, b);
}

void TKvDataToFile::doGet(TData& d, std::uint16_t) {
  TStream* stream = ReadStreamPoint(Stream);
  if (!stream) return;
  if (StopAtEnd && stream->Position >= stream->GetSize()) return;
  TData v;
  if (Transfer) Transfer(stream, nullptr, v);
  PassOn(d, onGet, v);
}
