// The folded CRC-16 of long buffers agrees with the bit-by-bit definition at
// every length, alignment and starting value.
#include "lzh/crc16_fold.h"

#include <gtest/gtest.h>

#include <string>

#include "lzh/crc16.h"
#include "support/reference_crc16.h"
#include "support/support.h"

namespace {

using lzhtest::ReferenceCrc16;

TEST(Crc16Fold, AgreesWithTheDefinition) {
  std::string data = test::RandomBytes(70000, 4);
  for (std::size_t count :
       {0, 1, 15, 16, 63, 64, 255, 256, 257, 271, 272, 319, 320, 1000, 4096, 4097, 65536, 69999}) {
    for (std::size_t from : {0, 1, 7}) {
      if (from + count > data.size()) continue;
      for (std::uint16_t start : {0x0000, 0x1234, 0xFFFF}) {
        EXPECT_EQ(Crc16Update(start, data.data() + from, static_cast<long>(count)),
                  ReferenceCrc16(std::string_view(data).substr(from, count), start))
            << count << " " << from << " " << start;
      }
    }
  }
}

TEST(Crc16Fold, ChainedCallsAgreeWithOneCall) {
  std::string data(300000, '\0');
  data += test::RandomBytes(300000, 5);
  std::uint16_t whole = Crc16Update(0, data.data(), static_cast<long>(data.size()));
  std::uint16_t chained = 0;
  for (std::size_t at = 0; at < data.size(); at += 65536) {
    std::size_t n = std::min<std::size_t>(65536, data.size() - at);
    chained = Crc16Update(chained, data.data() + at, static_cast<long>(n));
  }
  EXPECT_EQ(whole, chained);
  EXPECT_EQ(whole, ReferenceCrc16(data));
}

TEST(Crc16Fold, ResidueHasTheSameCrc) {
  if (!Crc16FoldAvailable()) GTEST_SKIP() << "no carry-less multiplication";
  std::string data = test::RandomBytes(4096, 6);
  unsigned char residue[16];
  Crc16Fold(0xBEEF, reinterpret_cast<const unsigned char*>(data.data()), 4096, residue);
  EXPECT_EQ(ReferenceCrc16(std::string_view(reinterpret_cast<char*>(residue), 16)),
            ReferenceCrc16(data, 0xBEEF));
}

}  // namespace
