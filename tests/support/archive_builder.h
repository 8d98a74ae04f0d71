// LZH archives made by the tests. Headers of every level laid out here field
// by field, independently of tsubo's header writer, with any fields and
// extended headers (broken ones too); members described once and written
// either by hand (level 2) or by tsubo's own header writer (any level).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/reference_crc16.h"

namespace lzhtest {

inline std::string Le16(std::uint32_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

inline std::string Le32(std::uint32_t v) { return Le16(v) + Le16(v >> 16); }

inline std::string Le64(std::uint64_t v) {
  return Le32(static_cast<std::uint32_t>(v)) + Le32(static_cast<std::uint32_t>(v >> 32));
}

// The checksum of a level-0/1 base header: its bytes added up.
inline std::uint8_t Sum8(const std::string& bytes, std::size_t from, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = from; i < from + count; ++i) sum += static_cast<unsigned char>(bytes[i]);
  return static_cast<std::uint8_t>(sum);
}

// Fixed fields shared by every level.
struct Fields {
  std::string method = "-lh0-";
  std::uint32_t packed = 0;
  std::uint32_t original = 0;
  std::uint16_t dosTime = 0x6000;  // 12:00:00
  std::uint16_t dosDate = 0x5821;  // 2024-01-01
  std::uint32_t unixTime = 1700000000;
  std::uint8_t attribute = 0x20;
  std::uint16_t crc = 0x1234;
  std::uint8_t osId = 'M';
};

// An extended header: its type byte and payload.
struct Ext {
  std::uint8_t type;
  std::string payload;
};

// The extended headers, each followed by the size of the next one.
// `crcAt` receives the offset (within the chain) of a type-0x00 payload.
inline std::string Chain(const std::vector<Ext>& exts, std::size_t* crcAt = nullptr) {
  std::string out;
  for (std::size_t i = 0; i < exts.size(); ++i) {
    if (exts[i].type == 0x00 && crcAt) *crcAt = out.size() + 1;
    out += static_cast<char>(exts[i].type);
    out += exts[i].payload;
    out += Le16(i + 1 < exts.size() ? exts[i + 1].payload.size() + 3 : 0);
  }
  return out;
}

inline std::uint32_t FirstSize(const std::vector<Ext>& exts) {
  return exts.empty() ? 0 : static_cast<std::uint32_t>(exts[0].payload.size() + 3);
}

inline std::uint32_t ChainSize(const std::vector<Ext>& exts) {
  std::uint32_t total = 0;
  for (const Ext& e : exts) total += static_cast<std::uint32_t>(e.payload.size() + 3);
  return total;
}

// Stores the CRC of the whole header into the type-0x00 payload at `at`.
inline void FillCrc(std::string& header, std::size_t at) {
  header.replace(at, 2, Le16(ReferenceCrc16(header)));
}

// Level 0: `path` as stored (0xFF separators); `extra` bytes after the CRC.
inline std::string Level0(const Fields& f, const std::string& path, const std::string& extra = "") {
  std::string h(2, '\0');
  h +=
      f.method.substr(0, 5) + Le32(f.packed) + Le32(f.original) + Le16(f.dosTime) + Le16(f.dosDate);
  h += static_cast<char>(f.attribute);
  h += '\0';
  h += static_cast<char>(path.size());
  h += path + Le16(f.crc) + extra;
  h[0] = static_cast<char>(h.size() - 2);
  h[1] = static_cast<char>(Sum8(h, 2, h.size() - 2));
  return h;
}

// Level 1: the packed-size field includes the extended headers. With
// `fillCrc` a type-0x00 extension gets the true header CRC.
inline std::string Level1(const Fields& f, const std::string& name, const std::vector<Ext>& exts,
                          bool fillCrc = true) {
  std::string h(2, '\0');
  h += f.method.substr(0, 5) + Le32(f.packed + ChainSize(exts)) + Le32(f.original) +
       Le16(f.dosTime) + Le16(f.dosDate);
  h += static_cast<char>(f.attribute);
  h += '\1';
  h += static_cast<char>(name.size());
  h += name + Le16(f.crc);
  h += static_cast<char>(f.osId);
  h += Le16(FirstSize(exts));
  h[0] = static_cast<char>(h.size() - 2);
  h[1] = static_cast<char>(Sum8(h, 2, h.size() - 2));
  std::size_t crcAt = std::string::npos;
  const std::size_t base = h.size();
  h += Chain(exts, &crcAt);
  if (fillCrc && crcAt != std::string::npos) FillCrc(h, base + crcAt);
  return h;
}

// Level 2: total size at offset 0; level-2 headers never start with 0x00,
// so a pad byte follows when the size would be a multiple of 256 (unless
// `extra` bytes, counted in the total, are given).
inline std::string Level2(const Fields& f, const std::vector<Ext>& exts, bool fillCrc = true,
                          const std::string& extra = "") {
  std::string h(2, '\0');
  h += f.method.substr(0, 5) + Le32(f.packed) + Le32(f.original) + Le32(f.unixTime);
  h += static_cast<char>(f.attribute);
  h += '\2';
  h += Le16(f.crc);
  h += static_cast<char>(f.osId);
  h += Le16(FirstSize(exts));
  std::size_t crcAt = std::string::npos;
  const std::size_t base = h.size();
  h += Chain(exts, &crcAt);
  h += extra;
  if (extra.empty() && (h.size() & 0xFF) == 0) h += '\0';
  h.replace(0, 2, Le16(static_cast<std::uint32_t>(h.size())));
  if (fillCrc && crcAt != std::string::npos) FillCrc(h, base + crcAt);
  return h;
}

// A member as the tests describe it.
struct Member {
  std::string method = "-lh0-";
  std::string path;  // CP932, backslash-separated; ending in '\' for a directory
  std::string data;  // the packed bytes
  std::uint32_t originalSize = 0;
  std::uint16_t crc = 0;
  std::uint32_t unixTime = 1700000000;  // 2023-11-14 22:13:20 UTC
  std::uint16_t attributes = 0x20;
  int level = 2;           // hand-made headers are level 2; the header writer takes 0, 1 and 2
  std::vector<Ext> extra;  // more extended headers, in hand-made headers only
};

// A stored member holding `content`.
Member Stored(const std::string& path, const std::string& content);
// A member of method 5, 6 or 7 holding `content`, packed by the test encoder
// (CompressForTest) or given as `packed`.
Member Compressed(int method, const std::string& path, const std::string& content);
Member Compressed(int method, const std::string& path, const std::string& content,
                  const std::string& packed);
Member DirectoryMember(const std::string& path);

// The member's level-2 header, made here: name, directory, attributes
// (unless 0x20), the member's extra and header CRC extensions.
std::string Header(const Member& m);
// The members with hand-made headers, then the end mark.
std::string Archive(const std::vector<Member>& members);
// Writes the members and the end mark to `path` with tsubo's header writer.
void WriteArchive(const std::string& path, const std::vector<Member>& members);

}  // namespace lzhtest
