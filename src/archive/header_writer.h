// Writing one member header.
#pragma once

#include <cstdint>

#include "archive/entry.h"
#include "platform/platform.h"

// Builds the header of `entry` at its header_level and writes it at the
// current position of `file`, or with `measure_only` only returns the length
// a real call would write. Returns 0 for an unknown level, a header that
// could not be read back, or a short write.
std::uint32_t WriteHeader(plat::FileHandle file, const ArchiveEntry& entry, bool measure_only);
