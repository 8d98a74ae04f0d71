// Small archives for the front-end tests: members described field by field,
// written with the archive object's own header writer, then their data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/header_writer.h"
#include "archive/timestamp.h"
#include "lzh/crc16.h"
#include "support/support.h"

namespace cli_test {

struct Member {
  std::string directory;  // "" or ending in a backslash
  std::string name;       // "" for a directory member
  std::string method = "-lh0-";
  std::string data;  // the member's data as stored in the archive
  std::uint32_t originalSize = 0;
  bool originalFromData = true;  // originalSize = data size
  std::uint32_t attributes = 0x20;
  std::int64_t unixTime = 1259661600;  // 2009-12-01 10:00:00 UTC
  std::uint16_t crc = 0;
  bool crcFromData = true;  // crc = CRC-16 of data
  std::uint8_t osId = 'M';
  int level = 2;
};

inline Member File(const std::string& name, const std::string& data) {
  Member m;
  m.name = name;
  m.data = data;
  return m;
}

inline Member Directory(const std::string& directory) {
  Member m;
  m.directory = directory;
  m.method = "-lhd-";
  m.attributes = 0x10;
  return m;
}

inline ArchiveEntry EntryOf(const Member& m) {
  ArchiveEntry entry{};
  std::memcpy(entry.method, m.method.c_str(), 5);
  entry.os_id = m.osId;
  entry.packed_size = static_cast<std::uint32_t>(m.data.size());
  entry.original_size = m.originalFromData ? entry.packed_size : m.originalSize;
  entry.mtime = kFileTimeUnixEpoch + static_cast<std::uint64_t>(m.unixTime) * kFileTimePerSecond;
  entry.attributes = m.attributes;
  std::memcpy(entry.name, m.name.c_str(), m.name.size() + 1);
  std::memcpy(entry.directory, m.directory.c_str(), m.directory.size() + 1);
  entry.crc =
      m.crcFromData ? Crc16Update(0, m.data.data(), static_cast<long>(m.data.size())) : m.crc;
  entry.header_level = m.level;
  return entry;
}

// Writes the members and the end mark to `path`.
inline void WriteArchive(const std::string& path, const std::vector<Member>& members) {
  plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                         plat::Disposition::CreateAlways);
  ASSERT_NE(file, plat::kInvalidFile) << path;
  for (const Member& m : members) {
    ASSERT_NE(WriteHeader(file, EntryOf(m), false), 0u) << m.directory << m.name;
    ASSERT_EQ(plat::WriteFile(file, m.data.data(), static_cast<std::uint32_t>(m.data.size())),
              static_cast<long>(m.data.size()));
  }
  ASSERT_EQ(plat::WriteFile(file, "", 1), 1);
  plat::CloseFile(file);
}

}  // namespace cli_test
