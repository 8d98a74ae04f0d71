// The listing through the executable: l and v on real archives, -n levels,
// name patterns, the totals line and the archive's own time in local time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Member;

constexpr char kHeader[] =
    "File name        Original  Packed    Ratio  Date     Time     Attr CRC  Type  S\n"
    "---------------- --------- --------- ------ -------- -------- ---- ---- ----- -\n";
constexpr char kRule[] =
    "---------------- --------- --------- ------ -------- -------- ---- ---- ----- -\n";
constexpr char kBanner[] = "Archive file arc.lzh\n\n";
constexpr std::int64_t kArchiveTime = 1721030950;  // 2024-07-15 08:09:10 UTC
constexpr char kArchiveTimeText[] = " 24-07-15 08:09:10\n";

class ListRun : public ::testing::Test {
 protected:
  void Write(const std::vector<Member>& members) {
    lzhtest::WriteArchive(dir_ / "arc.lzh", members);
    test::SetMTime(dir_ / "arc.lzh", kArchiveTime);
  }
  test::RunResult Run(std::vector<std::string> args, const std::string& zone = "UTC") {
    test::RunOptions options;
    options.cwd = dir_.path();
    options.env["TZ"] = zone;
    return test::RunTsubo(args, options);
  }
  test::TempDir dir_;
};

Member Example() {
  Member m = lzhtest::Stored("abc.txt", test::RandomBytes(567, 1));
  m.method = "-lh5-";
  m.originalSize = 1234;
  m.crc = 0x1a2b;
  return m;
}

TEST_F(ListRun, ExampleRow) {
  Write({Example()});
  test::RunResult r = Run({"l", "arc.lzh"});
  const std::string row =
      "abc.txt               1234       567  45.9% 23-11-14 22:13:20 a--- 1a2b -lh5- M\n";
  EXPECT_EQ(row.size(), 80u);
  EXPECT_EQ(r.out, std::string(kBanner) + kHeader + row + kRule +
                       "        1 file        1234       567  45.9%" + kArchiveTimeText);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ListRun, EmptyArchive) {
  Write({});
  test::RunResult r = Run({"l", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) + kHeader + kRule +
                       "        0 files          0         0       " + kArchiveTimeText);
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ListRun, RowsOfSeveralKinds) {
  Member stored = lzhtest::Stored("data.bin", test::RandomBytes(300, 2));
  stored.crc = 0xbeef;
  Member deep = lzhtest::Stored("some\\dir\\0123456789abcdefghij", "xyz");
  deep.crc = 0x0042;
  deep.attributes = 0x21;
  Member empty = lzhtest::Stored("empty", "");
  empty.crc = 0;
  empty.unixTime = 946684799;  // 1999-12-31 23:59:59
  empty.attributes = 0x06;
  Member directory = lzhtest::DirectoryMember("some\\dir\\");
  Write({stored, deep, empty, directory});
  test::RunResult r = Run({"l", "arc.lzh"});
  EXPECT_EQ(
      r.out,
      std::string(kBanner) + kHeader +
          "data.bin               300       300 100.0% 23-11-14 22:13:20 a--- beef -lh0- M\n"
          "+ 0123456789abcd         3         3 100.0% 23-11-14 22:13:20 a-r- 0042 -lh0- M\n"
          "empty                    0         0   0.0% 99-12-31 23:59:59 -h-s 0000 -lh0- M\n"
          "+  <dir>                 0         0   0.0% 23-11-14 22:13:20 ---- 0000 -lhd- M\n" +
          kRule + "        4 files        303       303 100.0%" + kArchiveTimeText);
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ListRun, LevelZeroMemberHasAZeroSystemByte) {
  Member m = lzhtest::Stored("old.txt", "abc");
  m.level = 0;
  m.crc = 0x1111;
  Write({m});
  test::RunResult r = Run({"l", "arc.lzh"});
  const std::string row =
      std::string(
          "old.txt                  3         3 100.0% 23-11-14 22:13:20 a--- 1111 -lh0- ") +
      '\0' + "\n";
  EXPECT_EQ(r.out, std::string(kBanner) + kHeader + row + kRule +
                       "        1 file           3         3 100.0%" + kArchiveTimeText);
}

std::vector<Member> Tree() {
  Member top = lzhtest::Stored("top.txt", "top");
  Member inner = lzhtest::Stored("dir\\inner.txt", "inner");
  Member sub = lzhtest::DirectoryMember("dir\\sub\\");
  Member deep = lzhtest::Stored("dir\\sub\\deep.c", "deep");
  for (Member* m : {&top, &inner, &sub, &deep}) {
    m->crc = 0x00aa;
  }
  return {top, inner, sub, deep};
}

