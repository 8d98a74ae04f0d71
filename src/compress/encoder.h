// The LZSS match finder and encoder loop: one file into one member's data.
#pragma once

#include <cstdint>

#include "archive/entry.h"

// Compresses entry.file_handle into entry.archive_handle; sets packed_size
// (equal to original_size when the encoder gave up) and returns the CRC-16
// of every byte read.
std::uint16_t CompressMember(ArchiveEntry& entry);
// True when the last CompressMember could not write its output whole.
bool CompressWriteFailed();
