// A run killed at any moment of a large update leaves the archive whole:
// byte for byte the old one or the new one, and it still tests clean.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/update_util.h"
#include "support/support.h"

namespace {

TEST(Kill, ArchiveIsAlwaysTheOldOrTheNewOne) {
  if (test::RunningUnderRunner()) GTEST_SKIP() << "needs a native tsubo";
  test::TempDir dir;
  test::MakeDirs(dir / "files");
  for (int i = 0; i < 5; ++i) {
    test::WriteFile(dir / ("old" + std::to_string(i)), "old member " + std::to_string(i));
  }
  // Two hundred files, some 13 MB: text that compresses, and random bytes
  // that the encoder gives up on and stores.
  for (int i = 0; i < 200; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "files/f%03d.bin", i);
    const auto seed = static_cast<std::uint32_t>(i);
    test::WriteFile(dir / name, i % 5 == 4 ? test::RandomBytes(65536 + i, seed)
                                           : update_test::Text(65536, seed * 2654435761u + 1));
    test::SetMTime(dir / name, 1600000000 + i);
  }
  test::RunOptions options;
  options.cwd = dir.path();
  ASSERT_EQ(test::RunTsubo({"a", "arc.lzh", "old*"}, options).exitCode, 0);
  const std::string oldBytes = test::ReadFile(dir / "arc.lzh");
  const std::vector<std::string> update = {"a", "-x", "arc.lzh", "files/*"};

  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(test::RunTsubo(update, options).exitCode, 0);
  const auto full = std::chrono::steady_clock::now() - start;
  const std::string newBytes = test::ReadFile(dir / "arc.lzh");
  ASSERT_NE(newBytes, oldBytes);

  int olds = 0;
  int news = 0;
  // Kill points in parts of an undisturbed run: spread over the work, and
  // close together around the commit at its end.
  const double points[] = {0,   0.05, 0.1,  0.2,  0.3, 0.4,  0.5,  0.6, 0.7, 0.8,
                           0.9, 0.95, 0.97, 0.99, 1.0, 1.01, 1.03, 1.1, 1.3};
  for (const double point : points) {
    SCOPED_TRACE(point);
    test::WriteFile(dir / "arc.lzh", oldBytes);
    for (const std::string& leftover : test::WorkFiles(dir.path())) {
      std::filesystem::remove(dir / leftover);
    }
    test::Process run = test::StartTsubo(update, options);
    // From the very start to a little past the end of an undisturbed run.
    std::this_thread::sleep_for(
        std::chrono::duration_cast<std::chrono::microseconds>(full * point));
    run.Signal(SIGKILL);
    const std::string after = test::ReadFile(dir / "arc.lzh");
    if (after == oldBytes) {
      ++olds;
    } else {
      ++news;
      ASSERT_EQ(after, newBytes) << "neither the old nor the new archive";
    }
    EXPECT_EQ(test::RunTsubo({"t", "-n2", "arc.lzh"}, options).exitCode, 0);
  }
  std::printf(
      "killed %d times: %d old, %d new archives (full run %lld ms)\n", olds + news, olds, news,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(full).count()));
}

}  // namespace
