// The decoder on hand-made streams: the worked examples, every table form,
// long outputs in all three methods, truncated input, and corrupt streams
// that must be rejected without touching memory outside the decoder.
#include "lzh/decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/reference_crc16.h"
#include "support/stream_builder.h"
#include "support/support.h"

namespace {

using lzhtest::BitWriter;
using lzhtest::Lit;
using lzhtest::Match;
using lzhtest::Symbol;

struct Decoded {
  int success = -1;
  int writeFailed = -1;
  std::uint16_t crc = 0;
  std::string output;
};

// Decodes the first `packedSize` bytes of `packed` followed by `trailer` (the
// member's bytes, or fewer when the archive ends first) as one member.
Decoded Decode(int method, const std::string& packed, std::uint32_t originalSize,
               std::uint32_t packedSize, const std::string& trailer = "") {
  static const std::unique_ptr<lzh::Decoder> decoder = std::make_unique<lzh::Decoder>();
  const std::string bytes = (packed + trailer).substr(0, packedSize);
  lzh::MemorySource in(bytes);
  lzh::MemorySink out;
  const lzh::DecodeResult result =
      decoder->Decode(lzh::MethodForNumber(method), in, originalSize, &out);
  Decoded d;
  d.success =
      result.status == lzh::CodecStatus::kOk || result.status == lzh::CodecStatus::kWriteError;
  d.writeFailed = result.status == lzh::CodecStatus::kWriteError;
  d.crc = result.crc;
  d.output = std::move(out.bytes);
  return d;
}

Decoded Decode(int method, const std::string& packed, std::uint32_t originalSize) {
  return Decode(method, packed, originalSize, static_cast<std::uint32_t>(packed.size()));
}

// Decodes and checks the bytes, the CRC and the success flag.
void ExpectDecodes(int method, const std::string& packed, const std::string& expected) {
  Decoded d = Decode(method, packed, static_cast<std::uint32_t>(expected.size()));
  EXPECT_EQ(d.success, 1);
  EXPECT_EQ(d.writeFailed, 0);
  ASSERT_EQ(d.output.size(), expected.size());
  EXPECT_TRUE(d.output == expected);
  EXPECT_EQ(d.crc, lzhtest::ReferenceCrc16(expected));
}

std::string Hex(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TEST(FindMethod, MapsWholeNamesCaseSensitively) {
  const struct {
    const char* name;
    int number;  // -2: not decodable
  } cases[] = {{"-lh0-", 0},  {"-lh1-", 1},  {"-lh4-", 4},  {"-lh5-", 5},   {"-lh6-", 6},
               {"-lh7-", 7},  {"-lzs-", -1}, {"-lz4-", -1}, {"-lz5-", -1},  {"-pm0-", -1},
               {"-lhd-", -2}, {"-LH5-", -2}, {"-lh5", -2},  {"-lh5--", -2}, {"", -2},
               {"-pm2-", -2}, {"-lh2-", -2}};
  for (const auto& c : cases) {
    const lzh::MethodInfo* m = lzh::FindMethod(c.name);
    EXPECT_EQ(m == nullptr ? -2 : m->number, c.number) << c.name;
  }
}

TEST(Decoder, WorkedExampleWithOneSymbolForms) {
  ExpectDecodes(5, Hex({0x00, 0x03, 0x00, 0x00, 0x06, 0x10, 0x00}), "aaa");
}

TEST(Decoder, WorkedExampleWithMatch) {
  ExpectDecodes(5, Hex({0x00, 0x04, 0x28, 0x05, 0x30, 0x41, 0x37, 0x91, 0x70, 0x21, 0xb0}),
                "abcabcabc");
}

TEST(Decoder, OriginalSizeZeroProducesNothing) {
  Decoded d = Decode(5, Hex({0xFF, 0xFF, 0xFF}), 0);
  EXPECT_EQ(d.success, 1);
  EXPECT_EQ(d.crc, 0);
  EXPECT_EQ(d.output, "");
}

TEST(Decoder, TestingWritesNothing) {
  const std::string packed = Hex({0x00, 0x03, 0x00, 0x00, 0x06, 0x10, 0x00});
  lzh::MemorySource in(packed);
  lzh::Decoder decoder;
  const lzh::DecodeResult result = decoder.Decode(lzh::MethodForNumber(5), in, 3, nullptr);
  EXPECT_EQ(result.status, lzh::CodecStatus::kOk);
  EXPECT_EQ(result.crc, lzhtest::ReferenceCrc16("aaa"));
}

// Builds the symbols in blocks of up to 50000 symbols with plain complete codes.
std::string SimpleStream(int method, const std::vector<Symbol>& symbols) {
  BitWriter w;
  for (std::size_t i = 0; i < symbols.size(); i += 50000) {
    std::size_t end = std::min(symbols.size(), i + 50000);
    lzhtest::WriteSimpleBlock(w, method,
                              std::vector<Symbol>(symbols.begin() + i, symbols.begin() + end));
  }
  return w.Bytes();
}

TEST(Decoder, OneSymbolLiteralCodeRepeatsTheByte) {
  // Code-length code, literal code and position code all in one-symbol form.
  std::vector<Symbol> symbols(40, Lit('z'));
  for (int method : {5, 6, 7}) {
    ExpectDecodes(method, SimpleStream(method, symbols), std::string(40, 'z'));
  }
}

TEST(Decoder, OneSymbolCodeLengthCode) {
  // Literal lengths all 1 (t = 3): the code-length code has one symbol.
  BitWriter w;
  w.Put(4, 16);
  w.Put(0, 5);
  w.Put(3, 5);  // every item is t = 3, no bits
  w.Put(2, 9);  // lengths of symbols 0 and 1
  w.Put(0, 4);
  w.Put(0, 4);  // position code: one symbol, 0
  for (int bit : {1, 0, 0, 1}) w.Put(static_cast<std::uint32_t>(bit), 1);
  ExpectDecodes(5, w.Bytes(), Hex({1, 0, 0, 1}));
}

TEST(Decoder, OneSymbolPositionCodeWithMatches) {
  std::vector<Symbol> symbols = {Lit('x'), Lit('y'), Match(7, 2), Lit('q'), Match(4, 2)};
  for (int method : {5, 6, 7}) {
    ExpectDecodes(method, SimpleStream(method, symbols), "xyxyxyxyxqxqxq");
  }
}

TEST(Decoder, OverlappingCopyOfOffsetZero) {
  std::vector<Symbol> symbols = {Lit('a'), Lit('b'), Match(10, 1)};
  ExpectDecodes(5, SimpleStream(5, symbols), "ab" + std::string(10, 'b'));
}

TEST(Decoder, LongCodesInEveryTable) {
  // Lengths 1..15, 16, 16 form a complete code of 17 symbols: used for the
  // literal code (codes longer than its 12-bit lookup) and for the -lh7-
  // position code (a length of 7 takes 4 bits, 16 takes 13 bits).
  std::vector<int> skewed;
  for (int len = 1; len <= 15; ++len) skewed.push_back(len);
  skewed.push_back(16);
  skewed.push_back(16);

  std::vector<int> literalLengths(510, 0);
  std::vector<int> literalSymbols = {'e', 't', 'a', 'o', 'i', 'n', 's', 'h', 'r',
                                     'd', 'l', 'u', 'c', 300, 509, 256, 'Z'};
  for (std::size_t i = 0; i < skewed.size(); ++i) literalLengths[literalSymbols[i]] = skewed[i];
  std::vector<int> positionLengths = skewed;

  std::vector<Symbol> symbols;
  for (int c : literalSymbols) {
    if (c < 256) symbols.push_back(Lit(static_cast<std::uint8_t>(c)));
  }
  // Distances for every position symbol 0..16 (distance 1 .. 65536), and
  // every literal/length symbol of the code, the rarest included.
  std::vector<Symbol> matchList;
  for (int j = 0; j <= 16; ++j) {
    std::uint32_t low = j == 0 ? 1 : (1u << (j - 1)) + 1;
    std::uint32_t high = j == 0 ? 1 : 1u << j;
    matchList.push_back(Match(3, low));
    matchList.push_back(Match(3, high));
  }
  // Fill at least 65536 bytes with literals first so every distance is valid.
  while (symbols.size() < 65536) {
    for (int c : literalSymbols) {
      if (c < 256) symbols.push_back(Lit(static_cast<std::uint8_t>(c)));
    }
  }
  for (Symbol m : matchList) {
    symbols.push_back(m);
    symbols.push_back(Match(47, m.distance));   // symbol 300
    symbols.push_back(Match(256, m.distance));  // symbol 509
    symbols.push_back(Match(3, m.distance));    // symbol 256
  }
  // Only symbols with a length in the code may appear.
  std::vector<Symbol> valid;
  for (Symbol s : symbols) {
    if (s.c >= 256 && literalLengths[s.c] == 0) continue;
    valid.push_back(s);
  }
  // Two blocks: a block holds at most 65535 symbols.
  BitWriter w;
  std::vector<Symbol> first(valid.begin(), valid.begin() + 40000);
  std::vector<Symbol> second(valid.begin() + 40000, valid.end());
  lzhtest::WriteBlock(w, 7, first, literalLengths, positionLengths);
  lzhtest::WriteBlock(w, 7, second, literalLengths, positionLengths);
  ExpectDecodes(7, w.Bytes(), lzhtest::Expand(valid));
}

TEST(Decoder, SmallLengthForms) {
  // A length of 7 takes 4 bits (1110), 16 takes 13 bits.
  BitWriter w;
  lzhtest::PutSmallLength(w, 7);
  lzhtest::PutSmallLength(w, 16);
  EXPECT_EQ(w.BitCount(), 4u + 13u);
  EXPECT_EQ(w.Bytes(), Hex({0xEF, 0xFF, 0x00}));
}

TEST(Decoder, ZeroRunCountOfZeroStillTakesTwoBits) {
  // Code-length code with count 5 and no zero run: lengths 2,2,2,3,3.
  BitWriter w;
  w.Put(3, 16);
  w.Put(5, 5);
  for (int len : {2, 2, 2}) lzhtest::PutSmallLength(w, len);
  w.Put(0, 2);  // zero run of 0
  for (int len : {3, 3}) lzhtest::PutSmallLength(w, len);
  // Code-length codes: t0=00 t1=01 t2=10 t3=110 t4=111.
  // Literal lengths: count 66: a run of 20 zeros (t=2, r=0), a run of 45
  // zeros (t=2, r=25), then 'A' (65) length 1 (t=3), 'B' (66)? no: count 67.
  w.Put(67, 9);
  w.Put(2, 2);
  w.Put(0, 9);  // 20 zeros
  w.Put(2, 2);
  w.Put(25, 9);  // 45 more: 65 zeros in all
  w.Put(6, 3);   // t = 3: 'A' length 1
  w.Put(6, 3);   // t = 3: 'B' length 1
  w.Put(0, 4);
  w.Put(0, 4);  // position code: one symbol
  for (int bit : {0, 1, 1}) w.Put(static_cast<std::uint32_t>(bit), 1);
  ExpectDecodes(5, w.Bytes(), "ABB");
}

TEST(Decoder, NineteenZeroLengthsAsTwoItems) {
  for (auto split : {std::pair<int, int>{18, 1}, std::pair<int, int>{3, 16}}) {
    // Literal 'a' (97) and the symbol 19 positions later (117, 'u').
    std::vector<int> literalLengths(510, 0);
    literalLengths[97] = 1;
    literalLengths[117] = 1;
    BitWriter w;
    w.Put(2, 16);
    // Code-length code: t=0 (0), t=1 (1), t=3 (3) used: lengths 1, 2, 0, 2.
    w.Put(4, 5);
    for (int len : {1, 2, 0}) lzhtest::PutSmallLength(w, len);
    w.Put(0, 2);
    lzhtest::PutSmallLength(w, 2);
    // Codes: t0 = 0, t1 = 10, t3 = 11.
    w.Put(118, 9);
    // 97 zeros: 18 + 18 + 18 + 18 + 18 + 7.
    for (int run : {18, 18, 18, 18, 18, 7}) {
      w.Put(2, 2);
      w.Put(static_cast<std::uint32_t>(run - 3), 4);
    }
    w.Put(3, 2);  // 'a' length 1
    // 19 zeros as two items.
    for (int run : {split.first, split.second}) {
      if (run == 1) {
        w.Put(0, 1);
      } else {
        w.Put(2, 2);
        w.Put(static_cast<std::uint32_t>(run - 3), 4);
      }
    }
    w.Put(3, 2);  // 'u' length 1
    w.Put(0, 4);
    w.Put(0, 4);
    w.Put(0, 1);
    w.Put(1, 1);
    ExpectDecodes(5, w.Bytes(), "au");
  }
}

TEST(Decoder, BlockSizeZeroKeepsTablesToTheEnd) {
  std::mt19937 rng(3);
  std::vector<Symbol> symbols;
  for (int i = 0; i < 70000; ++i) symbols.push_back(Lit(static_cast<std::uint8_t>(rng() % 50)));
  for (Symbol s : lzhtest::RandomSymbols(6, 100000, rng)) symbols.push_back(s);
  lzhtest::MethodInfo info = lzhtest::Info(6);
  std::vector<bool> literalUsed(510, false);
  std::vector<bool> positionUsed(16, false);
  for (const Symbol& s : symbols) {
    literalUsed[s.c] = true;
    if (s.c >= 256) positionUsed[lzhtest::PositionSymbol(s.distance)] = true;
  }
  ASSERT_GT(symbols.size(), 65536u);
  BitWriter w;
  lzhtest::WriteBlock(w, 6, symbols, lzhtest::RandomCompleteLengths(literalUsed, 400, rng),
                      lzhtest::RandomCompleteLengths(positionUsed, info.positionSymbols, rng), 0);
  ExpectDecodes(6, w.Bytes(), lzhtest::Expand(symbols));
}

TEST(Decoder, LargestOffsetOfEachMethod) {
  for (int method : {5, 6, 7}) {
    std::uint32_t window = 1u << lzhtest::Info(method).windowBits;
    std::vector<Symbol> symbols;
    std::mt19937 rng(method);
    for (std::uint32_t i = 0; i < window; ++i) {
      symbols.push_back(Lit(static_cast<std::uint8_t>(rng())));
    }
    symbols.push_back(Match(5, window));  // the byte written W bytes earlier
    symbols.push_back(Lit('!'));
    symbols.push_back(Match(256, window));
    std::string expected = lzhtest::Expand(symbols);
    EXPECT_EQ(expected.substr(window, 5), expected.substr(0, 5));
    ExpectDecodes(method, SimpleStream(method, symbols), expected);
  }
}

TEST(Decoder, LongRandomStreamsInManyBlocks) {
  for (int method : {5, 6, 7}) {
    std::mt19937 rng(100 + method);
    lzhtest::MethodInfo info = lzhtest::Info(method);
    std::vector<Symbol> all;
    BitWriter w;
    for (int block = 0; block < 6; ++block) {
      std::vector<Symbol> symbols = lzhtest::RandomSymbols(method, 30000 + rng() % 70000, rng);
      // Continue the member: distances must stay within what was produced.
      std::vector<Symbol> shifted;
      std::size_t produced = lzhtest::Expand(all).size();
      for (Symbol s : symbols) {
        if (s.c >= 256 && s.distance > produced) s = Lit('#');
        shifted.push_back(s);
        produced += s.c < 256 ? 1 : static_cast<std::size_t>(s.c - 253);
      }
      std::vector<bool> literalUsed(510, false);
      std::vector<bool> positionUsed(static_cast<std::size_t>(info.positionSymbols), false);
      for (const Symbol& s : shifted) {
        literalUsed[s.c] = true;
        if (s.c >= 256) positionUsed[lzhtest::PositionSymbol(s.distance)] = true;
      }
      lzhtest::WriteBlock(
          w, method, shifted,
          lzhtest::RandomCompleteLengths(literalUsed, 260 + static_cast<int>(rng() % 250), rng),
          lzhtest::RandomCompleteLengths(positionUsed, info.positionSymbols, rng));
      all.insert(all.end(), shifted.begin(), shifted.end());
    }
    ExpectDecodes(method, w.Bytes(), lzhtest::Expand(all));
  }
}

TEST(Decoder, OutputStopsAtTheOriginalSize) {
  // The last match reaches 200 bytes past the original size.
  std::vector<Symbol> symbols = {Lit('a'), Lit('b'), Match(250, 2)};
  for (int method : {5, 7}) {
    std::string packed = SimpleStream(method, symbols);
    std::string full = lzhtest::Expand(symbols);
    for (std::uint32_t size : {52u, 1u, 251u}) {
      Decoded d = Decode(method, packed, size);
      EXPECT_EQ(d.success, 1);
      EXPECT_EQ(d.output, full.substr(0, size));
      EXPECT_EQ(d.crc, lzhtest::ReferenceCrc16(full.substr(0, size)));
    }
  }
  // Past a window boundary as well.
  std::vector<Symbol> longer;
  for (int i = 0; i < 8190; ++i) longer.push_back(Lit(static_cast<std::uint8_t>(i * 7)));
  longer.push_back(Match(256, 100));
  std::string full = lzhtest::Expand(longer);
  Decoded d = Decode(5, SimpleStream(5, longer), 8200);
  EXPECT_EQ(d.output, full.substr(0, 8200));
  EXPECT_EQ(d.crc, lzhtest::ReferenceCrc16(full.substr(0, 8200)));
}

TEST(Decoder, StopsWhereThePackedBytesEnd) {
  // A stream that needs more than the member's packed bytes is corrupt, at
  // once, whatever the file holds after them: the next member's header, or
  // nothing at all. A whole stream needs no byte more than it has.
  std::mt19937 rng(11);
  for (int method : {5, 7}) {
    std::vector<Symbol> symbols = lzhtest::RandomSymbols(method, 100000, rng);
    std::string packed = SimpleStream(method, symbols);
    const auto size = static_cast<std::uint32_t>(lzhtest::Expand(symbols).size());
    for (std::size_t cut : {packed.size() - 1, packed.size() / 2, std::size_t{3}, std::size_t{0}}) {
      std::string head = packed.substr(0, cut);
      const auto budget = static_cast<std::uint32_t>(cut);
      EXPECT_EQ(Decode(method, head, size, budget, std::string(70000, '\xA5')).success, 0) << cut;
      EXPECT_EQ(Decode(method, head, size, budget + 100000).success, 0) << "file ends first";
    }
    EXPECT_EQ(Decode(method, packed, size).success, 1);
  }
  // A few bytes that claim 4 GiB: no more than the bytes' worth is written.
  std::string packed = SimpleStream(5, {Lit('a'), Lit('b'), Match(30, 2)});
  Decoded bomb = Decode(5, packed, 0xFFFFFFFFu);
  EXPECT_EQ(bomb.success, 0);
  EXPECT_LT(bomb.output.size(), 65536u);
}

TEST(Decoder, EmptyPositionCodeInABlockWithoutMatches) {
  // A position code whose lengths are all 0 is accepted when no match uses it.
  BitWriter w;
  w.Put(2, 16);
  w.Put(0, 5);
  w.Put(3, 5);
  w.Put(2, 9);
  w.Put(3, 4);  // three lengths, all 0
  for (int i = 0; i < 3; ++i) lzhtest::PutSmallLength(w, 0);
  w.Put(1, 1);
  w.Put(0, 1);
  ExpectDecodes(5, w.Bytes(), Hex({1, 0}));
}

TEST(Decoder, WriteFailureIsReported) {
  std::mt19937 rng(5);
  std::vector<Symbol> symbols = lzhtest::RandomSymbols(7, 300000, rng);
  const std::string packed = SimpleStream(7, symbols);
  lzh::MemorySource in(packed);
  lzh::MemorySink full(100000);  // takes the first windows, then fails
  lzh::Decoder decoder;
  const auto size = static_cast<std::uint32_t>(lzhtest::Expand(symbols).size());
  EXPECT_EQ(decoder.Decode(lzh::MethodForNumber(7), in, size, &full).status,
            lzh::CodecStatus::kWriteError);
  EXPECT_LE(full.bytes.size(), 100000u);
}

// ---- corrupt streams ----

struct Corrupt {
  const char* what;
  int method;
  std::string packed;
};

std::vector<Corrupt> CorruptStreams() {
  std::vector<Corrupt> cases;
  auto add = [&](const char* what, int method, const BitWriter& w) {
    cases.push_back({what, method, w.Bytes() + std::string(64, '\xFF')});
  };
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(3, 5);
    w.Put(511, 9);  // literal count above 510
    add("literal count 511", 5, w);
  }
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(2, 5);    // every item is a long zero run
    w.Put(500, 9);  // count 500
    w.Put(511, 9);  // run of 531 zeros: past symbol 509
    add("zero run past 509", 5, w);
  }
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(2, 5);
    w.Put(500, 9);
    w.Put(10, 9);   // 30 zeros from 0 ...
    w.Put(500, 9);  // ... then 520: reaches 550
    add("second zero run past 509", 5, w);
  }
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(2, 5);
    lzhtest::PutSmallLength(w, 17);
    lzhtest::PutSmallLength(w, 1);
    add("small length 17", 5, w);
  }
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(1, 5);
    w.Put(0xFFFF, 16);  // 7 + 13 ones: length 20
    add("small length 20", 5, w);
  }
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(4, 5);
    for (int i = 0; i < 3; ++i) lzhtest::PutSmallLength(w, 1);
    w.Put(0, 2);
    lzhtest::PutSmallLength(w, 1);  // four codes of 1 bit: sum 2 * 65536
    add("over-full code-length code, sum 131072", 5, w);
  }
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(3, 5);
    for (int i = 0; i < 3; ++i) lzhtest::PutSmallLength(w, 1);
    w.Put(0, 2);
    add("over-full code-length code, three of one bit", 5, w);
  }
  {
    BitWriter w;
    w.Put(1, 16);
    w.Put(3, 5);
    for (int len : {1, 2, 3}) lzhtest::PutSmallLength(w, len);
    w.Put(0, 2);
    add("incomplete code-length code", 5, w);
  }
  for (int s : {19, 25, 31}) {
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(static_cast<std::uint32_t>(s), 5);
    add("code-length one-symbol out of range", 5, w);
  }
  for (int s : {510, 511}) {
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(0, 9);
    w.Put(static_cast<std::uint32_t>(s), 9);
    add("literal one-symbol out of range", 5, w);
  }
  for (auto [method, s] : {std::pair{5, 14}, std::pair{5, 15}, std::pair{6, 16}, std::pair{6, 31},
                           std::pair{7, 17}, std::pair{7, 31}}) {
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(0, 9);
    w.Put('a', 9);
    int bits = method == 5 ? 4 : 5;
    w.Put(0, static_cast<std::uint32_t>(bits));
    w.Put(static_cast<std::uint32_t>(s), bits);
    add("position one-symbol out of range", method, w);
  }
  {
    // Literal code with an over-full set whose sum is 4 * 65536.
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(3, 5);  // every item: length 1
    w.Put(8, 9);  // eight codes of one bit
    add("over-full literal code", 5, w);
  }
  {
    // Position count above the symbol count (lh5: 15 of 14), over-full.
    BitWriter w;
    w.Put(1, 16);
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(0, 9);
    w.Put('a', 9);
    w.Put(15, 4);
    for (int i = 0; i < 15; ++i) lzhtest::PutSmallLength(w, 1);
    add("position count 15 of 14, over-full", 5, w);
  }
  return cases;
}

TEST(Decoder, CorruptStreamsAreRejected) {
  for (const Corrupt& c : CorruptStreams()) {
    Decoded d = Decode(c.method, c.packed, 1000);
    EXPECT_EQ(d.success, 0) << c.what;
  }
}

TEST(Decoder, PositionCountAboveSymbolCountIsHarmless) {
  // lh5 with a position count of 15: the 15th length lies past the 14
  // symbols and takes no part in the code; lengths up to 20 there are read.
  for (int extra : {1, 16, 20}) {
    BitWriter w;
    w.Put(3, 16);
    w.Put(0, 5);
    w.Put(0, 5);
    w.Put(0, 9);
    w.Put('a', 9);
    w.Put(15, 4);
    // Position lengths: symbols 0 and 1 of one bit, the others 0.
    std::vector<int> lengths = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, extra};
    for (int len : lengths) lzhtest::PutSmallLength(w, len);
    Decoded d = Decode(5, w.Bytes(), 3);
    EXPECT_EQ(d.success, 1) << extra;
    EXPECT_EQ(d.output, "aaa");
  }
}

}  // namespace
