// CRC-16/ARC and the 8-bit header checksum.
#pragma once

#include <cstdint>

void Crc16InitTable();
std::uint16_t Crc16Update(std::uint16_t crc, const void* buffer, long count);
std::uint8_t HeaderChecksum(const void* buffer, long count);
