// CRC-16/ARC against a bit-by-bit reference.
#include "lzh/crc16.h"

#include <gtest/gtest.h>

#include <string>

#include "support/support.h"

namespace {

// Bit by bit, straight from the definition, to check the table-driven code.
std::uint16_t ReferenceCrc(std::uint16_t crc, const std::string& bytes) {
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

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
                ReferenceCrc(start, data.substr(0, length)))
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
    EXPECT_EQ(Crc16Update(0, data.data() + offset, 40), ReferenceCrc(0, data.substr(offset, 40)));
  }
}

}  // namespace
