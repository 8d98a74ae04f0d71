// The 8-bit checksum of level-0 and level-1 base headers.
#pragma once

#include <cstdint>

std::uint8_t HeaderChecksum(const void* buffer, long count);
