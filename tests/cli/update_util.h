// Helpers of the update tests: a small reader of member headers (to see the
// member order without the listing), folder snapshots and text to add.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/support.h"

namespace update_test {

struct Member {
  std::string path;  // directory + name, '\' separated, CP932
  std::string method;
  std::uint32_t packedSize = 0;
  std::uint32_t originalSize = 0;
  int level = 0;
};

inline std::uint32_t Le(const std::string& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
  return v;
}

inline std::string Separators(std::string s) {
  for (char& c : s) {
    if (static_cast<unsigned char>(c) == 0xFF) c = '\\';
  }
  return s;
}

// The members of a plain archive, in file order, up to the end mark.
// *ok is false when the bytes do not hold whole headers and data.
inline std::vector<Member> ReadMembers(const std::string& bytes, bool* ok = nullptr) {
  std::vector<Member> members;
  std::size_t at = 0;
  if (ok) *ok = false;
  try {
    while (at < bytes.size() && bytes[at] != '\0') {
      Member m;
      m.level = static_cast<unsigned char>(bytes.at(at + 20));
      m.method = bytes.substr(at + 2, 5);
      m.packedSize = Le(bytes, at + 7, 4);
      m.originalSize = Le(bytes, at + 11, 4);
      std::string name, folder;
      std::size_t next = 0, ext = 0, headerEnd = 0;
      if (m.level == 0 || m.level == 1) {
        const std::size_t size = static_cast<unsigned char>(bytes.at(at));
        const std::size_t n = static_cast<unsigned char>(bytes.at(at + 21));
        name = bytes.substr(at + 22, n);
        headerEnd = at + size + 2;
        if (m.level == 1) {
          next = Le(bytes, headerEnd - 2, 2);
          ext = headerEnd;
        }
      } else if (m.level == 2) {
        headerEnd = at + Le(bytes, at, 2);
        next = Le(bytes, at + 24, 2);
        ext = at + 26;
      } else {
        return members;
      }
      std::size_t extTotal = 0;
      while (next > 0) {
        const std::string e = bytes.substr(ext, next);
        if (e.size() != next) return members;
        if (e[0] == 1) name = e.substr(1, next - 3);
        if (e[0] == 2) folder = e.substr(1, next - 3);
        extTotal += next;
        ext += next;
        next = Le(e, next - 2, 2);
      }
      if (m.level == 1) {
        m.packedSize -= static_cast<std::uint32_t>(extTotal);
        headerEnd = ext;
      }
      m.path = Separators(folder + name);
      at = headerEnd + m.packedSize;
      if (at > bytes.size()) return members;
      members.push_back(m);
    }
    if (ok) *ok = at < bytes.size();
  } catch (const std::out_of_range&) {
  }
  return members;
}

inline std::vector<std::string> MemberPaths(const std::string& archivePath) {
  std::vector<std::string> paths;
  for (const Member& m : ReadMembers(test::ReadFile(archivePath))) paths.push_back(m.path);
  return paths;
}

// Reproducible text of `size` bytes that compresses.
inline std::string Text(std::size_t size, std::uint32_t seed) {
  static const char* const words[] = {"archive ", "member ", "header ", "tsubo ",   "level ",
                                      "\n",       "data ",   "0123 ",   "huffman ", "window "};
  std::string s;
  std::uint32_t x = seed;
  while (s.size() < size) {
    x = x * 1103515245u + 12345u;
    s += words[(x >> 16) % 10];
  }
  s.resize(size);
  return s;
}

// Relative path -> content of every file below root ("dir/" entries for
// folders).
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (auto it = std::filesystem::recursive_directory_iterator(root);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    const std::string rel = std::filesystem::relative(it->path(), root).string();
    if (it->is_directory()) {
      files[rel + "/"] = "";
    } else {
      files[rel] = test::ReadFile(it->path().string());
    }
  }
  return files;
}

}  // namespace update_test
