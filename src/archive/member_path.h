// Member paths: a directory part that ends in a backslash (or is empty) and
// a name part, found with the multi-byte-aware search for the last
// backslash.
#pragma once

#include <string>

#include "archive/entry.h"

// Splits `path` (shorter than kPathSize) at its last backslash: everything
// through it becomes the entry's directory, the rest its name.
void SplitMemberPath(const char* path, ArchiveEntry& entry);

// The directory part followed by the name part.
inline std::string MemberPath(const ArchiveEntry& entry) {
  return std::string(entry.directory) + entry.name;
}
// The member path without a final backslash: what the runners match and show.
std::string StoredPath(const ArchiveEntry& entry);
