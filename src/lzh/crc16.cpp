// CRC-16/ARC of member data and of level-1/2 headers.
// The CRC runs over every byte extracted or added, so it works on eight bytes
// per step with eight derived tables ("slicing by 8").
#include "lzh/crc16.h"

#include <array>

#include "lzh/crc16_fold.h"

namespace {

using CrcTables = std::array<std::array<std::uint16_t, 256>, 8>;

// tables[0] is the classic byte table of the reflected polynomial 0xA001;
// tables[k][i] is the CRC of byte i followed by k zero bytes.
constexpr CrcTables BuildCrcTables() {
  CrcTables tables{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
    tables[0][i] = static_cast<std::uint16_t>(r);
  }
  for (int k = 1; k < 8; ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      unsigned previous = tables[k - 1][i];
      tables[k][i] = static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
    }
  }
  return tables;
}

// Below this many bytes the table method is as fast as folding.
constexpr long kFoldMinimum = 256;

// Built by the compiler, so the CRC is usable before any archive object exists.
constexpr CrcTables kCrcTables = BuildCrcTables();

}  // namespace

std::uint16_t Crc16Update(std::uint16_t crc, const void* buffer, long count) {
  if (count <= 0) return crc;
  const auto* p = static_cast<const unsigned char*>(buffer);
  if (count >= kFoldMinimum && Crc16FoldAvailable()) {
    // The bytes before the last whole 16-byte blocks go the table way; the
    // blocks fold into 16 bytes whose CRC from 0 is the buffer's.
    long head = count % 16;
    std::uint16_t value = Crc16Update(crc, p, head);
    unsigned char residue[16];
    Crc16Fold(value, p + head, count - head, residue);
    return Crc16Update(0, residue, 16);
  }
  const auto& t = kCrcTables;
  unsigned value = crc;
  while (count >= 8) {
    // The 16-bit register overlaps the first two bytes of the block only.
    unsigned low = (value ^ p[0]) & 0xFF;
    unsigned high = ((value >> 8) ^ p[1]) & 0xFF;
    value = t[7][low] ^ t[6][high] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^
            t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    count -= 8;
  }
  while (count-- > 0) value = t[0][(value ^ *p++) & 0xFF] ^ (value >> 8);
  return static_cast<std::uint16_t>(value);
}
