// Members of the tests' archives: their hand-made level-2 headers, and the
// same members written by tsubo's own header writer.
#include "support/archive_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <utility>

#include "archive/header_writer.h"
#include "archive/timestamp.h"
#include "support/stream_builder.h"

namespace lzhtest {
namespace {

bool LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The path split after its last backslash (never the trail byte of a
// double-byte character): {directory, name}.
std::pair<std::string, std::string> Split(const std::string& path) {
  std::size_t cut = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (LeadByte(static_cast<unsigned char>(path[i]))) {
      ++i;
    } else if (path[i] == '\\') {
      cut = i + 1;
    }
  }
  return {path.substr(0, cut), path.substr(cut)};
}

// Name bytes for a header: separators become 0xFF.
std::string HeaderName(std::string name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (LeadByte(static_cast<unsigned char>(name[i]))) {
      ++i;
    } else if (name[i] == '\\') {
      name[i] = static_cast<char>(0xFF);
    }
  }
  return name;
}

}  // namespace

Member Stored(const std::string& path, const std::string& content) {
  Member m;
  m.path = path;
  m.data = content;
  m.originalSize = static_cast<std::uint32_t>(content.size());
  m.crc = ReferenceCrc16(content);
  return m;
}

Member Compressed(int method, const std::string& path, const std::string& content,
                  const std::string& packed) {
  Member m = Stored(path, content);
  m.method = "-lh" + std::to_string(method) + "-";
  m.data = packed;
  return m;
}

Member Compressed(int method, const std::string& path, const std::string& content) {
  return Compressed(method, path, content, CompressForTest(method, content));
}

Member DirectoryMember(const std::string& path) {
  Member m;
  m.method = "-lhd-";
  m.path = path;
  m.attributes = 0x10;
  return m;
}

std::string Header(const Member& m) {
  if (m.level != 2) throw std::invalid_argument("hand-made member headers are level 2");
  const auto [directory, name] = Split(m.path);
  Fields f;
  f.method = m.method;
  f.packed = static_cast<std::uint32_t>(m.data.size());
  f.original = m.originalSize;
  f.unixTime = m.unixTime;
  f.crc = m.crc;
  std::vector<Ext> exts = {{0x01, HeaderName(name)}};
  if (!directory.empty()) exts.push_back({0x02, HeaderName(directory)});
  if (m.attributes != 0x20) exts.push_back({0x40, Le16(m.attributes)});
  exts.insert(exts.end(), m.extra.begin(), m.extra.end());
  exts.push_back({0x00, std::string(2, '\0')});
  return Level2(f, exts);
}

std::string Archive(const std::vector<Member>& members) {
  std::string out;
  for (const Member& m : members) out += Header(m) + m.data;
  return out + '\0';
}

void WriteArchive(const std::string& path, const std::vector<Member>& members) {
  plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                         plat::Disposition::CreateAlways);
  ASSERT_NE(file, plat::kInvalidFile) << path;
  for (const Member& m : members) {
    ArchiveEntry entry{};
    std::memcpy(entry.method, m.method.c_str(), 5);
    entry.os_id = 'M';
    entry.packed_size = static_cast<std::uint32_t>(m.data.size());
    entry.original_size = m.originalSize;
    entry.mtime = kFileTimeUnixEpoch + std::uint64_t{m.unixTime} * kFileTimePerSecond;
    entry.attributes = m.attributes;
    const auto [directory, name] = Split(m.path);
    std::memcpy(entry.directory, directory.c_str(), directory.size() + 1);
    std::memcpy(entry.name, name.c_str(), name.size() + 1);
    entry.crc = m.crc;
    entry.header_level = m.level;
    ASSERT_NE(WriteHeader(file, entry, false), 0u) << m.path;
    ASSERT_EQ(plat::WriteFile(file, m.data.data(), static_cast<std::uint32_t>(m.data.size())),
              static_cast<long>(m.data.size()));
  }
  ASSERT_EQ(plat::WriteFile(file, "", 1), 1);
  plat::CloseFile(file);
}

}  // namespace lzhtest
