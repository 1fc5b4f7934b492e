#include "elements/kvConvertor.h"

#include "winlib/Convert.h"

void TKvConvertor::doConvert(TData& d, std::uint16_t) {
  const std::int32_t n = ReadInteger(d, Data, 0);
  std::string s;
  switch (Mode) {
    case 4: s.assign(1, static_cast<char>(static_cast<std::uint8_t>(n))); break;
    case 6: s = Int2Hex(static_cast<std::uint32_t>(n), Digits); break;
    default: break;
  }
  PassOnString(d, onResult, std::move(s));
}
