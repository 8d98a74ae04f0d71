// Directory search of the Win32 layer: wildcards, order, "." and "..",
// Japanese names and names without a CP932 form.
#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "win_support.h"

namespace {

using wintest::TempDir;
using wintest::Wide;

std::vector<std::string> Names(const std::vector<plat::FindData>& found) {
  std::vector<std::string> names;
  for (const auto& f : found) names.push_back(f.name);
  return names;
}

struct FindCase {
  const char* pattern;
  std::vector<std::string> expected;
};

TEST(Win32Find, WildcardsMatchAsWindowsDoesInByteOrder) {
  TempDir dir;
  // "表" 0x95 0x5C and "ア" 0x83 0x41 among ASCII names.
  for (const char* name : {"b.TXT", "a.txt", "c.dat", "\x95\x5C.txt", "\x83\x41"})
    wintest::WriteWide(Wide(dir / name), name);
  ASSERT_TRUE(plat::CreateDirectory((dir / "sub").c_str()));
  const FindCase cases[] = {
      // Sorted by unsigned bytes: the double-byte names come last.
      {"*", {"a.txt", "b.TXT", "c.dat", "sub", "\x83\x41", "\x95\x5C.txt"}},
      {"*.txt", {"a.txt", "b.TXT", "\x95\x5C.txt"}},
      // '?' is one character, a double-byte one too; ".*" also matches
      // the end of a name without a dot.
      {"?.*", {"a.txt", "b.TXT", "c.dat", "\x83\x41", "\x95\x5C.txt"}},
      {"A.TXT", {"a.txt"}},
      {"\x95\x5C*", {"\x95\x5C.txt"}},
      {"sub", {"sub"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<plat::FindData> found;
    ASSERT_TRUE(plat::FindFiles((dir / c.pattern).c_str(), found));
    EXPECT_EQ(Names(found), c.expected);
  }
  std::vector<plat::FindData> found;
  ASSERT_TRUE(plat::FindFiles((dir / "s*").c_str(), found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].attributes & plat::kAttrDirectory, plat::kAttrDirectory);
}

TEST(Win32Find, EmptyFolderAndMissingPaths) {
  TempDir dir;
  ASSERT_TRUE(plat::CreateDirectory((dir / "empty").c_str()));
  std::vector<plat::FindData> found;
  // "." and ".." are found by the system but never reported.
  EXPECT_TRUE(plat::FindFiles((dir / "empty\\*").c_str(), found));
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(plat::FindFiles((dir / "none.txt").c_str(), found));
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
  EXPECT_FALSE(plat::FindFiles((dir / "nodir\\*").c_str(), found));
  EXPECT_EQ(plat::LastError(), plat::kErrorPathNotFound);
}

// Characters without a CP932 form (U+00E9, U+4E02) come back as wide
// characters that name the same files; U+8868 (表) has a form.
TEST(Win32Find, NamesWithoutCp932FormAreFoundAsWideCharacters) {
  TempDir dir;
  wintest::WriteWide(Wide(dir.path()) + L"\\caf\u00e9.txt", "1");
  wintest::WriteWide(Wide(dir.path()) + L"\\\u4e02.txt", "2");
  wintest::WriteWide(Wide(dir.path()) + L"\\\u8868.txt", "3");
  std::vector<plat::FindData> found;
  std::vector<std::string> unconvertible;
  ASSERT_TRUE(plat::FindFiles((dir / "*").c_str(), found, &unconvertible));
  const std::string wide =
      "\xFF"
      "4e02\xFF.txt";
  EXPECT_EQ(Names(found), (std::vector<std::string>{"caf\xFF"
                                                    "e9\xFF.txt",
                                                    "\x95\x5C.txt", wide}));
  EXPECT_TRUE(unconvertible.empty());
  plat::FileHandle file = plat::OpenFile((dir / wide).c_str(), plat::Access::Read,
                                         plat::Share::Read, plat::Disposition::OpenExisting);
  ASSERT_NE(file, plat::kInvalidFile);
  char byte = 0;
  EXPECT_EQ(plat::ReadFile(file, &byte, 1), 1);
  EXPECT_EQ(byte, '2');
  plat::CloseFile(file);
}

}  // namespace
