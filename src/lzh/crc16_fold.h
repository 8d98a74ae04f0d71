// CRC-16/ARC of long buffers by carry-less multiplication (PCLMULQDQ on x86):
// the data is folded into 16 bytes with the same remainder, whose CRC the
// byte-wise method then finishes.
#pragma once

#include <cstdint>

// True when the processor can fold (checked once).
bool Crc16FoldAvailable();
// Folds `count` bytes (a multiple of 16, at least 64) whose CRC register
// starts at `crc` into 16 bytes with the same CRC from a register of 0.
void Crc16Fold(std::uint16_t crc, const unsigned char* data, long count, unsigned char residue[16]);
