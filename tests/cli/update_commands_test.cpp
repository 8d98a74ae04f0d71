// The commands that change an archive, end to end: a, u, f and d with their
// console lines, exit codes and the resulting member order, and the work
// files they leave (none) or leave alone (other people's).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/update_util.h"
#include "support/support.h"

namespace {

using test::WorkFiles;
using update_test::MemberPaths;

const std::string kHeader = "Archive file arc.lzh\n\n";

class Commands : public ::testing::Test {
 protected:
  test::RunResult Tsubo(const std::vector<std::string>& args) {
    test::RunOptions options;
    options.cwd = dir_.path();
    return test::RunTsubo(args, options);
  }
  void Write(const std::string& name, const std::string& bytes, std::int64_t mtime = 1600000000) {
    test::WriteFile(dir_ / name, bytes);
    test::SetMTime(dir_ / name, mtime);
  }
  std::string Archive() const { return test::ReadFile(dir_ / "arc.lzh"); }
  // Builds arc.lzh holding a.txt, b.txt and c.txt.
  void MakeAbc() {
    Write("a.txt", "alpha alpha alpha");
    Write("b.txt", "bravo bravo");
    Write("c.txt", "charlie");
    const test::RunResult r = Tsubo({"a", "arc.lzh", "a.txt", "b.txt", "c.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    ASSERT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  }
  test::TempDir dir_;
};

TEST_F(Commands, AddCreatesAMissingArchive) {
  Write("a.txt", "alpha");
  Write("b.txt", std::string(3000, 'b'));
  const test::RunResult r = Tsubo({"a", "arc", "a.txt", "b.txt", "missing.txt"});
  EXPECT_EQ(r.exitCode, 0);
  // The search for the add list reports the missing name; the runner adds
  // nothing for it.
  EXPECT_EQ(r.out, test::Sjis("指定されたパスが存在しません [missing.txt]\n") + kHeader +
                       "Added a.txt\nAdded b.txt\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(Archive().back(), '\0');
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());
  EXPECT_EQ(Tsubo({"t", "arc.lzh"}).exitCode, 0);
}

TEST_F(Commands, NamesThatAreGoneAtAddTimeAreSkippedSilently) {
  Write("a.txt", "alpha");
  Write("list", "gone.txt\r\na.txt\r\n");  // response-file names are not searched
  const test::RunResult r = Tsubo({"a", "arc", "@list"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader + "Added a.txt\n");
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), std::vector<std::string>{"a.txt"});
}

TEST_F(Commands, UpdateSkipsTheSameSecondAndReplacesANewerFileInPlace) {
  MakeAbc();
  const std::string before = Archive();
  test::RunResult r = Tsubo({"u", "arc.lzh", "b.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader);
  EXPECT_EQ(Archive(), before);
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());

  Write("b.txt", "bravo, one second later", 1600000001);
  r = Tsubo({"u", "arc.lzh", "b.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader + "Added b.txt\n");
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());

  test::TempDir out;
  test::RunOptions options;
  options.cwd = out.path();
  r = test::RunTsubo({"e", dir_ / "arc.lzh"}, options);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(test::ReadFile(out / "b.txt"), "bravo, one second later");
  EXPECT_EQ(test::ReadFile(out / "a.txt"), "alpha alpha alpha");
}

TEST_F(Commands, FreshenStopsAtTheFirstFileThatIsNoMember) {
  MakeAbc();
  Write("b.txt", "newer bravo", 1600000100);
  Write("new.txt", "not a member", 1600000100);
  const std::string before = Archive();
  const test::RunResult r = Tsubo({"f", "arc.lzh", "new.txt", "b.txt"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, kHeader + test::Sjis("ファイルが見つかりません\n"));
  EXPECT_EQ(Archive(), before);  // b.txt not freshened
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());
}

TEST_F(Commands, DeleteWithoutNamesLeavesTheEndMarkAlone) {
  MakeAbc();
  const test::RunResult r = Tsubo({"d", "arc.lzh"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader + "Deleted a.txt\nDeleted b.txt\nDeleted c.txt\n");
  EXPECT_EQ(Archive(), std::string(1, '\0'));
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());
}

TEST_F(Commands, DeleteSelectsByPattern) {
  MakeAbc();
  const test::RunResult r = Tsubo({"d", "arc.lzh", "?.TXT", "-n1"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Tsubo({"d", "arc.lzh", "b.txt"}).exitCode, 0);
  EXPECT_TRUE(MemberPaths(dir_ / "arc.lzh").empty());
  MakeAbc();
  const test::RunResult one = Tsubo({"d", "arc.lzh", "b.txt"});
  EXPECT_EQ(one.out, kHeader + "Deleted b.txt\n");
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"a.txt", "c.txt"}));
  EXPECT_EQ(Tsubo({"t", "arc.lzh"}).exitCode, 0);
}

TEST_F(Commands, DeleteWithoutMatchLeavesTheArchiveUntouched) {
  MakeAbc();
  test::SetMTime(dir_ / "arc.lzh", 1234567890);
  const std::string before = Archive();
  const test::RunResult r = Tsubo({"d", "arc.lzh", "x.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader + test::Sjis("ファイルが見つかりません\n"));
  EXPECT_EQ(Archive(), before);
  EXPECT_EQ(test::GetMTime(dir_ / "arc.lzh"), 1234567890);
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());
}

TEST_F(Commands, QuietLevelTwoPrintsNoMemberLines) {
  Write("a.txt", "alpha");
  test::RunResult r = Tsubo({"a", "-n2", "arc.lzh", "a.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader);
  r = Tsubo({"d", "-n2", "arc.lzh"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader);
}

TEST_F(Commands, OtherWorkFilesAreLeftAlone) {
  MakeAbc();
  Write("lhawk000.dat", "not ours");
  Write("d.txt", "delta");
  test::RunResult r = Tsubo({"a", "arc.lzh", "d.txt"});
  EXPECT_EQ(r.exitCode, 0);
  r = Tsubo({"d", "arc.lzh", "a.txt"});  // with a compaction
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"b.txt", "c.txt", "d.txt"}));
  EXPECT_EQ(test::ReadFile(dir_ / "lhawk000.dat"), "not ours");
  EXPECT_EQ(WorkFiles(dir_.path()), std::vector<std::string>{"lhawk000.dat"});
}

TEST_F(Commands, AllWorkFileNamesTaken) {
  MakeAbc();
  for (int n = 0; n < 999; ++n) {
    char leaf[16];
    std::snprintf(leaf, sizeof leaf, "lhawk%03d.dat", n);
    test::WriteFile(dir_ / leaf, "taken");
  }
  Write("d.txt", "delta");
  const std::string before = Archive();
  const test::RunResult r = Tsubo({"a", "arc.lzh", "d.txt"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, kHeader);
  EXPECT_EQ(r.err, test::Sjis("エラー: 内部エラー [13]\n"));
  EXPECT_EQ(Archive(), before);
  EXPECT_EQ(test::ReadFile(dir_ / "lhawk998.dat"), "taken");
  const test::RunResult d = Tsubo({"d", "arc.lzh", "a.txt"});
  EXPECT_EQ(d.exitCode, 2);
  EXPECT_EQ(d.err, test::Sjis("エラー: 内部エラー [13]\n"));
  EXPECT_EQ(Archive(), before);
}

TEST_F(Commands, HiddenFilesNeedOptionA) {
  Write(".hidden", "secret");
  Write("shown", "open");
  test::RunResult r = Tsubo({"a", "arc.lzh", "*"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kHeader + test::Sjis("Skipped .hidden : 追加対象外の属性\nAdded shown\n"));
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), std::vector<std::string>{"shown"});
  r = Tsubo({"a", "-a", "arc.lzh", ".hidden"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"shown", ".hidden"}));
}

}  // namespace
