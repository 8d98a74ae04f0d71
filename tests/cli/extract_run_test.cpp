// The extract and test runner through the executable: per-member lines,
// error lines, the continue question, totals and exit codes, and what the
// Unix and Windows extended headers give an extracted file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Member;
using test::Sjis;

constexpr char kBanner[] = "Archive file arc.lzh\n\n";

class ExtractRun : public ::testing::Test {
 protected:
  void Write(const std::vector<Member>& members) {
    lzhtest::WriteArchive(dir_ / "arc.lzh", members);
  }
  test::RunResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    test::RunOptions options;
    options.cwd = dir_.path();
    options.input = input;
    return test::RunTsubo(args, options);
  }
  test::TempDir dir_;
};

Member BadCrc(const std::string& name, const std::string& data) {
  Member m = lzhtest::Stored(name, data);
  m.crc = 0xdead;
  return m;
}

Member Unsupported(const std::string& name) {
  Member m = lzhtest::Stored(name, "not really pm2 data");
  m.method = "-pm2-";
  return m;
}

// -lh5- data whose first code table cannot be built: a data error.
Member Broken(const std::string& name) {
  Member m = lzhtest::Stored(name, std::string(32, '\xFF'));
  m.method = "-lh5-";
  m.originalSize = 1000;
  return m;
}

std::vector<Member> SoundTree() {
  Member inner = lzhtest::Stored("dir\\b.txt", "second file");
  Member dir = lzhtest::DirectoryMember("dir\\");
  return {lzhtest::Stored("a.txt", "first file"), dir, inner,
          lzhtest::Stored("c.bin", test::RandomBytes(5000, 3))};
}

const std::string kAskContinue = Sjis("処理を続けますか[y:はい n:いいえ]");
const std::string kCrcError = Sjis("エラー: CRCエラー\n");
const std::string kDataError = Sjis("エラー: ハフマン符号エラー\n");

