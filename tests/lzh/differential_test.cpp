// The fast match finder against the plain one: on inputs built to reach
// crowded buckets, shifted and second passes, binary trees, window slides
// and the end of the input, both must write the same bytes.
#include <gtest/gtest.h>

#include "codec_helpers.h"
#include "reference_encoder.h"
#include "support/support.h"

using namespace codec_test;

namespace {

// Bytes from a small alphabet: long chains, many hash collisions.
std::string SmallAlphabet(std::size_t size, int letters, std::uint32_t seed) {
  Random random(seed);
  std::string out;
  for (std::size_t i = 0; i < size; i++)
    out.push_back(static_cast<char>('A' + random.Below(static_cast<std::uint32_t>(letters))));
  return out;
}

// Short phrases repeated with small changes: crowded buckets with many
// candidates of every length.
std::string Phrases(std::size_t size, std::uint32_t seed) {
  Random random(seed);
  std::vector<std::string> phrases;
  for (int i = 0; i < 40; i++)
    phrases.push_back(SmallAlphabet(3 + random.Below(30), 6, random.Next()));
  std::string out;
  while (out.size() < size) {
    std::string p = phrases[random.Below(static_cast<std::uint32_t>(phrases.size()))];
    if (random.Below(4) == 0)
      p[random.Below(static_cast<std::uint32_t>(p.size()))] = static_cast<char>(random.Next());
    out += p;
  }
  out.resize(size);
  return out;
}

// Zeros with sparse bytes, as in the padding of executables.
std::string SparseZeros(std::size_t size, std::uint32_t seed) {
  Random random(seed);
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; i += 1 + random.Below(64))
    out[i] = static_cast<char>(random.Below(4));
  return out;
}

// A stretch of `period` letters repeated, with one byte in about 4000
// changed: long runs of matches of the full length, and ties among them.
std::string Periodic(std::size_t size, std::size_t period, std::uint32_t seed) {
  Random random(seed);
  const std::string unit = SmallAlphabet(period, 4, seed);
  std::string out;
  while (out.size() < size) out += unit;
  out.resize(size);
  for (std::size_t i = random.Below(4000); i < size; i += 1 + random.Below(8000)) {
    out[i] = static_cast<char>('a' + random.Below(26));
  }
  return out;
}

// Records of a fixed 48-byte head and 48 letters from {A, B}: many earlier
// positions agree with each one on about as many bytes, and fall apart
// after it.
std::string Records(std::size_t size, std::uint32_t seed) {
  const std::string head = TextBytes(48, seed);
  std::string out;
  std::uint32_t k = 0;
  while (out.size() < size) out += head + SmallAlphabet(48, 2, seed + ++k);
  out.resize(size);
  return out;
}

// Runs of one letter, 1 to 300 long, each after one other letter: positions
// that sort in the order they come, and matches just short of the full
// length.
std::string Runs(std::size_t size, std::uint32_t seed) {
  Random random(seed);
  std::string out;
  while (out.size() < size) {
    out += static_cast<char>('B' + random.Below(2));
    out.append(1 + random.Below(300), 'A');
  }
  out.resize(size);
  return out;
}

// Letters from {A, B} with copies of earlier stretches and long runs of C
// among them: long walks, and matches of the full length, also in the
// first search of a bucket after a slide.
std::string LettersAndRepeats(std::size_t size, std::uint32_t seed) {
  Random random(seed);
  std::string out = SmallAlphabet(4000, 2, seed);
  while (out.size() < size) {
    switch (random.Below(4)) {
      case 0: {
        const std::size_t back =
            1 + random.Below(static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), 60000)));
        const std::size_t length = 100 + random.Below(1500);
        for (std::size_t i = 0; i < length; i++) out.push_back(out[out.size() - back]);
        break;
      }
      case 1:
        out.append(300 + random.Below(500), 'C');
        break;
      default:
        out += SmallAlphabet(500 + random.Below(3000), 2, random.Next());
        break;
    }
  }
  out.resize(size);
  return out;
}

