// Compressed streams of every method decode back to their input with
// tsubo's own decoder, across window slides, block ends and the size limit.
#include <gtest/gtest.h>

#include "codec_helpers.h"
#include "stream_parser.h"
#include "support/support.h"

using namespace codec_test;

namespace {

struct Input {
  std::string label;
  std::string bytes;
};

std::vector<Input> RoundTripInputs(int method) {
  const std::size_t d = DictionarySize(method);
  std::vector<Input> inputs = {
      {"one byte", "x"},
      {"two bytes", "xy"},
      {"D-1 text", TextBytes(d - 1, 1)},
      {"D text", TextBytes(d, 2)},
      {"D+1 text", TextBytes(d + 1, 3)},
      {"2D varied", VariedBytes(2 * d, 4)},
      {"2D+256 varied", VariedBytes(2 * d + 256, 5)},
      {"run", std::string(300000, '\0')},
      {"period 3",
       [] {
         std::string s;
         while (s.size() < 100000) s += "abc";
         return s;
       }()},
      {"text", TextBytes(500000, 6)},
      {"varied", VariedBytes(1 << 20, 7)},
      {"ls", FileBytes("/bin/ls", 1 << 20)},
      {"fibonacci", FibonacciSkewed(method)},
  };
  // A repeat just inside and just outside the dictionary's reach.
  std::string noise = test::RandomBytes(d - 300, 9);
  inputs.push_back({"repeat at D-1", noise + test::RandomBytes(299, 10) + noise.substr(0, 2000)});
  inputs.push_back({"repeat at D", noise + test::RandomBytes(300, 10) + noise.substr(0, 2000)});
  return inputs;
}

TEST(RoundTrip, EveryMethodDecodesBackToTheInput) {
  for (int method : {5, 6, 7}) {
    for (const Input& input : RoundTripInputs(method)) {
      SCOPED_TRACE(input.label + " " + MethodName(method));
      Compressed out = Compress(input.bytes, method);
      EXPECT_EQ(out.result.crc, lzhtest::ReferenceCrc16(input.bytes));
      if (out.NotSmaller()) continue;  // stored instead
      EXPECT_EQ(out.data.size(), out.result.packedSize);
      Decoded back = Decode(out.data, static_cast<std::uint32_t>(input.bytes.size()), method);
      ASSERT_EQ(back.success, 1);
      EXPECT_TRUE(back.data == input.bytes) << "decoded " << back.data.size() << " bytes";
      EXPECT_EQ(back.crc, out.result.crc);
    }
  }
}

TEST(RoundTrip, NoMatchReachesPastTheDictionary) {
  for (int method : {5, 6, 7}) {
    const std::uint32_t d = DictionarySize(method);
    // Copies at distances D-1 and D: only the first may be a match.
    std::string noise = test::RandomBytes(d + 600, 12);
    std::string input =
        noise + noise.substr(noise.size() - (d - 1), 40) + noise.substr(noise.size() + 40 - d, 40);
    Compressed out = Compress(input, method, kNoLimit);
    ParsedStream parsed = ParseStream(out.data, method, input.size());
    ASSERT_EQ(parsed.error, "");
    for (const CodedSymbol& s : parsed.Symbols()) {
      if (s.symbol >= 256) {
        EXPECT_LE(s.offset, d - 2) << MethodName(method);
      }
    }
  }
}

TEST(RoundTrip, EmptyInputGivesAnEmptyBlock) {
  // Never called for empty files, but an input that cannot be read at all
  // must still give a stream that decodes to nothing.
  for (int method : {5, 6, 7}) {
    Compressed out = Compress("", method);
    EXPECT_EQ(out.result.crc, 0);
    Decoded back = Decode(out.data, 0, method);
    EXPECT_EQ(back.data, "");
  }
}

TEST(RoundTrip, RandomDataGivesUpAtTheOriginalSize) {
  for (int method : {5, 6, 7}) {
    std::string input = test::RandomBytes(200000, 13);
    Compressed out = Compress(input, method);
    EXPECT_TRUE(out.NotSmaller());
    EXPECT_EQ(out.result.packedSize, input.size());
    EXPECT_EQ(out.data.size(),
              input.size() - input.size() % 32768);  // only full buffers were written
  }
}

}  // namespace
