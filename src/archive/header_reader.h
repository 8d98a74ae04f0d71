// Reading one member header from an archive.
#pragma once

#include "archive/archive_input.h"
#include "archive/entry.h"
#include "archive/status.h"

// What was found where a header may begin.
struct HeaderRead {
  bool member;  // a header was read: the entry is complete
  // With a member: kStatusOk, or kStatusHeaderCrcWarning when its checksum or
  // header CRC differs. Without one: kStatusOk at the end mark,
  // kStatusNoEndMark at the end of the file, or why the header is bad
  // (kStatusBadHeader, kStatusUnknownLevel).
  StatusCode status;
};

// Reads one header at the input's position into `entry`; with a member the
// input then stands at the entry's data_offset.
HeaderRead ReadHeaderFrom(ArchiveInput& input, ArchiveEntry& entry);
