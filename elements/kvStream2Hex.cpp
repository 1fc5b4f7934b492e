#include "elements/kvStream2Hex.h"

void TKvStream2Hex::doHex(TData& d, std::uint16_t) {
  static const char kDigits[] = "0123456789ABCDEF";
  const std::string text = ReadString(d, Data, std::string());
  std::string hex(text.size() * 2, '0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    hex[2 * i] = kDigits[c >> 4];
    hex[2 * i + 1] = kDigits[c & 15u];
  }
  PassOnString(d, onHex, std::move(hex));
}
