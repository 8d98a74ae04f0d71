// Streams of every method, wrapped in a minimal level-2 archive, must be
// accepted and reproduced by independent LZH readers.
#include <gtest/gtest.h>

#include "codec_helpers.h"
#include "stream_parser.h"
#include "support/archive_builder.h"
#include "support/support.h"

using namespace codec_test;

namespace {

struct Input {
  std::string label;
  std::string bytes;
};

std::vector<Input> ReaderInputs() {
  std::vector<Input> inputs = {
      {"run", std::string(2938115, 'a')},    {"text", TextBytes(400000, 7)},
      {"varied", VariedBytes(600000, 8)},    {"twenty", std::string(20, 'a')},
      {"ls", FileBytes("/bin/ls", 1 << 20)},
  };
  for (int method : {5, 6, 7}) {
    inputs.push_back({"fibonacci" + std::to_string(method), FibonacciSkewed(method)});
  }
  return inputs;
}

// Runs one reader on an archive and returns its standard output.
std::string ReadWith(const std::vector<std::string>& argv) {
  test::RunResult result = test::RunCommand(argv);
  EXPECT_EQ(result.exitCode, 0) << argv[0] << ": " << result.err;
  return result.out;
}

TEST(OutsideReaders, ReproduceEveryMethodsStreams) {
  const bool have7z = test::CommandExists("7zz");
  const bool haveBsdtar = test::CommandExists("bsdtar");
  const bool haveLhasa = test::CommandExists("lhasa");
  if (!have7z && !haveBsdtar && !haveLhasa) GTEST_SKIP() << "no outside LZH reader installed";
  test::TempDir dir;
  for (const Input& input : ReaderInputs()) {
    if (input.bytes.empty()) continue;
    for (int method : {5, 6, 7}) {
      Compressed out = Compress(input.bytes, method);
      ASSERT_LT(out.result.packedSize, input.bytes.size()) << input.label;
      std::string archive = dir / ("m" + std::to_string(method) + ".lzh");
      test::WriteFile(
          archive,
          lzhtest::Archive({lzhtest::Compressed(method, "data.bin", input.bytes, out.data)}));
      SCOPED_TRACE(input.label + " " + MethodName(method));
      if (haveBsdtar) {
        std::string got = ReadWith({"bsdtar", "-xOf", archive});
        EXPECT_TRUE(got == input.bytes) << "bsdtar gave " << got.size() << " bytes";
      }
      if (haveLhasa) {
        std::string got = ReadWith({"lhasa", "pq", archive});
        EXPECT_TRUE(got == input.bytes) << "lhasa gave " << got.size() << " bytes";
        test::RunResult checked = test::RunCommand({"lhasa", "t", archive});
        EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
      }
      if (have7z) {
        test::RunResult checked = test::RunCommand({"7zz", "t", archive});
        EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
        std::string got = ReadWith({"7zz", "x", "-so", archive});
        EXPECT_TRUE(got == input.bytes) << "7zz gave " << got.size() << " bytes";
      }
    }
  }
}

TEST(OutsideReaders, FibonacciInputsCutCodeLengths) {
  for (int method : {5, 6, 7}) {
    std::string input = FibonacciSkewed(method);
    Compressed out = Compress(input, method);
    ParsedStream parsed = ParseStream(out.data, method, input.size());
    ASSERT_EQ(parsed.error, "");  // complete codes of at most 16 bits
    int deepest = 0;
    for (const ParsedBlock& block : parsed.blocks) {
      deepest = std::max(deepest, UnlimitedHuffmanDepth(block.LiteralCounts()));
    }
    EXPECT_GT(deepest, 16) << "method " << method;
  }
}

}  // namespace
