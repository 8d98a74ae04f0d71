// The decoders of -lh1-, -lzs- and -lz5- against streams of the test
// encoders: lhasa must extract from an archive of each stream exactly the
// bytes its token list stands for, and so must the decoder, also when the
// source hands the packed bytes out in small pieces. Then what the decoders
// do with truncated streams and with failing sources and sinks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lzh/old_method_encoders.h"
#include "support/archive_builder.h"
#include "support/stream_builder.h"
#include "support/support.h"

namespace {

using oldtest::Method;
using oldtest::Token;

// One decoder of each method serves every call, as in the extractor, so
// state left over from an earlier member (even a broken one) would show.
lzh::DecodeResult Decode(const Method& m, lzh::ByteSource& in, std::uint64_t size,
                         lzh::ByteSink* out) {
  static lzh::Lh1Decoder lh1;
  static lzh::LzsDecoder lzs;
  static lzh::Lz5Decoder lz5;
  if (m.encode == oldtest::EncodeLh1) return lh1.Decode(in, size, out);
  if (m.encode == oldtest::EncodeLzs) return lzs.Decode(in, size, out);
  return lz5.Decode(in, size, out);
}

std::string Text(std::size_t size) {
  const char* words[] = {"the ", "old ", "archive ", "method ", "window ", "LArc ", "\r\n"};
  std::string s;
  std::uint32_t x = 1;
  while (s.size() < size) {
    x = x * 1103515245 + 12345;
    s += words[(x >> 16) % 7];
  }
  s.resize(size);
  return s;
}

// Matches of every length and of every sixty-fourth of the window (for
// -lh1- every upper position code), each after a literal, once the window
// holds random bytes.
std::vector<Token> EveryCode(const Method& m) {
  std::vector<Token> tokens = oldtest::Tokenize(m, test::RandomBytes(m.window, 9));
  const std::uint32_t step = m.window / 64;
  for (std::uint32_t i = 0; i < 512; ++i) {
    const std::uint32_t length = m.minMatch + i % (m.maxMatch - m.minMatch + 1);
    const std::uint32_t distance = (i * 37 % 64) * step + i * 13 % step + 1;
    tokens.push_back({length, distance, 0});
    tokens.push_back({0, 0, static_cast<std::uint8_t>(i)});
  }
  return tokens;
}

// Copies the whole initial window out, oldest byte first, with matches of
// the largest distance.
std::vector<Token> WholeInitialWindow(const Method& m) {
  std::vector<Token> tokens;
  for (std::uint32_t done = 0; done < m.window; done += m.maxMatch) {
    tokens.push_back({std::min(m.maxMatch, m.window - done), m.window, 0});
  }
  return tokens;
}

struct Case {
  const char* name;
  std::vector<Token> (*make)(const Method&);
};

const Case kCases[] = {
    {"Empty", [](const Method&) { return std::vector<Token>{}; }},
    {"ShortText",
     [](const Method& m) { return oldtest::Tokenize(m, "abracadabra, abracadabra!"); }},
    // Many windows long, so matches reach across the wrap of every buffer.
    {"Text", [](const Method& m) { return oldtest::Tokenize(m, Text(150000)); }},
    // Mostly literals: the -lh1- code is rebuilt a few times.
    {"Random", [](const Method& m) { return oldtest::Tokenize(m, test::RandomBytes(100000, 5)); }},
    // Longest matches at distance 1, and matches into the initial window.
    {"Runs",
     [](const Method& m) {
       return oldtest::Tokenize(m, "   " + std::string(20, '\0') + std::string(3000, 'a') +
                                       std::string(500, ' ') + "\x10\x10\x10\x10\xfe\xfd\xfc");
     }},
    {"EveryCode", EveryCode},
    {"WholeInitialWindow", WholeInitialWindow},
};

const Method* const kMethods[] = {&oldtest::kLh1, &oldtest::kLzs, &oldtest::kLz5};

TEST(OldMethodDecoders, LhasaAndDecoderGiveTheTokensBytes) {
  const bool haveLhasa = test::CommandExists("lhasa");
  test::TempDir dir;
  for (const Method* m : kMethods) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(m->name) + " " + c.name);
      const std::vector<Token> tokens = c.make(*m);
      const std::string expected = oldtest::Apply(*m, tokens);
      const std::string packed = m->encode(tokens);
      const std::uint16_t crc = lzhtest::ReferenceCrc16(expected);

