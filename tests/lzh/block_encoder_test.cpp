// The block encoder on its own: symbols queued by hand, checked for the
// block boundaries, the one-symbol form, the cut to 16-bit codes and the
// size limit, and decoded back by tsubo's decoder.
#include "lzh/block_encoder.h"

#include <gtest/gtest.h>

#include "codec_helpers.h"
#include "stream_parser.h"
#include "support/archive_builder.h"
#include "support/support.h"

using namespace codec_test;

namespace {

struct Queued {
  std::string packed;
  std::string expected;  // what the symbols decode to
  bool givenUp;
  std::uint64_t produced;
};

// Queues literal bytes and runs (a literal followed by matches of the
// given lengths at distance 1), with dictionary bits of the method.
class BlockRun {
 public:
  explicit BlockRun(int method, std::uint64_t limit = kNoLimit)
      : blocks_(std::make_unique<lzh::BlockEncoder>()) {
    blocks_->Start(lzh::MethodForNumber(method), out_, limit);
  }
  void Literal(unsigned char byte) {
    blocks_->QueueSymbol(byte, 0);
    expected_.push_back(static_cast<char>(byte));
  }
  void RepeatLast(int length) {
    blocks_->QueueSymbol(static_cast<unsigned>(length + 253), 0);
    expected_.append(static_cast<std::size_t>(length), expected_.back());
  }
  Queued Finish() {
    blocks_->Finish();
    return {out_.bytes, expected_, blocks_->writer().givenUp(), blocks_->writer().produced()};
  }

 private:
  std::unique_ptr<lzh::BlockEncoder> blocks_;
  lzh::MemorySink out_;
  std::string expected_;
};

void ExpectDecodes(const Queued& q, int method) {
  Decoded back = Decode(q.packed, static_cast<std::uint32_t>(q.expected.size()), method);
  ASSERT_EQ(back.success, 1);
  EXPECT_TRUE(back.data == q.expected) << "decoded " << back.data.size() << " bytes";
}

TEST(BlockEncoder, BlocksEndWhereANewGroupWouldNotFit) {
  struct Case {
    int literals;
    int matches;
    int blocks;
  };
  // All literals: groups of 9 bytes, the 3640th would start at 32751.
  // A literal, then matches: a first group of 23 bytes, then groups of 25;
  // the 1311th would start at 32748.
  for (const Case& c :
       {Case{29112, 0, 1}, Case{29113, 0, 2}, Case{1, 10479, 1}, Case{1, 10480, 2}}) {
    for (int method : {5, 7}) {
      BlockRun run(method);
      std::string noise = test::RandomBytes(static_cast<std::size_t>(c.literals), 3);
      for (unsigned char b : noise) run.Literal(b);
      for (int k = 0; k < c.matches; k++) run.RepeatLast(3 + k % 254);
      Queued q = run.Finish();
      ParsedStream parsed = ParseStream(q.packed, method, q.expected.size());
      ASSERT_EQ(parsed.error, "");
      EXPECT_EQ(parsed.blocks.size(), static_cast<std::size_t>(c.blocks))
          << c.literals << " literals, " << c.matches << " matches";
      ExpectDecodes(q, method);
    }
  }
}

TEST(BlockEncoder, OneSymbolBlockTakesNoBitsPerSymbol) {
  BlockRun run(5);
  for (int k = 0; k < 1000; k++) run.Literal('x');
  Queued q = run.Finish();
  // Block size 1000; code-length code one-symbol 0; literal code one-symbol
  // 0x78; position code one-symbol 0 in 4-bit fields; zero fill.
  EXPECT_EQ(q.packed, std::string("\x03\xE8\x00\x00\x07\x80\x00", 7));
  ExpectDecodes(q, 5);
}

TEST(BlockEncoder, FibonacciCountsAreCutTo16Bits) {
  for (int method : {5, 6, 7}) {
    BlockRun run(method);
    // Counts 1, 1, 2, 3, 5, ... for 20 bytes: a tree 19 levels deep.
    std::vector<unsigned char> bytes;
    int a = 1, b = 1;
    for (int k = 0; k < 20; k++) {
      bytes.insert(bytes.end(), static_cast<std::size_t>(a), static_cast<unsigned char>('A' + k));
      int next = a + b;
      a = b;
      b = next;
    }
    Random random(4);
    for (std::size_t i = bytes.size(); i > 1; i--)
      std::swap(bytes[i - 1], bytes[random.Below(static_cast<std::uint32_t>(i))]);
    for (unsigned char byte : bytes) run.Literal(byte);
    Queued q = run.Finish();
    ParsedStream parsed = ParseStream(q.packed, method, q.expected.size());
    ASSERT_EQ(parsed.error, "");  // complete codes of at most 16 bits
    ASSERT_EQ(parsed.blocks.size(), 1u);
    EXPECT_GT(UnlimitedHuffmanDepth(parsed.blocks[0].LiteralCounts()), 16);
    EXPECT_EQ(parsed.blocks[0].LongestLiteralCode(), 16);
    ExpectDecodes(q, method);
    if (test::CommandExists("bsdtar")) {
      test::TempDir dir;
      test::WriteFile(
          dir / "f.lzh",
          lzhtest::Archive({lzhtest::Compressed(method, "fib.bin", q.expected, q.packed)}));
      test::RunResult r = test::RunCommand({"bsdtar", "-xOf", dir / "f.lzh"});
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(r.out == q.expected);
    }
  }
}

TEST(BlockEncoder, GivesUpAtTheLimit) {
  for (std::uint32_t limit : {1u, 100u, 999u}) {
    BlockRun run(6, limit);
    for (unsigned char b : test::RandomBytes(1000, 5)) run.Literal(b);
    Queued q = run.Finish();
    EXPECT_TRUE(q.givenUp);
    EXPECT_EQ(q.produced, limit);
    EXPECT_TRUE(q.packed.empty());  // nothing past a full buffer is written
  }
}

TEST(BlockEncoder, StreamOfExactlyTheLimitIsKept) {
  BlockRun measure(5);
  for (int k = 0; k < 1000; k++) measure.Literal('x');
  Queued full = measure.Finish();
  BlockRun run(5, static_cast<std::uint32_t>(full.packed.size()));
  for (int k = 0; k < 1000; k++) run.Literal('x');
  Queued q = run.Finish();
  EXPECT_FALSE(q.givenUp);
  EXPECT_EQ(q.packed, full.packed);
}

}  // namespace
