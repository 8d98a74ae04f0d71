// CRC-16/ARC bit by bit, straight from its definition: the yardstick for
// tsubo's table-driven and folded code, and the CRC of the archives the
// tests make by hand.
#pragma once

#include <cstdint>
#include <string_view>

namespace lzhtest {

inline std::uint16_t ReferenceCrc16(std::string_view bytes, std::uint16_t crc = 0) {
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
  }
  return crc;
}

}  // namespace lzhtest
