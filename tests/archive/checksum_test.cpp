// The 8-bit header checksum.
#include "archive/checksum.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(HeaderChecksum, Examples) {
  const unsigned char ff02[] = {0xFF, 0x02};
  EXPECT_EQ(HeaderChecksum(ff02, 2), 0x01);
  EXPECT_EQ(HeaderChecksum(ff02, 0), 0);
  EXPECT_EQ(HeaderChecksum(ff02, -1), 0);
  const std::vector<unsigned char> many(300, 0x80);
  EXPECT_EQ(HeaderChecksum(many.data(), 300), (300 * 0x80) & 0xFF);
}

}  // namespace
