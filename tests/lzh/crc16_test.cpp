// CRC-16/ARC against a bit-by-bit reference.
#include "lzh/crc16.h"

#include <gtest/gtest.h>

#include <string>

#include "support/reference_crc16.h"
#include "support/support.h"

namespace {

using lzhtest::ReferenceCrc16;

TEST(Crc16, CheckValue) { EXPECT_EQ(Crc16Update(0, "123456789", 9), 0xBB3D); }

TEST(Crc16, CountZeroOrLessLeavesCrc) {
  EXPECT_EQ(Crc16Update(0x1234, "abc", 0), 0x1234);
  EXPECT_EQ(Crc16Update(0x1234, "abc", -5), 0x1234);
}

TEST(Crc16, MatchesReferenceForEveryLengthAndStart) {
  const std::string data = test::RandomBytes(200, 7);
  for (std::size_t length = 0; length <= data.size(); ++length) {
    for (std::uint16_t start : {0x0000, 0xFFFF, 0x8005}) {
      ASSERT_EQ(Crc16Update(start, data.data(), static_cast<long>(length)),
                ReferenceCrc16(data.substr(0, length), start))
          << "length " << length;
    }
  }
}

TEST(Crc16, SplitUpdatesEqualOneCall) {
  const std::string data = test::RandomBytes(1000, 11);
  const std::uint16_t whole = Crc16Update(0, data.data(), static_cast<long>(data.size()));
  for (std::size_t split : {0, 1, 3, 7, 8, 9, 500, 999, 1000}) {
    std::uint16_t crc = Crc16Update(0, data.data(), static_cast<long>(split));
    crc = Crc16Update(crc, data.data() + split, static_cast<long>(data.size() - split));
    EXPECT_EQ(crc, whole) << "split at " << split;
  }
}

TEST(Crc16, UnalignedBuffers) {
  const std::string data = test::RandomBytes(64, 3);
  for (std::size_t offset = 0; offset < 8; ++offset) {
    EXPECT_EQ(Crc16Update(0, data.data() + offset, 40), ReferenceCrc16(data.substr(offset, 40)));
  }
}

}  // namespace