TEST_F(ExtractRun, TestingASoundArchive) {
  Write(SoundTree());
  test::RunResult r = Run({"t", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Test OK a.txt\n"
                       "Test OK dir\n"
                       "Test OK dir\\b.txt\n"
                       "Test OK c.bin\n"
                       "\n"
                       "Total 4 files No errors\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ExtractRun, ExtractingFlatAndWithDirectories) {
  Write(SoundTree());
  test::RunResult r = Run({"e", "arc.lzh"});
  // The directory member is skipped without a line but counted.
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Extracted a.txt\n"
                       "Extracted dir\\b.txt\n"
                       "Extracted c.bin\n"
                       "\n"
                       "Total 4 files No errors\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(test::ReadFile(dir_ / "b.txt"), "second file");

  test::TempDir out;
  r = Run({"x", "arc.lzh", out.path() + "/"});
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Extracted a.txt\n"
                       "Created Directory dir\n"
                       "Extracted dir\\b.txt\n"
                       "Extracted c.bin\n"
                       "\n"
                       "Total 4 files No errors\n");
  EXPECT_EQ(test::ReadFile(out / "dir/b.txt"), "second file");
  EXPECT_EQ(r.exitCode, 0);

  // Again: every file exists with the member's time.
  r = Run({"e", "arc.lzh", "*.txt"});
  EXPECT_EQ(r.out, std::string(kBanner) + Sjis("Skipped a.txt : 最新のファイルが存在\n"
                                               "Skipped dir\\b.txt : 最新のファイルが存在\n"
                                               "\n"
                                               "Total 2 files No errors\n"));
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ExtractRun, UnsupportedMethodCountsAsFailedWithoutStopping) {
  Write({lzhtest::Stored("a.txt", "aaa"), Unsupported("old.lzs")});
  test::RunResult r = Run({"t", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) + "Test OK a.txt\n" +
                       Sjis("Skipped old.lzs : 非対応の圧縮法\n") + "\nTotal 2 files NG 1 files\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);

  test::WriteFile(dir_ / "old.lzs", "keep me");
  r = Run({"e", "-c", "-m", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) + "Extracted a.txt\n" +
                       Sjis("Skipped old.lzs : 非対応の圧縮法\n") + "\nTotal 2 files NG 1 files\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(test::ReadFile(dir_ / "old.lzs"), "keep me");
}

TEST_F(ExtractRun, CrcErrorAsksWhetherToGoOn) {
  Write({BadCrc("bad.txt", "payload"), lzhtest::Stored("good.txt", "fine")});
  // Going on: the last error was a CRC error, exit 1.
  test::RunResult r = Run({"t", "arc.lzh"}, "y\n");
  EXPECT_EQ(r.out, std::string(kBanner) + "Test NG bad.txt\n" + kAskContinue +
                       "Test OK good.txt\n\nTotal 2 files NG 1 files\n");
  EXPECT_EQ(r.err, kCrcError);
  EXPECT_EQ(r.exitCode, 1);
  // Stopping: no totals, exit 2.
  for (const char* answer : {"n\n", "", "x\n", "yes"}) {
    r = Run({"t", "arc.lzh"}, answer);
    if (answer[0] == 'y') {
      EXPECT_EQ(r.exitCode, 1);
      continue;
    }
    EXPECT_EQ(r.out, std::string(kBanner) + "Test NG bad.txt\n" + kAskContinue) << answer;
    EXPECT_EQ(r.err, kCrcError);
    EXPECT_EQ(r.exitCode, 2);
  }
  // Extracting: the file stays, no "Extracted" line.
  r = Run({"e", "arc.lzh"}, "Y\n");
  EXPECT_EQ(r.out, std::string(kBanner) + kAskContinue +
                       "Extracted good.txt\n\nTotal 2 files NG 1 files\n");
  EXPECT_EQ(r.err, kCrcError);
  EXPECT_EQ(r.exitCode, 1);
  // -m asks nothing.
  r = Run({"e", "-m", "-c", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) + "Extracted good.txt\n\nTotal 2 files NG 1 files\n");
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(ExtractRun, QuietLevelTwoKeepsOnlyErrorLinesAndQuestions) {
  Write({lzhtest::Stored("a.txt", "aaa"), BadCrc("bad.txt", "payload"), Unsupported("u.lzs")});
  test::RunResult r = Run({"t", "-n2", "arc.lzh"}, "y\n");
  EXPECT_EQ(r.out, std::string(kBanner) + kAskContinue);
  EXPECT_EQ(r.err, kCrcError);
  EXPECT_EQ(r.exitCode, 1);
  r = Run({"t", "-n2", "-m", "arc.lzh"});
  EXPECT_EQ(r.out, kBanner);
  EXPECT_EQ(r.err, kCrcError);
  EXPECT_EQ(r.exitCode, 1);
  // -n (level 1) still prints the lines.
  r = Run({"t", "-n", "-m", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) + "Test OK a.txt\nTest NG bad.txt\n" +
                       Sjis("Skipped u.lzs : 非対応の圧縮法\n") + "\nTotal 3 files NG 2 files\n");
}

TEST_F(ExtractRun, ExitCodeFollowsTheLastDataOrCrcError) {
  Write({BadCrc("crc1.txt", "one"), Broken("data.bin"), BadCrc("crc2.txt", "two")});
  test::RunResult r = Run({"t", "-m", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Test NG crc1.txt\nTest NG data.bin\nTest NG crc2.txt\n"
                       "\nTotal 3 files NG 3 files\n");
  EXPECT_EQ(r.err, kCrcError + kDataError + kCrcError);
  EXPECT_EQ(r.exitCode, 1);

  Write({BadCrc("crc1.txt", "one"), Broken("data.bin")});
  r = Run({"t", "arc.lzh"}, "y\ny\n");
  EXPECT_EQ(r.out, std::string(kBanner) + "Test NG crc1.txt\n" + kAskContinue +
                       "Test NG data.bin\n" + kAskContinue + "\nTotal 2 files NG 2 files\n");
  EXPECT_EQ(r.err, kCrcError + kDataError);
  EXPECT_EQ(r.exitCode, 2);
  // Refusing after the data error stops at once.
  r = Run({"t", "arc.lzh"}, "y\nn\n");
  EXPECT_EQ(r.out, std::string(kBanner) + "Test NG crc1.txt\n" + kAskContinue +
                       "Test NG data.bin\n" + kAskContinue);
  EXPECT_EQ(r.exitCode, 2);
}

TEST_F(ExtractRun, SkippedMembers) {
  Member hidden = lzhtest::Stored("hidden.txt", "h");
  hidden.attributes = 0x22;
  Member system = lzhtest::Stored("system.txt", "s");
  system.attributes = 0x24;
  Member evil = lzhtest::Stored("..\\evil.txt", "e");
  Write({hidden, system, evil, lzhtest::Stored("plain.txt", "p")});
  // Standard input at its end refuses the path question.
  test::RunResult r = Run({"x", "arc.lzh"});
  const std::string question = Sjis(
      "書庫内のファイル[evil.txt]が意図しないフォルダに展開される可能性があります。\n"
      "展開しますか？[y:はい n:いいえ a:すべてはい]");
  EXPECT_EQ(r.out, std::string(kBanner) +
                       Sjis("Skipped hidden.txt : 展開対象外の属性\n"
                            "Skipped system.txt : 展開対象外の属性\n") +
                       question + Sjis("Skipped ..\\evil.txt : 要注意なパス\n") +
                       "Extracted plain.txt\n\nTotal 4 files No errors\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(test::FileExists(dir_ / "hidden.txt"));
  // Unsafe directory members get the question with "<dir>" and their own
  // skip line.
  Write({lzhtest::DirectoryMember("..\\up\\")});
  r = Run({"x", "arc.lzh"}, "n\n");
  EXPECT_EQ(r.out,
            std::string(kBanner) +
                Sjis("書庫内のファイル[<dir>]が意図しないフォルダに展開される可能性があります。\n"
                     "展開しますか？[y:はい n:いいえ a:すべてはい]"
                     "Skipped ..\\up : 要注意なパス\n") +
                "\nTotal 1 files No errors\n");
}

TEST_F(ExtractRun, NamesAreShownNeverObeyed) {
  // ESC, BEL, CR, backspace and DEL in names would drive a terminal: they go
  // out as '?', to a pipe as to a terminal, in every line and question.
  const std::string evilName = "a\x1b]0;x\x07\b\x7f.txt";
  Member evil = lzhtest::Stored(evilName, "e");
  Member moved = lzhtest::Stored("..\\\x1b[2J\\c\rd.txt", "m");
  Write({evil, moved});
  test::WriteFile(dir_ / evilName, "old");
  test::SetMTime(dir_ / evilName, 1000000000);
  for (const char* command : {"l", "v", "t", "e", "x"}) {
    SCOPED_TRACE(command);
    // Windows allows no such bytes in file names: the members cannot be made.
    if (test::RunningUnderRunner() && (*command == 'e' || *command == 'x')) continue;
    const test::RunResult r = Run({command, "arc.lzh"}, "n\nn\n");
    for (char c : r.out + r.err) {
      const auto byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(c == '\n' || (byte >= 0x20 && byte != 0x7F)) << static_cast<int>(byte);
    }
    EXPECT_NE(r.out.find("a?]0;x???.txt"), std::string::npos) << r.out << r.err << r.exitCode;
  }
}

TEST_F(ExtractRun, OnlySelectedMembersAreHandled) {
  Write(SoundTree());
  test::RunResult r = Run({"t", "arc.lzh", "*.txt"});
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Test OK a.txt\nTest OK dir\\b.txt\n\nTotal 2 files No errors\n");
  r = Run({"t", "-p", "arc.lzh", "dir"});
  EXPECT_EQ(r.out, std::string(kBanner) + "Test OK dir\n\nTotal 1 files No errors\n");
  r = Run({"t", "arc.lzh", "none"});
  EXPECT_EQ(r.out, std::string(kBanner) + "\nTotal 0 files No errors\n");
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ExtractRun, DirectoryMemberWithDataEndsTheRun) {
  Member odd = lzhtest::DirectoryMember("odd\\");
  odd.data = "data";
  Write({odd, lzhtest::Stored("after.txt", "x")});
  test::RunResult r = Run({"x", "arc.lzh"});
  EXPECT_EQ(r.out, kBanner);
  EXPECT_EQ(r.err, Sjis("エラー: 内部エラー [8]\n"));
  EXPECT_EQ(r.exitCode, 2);
  r = Run({"x", "-y", "arc.lzh"});
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Created Directory odd\nExtracted after.txt\n\nTotal 2 files No errors\n");
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ExtractRun, OverlongOutputPathCountsAsFailed) {
  // A 250-byte member path under a base directory cannot fit 259 bytes.
  const std::string directory = std::string(49, 'd') + "\\";
  const std::string name(200, 'n');
  Write({lzhtest::Stored(directory + name, "deep"), lzhtest::Stored("short.txt", "s")});
  test::TempDir out;
  std::string base = out.path() + "/" + std::string(40, 'b') + "/";
  test::RunResult r = Run({"x", "arc.lzh", base});
  EXPECT_EQ(r.out.find("Extracted " + directory), std::string::npos);
  EXPECT_NE(r.out.find("Extracted short.txt\n\nTotal 2 files NG 1 files\n"), std::string::npos);
  EXPECT_NE(r.err.find(name), std::string::npos);
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ExtractRun, UnixModeOwnerAndFineTime) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "Windows files have no Unix mode";
  using lzhtest::Le16;
  using lzhtest::Le32;
  Member script = lzhtest::Stored("script.sh", "#!/bin/sh\n");
  script.extra = {{0x50, Le16(0100755)}, {0x51, Le16(4321) + Le16(1234)}};  // group, user
  Member setUid = lzhtest::Stored("setuid", "s");
  setUid.extra = {{0x50, Le16(0104755)}};
  Member fine = lzhtest::Stored("fine.txt", "f");
  const std::uint64_t write = test::FileTimeOf(2020, 1, 2, 3, 4, 5, 1234567);
  fine.extra = {
      {0x41, Le32(1) + Le32(0) + Le32(write & 0xFFFFFFFF) + Le32(write >> 32) + Le32(2) + Le32(0)}};
  test::WriteFile(dir_ / "arc.lzh", lzhtest::Archive({script, setUid, fine}));
  // The child inherits the umask, which binds every user but root.
  const mode_t saved = umask(027);
  const test::RunResult r = Run({"e", "arc.lzh"});
  umask(saved);
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const bool root = geteuid() == 0;
  struct stat st;
  ASSERT_EQ(stat((dir_ / "script.sh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, root ? 0755u : 0750u);
  if (root) {
    EXPECT_EQ(st.st_uid, 1234u);
    EXPECT_EQ(st.st_gid, 4321u);
  } else {
    EXPECT_EQ(st.st_uid, geteuid());
  }
  ASSERT_EQ(stat((dir_ / "setuid").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, root ? 0755u : 0750u) << "never set-user-id";
  ASSERT_EQ(stat((dir_ / "fine.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, test::UnixSeconds(2020, 1, 2, 3, 4, 5));
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);
}

}  // namespace
