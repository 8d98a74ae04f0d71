// Headers written by CLha::WriteHeader, read by other LZH readers (lhasa,
// bsdtar, 7-Zip) used as black boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Member;

// Stored members and directory members at every level.
std::vector<Member> Sample() {
  std::vector<Member> members;
  for (int level = 0; level <= 2; ++level) {
    const std::string l = std::to_string(level);
    Member readOnly = lzhtest::Stored("dir" + l + "\\sub\\file.bin", test::RandomBytes(700, 1));
    readOnly.attributes = 0x21;
    for (Member m :
         {lzhtest::Stored("plain" + l + ".txt", "data of level " + l), readOnly,
          lzhtest::Stored(std::string(240, 'L') + l, "long"), lzhtest::Stored("empty" + l, "")}) {
      m.level = level;
      members.push_back(m);
    }
  }
  for (int level : {1, 2}) {
    members.push_back(lzhtest::DirectoryMember(level == 1 ? "tree\\leaf\\" : "tree2\\leaf\\"));
    members.back().level = level;
  }
  return members;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TEST(Interop, BsdtarListsEveryMember) {
  if (!test::CommandExists("bsdtar")) GTEST_SKIP() << "bsdtar not installed";
  // libarchive stops at a level-0 path holding the byte 0xFF (text it
  // cannot convert) or longer than 221 bytes, and at a level-0/1 header
  // whose attribute byte is not 0x20; those members are left out here.
  std::vector<Member> members;
  for (const Member& m : Sample()) {
    const bool level0Path =
        m.level == 0 && (m.path.find('\\') != std::string::npos || m.path.size() > 221);
    const bool oddAttribute = m.level < 2 && m.attributes != 0x20;
    if (!level0Path && !oddAttribute) members.push_back(m);
  }
  test::TempDir dir;
  const std::string path = dir / "w.lzh";
  lzhtest::WriteArchive(path, members);
  const test::RunResult r = test::RunCommand({"bsdtar", "-tf", path});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> expected;
  for (const Member& m : members) {
    std::string p = m.path;
    // Level 0 keeps the first 233 bytes of the path.
    if (m.level == 0 && p.size() > 233) p.resize(233);
    for (char& c : p) c = c == '\\' ? '/' : c;
    expected.push_back(p);
  }
  const std::vector<std::string> listed = Lines(r.out);
  ASSERT_EQ(listed.size(), expected.size()) << r.out;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    // Readers differ on a trailing slash of directory members.
    std::string got = listed[i];
    std::string want = expected[i];
    if (!got.empty() && got.back() == '/') got.pop_back();
    if (!want.empty() && want.back() == '/') want.pop_back();
    EXPECT_EQ(got, want);
  }
}

TEST(Interop, LhasaTestsEveryMember) {
  if (!test::CommandExists("lha")) GTEST_SKIP() << "lhasa not installed";
  test::TempDir dir;
  const std::string path = dir / "w.lzh";
  lzhtest::WriteArchive(path, Sample());
  const test::RunResult r = test::RunCommand({"lha", "t", path});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("CRC"), std::string::npos) << r.out;
}

TEST(Interop, SevenZipTestsEveryMember) {
  if (!test::CommandExists("7zz")) GTEST_SKIP() << "7zz not installed";
  test::TempDir dir;
  const std::string path = dir / "w.lzh";
  lzhtest::WriteArchive(path, Sample());
  const test::RunResult r = test::RunCommand({"7zz", "t", path});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Everything is Ok"), std::string::npos) << r.out;
}

}  // namespace
