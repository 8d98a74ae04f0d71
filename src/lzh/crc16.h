// CRC-16/ARC (reflected polynomial 0xA001, started from 0) of member data
// and of level-1 and level-2 headers.
#pragma once

#include <cstdint>

std::uint16_t Crc16Update(std::uint16_t crc, const void* buffer, long count);