std::vector<std::pair<std::string, std::string>> Inputs() {
  std::vector<std::pair<std::string, std::string>> inputs;
  for (std::uint32_t seed = 1; seed <= 2; seed++) {
    for (std::size_t size : {std::size_t{1000}, std::size_t{20000}, std::size_t{100000}}) {
      std::string tag = std::to_string(size) + "/" + std::to_string(seed);
      // Small alphabets make every walk long: keep them short.
      inputs.push_back({"alphabet2 " + tag, SmallAlphabet(size / 8, 2, seed)});
      inputs.push_back({"alphabet4 " + tag, SmallAlphabet(size / 4, 4, seed)});
      inputs.push_back({"phrases " + tag, Phrases(size, seed)});
      inputs.push_back({"sparse " + tag, SparseZeros(size, seed)});
      inputs.push_back({"varied " + tag, VariedBytes(size, seed)});
      inputs.push_back({"text " + tag, TextBytes(size, seed)});
    }
  }
  for (std::size_t size = 1; size <= 12; size++) {
    inputs.push_back({"short alphabet " + std::to_string(size), SmallAlphabet(size, 2, 7)});
  }
  inputs.push_back({"ls", FileBytes("/bin/ls", 400000)});
  inputs.push_back({"run", std::string(200000, 'q')});
  // Long enough for the searches to take up their binary trees, and for
  // every method's window to slide with them.
  inputs.push_back({"alphabet2 long", SmallAlphabet(70000, 2, 3)});
  inputs.push_back({"alphabet4 long", SmallAlphabet(140000, 4, 3)});
  inputs.push_back({"records", Records(100000, 5)});
  inputs.push_back({"letters and repeats", LettersAndRepeats(70000, 7)});
  for (std::size_t period : {2, 3, 7, 255, 256, 257, 1000}) {
    inputs.push_back({"period " + std::to_string(period), Periodic(60000, period, 4)});
  }
  inputs.push_back({"runs", Runs(200000, 6)});
  return inputs;
}

// Stretches of noise and of repetitive text, each a few dictionaries long,
// and of letters from {A, B}: the fast encoder drops its 4-byte chains and
// its binary trees and takes them up again.
std::string Alternating(int method, std::uint32_t seed) {
  const std::size_t stretch = 3 * DictionarySize(method);
  std::string out;
  for (std::uint32_t k = 0; k < 4; k++) {
    out += test::RandomBytes(stretch, seed + k);
    out += k % 2 == 0 ? Phrases(stretch, seed + k)
                      : SmallAlphabet(std::min(DictionarySize(method), 32768u), 2, seed + k);
  }
  return out;
}

TEST(Differential, FastAndPlainEncodersWriteTheSameBytes) {
  for (const auto& [label, bytes] : Inputs()) {
    for (int method : {5, 6, 7}) {
      Compressed fast = Compress(bytes, method);
      std::string plain = reference::Compress(bytes, method);
      ASSERT_TRUE(fast.data == plain) << label << " " << MethodName(method) << ": "
                                      << fast.data.size() << " vs " << plain.size() << " bytes";
    }
  }
}

TEST(Differential, SearchModeChangesKeepTheBytes) {
  for (int method : {5, 6, 7}) {
    std::string input = Alternating(method, 5);
    Compressed fast = Compress(input, method);
    EXPECT_GE(SharedEncoder().Inspect().searchModeChanges, 3) << MethodName(method);
    EXPECT_GE(SharedEncoder().Inspect().treeModeChanges, 3) << MethodName(method);
    EXPECT_TRUE(fast.data == reference::Compress(input, method)) << MethodName(method);
    // Letters from {A, B} take the trees up from their first stretch on (the
    // bytes are compared with the plain encoder's above).
    Compress(SmallAlphabet(70000, 2, 3), method);
    EXPECT_EQ(SharedEncoder().Inspect().treeModeChanges, 1) << MethodName(method);
  }
}

// Head values move down once their base reaches 2^30; a member that spans
// that moment, and the members after it, must come out the same.
TEST(Differential, HeadValuesMovingDownKeepTheBytes) {
  constexpr std::uint32_t kRebaseAt = 1u << 30;
  std::string tiny = "tiny member tiny member";
  while (SharedEncoder().Inspect().headBase < kRebaseAt - (1u << 19)) Compress(tiny, 5);
  ASSERT_LT(SharedEncoder().Inspect().headBase, kRebaseAt);
  // About 32 slides of 8 KiB carry the base past the mark within this member.
  std::string big = VariedBytes(600000, 9);
  Compressed across = Compress(big, 5);
  EXPECT_LT(SharedEncoder().Inspect().headBase, kRebaseAt) << "the base did not move down";
  EXPECT_TRUE(across.data == reference::Compress(big, 5));
  for (int method : {5, 6, 7}) {
    std::string after = Phrases(150000, static_cast<std::uint32_t>(method));
    EXPECT_TRUE(Compress(after, method).data == reference::Compress(after, method))
        << MethodName(method);
  }
}

}  // namespace
