// The pieces of the archive listing (l, v): header, member rows and totals,
// each appended as console bytes to a buffer.
#pragma once

#include <cstdint>
#include <string>

#include "archive/entry.h"
#include "archive/timestamp.h"
#include "platform/platform.h"

struct ListTotals {
  int count = 0;
  std::uint64_t originalSize = 0;
  std::uint64_t packedSize = 0;
};

// The two header lines.
void AppendListHeader(std::string& out);
// The name column and, at quietLevel 0, the details of one member.
void AppendListRow(std::string& out, const ArchiveEntry& entry, int listWithDirs, int quietLevel);
// The rule and the totals line; archiveTime is shown as it is given.
void AppendListTotals(std::string& out, const ListTotals& totals, plat::FileTime archiveTime);
