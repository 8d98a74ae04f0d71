// Inner state of the LZSS encoder that the tests look at.
#pragma once

#include <cstdint>

// Added to window indices to give head values; all head values move down
// once it reaches 2^30, and each member adds about 2^18 to it at its start.
std::uint32_t EncoderHeadBase();
// How often the last member dropped or took up its bucket counts and
// 4-byte chains.
int EncoderSearchModeChanges();
