// The device's running checksum: CRC-16 with the reflected polynomial 0xA001, initial
// value 0xFFFF, no final xor (the MODBUS variant), carried across every image byte.
// The simulator keeps its own copy, so that it checks the host independently.
#pragma once

#include <cstdint>
#include <string_view>

namespace zorv::sim {

class Crc16Modbus {
 public:
  void Add(std::uint8_t byte);
  void Add(std::string_view bytes);
  std::uint16_t Value() const { return value_; }

 private:
  std::uint16_t value_ = 0xFFFF;
};

}  // namespace zorv::sim
