// Testing a 1 GiB member keeps the process small: the decoder's window,
// tables and input buffer are fixed, whatever the member's size.
#include <gtest/gtest.h>

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

  test::RunOptions options;
  options.cwd = dir.path();
  const test::RunResult r = test::RunTsubo({"t", "a.lzh"}, options);
  EXPECT_TRUE(r.exitCode == 0 && r.out.find("Test OK big\n") != std::string::npos)
      << "tsubo t did not pass the member";
  EXPECT_LT(r.peakKiB, 8 * 1024) << "peak resident size of 8 MiB or more";
}

}  // namespace
