// Testing a 1 GiB member keeps the process small: the decoder's window,
// tables and input buffer are fixed, whatever the member's size.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "lzh/crc16.h"
#include "support/archive_builder.h"
#include "support/stream_builder.h"
#include "support/support.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TSUBO_TEST_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TSUBO_TEST_UNDER_ASAN 1
#endif

namespace {

TEST(LargeMember, TestingOneGibibyteStaysUnderEightMebibytes) {
#ifdef TSUBO_TEST_UNDER_ASAN
  GTEST_SKIP() << "sanitizers have their own memory overhead";
#endif
  if (test::RunningUnderRunner()) GTEST_SKIP() << "the runner's memory would be measured";
  const std::uint32_t size = 1u << 30;
  std::string chunk(1 << 16, 'a');
  std::uint16_t crc = 0;
  for (std::uint32_t done = 0; done < size; done += chunk.size()) {
    crc = Crc16Update(crc, chunk.data(), static_cast<long>(chunk.size()));
  }
  lzhtest::Member m;
  m.method = "-lh7-";
  m.path = "big";
  m.data = lzhtest::RepeatedByteStream();
  m.originalSize = size;
  m.crc = crc;
  test::TempDir dir;
  test::WriteFile(dir / "a.lzh", lzhtest::Archive({m}));

  // A child process runs tsubo, so that the peak measured is tsubo's alone.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    test::RunOptions options;
    options.cwd = dir.path();
    test::RunResult r = test::RunTsubo({"t", "a.lzh"}, options);
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    bool ok = r.exitCode == 0 && r.out.find("Test OK big\n") != std::string::npos;
    _exit(!ok ? 1 : usage.ru_maxrss >= 8 * 1024 ? 2 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 1) << "tsubo t did not pass the member";
  EXPECT_NE(WEXITSTATUS(status), 2) << "peak resident size of 8 MiB or more";
}

}  // namespace
