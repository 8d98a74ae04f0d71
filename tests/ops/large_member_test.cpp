// Large members keep the process small: the decoder's window, tables and
// input buffer are fixed, whatever the member's size. A file of 4 GiB and
// more goes through add, test and extract with its 64-bit sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

constexpr std::uint64_t kHugeSize = 0x100000000 + 10;
constexpr char kHead[] = "first";  // at the start of the huge file
constexpr char kTail[] = "last";   // at its end; zeros between

char HugeByte(std::uint64_t at) {
  const std::uint64_t tailAt = kHugeSize - (sizeof kTail - 1);
  if (at < sizeof kHead - 1) return kHead[at];
  return at >= tailAt ? kTail[at - tailAt] : '\0';
}

// Whether `path` holds the huge file's bytes, read a piece at a time: a
// piece of zeros is compared whole, the others byte by byte.
bool HoldsHugeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> piece(1 << 20);
  const std::vector<char> zeros(piece.size());
  std::uint64_t offset = 0;
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    if (std::memcmp(piece.data(), zeros.data(), n) != 0 || offset < sizeof kHead ||
        offset + n > kHugeSize - sizeof kTail) {
      for (std::size_t i = 0; i < n; ++i) {
        if (offset + i >= kHugeSize || piece[i] != HugeByte(offset + i)) return false;
      }
    }
    offset += n;
  }
  return offset == kHugeSize;
}

// A sparse file of 4 GiB + 10 bytes, mostly zeros, takes the 64-bit sizes
// at level 2 and comes back whole; only the Release build is fast enough.
TEST(LargeMember, FileOfFourGibibytesRoundTrips) {
#ifndef NDEBUG
  GTEST_SKIP() << "takes minutes without optimization";
#endif
#ifdef TSUBO_TEST_UNDER_ASAN
  GTEST_SKIP() << "sanitizers have their own memory overhead";
#endif
  if (test::RunningUnderRunner()) GTEST_SKIP() << "the runner's memory would be measured";
  test::TempDir dir;
  test::MakeDirs(dir / "in");
  test::MakeDirs(dir / "out");
  const std::string source = dir / "in/huge.bin";
  test::WriteFile(source, kHead);
  std::filesystem::resize_file(source, kHugeSize);
  {
    std::fstream f(source, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(kHugeSize - (sizeof kTail - 1)));
    f.write(kTail, sizeof kTail - 1);
  }

  test::RunOptions options;
  options.cwd = dir / "in";
  const test::RunResult added = test::RunTsubo({"a", "-o2", "../a.lzh", "huge.bin"}, options);
  ASSERT_EQ(added.exitCode, 0) << added.err;
  options.cwd = dir.path();
  const test::RunResult tested = test::RunTsubo({"t", "a.lzh"}, options);
  EXPECT_EQ(tested.exitCode, 0) << tested.out;
  const test::RunResult extracted = test::RunTsubo({"x", "a.lzh", "out/"}, options);
  ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
  EXPECT_TRUE(HoldsHugeFile(dir / "out/huge.bin"));
  for (const test::RunResult* r : {&added, &tested, &extracted}) {
    EXPECT_LT(r->peakKiB, 8 * 1024) << "peak resident size of 8 MiB or more";
  }

  const test::RunResult listed = test::RunTsubo({"l", "a.lzh"}, options);
  EXPECT_NE(listed.out.find("huge.bin        4294967306     "), std::string::npos) << listed.out;
  if (test::CommandExists("bsdtar")) {
    const test::RunResult other = test::RunCommand({"bsdtar", "-tvf", "a.lzh"}, options);
    EXPECT_NE(other.out.find(" 4294967306 "), std::string::npos) << other.out << other.err;
  }
}

}  // namespace
