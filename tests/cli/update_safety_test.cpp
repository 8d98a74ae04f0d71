// Updates that must not lose or corrupt an archive, end to end: files too
// large for the headers, self-extracting archives, writes that fail, sources
// that cannot be read, and two runs on one archive at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/update_util.h"
#include "support/archive_builder.h"
#include "support/stream_builder.h"
#include "support/support.h"

namespace {

using test::WorkFiles;
using update_test::MemberPaths;

class Safety : public ::testing::Test {
 protected:
  test::RunOptions Here() const {
    test::RunOptions options;
    options.cwd = dir_.path();
    return options;
  }
  test::RunResult Tsubo(const std::vector<std::string>& args) {
    return test::RunTsubo(args, Here());
  }
  void Write(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir_ / name, bytes);
    test::SetMTime(dir_ / name, 1600000000);
  }
  std::string Read(const std::string& name) const { return test::ReadFile(dir_ / name); }
  void MakeArchive(const std::string& name = "arc.lzh") {
    Write("a.txt", "alpha alpha alpha");
    Write("b.txt", "bravo bravo");
    const test::RunResult r = Tsubo({"a", name, "a.txt", "b.txt"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  }
  test::TempDir dir_;
};

// Only level 2 has 64-bit sizes.
TEST_F(Safety, FileOf4GiBIsRefusedAtLevel1) {
  MakeArchive();
  const std::string big = dir_ / "big.bin";
  const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 0x100000000LL + 10), 0);  // sparse
  ::close(fd);
  Write("c.txt", "charlie");
  const test::RunResult r = Tsubo({"a", "-h1", "arc.lzh", "c.txt", "big.bin", "a.txt"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "Archive file arc.lzh\n\nAdded c.txt\n");
  EXPECT_EQ(r.err, test::Sjis("エラー: 4GiB以上のファイルは格納できません [big.bin]\n"));
  // What was added before the refusal is kept, as after any stop.
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());
  EXPECT_EQ(Tsubo({"t", "arc.lzh"}).exitCode, 0);
}

TEST_F(Safety, SelfExtractingArchiveIsReadOnly) {
  MakeArchive();
  // A stub without anything that looks like a header, then the archive.
  std::string stub = "MZ" + std::string(4094, '\x90');
  Write("setup.exe", stub + Read("arc.lzh"));
  const std::string before = Read("setup.exe");
  Write("c.txt", "charlie");
  const std::string header = "Archive file setup.exe\n\n";
  const std::string refused = test::Sjis("エラー: 自己展開書庫は変更できません\n");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out, err;
  } cases[] = {
      {{"a", "setup.exe", "c.txt"}, 2, header, refused},
      {{"u", "setup.exe", "a.txt"}, 2, header, refused},
      {{"a", "setup.exe", "a.txt"}, 2, header, refused},
      {{"d", "setup.exe", "a.txt"}, 2, header, refused},
      {{"d", "setup.exe", "zzz"}, 0, header + test::Sjis("ファイルが見つかりません\n"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[2]);
    const test::RunResult r = Tsubo(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(Read("setup.exe"), before);
    EXPECT_TRUE(WorkFiles(dir_.path()).empty());
  }
  EXPECT_EQ(Tsubo({"t", "setup.exe"}).exitCode, 0);
}

// Writing the work file fails part way (the file-size limit stands in for a
// full disk): nothing is reported as added and the archive stays as it was.
TEST_F(Safety, FailedWriteLeavesTheArchiveAsItWas) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "needs a native tsubo";
  MakeArchive();
  Write("big.txt", test::RandomBytes(200000, 11));
  Write("c.txt", "charlie");
  const std::string before = Read("arc.lzh");
  for (const char* store : {"-z0", "-z"}) {
    SCOPED_TRACE(store);
    const std::string script = "trap '' XFSZ; ulimit -f 100; exec \"$0\" a " + std::string(store) +
                               " arc.lzh c.txt big.txt";
    test::RunOptions options;
    options.cwd = dir_.path();
    const test::RunResult r = test::RunCommand({"sh", "-c", script, test::TsuboPath()}, options);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "Archive file arc.lzh\n\nAdded c.txt\n");
    EXPECT_EQ(r.err.rfind(test::Sjis("エラー: 内部エラー ["), 0), 0u) << r.err;
    EXPECT_EQ(Read("arc.lzh"), before);
    EXPECT_TRUE(WorkFiles(dir_.path()).empty());
  }
}