      for (std::uint32_t chunk : {0xFFFFFFFFu, 7u}) {
        lzh::MemorySource in(packed, chunk);
        lzh::MemorySink out;
        const lzh::DecodeResult r = Decode(*m, in, expected.size(), &out);
        ASSERT_EQ(r.status, lzh::CodecStatus::kOk);
        ASSERT_TRUE(out.bytes == expected);
        EXPECT_EQ(r.crc, crc);
      }
      if (!haveLhasa) continue;
      lzhtest::Fields f;
      f.method = m->name;
      f.packed = static_cast<std::uint32_t>(packed.size());
      f.original = static_cast<std::uint32_t>(expected.size());
      f.crc = crc;
      const std::string path = dir / "arc.lzh";
      test::WriteFile(path, lzhtest::Level0(f, "data.bin") + packed + std::string(1, '\0'));
      const test::RunResult run = test::RunCommand({"lhasa", "pq", path});
      EXPECT_EQ(run.exitCode, 0) << run.err;
      EXPECT_TRUE(run.out == expected) << "lhasa gave " << run.out.size() << " bytes";
    }
  }
  if (!haveLhasa) GTEST_SKIP() << "lhasa not installed; only the decoders were checked";
}

// Every old method through tsubo itself: `t` passes and `x` writes the bytes
// that lhasa extracts from the same archive. -lh4- is the -lh5- format with
// distances of 4 KiB at most; -lz4- and -pm0- are stored.
TEST(OldMethodDecoders, TsuboTestsAndExtractsEveryOldMethod) {
  const bool haveLhasa = test::CommandExists("lhasa");
  test::TempDir dir;
  const std::string text = Text(150000);
  std::mt19937 rng(4);
  const std::vector<lzhtest::Symbol> symbols = lzhtest::RandomSymbols(4, 100000, rng);
  lzhtest::BitWriter lh4;
  lzhtest::WriteSimpleBlock(lh4, 4, symbols);
  struct Member {
    const char* method;
    std::string data;
    std::string packed;
  } members[] = {
      {"-lh1-", text, oldtest::kLh1.encode(oldtest::Tokenize(oldtest::kLh1, text))},
      {"-lzs-", text, oldtest::kLzs.encode(oldtest::Tokenize(oldtest::kLzs, text))},
      {"-lz5-", text, oldtest::kLz5.encode(oldtest::Tokenize(oldtest::kLz5, text))},
      {"-lh4-", lzhtest::Expand(symbols), lh4.Bytes()},
      {"-lz4-", text, text},
      {"-pm0-", text, text},
  };
  for (const Member& m : members) {
    SCOPED_TRACE(m.method);
    lzhtest::Fields f;
    f.method = m.method;
    f.packed = static_cast<std::uint32_t>(m.packed.size());
    f.original = static_cast<std::uint32_t>(m.data.size());
    f.crc = lzhtest::ReferenceCrc16(m.data);
    test::WriteFile(dir / "arc.lzh",
                    lzhtest::Level0(f, "data.bin") + m.packed + std::string(1, '\0'));
    test::RunOptions options;
    options.cwd = dir.path();
    EXPECT_EQ(test::RunTsubo({"t", "arc.lzh"}, options).exitCode, 0);
    const test::RunResult x = test::RunTsubo({"x", "-c", "arc.lzh", "out/"}, options);
    EXPECT_EQ(x.exitCode, 0) << x.out << x.err;
    EXPECT_TRUE(test::ReadFile(dir / "out/data.bin") == m.data);
    if (!haveLhasa) continue;
    const test::RunResult run = test::RunCommand({"lhasa", "pq", dir / "arc.lzh"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out == m.data) << "lhasa gave " << run.out.size() << " bytes";
  }
}

// A source that fails after handing out `good` bytes.
class FailingSource final : public lzh::ByteSource {
 public:
  FailingSource(const std::string& bytes, std::size_t good) : held_(bytes.substr(0, good)) {}
  long Read(std::uint8_t* buffer, std::uint32_t count) override {
    long n = bytes_.Read(buffer, count);
    return n > 0 ? n : -1;
  }

 private:
  std::string held_;
  lzh::MemorySource bytes_{held_};
};

TEST(OldMethodDecoders, TruncatedFailingAndFullStreams) {
  for (const Method* m : kMethods) {
    SCOPED_TRACE(m->name);
    const std::string data = Text(20000);
    const std::string packed = m->encode(oldtest::Tokenize(*m, data));
    // Any byte missing at the end is one the stream needs.
    for (std::size_t keep : {packed.size() - 1, packed.size() / 2, std::size_t{0}}) {
      const std::string cut = packed.substr(0, keep);
      lzh::MemorySource in(cut);
      EXPECT_EQ(Decode(*m, in, data.size(), nullptr).status, lzh::CodecStatus::kDataError);
    }
    lzh::MemorySource whole(packed);
    EXPECT_EQ(Decode(*m, whole, data.size(), nullptr).status, lzh::CodecStatus::kOk);
    FailingSource failing(packed, packed.size() / 2);
    EXPECT_EQ(Decode(*m, failing, data.size(), nullptr).status, lzh::CodecStatus::kReadError);
    lzh::MemorySource in(packed);
    lzh::MemorySink full(1000);
    EXPECT_EQ(Decode(*m, in, data.size(), &full).status, lzh::CodecStatus::kWriteError);
  }
}

}  // namespace
