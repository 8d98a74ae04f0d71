// Conversions between FILETIME (UTC) and the two header time encodings.
#pragma once

#include <cstdint>

#include "platform/platform.h"

using plat::kFileTimePerSecond;
using plat::kFileTimeUnixEpoch;

struct CalendarTime {
  int year, month, day, hour, minute, second;
};
// Splits a file time into calendar fields as it stands (no zone applied).
CalendarTime FileTimeToCalendar(plat::FileTime time);

// MS-DOS date/time words -> local FILETIME; false when not a calendar time.
bool DosTimeToFileTime(std::uint16_t date, std::uint16_t time, plat::FileTime* localTime);
// Local FILETIME -> MS-DOS words (odd seconds round up); false out of range.
bool FileTimeToDosTime(plat::FileTime localTime, std::uint16_t* date, std::uint16_t* time);
plat::FileTime UnixTimeToFileTime(std::uint32_t unixTime);
// Returns false (and 0 or 0xFFFFFFFF) outside 1970..2106.
bool FileTimeToUnixTime(plat::FileTime fileTime, std::uint32_t* unixTime);
// Local/UTC through the current zone offset.
plat::FileTime LocalToUtc(plat::FileTime localTime);
// The same with a zone offset the caller already asked for (one per archive
// scan instead of one per header).
plat::FileTime LocalToUtc(plat::FileTime localTime, std::int64_t zoneOffsetSeconds);
plat::FileTime UtcToLocal(plat::FileTime utcTime);
