// The encoder's exact output: worked examples, the literal/match choices of
// small inputs, the size limit, write failures, and a pinned digest.
#include "compress/encoder.h"

#include <gtest/gtest.h>

#include "codec_helpers.h"
#include "compress/block_encoder.h"
#include "support/support.h"

using namespace codec_test;

namespace {

std::string Hex(const std::string& bytes) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

TEST(CompressMember, TwentyEqualBytesGiveTheWorkedExample) {
  struct Case {
    int method;
    const char* expected;
  };
  for (const Case& c :
       {Case{5, "00 04 20 04 30 F1 36 4C 40 04"}, Case{6, "00 04 20 04 30 F1 36 4C 40 01"},
        Case{7, "00 04 20 04 30 F1 36 4C 40 01"}}) {
    std::string input(20, 'a');
    Compressed out = Compress(input, c.method);
    EXPECT_EQ(Hex(out.data), c.expected) << "method " << c.method;
    EXPECT_EQ(out.packedSize, 10u);
    EXPECT_EQ(out.crc, Crc16(input));
    EXPECT_FALSE(out.writeFailed);
  }
}

TEST(CompressMember, LongRunGivesTwoBlocksAndTheWorkedSize) {
  std::string input(2938115, 'a');  // 3 + 256 * 11477
  Compressed out = Compress(input, 5);
  EXPECT_EQ(out.packedSize, 1326u);
  EXPECT_EQ(out.data.size(), 1326u);
  EXPECT_EQ(out.crc, Crc16(input));
  EXPECT_EQ(BlocksSent(), 2);
  ASSERT_GE(out.data.size(), 2u);
  // The first block's size: three literals and 10477 matches.
  EXPECT_EQ(
      (static_cast<unsigned char>(out.data[0]) << 8) | static_cast<unsigned char>(out.data[1]),
      10480);
  // The second block: 1000 matches of length 256 at distance 1.
  std::vector<QueuedSymbol> last = QueuedSymbols();
  ASSERT_EQ(last.size(), 1000u);
  for (const QueuedSymbol& s : last) ASSERT_EQ(s, (QueuedSymbol{509, 0}));
}

TEST(CompressMember, SmallInputsGiveTheExpectedSymbols) {
  using S = QueuedSymbol;
  struct Case {
    std::string input;
    std::vector<S> symbols;
  };
  const S a{'a', 0};
  const std::vector<Case> cases = {
      {"a", {a}},
      {"aa", {a, a}},
      {"aaa", {a, a, a}},
      {"aaaa", {a, a, a, a}},
      {"aaaaa", {a, a, a, a, a}},
      {"aaaaaa", {a, a, a, S{256, 0}}},
      {std::string(20, 'a'), {a, a, a, S{270, 0}}},
      {"abcabcabc", {a, S{'b', 0}, S{'c', 0}, a, S{'b', 0}, S{257, 2}}},
      {"xy", {S{'x', 0}, S{'y', 0}}},
  };
  for (int method : {5, 6, 7}) {
    for (const Case& c : cases) {
      Compressed out = Compress(c.input, method);
      EXPECT_EQ(QueuedSymbols(), c.symbols) << "input " << c.input << ", method " << method;
      EXPECT_EQ(out.crc, Crc16(c.input));
    }
  }
}

TEST(CompressMember, GivesUpAtExactlyTheOriginalSize) {
  for (int method : {5, 6, 7}) {
    for (std::size_t size :
         {std::size_t{5}, std::size_t{100}, std::size_t{70000}, std::size_t{300000}}) {
      std::string input = test::RandomBytes(size, static_cast<std::uint32_t>(size));
      Compressed out = Compress(input, method);
      EXPECT_EQ(out.packedSize, size) << "method " << method;
      EXPECT_LE(out.data.size(), size);
      EXPECT_FALSE(out.writeFailed);
    }
  }
}

TEST(CompressMember, FiveEqualBytesDoNotShrink) {
  Compressed out = Compress("aaaaa", 6);
  EXPECT_EQ(out.packedSize, 5u);
  EXPECT_EQ(out.crc, Crc16("aaaaa"));
}

TEST(CompressMember, FailedWriteGivesUpAndIsReported) {
  std::string input = TextBytes(200000, 3);
  ScratchFile in(input);
  ScratchFile readOnlyTarget;
  // A descriptor opened for reading only: every write fails.
  std::string path = "/proc/self/fd/" + std::to_string(readOnlyTarget.fd());
  int output = open(path.c_str(), O_RDONLY);
  ASSERT_GE(output, 0);
  ArchiveEntry entry = MemberFor(6, static_cast<std::uint32_t>(input.size()));
  entry.file_handle = in.fd();
  entry.archive_handle = output;
  CompressMember(entry);
  close(output);
  EXPECT_TRUE(CompressWriteFailed());
  EXPECT_EQ(entry.packed_size, entry.original_size);
  // The flag belongs to one member only.
  Compressed next = Compress(input, 6);
  EXPECT_FALSE(next.writeFailed);
  EXPECT_LT(next.packedSize, input.size());
}

TEST(CompressMember, FailedFinalWriteIsReported) {
  // Small output: only the last write happens, and it fails.
  std::string input(1000, 'z');
  ScratchFile in(input);
  ScratchFile target;
  std::string path = "/proc/self/fd/" + std::to_string(target.fd());
  int output = open(path.c_str(), O_RDONLY);
  ASSERT_GE(output, 0);
  ArchiveEntry entry = MemberFor(5, static_cast<std::uint32_t>(input.size()));
  entry.file_handle = in.fd();
  entry.archive_handle = output;
  CompressMember(entry);
  close(output);
  EXPECT_TRUE(CompressWriteFailed());
  EXPECT_EQ(entry.packed_size, entry.original_size);
}

TEST(CompressMember, ReadFailureEndsTheInput) {
  ScratchFile target;
  ScratchFile out;
  std::string path = "/proc/self/fd/" + std::to_string(target.fd());
  int writeOnly = open(path.c_str(), O_WRONLY);
  ASSERT_GE(writeOnly, 0);
  ArchiveEntry entry = MemberFor(6, 1000);
  entry.file_handle = writeOnly;  // reads fail
  entry.archive_handle = out.fd();
  EXPECT_EQ(CompressMember(entry), 0);
  close(writeOnly);
  EXPECT_FALSE(CompressWriteFailed());
  EXPECT_LT(entry.packed_size, 1000u);
}

TEST(CompressMember, MembersAreIndependent) {
  std::string first = VariedBytes(300000, 1);
  std::string second = VariedBytes(100000, 2);
  Compressed alone = Compress(second, 7);
  Compress(first, 7);
  Compressed after = Compress(second, 7);
  EXPECT_EQ(after.data, alone.data);
}

// The compressed bytes of a fixed input are pinned, so that work on speed
// cannot change the stream unnoticed.
TEST(CompressMember, DigestOfVariedInputIsPinned) {
  std::string input = VariedBytes(3 << 20, 20240601);
  struct Case {
    int method;
    std::uint32_t size;
    std::uint64_t digest;
  };
  for (const Case& c : {Case{5, 1242855, 0x54bd7a440b81b370}, Case{6, 1138378, 0x59afe3fe51fd9469},
                        Case{7, 1040083, 0xf35ec50de2e38b11}}) {
    Compressed out = Compress(input, c.method);
    EXPECT_EQ(out.crc, Crc16(input));
    EXPECT_EQ(out.packedSize, c.size) << "method " << c.method;
    EXPECT_EQ(Fnv1a64(out.data), c.digest) << "method " << c.method;
  }
}

}  // namespace
