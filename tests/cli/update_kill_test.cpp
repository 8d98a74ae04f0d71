// A run killed at any moment of a large update leaves the archive whole:
// byte for byte the old one or the new one, and it still tests clean.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/update_util.h"
#include "support/support.h"

namespace {

TEST(Kill, ArchiveIsAlwaysTheOldOrTheNewOne) {
  if (!update_test::ReadersAvailable()) GTEST_SKIP() << "extract runner not merged yet";
  if (test::RunningUnderRunner()) GTEST_SKIP() << "needs a native tsubo";
  test::TempDir dir;
  test::MakeDirs(dir / "files");
  for (int i = 0; i < 5; ++i) {
    test::WriteFile(dir / ("old" + std::to_string(i)), "old member " + std::to_string(i));
  }
  // A few hundred files, some 20 MB in all, stored so the run is quick.
  for (int i = 0; i < 300; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "files/f%03d.bin", i);
    test::WriteFile(dir / name, test::RandomBytes(65536 + i, static_cast<std::uint32_t>(i)));
    test::SetMTime(dir / name, 1600000000 + i);
  }
  test::RunOptions options;
  options.cwd = dir.path();
  ASSERT_EQ(test::RunTsubo({"a", "arc.lzh", "old*"}, options).exitCode, 0);
  const std::string oldBytes = test::ReadFile(dir / "arc.lzh");
  const std::vector<std::string> update = {"a", "-x", "-z", "arc.lzh", "files/*"};

  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(test::RunTsubo(update, options).exitCode, 0);
  const auto full = std::chrono::steady_clock::now() - start;
  const std::string newBytes = test::ReadFile(dir / "arc.lzh");
  ASSERT_NE(newBytes, oldBytes);

  int olds = 0;
  int news = 0;
  const int kPoints = 16;
  for (int point = 0; point < kPoints; ++point) {
    SCOPED_TRACE(point);
    test::WriteFile(dir / "arc.lzh", oldBytes);
    for (const std::string& leftover : update_test::WorkFiles(dir.path())) {
      std::filesystem::remove(dir / leftover);
    }
    update_test::Background run(update, dir.path());
    // From the very start to a little past the end of an undisturbed run.
    std::this_thread::sleep_for(full * point / (kPoints - 3));
    run.Kill();
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
      "killed %d times: %d old, %d new archives (full run %lld ms)\n", kPoints, olds, news,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(full).count()));
}

}  // namespace
