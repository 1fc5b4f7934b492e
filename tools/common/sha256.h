// SHA-256 digest, self-contained (no project dependencies), for the test tools: the
// simulator fingerprints the image it received, the flasher the image it sends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorv {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // Ends the computation; the object then starts over, empty.
  std::array<std::uint8_t, 32> Final();
  std::string FinalHex();  // 64 lower-case hexadecimal digits

 private:
  void Reset();
  void Block(const std::uint8_t* p);

  std::array<std::uint32_t, 8> state_{};
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t used_ = 0;
  std::uint64_t total_ = 0;  // bytes hashed so far
};

std::string Sha256Hex(std::string_view bytes);

}  // namespace zorv
