// Member paths: the stored path that the runners match and show.
#include "archive/member_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

ArchiveEntry MakeEntry(const std::string& directory, const std::string& name) {
  ArchiveEntry entry{};
  std::memcpy(entry.directory, directory.c_str(), directory.size() + 1);
  std::memcpy(entry.name, name.c_str(), name.size() + 1);
  return entry;
}

TEST(StoredPath, DirectoryAndNameWithoutFinalBackslash) {
  EXPECT_EQ(StoredPath(MakeEntry("", "a.txt")), "a.txt");
  EXPECT_EQ(StoredPath(MakeEntry("dir\\", "a.txt")), "dir\\a.txt");
  EXPECT_EQ(StoredPath(MakeEntry("dir\\sub\\", "")), "dir\\sub");
  EXPECT_EQ(StoredPath(MakeEntry("", "")), "");
  // A directory that ends in 0x95 0x5C keeps the character whole; only its
  // separator goes.
  EXPECT_EQ(StoredPath(MakeEntry("\x95\x5C\\", "")), "\x95\x5C");
  // A name that ends in such a character is not cut.
  EXPECT_EQ(StoredPath(MakeEntry("", "\x95\x5C")), "\x95\x5C");
}

}  // namespace
