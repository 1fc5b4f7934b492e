// The device's block acknowledgement for tests: CRC-16/MODBUS (reflected polynomial 0xA001,
// initial value 0xFFFF, no final xor), written from the table form apart from the program's
// and the simulator's own, and the two bytes the device sends for it, high byte first.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zorv::test {

inline std::uint16_t ModbusCrc(const std::string& bytes, std::uint16_t crc = 0xFFFF) {
  static const auto table = [] {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
      unsigned v = i;
      for (int k = 0; k < 8; ++k) v = (v >> 1) ^ ((v & 1u) ? 0xA001u : 0u);
      t[i] = static_cast<std::uint16_t>(v);
    }
    return t;
  }();
  for (unsigned char b : bytes) crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ b) & 0xFF]);
  return crc;
}

inline std::string AckBytes(std::uint16_t crc) {
  return std::string{static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
}

}  // namespace zorv::test
