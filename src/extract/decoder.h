// The static-Huffman LZSS decoder of -lh5-, -lh6- and -lh7- data.
#pragma once

#include <cstdint>

#include "archive/entry.h"

// 0, 5, 6, 7 for -lh0-, -lh5-, -lh6-, -lh7-; -1 for anything else.
int GetMethodNumber(const char* method);
// Decodes one member from entry.archive_handle (positioned at its data) to
// entry.file_handle (or nowhere when invalid). *success is 0 when a code
// table is rejected; *writeFailed (optional) is set when output failed.
std::uint16_t DecodeMember(ArchiveEntry& entry, int* success, int* writeFailed = nullptr);
