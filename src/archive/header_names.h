// Name encoding of header fields: 0xFF stands for the path separator.
#pragma once

#include <cstddef>

// Replaces single-byte backslashes by 0xFF; returns the length written.
std::size_t EncodeNameForHeader(char* destination, std::size_t capacity, const char* source);
// Takes at most 259 bytes, stops at NUL, turns 0xFF into '\'.
void DecodeNameFromHeader(char* destination, const char* source, std::size_t count);
