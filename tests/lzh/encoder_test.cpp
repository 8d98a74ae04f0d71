// The encoder's exact output: worked examples, the literal/match choices of
// small inputs, the size limit, read and write failures, and a pinned digest.
#include "lzh/encoder.h"

#include <gtest/gtest.h>

#include "codec_helpers.h"
#include "stream_parser.h"
#include "support/support.h"

using namespace codec_test;

namespace {

using Outcome = lzh::EncodeResult::Outcome;

// A source whose every read fails.
class FailingSource final : public lzh::ByteSource {
 public:
  long Read(std::uint8_t*, std::uint32_t) override { return -1; }
};

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

TEST(Encoder, TwentyEqualBytesGiveTheWorkedExample) {
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
    EXPECT_EQ(out.result.outcome, Outcome::kOk);
    EXPECT_EQ(out.result.packedSize, 10u);
    EXPECT_EQ(out.result.crc, lzhtest::ReferenceCrc16(input));
    EXPECT_EQ(out.result.bytesRead, 20u);
  }
}

TEST(Encoder, LongRunGivesTwoBlocksAndTheWorkedSize) {
  std::string input(2938115, 'a');  // 3 + 256 * 11477
  Compressed out = Compress(input, 5);
  EXPECT_EQ(out.result.packedSize, 1326u);
  EXPECT_EQ(out.data.size(), 1326u);
  EXPECT_EQ(out.result.crc, lzhtest::ReferenceCrc16(input));
  ParsedStream parsed = ParseStream(out.data, 5, input.size());
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.blocks.size(), 2u);
  // The first block: three literals and 10477 matches.
  EXPECT_EQ(parsed.blocks[0].size, 10480u);
  // The second block: 1000 matches of length 256 at distance 1.
  const std::vector<CodedSymbol>& last = parsed.blocks[1].symbols;
  ASSERT_EQ(last.size(), 1000u);
  for (const CodedSymbol& s : last) ASSERT_EQ(s, (CodedSymbol{509, 0}));
}

TEST(Encoder, SmallInputsGiveTheExpectedSymbols) {
  using S = CodedSymbol;
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
      // Without a limit, so that inputs too small to shrink are coded too.
      Compressed out = Compress(c.input, method, kNoLimit);
      ParsedStream parsed = ParseStream(out.data, method, c.input.size());
      ASSERT_EQ(parsed.error, "") << "input " << c.input << ", method " << method;
      EXPECT_EQ(parsed.Symbols(), c.symbols) << "input " << c.input << ", method " << method;
      EXPECT_EQ(out.result.crc, lzhtest::ReferenceCrc16(c.input));
    }
  }
}

TEST(Encoder, GivesUpAtExactlyTheOriginalSize) {
  for (int method : {5, 6, 7}) {
    for (std::size_t size :
         {std::size_t{5}, std::size_t{100}, std::size_t{70000}, std::size_t{300000}}) {
      std::string input = test::RandomBytes(size, static_cast<std::uint32_t>(size));
      Compressed out = Compress(input, method);
      EXPECT_EQ(out.result.outcome, Outcome::kNotSmaller) << "method " << method;
      EXPECT_EQ(out.result.packedSize, size) << "method " << method;
      EXPECT_LE(out.data.size(), size);
    }
  }
}

TEST(Encoder, FiveEqualBytesDoNotShrink) {
  Compressed out = Compress("aaaaa", 6);
  EXPECT_EQ(out.result.outcome, Outcome::kNotSmaller);
  EXPECT_EQ(out.result.packedSize, 5u);
  EXPECT_EQ(out.result.crc, lzhtest::ReferenceCrc16("aaaaa"));
  EXPECT_EQ(out.result.bytesRead, 5u);
}

TEST(Encoder, FailedWriteGivesUpAndIsReported) {
  std::string input = TextBytes(200000, 3);
  lzh::Encoder& encoder = SharedEncoder();
  // Large output: a buffer's write fails on the way; small output: only the
  // last write happens, and it fails.
  for (const std::string& bytes : {input, std::string(1000, 'z')}) {
    lzh::MemorySource in(bytes);
    lzh::MemorySink full(0);
    lzh::EncodeResult result = encoder.Encode(6, in, bytes.size(), full);
    EXPECT_EQ(result.outcome, Outcome::kWriteError) << bytes.size() << " bytes";
  }
  // The failure belongs to one member only.
  Compressed next = Compress(input, 6);
  EXPECT_EQ(next.result.outcome, Outcome::kOk);
  EXPECT_LT(next.result.packedSize, input.size());
}

TEST(Encoder, ReadFailureEndsTheInput) {
  FailingSource in;
  lzh::MemorySink out;
  lzh::EncodeResult result = SharedEncoder().Encode(6, in, 1000, out);
  EXPECT_EQ(result.crc, 0);
  EXPECT_EQ(result.bytesRead, 0u);
  EXPECT_EQ(result.outcome, Outcome::kOk);
  EXPECT_LT(result.packedSize, 1000u);
}

TEST(Encoder, ReadsAreCountedAcrossPieces) {
  // A source that hands out a few bytes at a time: the encoder asks again
  // until it has what it wants, and reports every byte it read.
  std::string input = VariedBytes(200000, 4);
  lzh::MemorySource in(input, 1000);
  lzh::MemorySink out;
  lzh::EncodeResult result = SharedEncoder().Encode(7, in, input.size(), out);
  EXPECT_EQ(result.bytesRead, input.size());
  EXPECT_EQ(result.crc, lzhtest::ReferenceCrc16(input));
  EXPECT_TRUE(out.bytes == Compress(input, 7).data);
}

TEST(Encoder, MembersAreIndependent) {
  std::string first = VariedBytes(300000, 1);
  std::string second = VariedBytes(100000, 2);
  lzh::Encoder& encoder = SharedEncoder();
  auto fresh = std::make_unique<lzh::Encoder>();
  Compressed alone = Compress(second, 7, second.size(), *fresh);
  Compress(first, 7, first.size(), encoder);
  Compressed after = Compress(second, 7, second.size(), encoder);
  EXPECT_EQ(after.data, alone.data);
}

// The compressed bytes of a fixed input are pinned, so that work on speed
// cannot change the stream unnoticed.
TEST(Encoder, DigestOfVariedInputIsPinned) {
  std::string input = VariedBytes(3 << 20, 20240601);
  struct Case {
    int method;
    std::uint32_t size;
    std::uint64_t digest;
  };
  for (const Case& c : {Case{5, 1242855, 0x54bd7a440b81b370}, Case{6, 1138378, 0x59afe3fe51fd9469},
                        Case{7, 1040083, 0xf35ec50de2e38b11}}) {
    Compressed out = Compress(input, c.method);
    EXPECT_EQ(out.result.crc, lzhtest::ReferenceCrc16(input));
    EXPECT_EQ(out.result.packedSize, c.size) << "method " << c.method;
    EXPECT_EQ(Fnv1a64(out.data), c.digest) << "method " << c.method;
  }
}

}  // namespace