TEST_F(Safety, FailedWriteToANewArchiveLeavesNoArchive) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "needs a native tsubo";
  Write("big.txt", test::RandomBytes(200000, 12));
  const std::string script = "trap '' XFSZ; ulimit -f 100; exec \"$0\" a new.lzh big.txt";
  test::RunOptions options;
  options.cwd = dir_.path();
  const test::RunResult r = test::RunCommand({"sh", "-c", script, test::TsuboPath()}, options);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_FALSE(test::FileExists(dir_ / "new.lzh"));
  EXPECT_TRUE(WorkFiles(dir_.path()).empty());
}

// The archive keeps its mode (and, for root, its owner and group) through
// an update; a planted link where the work file would go is passed over.
TEST_F(Safety, UpdatesKeepTheArchivesOwnerAndMode) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "POSIX modes";
  MakeArchive();
  ASSERT_EQ(chmod((dir_ / "arc.lzh").c_str(), 0600), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown((dir_ / "arc.lzh").c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(symlink("nowhere", (dir_ / "lhawk000.dat").c_str()), 0);
  Write("c.txt", "charlie");
  EXPECT_EQ(Tsubo({"a", "arc.lzh", "c.txt"}).exitCode, 0);
  EXPECT_EQ(Tsubo({"d", "arc.lzh", "a.txt"}).exitCode, 0);
  struct stat st;
  ASSERT_EQ(stat((dir_ / "arc.lzh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"b.txt", "c.txt"}));
  struct stat link;
  ASSERT_EQ(lstat((dir_ / "lhawk000.dat").c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
}

// SIGINT, SIGTERM and SIGHUP at work: the run removes its work file, a new
// archive's claim and a member's temporary file, says so and exits with 2;
// the archive and the extraction folder stay as they were.
TEST_F(Safety, InterruptsLeaveNothingBehind) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "POSIX signals";
  MakeArchive();
  Write("big.bin", test::RandomBytes(24 << 20, 13));
  const std::string before = Read("arc.lzh");
  // A member of 4 GiB - 1 bytes whose few packed bytes repeat one byte:
  // long at work, and its temporary file is there from the start.
  lzhtest::Member huge = lzhtest::Compressed(5, "huge.bin", "a");
  huge.data = lzhtest::RepeatedByteStream();
  huge.originalSize = 0xFFFFFFFFu;
  test::WriteFile(dir_ / "huge.lzh", lzhtest::Archive({huge}));
  test::MakeDirs(dir_ / "out");
  struct Case {
    std::vector<std::string> args;
    std::string scratch;  // appears once the run is at work
  } cases[] = {
      {{"a", "arc.lzh", "big.bin"}, "lhawk000.dat"},
      {{"a", "new.lzh", "big.bin"}, "lhawk000.dat"},
      {{"x", "huge.lzh", "out/"}, "out/lhtmp000.tmp"},
  };
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.args[0] + " " + c.args[1] + " signal " + std::to_string(signal));
      test::Process run = test::StartTsubo(c.args, Here());
      for (int i = 0; i < 20000 && !test::FileExists(dir_ / c.scratch); ++i) usleep(500);
      ASSERT_TRUE(test::FileExists(dir_ / c.scratch));
      const test::RunResult& r = run.Signal(signal);
      EXPECT_EQ(r.exitCode, 2);
      EXPECT_EQ(r.err, test::Sjis("エラー: 処理を中断しました\n"));
      EXPECT_EQ(Read("arc.lzh"), before);
      EXPECT_FALSE(test::FileExists(dir_ / "new.lzh"));
      EXPECT_TRUE(WorkFiles(dir_.path()).empty());
      EXPECT_TRUE(std::filesystem::is_empty(dir_ / "out"));
    }
  }
}

TEST_F(Safety, UnreadableSourceStopsTheRun) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  MakeArchive();
  Write("c.txt", "charlie");
  Write("locked.txt", "locked");
  chmod((dir_ / "locked.txt").c_str(), 0);
  const test::RunResult r = Tsubo({"a", "arc.lzh", "c.txt", "locked.txt", "a.txt"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "Archive file arc.lzh\n\nAdded c.txt\n");
  EXPECT_EQ(r.err, test::Sjis("エラー: 内部エラー [101]\n"));
  EXPECT_EQ(MemberPaths(dir_ / "arc.lzh"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

TEST_F(Safety, ReadOnlyFolderStopsTheRun) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into every folder";
  MakeArchive();
  Write("c.txt", "charlie");
  const std::string before = Read("arc.lzh");
  chmod(dir_.path().c_str(), 0555);
  const test::RunResult r = Tsubo({"a", "arc.lzh", "c.txt"});
  chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, test::Sjis("エラー: 内部エラー [13]\n"));
  EXPECT_EQ(Read("arc.lzh"), before);
}

// Two runs add to one archive at once. The second one either fails clearly
// or comes after the first one's commit; no member of either is lost.
TEST_F(Safety, TwoRunsAtOnceLoseNothing) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "needs a native tsubo";
  std::string text;
  for (std::uint64_t i = 0; text.size() < 3000000; ++i)
    text += "line " + std::to_string(i * 7919 % 10007) + "\n";
  Write("slow.txt", text);
  Write("quick.txt", "quick");
  for (const bool existing : {true, false}) {
    for (const int delayMs : {0, 5, 30, 100}) {
      SCOPED_TRACE(std::string(existing ? "existing" : "new") + " archive, " +
                   std::to_string(delayMs) + " ms");
      std::remove((dir_ / "arc.lzh").c_str());
      if (existing) MakeArchive();
      test::Process first = test::StartTsubo({"a", "arc.lzh", "slow.txt"}, Here());
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      const test::RunResult second = Tsubo({"a", "arc.lzh", "quick.txt"});
      const int firstExit = first.Wait().exitCode;
      EXPECT_TRUE(firstExit == 0 || second.exitCode == 0);
      std::vector<std::string> expected;
      if (existing) expected = {"a.txt", "b.txt"};
      if (firstExit == 0) expected.push_back("slow.txt");
      if (second.exitCode == 0) expected.push_back("quick.txt");
      std::vector<std::string> paths = MemberPaths(dir_ / "arc.lzh");
      std::sort(paths.begin(), paths.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(paths, expected);
      if (second.exitCode != 0) {
        EXPECT_EQ(second.exitCode, 2);
        EXPECT_EQ(second.err, test::Sjis("エラー: 書庫が開けませんでした\n"));
      }
      if (firstExit != 0) {
        EXPECT_EQ(firstExit, 2);
      }
      EXPECT_EQ(Tsubo({"t", "arc.lzh"}).exitCode, 0);
      EXPECT_TRUE(WorkFiles(dir_.path()).empty());
    }
  }
}

// Three quick runs at once, many times over: the moment a commit hands the
// archive over is the narrow place where a run could read the old archive
// and later commit over the new one.
TEST_F(Safety, ThreeQuickRunsAtOnceLoseNothing) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "needs a native tsubo";
  for (const char* name : {"q1", "q2", "q3", "q4"}) Write(name, std::string("member ") + name);
  for (int round = 0; round < 25; ++round) {
    SCOPED_TRACE(round);
    std::remove((dir_ / "arc.lzh").c_str());
    if (round % 2 == 0) {
      ASSERT_EQ(Tsubo({"a", "arc.lzh", "q1"}).exitCode, 0);
    }
    test::Process a = test::StartTsubo({"a", "arc.lzh", "q2"}, Here());
    test::Process b = test::StartTsubo({"a", "arc.lzh", "q3"}, Here());
    test::Process c = test::StartTsubo({"a", "arc.lzh", "q4"}, Here());
    std::vector<std::string> expected;
    if (round % 2 == 0) expected.push_back("q1");
    if (a.Wait().exitCode == 0) expected.push_back("q2");
    if (b.Wait().exitCode == 0) expected.push_back("q3");
    if (c.Wait().exitCode == 0) expected.push_back("q4");
    std::vector<std::string> paths = MemberPaths(dir_ / "arc.lzh");
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, expected);
    EXPECT_TRUE(WorkFiles(dir_.path()).empty());
  }
}

}  // namespace
