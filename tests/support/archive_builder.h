// Hand-made LZH archives for the extraction tests: level-2 headers around
// given member data, closed by the end mark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/reference_crc16.h"
#include "support/stream_builder.h"

namespace lzhtest {

struct Member {
  std::string method = "-lh0-";
  std::string path;  // CP932, backslash-separated; ending in '\' for a directory
  std::string data;  // the packed bytes
  std::uint32_t originalSize = 0;
  std::uint16_t crc = 0;
  std::uint32_t unixTime = 1700000000;  // 2023-11-14 22:13:20 UTC
  std::uint16_t attributes = 0x20;
};

inline void PutLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Name bytes for a header: single-byte backslashes become 0xFF; the second
// byte of a double-byte character stays as it is.
inline std::string HeaderName(const std::string& name) {
  std::string out = name;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      ++i;
    } else if (c == '\\') {
      out[i] = static_cast<char>(0xFF);
    }
  }
  return out;
}

inline std::string Level2Header(const Member& m) {
  std::string directory;
  std::string name = m.path;
  // Split at the last single-byte backslash.
  std::size_t cut = std::string::npos;
  for (std::size_t i = 0; i < m.path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(m.path[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      ++i;
    } else if (c == '\\') {
      cut = i;
    }
  }
  if (cut != std::string::npos) {
    directory = m.path.substr(0, cut + 1);
    name = m.path.substr(cut + 1);
  }
  std::vector<std::string> extended;
  extended.push_back(std::string(1, '\x01') + HeaderName(name));
  if (!directory.empty()) extended.push_back(std::string(1, '\x02') + HeaderName(directory));
  if (m.attributes != 0x20) {
    std::string a(1, '\x40');
    PutLe(a, m.attributes, 2);
    extended.push_back(a);
  }
  extended.push_back(std::string("\x00\x00\x00", 3));  // header CRC, filled in below
  std::size_t total = 26;
  for (auto& e : extended) total += e.size() + 2;
  bool pad = (total & 0xFF) == 0;
  if (pad) ++total;
  std::string h;
  PutLe(h, static_cast<std::uint32_t>(total), 2);
  h += m.method.substr(0, 5);
  PutLe(h, static_cast<std::uint32_t>(m.data.size()), 4);
  PutLe(h, m.originalSize, 4);
  PutLe(h, m.unixTime, 4);
  h.push_back('\x20');
  h.push_back('\x02');
  PutLe(h, m.crc, 2);
  h.push_back('M');
  PutLe(h, static_cast<std::uint32_t>(extended[0].size() + 2), 2);
  for (std::size_t i = 0; i < extended.size(); ++i) {
    h += extended[i];
    std::uint32_t next =
        i + 1 < extended.size() ? static_cast<std::uint32_t>(extended[i + 1].size() + 2) : 0;
    PutLe(h, next, 2);
  }
  if (pad) h.push_back('\0');
  // The header CRC extended header is the last one: its payload sits 4
  // bytes before the end (5 with the pad byte).
  std::uint16_t crc = ReferenceCrc16(h);
  std::size_t at = h.size() - (pad ? 5 : 4);
  h[at] = static_cast<char>(crc & 0xFF);
  h[at + 1] = static_cast<char>(crc >> 8);
  return h;
}

inline std::string Archive(const std::vector<Member>& members) {
  std::string out;
  for (const Member& m : members) out += Level2Header(m) + m.data;
  out.push_back('\0');
  return out;
}

// A stored member holding `content`.
inline Member Stored(const std::string& path, const std::string& content) {
  Member m;
  m.path = path;
  m.data = content;
  m.originalSize = static_cast<std::uint32_t>(content.size());
  m.crc = ReferenceCrc16(content);
  return m;
}

// A compressed member holding `content`.
inline Member Compressed(int method, const std::string& path, const std::string& content) {
  Member m;
  m.method = method == 5 ? "-lh5-" : method == 6 ? "-lh6-" : "-lh7-";
  m.path = path;
  m.data = CompressForTest(method, content);
  m.originalSize = static_cast<std::uint32_t>(content.size());
  m.crc = ReferenceCrc16(content);
  return m;
}

inline Member DirectoryMember(const std::string& path) {
  Member m;
  m.method = "-lhd-";
  m.path = path;
  m.attributes = 0x10;
  return m;
}

}  // namespace lzhtest
