// The 8-bit checksum of level-0 and level-1 base headers: the sum of the
// bytes, modulo 256.
#include "archive/checksum.h"

std::uint8_t HeaderChecksum(const void* buffer, long count) {
  const auto* p = static_cast<const unsigned char*>(buffer);
  unsigned sum = 0;
  for (long i = 0; i < count; ++i) sum += p[i];
  return static_cast<std::uint8_t>(sum);
}
