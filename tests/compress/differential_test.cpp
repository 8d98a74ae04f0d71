// The fast match finder against the plain one: on inputs built to reach
// crowded buckets, shifted and second passes, window slides and the end of
// the input, both must write the same bytes.
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
  return inputs;
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

}  // namespace
