#include "crc16.h"

namespace zorv::sim {

void Crc16Modbus::Add(std::uint8_t byte) {
  value_ ^= byte;
  for (int bit = 0; bit < 8; ++bit) {
    value_ = (value_ & 1) ? static_cast<std::uint16_t>((value_ >> 1) ^ 0xA001)
                          : static_cast<std::uint16_t>(value_ >> 1);
  }
}

void Crc16Modbus::Add(std::string_view bytes) {
  for (char c : bytes) Add(static_cast<std::uint8_t>(c));
}

}  // namespace zorv::sim
