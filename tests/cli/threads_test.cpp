// The number of worker threads changes nothing that a user sees: the same
// archive bytes, the same console lines and exit codes, the same files, for
// a tree of small, large, incompressible and empty files, with a failure in
// the middle of a run too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/support.h"

namespace {

struct Outcome {
  std::string archive;
  std::string lines;  // every run's exit code, standard output and error
  std::string extracted;
};

Outcome RunWith(const std::string& threads) {
  test::TempDir dir;
  const auto write = [&dir](const std::string& name, const std::string& bytes) {
    test::WriteFile(dir / name, bytes);
    test::SetMTime(dir / name, 1600000000);
  };
  for (int i = 0; i < 30; ++i) {
    std::string text;
    for (int line = 0; line < 40 * i; ++line) text += "line " + std::to_string(line * i) + "\n";
    write("f" + std::to_string(i) + ".txt", text);
  }
  write("random.bin", test::RandomBytes(6 << 20, 1));  // stored, via a scratch file
  std::string big;
  while (big.size() < (9 << 20)) big += "a long file compressed through a scratch file\n";
  write("big.txt", big);
  write("empty", "");
  test::RunOptions options;
  options.cwd = dir.path();
  options.env["TSUBO_THREADS"] = threads;
  Outcome o;
  const auto run = [&](const std::vector<std::string>& args, const std::string& input = "") {
    options.input = input;
    const test::RunResult r = test::RunTsubo(args, options);
    o.lines += std::to_string(r.exitCode) + "\n" + r.out + r.err;
  };
  run({"a", "arc.lzh", "*"});
  for (const char* name : {"f1.txt", "f12.txt", "f2.txt"}) {
    test::WriteFile(dir / name, std::string(name) + " is newer\n");
    test::SetMTime(dir / name, 1600000100);
  }
  run({"u", "-o4", "arc.lzh", "f1*", "f2.txt", "f2.txt"});  // the same file twice
  o.archive = test::ReadFile(dir / "arc.lzh");
  run({"t", "arc.lzh"});
  // Decoding starts while the directory loads; a pattern drops that guess.
  run({"t", "arc.lzh", "f1*", "big.txt"});
  run({"x", "arc.lzh", "out/"});
  for (int i = 0; i < 30; i += 7)
    o.extracted += test::ReadFile(dir / ("out/f" + std::to_string(i) + ".txt"));
  o.extracted += test::ReadFile(dir / "out/big.txt");
  // Questions and a refusal half way: the rest is left alone.
  run({"e", "-c", "arc.lzh", "out/"}, "y\nn\ny\n");
  // A file that cannot be added stops the run where it stands.
  write("g1", "one");
  write("g2", std::string(300000, 'g'));
  run({"a", "arc.lzh", "g1", "missing", "f3.txt", "g2"});
  run({"f", "arc.lzh", "f4.txt", "g9", "g2"});
  o.archive += test::ReadFile(dir / "arc.lzh");
  return o;
}

TEST(Threads, OneOrManyWorkersGiveTheSameRun) {
  const Outcome one = RunWith("1");
  const Outcome four = RunWith("4");
  EXPECT_TRUE(one.archive == four.archive);
  EXPECT_EQ(one.lines, four.lines);
  EXPECT_TRUE(one.extracted == four.extracted);
}

}  // namespace
