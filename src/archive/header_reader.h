// The header parser shared by CUnlha::ReadHeader and the directory load.
#pragma once

#include <cstdint>

#include "archive/archive_input.h"
#include "archive/entry.h"

// Reads one header at the input's position into `entry`, exactly as
// CUnlha::ReadHeader does, but moves only the input's logical position: on
// true it stands at the entry's data_offset. Sets `status` on failure (8,
// 16, 18) and for warnings (17).
bool ReadHeaderFrom(ArchiveInput& input, ArchiveEntry& entry, std::int32_t& status);
