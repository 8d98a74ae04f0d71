// The directory of an archive: every member header from the first to the
// end mark, and the search for the first header inside a self-extracting
// file.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/archive_input.h"
#include "archive/entry.h"
#include "archive/status.h"

// Reads every header from the input's position on, skipping each member's
// data, into `entries`. The directory is complete with kStatusOk (end mark),
// kStatusNoEndMark (end of file) or kStatusHeaderCrcWarning (a checksum or
// header CRC differed, then an end mark); any other status tells why not.
StatusCode LoadDirectoryFrom(ArchiveInput& in, std::vector<ArchiveEntry>& entries);

// The offset of the first member header in `window` (the first bytes of a
// self-extracting file), or -1 when there is none. A method field such as
// "-lh5-" counts when its header's level byte and checksum (levels 0, 1) or
// attribute byte and first extended-header size (level 2) fit.
std::int64_t FindFirstHeader(const unsigned char* window, std::uint32_t size);
