// Two runs on one archive: while one tsubo holds the archive (waiting at a
// question), a second one that would read or change it fails cleanly and
// the archive loses nothing. Windows gives this with sharing modes, the
// POSIX build with locks; under a runner both runs are tsubo.exe.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/support.h"

namespace {

using test::RunOptions;
using test::RunResult;
using test::RunTsubo;
using test::Sjis;

struct SecondRun {
  const char* name;
  std::vector<std::string> args;
};

TEST(SharingTest, HeldArchiveRefusesASecondRunAndKeepsItsData) {
  test::TempDir dir;
  RunOptions in;
  in.cwd = dir.path();
  test::WriteFile(dir / "a.txt", "first member\n");
  test::WriteFile(dir / "b.txt", "second file\n");
  ASSERT_EQ(RunTsubo({"a", "arc.lzh", "a.txt"}, in).exitCode, 0);
  const std::string archive = test::ReadFile(dir / "arc.lzh");
  ASSERT_FALSE(archive.empty());

  // -c: the existing a.txt gets the overwrite question, and the run waits
  // for its answer with the archive open.
  // Its standard input stays open until the answer.
  test::Process holder = test::StartTsubo({"e", "-c", "arc.lzh"}, in);
  const std::string question = Sjis("上書きしますか");
  ASSERT_TRUE(holder.WaitFor(question)) << holder.result().out << holder.result().err;

  const SecondRun seconds[] = {
      {"add", {"a", "arc.lzh", "b.txt"}},    {"update", {"u", "arc.lzh", "b.txt"}},
      {"delete", {"d", "arc.lzh", "a.txt"}}, {"list", {"l", "arc.lzh"}},
      {"extract", {"x", "arc.lzh"}},
  };
  for (const auto& second : seconds) {
    SCOPED_TRACE(second.name);
    RunResult r = RunTsubo(second.args, in);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, Sjis("エラー: 書庫が開けませんでした\n"));
    EXPECT_EQ(test::ReadFile(dir / "arc.lzh"), archive);
    EXPECT_TRUE(test::WorkFiles(dir.path()).empty());
  }

  holder.Write("n\n");
  EXPECT_EQ(holder.Wait().exitCode, 0) << holder.result().out << holder.result().err;
  EXPECT_EQ(test::ReadFile(dir / "arc.lzh"), archive);
  EXPECT_EQ(test::ReadFile(dir / "a.txt"), "first member\n");

  // Once the first run has ended, the same add goes through.
  RunResult r = RunTsubo({"a", "arc.lzh", "b.txt"}, in);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  r = RunTsubo({"l", "-n", "arc.lzh"}, in);
  EXPECT_NE(r.out.find("a.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("b.txt"), std::string::npos) << r.out;
  EXPECT_TRUE(test::WorkFiles(dir.path()).empty());
}

}  // namespace
