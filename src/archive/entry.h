// The in-memory record of one archive member, and the path-buffer size used
// throughout.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/platform.h"

inline constexpr int kPathSize = 260;  // 259 bytes and a terminator

struct ArchiveEntry {
  char method[6];  // "-lh5-" and a NUL
  std::uint8_t os_id;
  std::uint64_t packed_size;  // 64-bit: a level-2 header may carry 64-bit sizes
  std::uint64_t original_size;
  plat::FileTime mtime;  // UTC
  std::uint32_t attributes;
  char name[kPathSize];       // file-name part; empty for a directory member
  char directory[kPathSize];  // empty, or ending in a backslash
  std::uint16_t crc;
  std::uint64_t header_offset;
  std::uint64_t data_offset;
  std::int32_t header_level;
  // From the Unix extended headers (levels 1 and 2): the mode (type and
  // permission bits) and the owner, each only when its has_ flag is set.
  bool has_unix_mode;
  bool has_unix_owner;
  std::uint16_t unix_mode;
  std::uint16_t unix_uid;
  std::uint16_t unix_gid;
};

// A directory member carries the method "-lhd-".
inline bool IsDirectoryMember(const ArchiveEntry& entry) {
  return std::memcmp(entry.method, "-lhd-", 6) == 0;
}
