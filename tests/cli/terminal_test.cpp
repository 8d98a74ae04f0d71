// tsubo at a terminal: the help screen and a question come out as UTF-8 in
// a UTF-8 locale, and the answer typed on the terminal is taken. For
// tsubo.exe under the runner this is the console path (WriteConsoleW and
// ReadConsoleW on Wine's terminal console); for the POSIX build the bridge
// of a UTF-8 locale.
#include <gtest/gtest.h>

#include "support/archive_builder.h"
#include "support/stream_builder.h"
#include "support/support.h"

namespace {

// tsubo on a pseudo-terminal of its own, in a UTF-8 locale.
test::Process OnTerminal(const std::vector<std::string>& args, const std::string& cwd) {
  test::RunOptions options;
  options.cwd = cwd;
  options.terminal = true;
  options.env = {{"LC_ALL", "C.UTF-8"}, {"TERM", "xterm"}};
  return test::StartTsubo(args, options);
}

TEST(TerminalTest, HelpScreenIsReadableJapanese) {
  test::TempDir dir;
  test::Process run = OnTerminal({}, dir.path());
  const test::RunResult& r = run.Wait();
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("使用法"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(test::Sjis("使用法")), std::string::npos);
}

TEST(TerminalTest, QuestionIsAnsweredOnTheTerminal) {
  test::TempDir dir;
  test::RunOptions in;
  in.cwd = dir.path();
  test::WriteFile(dir / "a.txt", "member\n");
  ASSERT_EQ(test::RunTsubo({"a", "arc.lzh", "a.txt"}, in).exitCode, 0);
  test::WriteFile(dir / "a.txt", "old\n");
  test::Process run = OnTerminal({"e", "-c", "arc.lzh"}, dir.path());
  ASSERT_TRUE(run.WaitFor("上書きしますか")) << run.result().out;
  // Wine's console puts the terminal into raw mode when the program starts
  // reading; keys typed before that would go through the line discipline
  // (CR turned into LF) and not end the line. The POSIX build reads the
  // terminal as it is.
  if (test::RunningUnderRunner()) run.AwaitRawTerminal();
  run.Write("y\r");
  const test::RunResult& r = run.Wait();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Extracted a.txt"), std::string::npos) << r.out;
  EXPECT_EQ(test::ReadFile(dir / "a.txt"), "member\n");
}

// A member that takes seconds to test (4 GiB - 1 bytes from a few packed
// ones) shows its progress on a terminal's standard error after about a
// second, and nowhere else. Both runs end once that second has passed.
TEST(TerminalTest, LongMemberShowsProgressOnATerminalOnly) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "the POSIX terminal";
  test::TempDir dir;
  lzhtest::Member huge = lzhtest::Compressed(5, "huge.bin", "a");
  huge.data = lzhtest::RepeatedByteStream();
  huge.originalSize = 0xFFFFFFFFu;
  test::WriteFile(dir / "huge.lzh", lzhtest::Archive({huge}));
  {
    test::Process run = OnTerminal({"t", "huge.lzh"}, dir.path());
    EXPECT_TRUE(run.WaitFor(" MB/s")) << run.result().out;
    EXPECT_NE(run.result().out.find("\rhuge.bin "), std::string::npos) << run.result().out;
  }
  test::RunOptions piped;
  piped.cwd = dir.path();
  const test::RunResult r =
      test::RunCommand({"timeout", "-s", "KILL", "2", test::TsuboPath(), "t", "huge.lzh"}, piped);
  EXPECT_EQ(r.err.find("MB/s"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

}  // namespace