TEST_F(ListRun, DirectoryLayout) {
  Write(Tree());
  test::RunResult r = Run({"v", "arc.lzh"});
  const std::string blanks(16, ' ');
  EXPECT_EQ(r.out, std::string(kBanner) + kHeader + "top.txt\n" + blanks +
                       "         3         3 100.0% 23-11-14 22:13:20 a--- 00aa -lh0- M\n" +
                       "dir\\inner.txt\n" + blanks +
                       "         5         5 100.0% 23-11-14 22:13:20 a--- 00aa -lh0- M\n" +
                       "dir\\sub\\\n" + blanks +
                       "         0         0   0.0% 23-11-14 22:13:20 ---- 00aa -lhd- M\n" +
                       "dir\\sub\\deep.c\n" + blanks +
                       "         4         4 100.0% 23-11-14 22:13:20 a--- 00aa -lh0- M\n" + kRule +
                       "        4 files         12        12 100.0%" + kArchiveTimeText);
  // -x makes l list like v.
  EXPECT_EQ(Run({"l", "-x", "arc.lzh"}).out, r.out);
}

TEST_F(ListRun, QuietLevels) {
  Write(Tree());
  struct Case {
    std::vector<std::string> args;
    std::string listing;
  };
  const std::string bare = "top.txt\ninner.txt\ndeep.c\n";
  const std::string full = "top.txt\ndir\\inner.txt\ndir\\sub\\\ndir\\sub\\deep.c\n";
  const Case cases[] = {
      {{"l", "-n", "arc.lzh"}, bare},  {{"l", "-n1", "arc.lzh"}, bare},
      {{"l", "-n2", "arc.lzh"}, bare}, {{"v", "-n", "arc.lzh"}, full},
      {{"v", "-n2", "arc.lzh"}, full},
  };
  for (const Case& c : cases) {
    test::RunResult r = Run(c.args);
    EXPECT_EQ(r.out, kBanner + c.listing) << c.args[0] << c.args[1];
    EXPECT_EQ(r.exitCode, 0);
  }
}

TEST_F(ListRun, PatternsSelectMembers) {
  Write(Tree());
  test::RunResult r = Run({"l", "arc.lzh", "*.txt"});
  EXPECT_EQ(
      r.out,
      std::string(kBanner) + kHeader +
          "top.txt                  3         3 100.0% 23-11-14 22:13:20 a--- 00aa -lh0- M\n"
          "+ inner.txt              5         5 100.0% 23-11-14 22:13:20 a--- 00aa -lh0- M\n" +
          kRule + "        2 files          8         8 100.0%" + kArchiveTimeText);
  // Without -p only the last components count: other\deep.c selects
  // dir\sub\deep.c; with -p the whole path must match.
  EXPECT_EQ(Run({"l", "-n", "arc.lzh", "other\\deep.c"}).out, std::string(kBanner) + "deep.c\n");
  EXPECT_EQ(Run({"l", "-n", "-p", "arc.lzh", "other\\deep.c"}).out, kBanner);
  EXPECT_EQ(Run({"v", "-n", "-p", "arc.lzh", "dir\\*"}).out,
            std::string(kBanner) + "dir\\inner.txt\ndir\\sub\\\ndir\\sub\\deep.c\n");
  // The stored path of a directory member has no final backslash.
  EXPECT_EQ(Run({"v", "-n", "-p", "arc.lzh", "dir\\sub"}).out,
            std::string(kBanner) + "dir\\sub\\\n");
  EXPECT_EQ(Run({"l", "-n", "arc.lzh", "NOTHING"}).out, kBanner);
}

TEST_F(ListRun, MemberTimesStayUtcWhileTheArchiveTimeIsLocal) {
  Write({Example()});
  test::RunResult r = Run({"l", "arc.lzh"}, "JST-9");
  EXPECT_EQ(
      r.out,
      std::string(kBanner) + kHeader +
          "abc.txt               1234       567  45.9% 23-11-14 22:13:20 a--- 1a2b -lh5- M\n" +
          kRule + "        1 file        1234       567  45.9% 24-07-15 17:09:10\n");
  r = Run({"l", "arc.lzh"}, "EST5");
  EXPECT_NE(r.out.find("1a2b -lh5- M\n"), std::string::npos);
  EXPECT_NE(r.out.find("45.9% 23-11-14 22:13:20"), std::string::npos);
  EXPECT_NE(r.out.find("45.9% 24-07-15 03:09:10\n"), std::string::npos);
}

TEST_F(ListRun, ManyMembers) {
  std::vector<Member> members;
  for (int i = 0; i < 2000; ++i) {
    Member m = lzhtest::Stored("f" + std::to_string(i), "");
    members.push_back(m);
  }
  Write(members);
  test::RunResult r = Run({"l", "arc.lzh"});
  EXPECT_EQ(r.out.size(), std::string(kBanner).size() + 2 * 80 + 2000 * 80 + 80 + 62);
  EXPECT_NE(r.out.find("f1999                    0         0   0.0%"), std::string::npos);
  EXPECT_NE(r.out.find("     2000 files          0         0       "), std::string::npos);
}

}  // namespace
