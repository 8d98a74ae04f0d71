// Time-stamp conversions: MS-DOS words, Unix time, local and UTC.
#include "archive/timestamp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "support/support.h"

namespace {

using test::FileTimeOf;
using test::ScopedTimeZone;
using test::UnixSeconds;

std::uint16_t DosDate(int year, int month, int day) {
  return static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
}

std::uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2);
}

struct DosCase {
  std::uint16_t date;
  std::uint16_t time;
  bool valid;
  plat::FileTime expected;
};

TEST(DosTimeToFileTime, Table) {
  const DosCase cases[] = {
      {0, 0, false, 0},  // month 0, day 0
      {DosDate(1980, 1, 1), 0, true, FileTimeOf(1980, 1, 1)},
      {DosDate(2024, 2, 29), DosTime(13, 14, 16), true, FileTimeOf(2024, 2, 29, 13, 14, 16)},
      {DosDate(2000, 2, 29), 0, true, FileTimeOf(2000, 2, 29)},
      {DosDate(2023, 2, 29), 0, false, 0},
      {DosDate(2100, 2, 29), 0, false, 0},  // 2100 is no leap year
      {DosDate(2024, 4, 31), 0, false, 0},
      {DosDate(2024, 13, 1), 0, false, 0},
      {DosDate(2024, 1, 0), 0, false, 0},
      {DosDate(2024, 1, 1), DosTime(24, 0, 0), false, 0},
      {DosDate(2024, 1, 1), static_cast<std::uint16_t>(60 << 5), false, 0},
      {DosDate(2024, 1, 1), 30, false, 0},  // 60 seconds
      {DosDate(2024, 1, 1), 29, true, FileTimeOf(2024, 1, 1, 0, 0, 58)},
      {DosDate(2107, 12, 31), DosTime(23, 59, 58), true, FileTimeOf(2107, 12, 31, 23, 59, 58)},
  };
  for (const DosCase& c : cases) {
    plat::FileTime out = 12345;
    EXPECT_EQ(DosTimeToFileTime(c.date, c.time, &out), c.valid)
        << std::hex << c.date << " " << c.time;
    if (c.valid) {
      EXPECT_EQ(out, c.expected) << std::hex << c.date << " " << c.time;
    }
  }
}

struct ToDosCase {
  plat::FileTime local;
  std::uint16_t date;
  std::uint16_t time;
};

TEST(FileTimeToDosTime, RoundsOddSecondsUp) {
  const ToDosCase cases[] = {
      {FileTimeOf(2024, 5, 6, 12, 0, 0), DosDate(2024, 5, 6), DosTime(12, 0, 0)},
      {FileTimeOf(2024, 5, 6, 12, 0, 0, 9000000), DosDate(2024, 5, 6), DosTime(12, 0, 0)},
      {FileTimeOf(2024, 5, 6, 12, 0, 1), DosDate(2024, 5, 6), DosTime(12, 0, 2)},
      {FileTimeOf(2024, 5, 6, 12, 0, 1, 7000000), DosDate(2024, 5, 6), DosTime(12, 0, 2)},
      {FileTimeOf(2024, 5, 6, 12, 0, 59), DosDate(2024, 5, 6), DosTime(12, 1, 0)},
      // 23:59:59 on 31 December becomes New Year's midnight.
      {FileTimeOf(2023, 12, 31, 23, 59, 59), DosDate(2024, 1, 1), DosTime(0, 0, 0)},
      {FileTimeOf(2024, 2, 28, 23, 59, 59), DosDate(2024, 2, 29), DosTime(0, 0, 0)},
      {FileTimeOf(1980, 1, 1), DosDate(1980, 1, 1), 0},
      {FileTimeOf(2107, 12, 31, 23, 59, 58), DosDate(2107, 12, 31), DosTime(23, 59, 58)},
      // Years outside 1980..2107 wrap modulo 128.
      {FileTimeOf(2108, 1, 1), static_cast<std::uint16_t>(0 << 9 | 1 << 5 | 1), 0},
      {FileTimeOf(1979, 12, 31, 23, 59, 58), static_cast<std::uint16_t>(127 << 9 | 12 << 5 | 31),
       DosTime(23, 59, 58)},
      {FileTimeOf(1601, 1, 1), static_cast<std::uint16_t>(5 << 9 | 1 << 5 | 1), 0},
  };
  for (const ToDosCase& c : cases) {
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    ASSERT_TRUE(FileTimeToDosTime(c.local, &date, &time)) << c.local;
    EXPECT_EQ(date, c.date) << c.local;
    EXPECT_EQ(time, c.time) << c.local;
  }
}

TEST(FileTimeToDosTime, BeyondTheCalendarFails) {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  EXPECT_FALSE(FileTimeToDosTime(0x7FFFFFFFFFFFFFFFULL, &date, &time));
  EXPECT_FALSE(FileTimeToDosTime(UINT64_MAX, &date, &time));
  EXPECT_TRUE(FileTimeToDosTime(0x7FFFFFFFFFFFFFFFULL - kFileTimePerSecond, &date, &time));
}

TEST(FileTimeToDosTime, EvenSecondsRoundTrip) {
  for (std::int64_t s = UnixSeconds(1980, 1, 1); s < UnixSeconds(2107, 12, 31);
       s += 86400LL * 37 + 3602 * 7 + 2) {
    const plat::FileTime ft = static_cast<std::uint64_t>(s + 11644473600LL) * kFileTimePerSecond;
    std::uint16_t date = 0;
    std::uint16_t time = 0;
    ASSERT_TRUE(FileTimeToDosTime(ft, &date, &time));
    plat::FileTime back = 0;
    ASSERT_TRUE(DosTimeToFileTime(date, time, &back));
    ASSERT_EQ(back, ft);
  }
}

TEST(UnixTime, ReadingIsSigned) {
  EXPECT_EQ(UnixTimeToFileTime(0), kFileTimeUnixEpoch);
  EXPECT_EQ(UnixTimeToFileTime(0xFFFFFFFF), FileTimeOf(1969, 12, 31, 23, 59, 59));
  EXPECT_EQ(UnixTimeToFileTime(0x7FFFFFFF), FileTimeOf(2038, 1, 19, 3, 14, 7));
  EXPECT_EQ(UnixTimeToFileTime(0x80000000), FileTimeOf(1901, 12, 13, 20, 45, 52));
}

struct UnixCase {
  plat::FileTime fileTime;
  std::uint32_t unixTime;
  bool inRange;
};

TEST(UnixTime, WritingEdges) {
  const UnixCase cases[] = {
      {kFileTimeUnixEpoch, 0, true},
      {kFileTimeUnixEpoch - 1, 0, false},
      {FileTimeOf(1960, 1, 1), 0, false},
      {0, 0, false},
      {kFileTimeUnixEpoch + 19000000, 1, true},  // the fraction is dropped
      {FileTimeOf(2038, 1, 19, 3, 14, 7), 0x7FFFFFFF, true},
      {FileTimeOf(2038, 1, 19, 3, 14, 8), 0x80000000, true},
      {FileTimeOf(2106, 2, 7, 6, 28, 15), 0xFFFFFFFF, true},
      {FileTimeOf(2106, 2, 7, 6, 28, 15, 1), 0xFFFFFFFF, false},
      {FileTimeOf(2200, 1, 1), 0xFFFFFFFF, false},
      {UINT64_MAX, 0xFFFFFFFF, false},
  };
  for (const UnixCase& c : cases) {
    std::uint32_t out = 7;
    EXPECT_EQ(FileTimeToUnixTime(c.fileTime, &out), c.inRange) << c.fileTime;
    EXPECT_EQ(out, c.unixTime) << c.fileTime;
  }
}

TEST(LocalTime, FollowsTheZone) {
  const plat::FileTime t = FileTimeOf(2024, 7, 1, 12, 0, 0);
  const std::uint64_t hour = 3600 * kFileTimePerSecond;
  {
    ScopedTimeZone zone("JST-9");
    EXPECT_EQ(UtcToLocal(t), t + 9 * hour);
    EXPECT_EQ(LocalToUtc(t), t - 9 * hour);
    EXPECT_EQ(LocalToUtc(0), 0u);  // stays inside the FILETIME range
  }
  {
    ScopedTimeZone zone("EST5");
    EXPECT_EQ(UtcToLocal(t), t - 5 * hour);
    EXPECT_EQ(LocalToUtc(t), t + 5 * hour);
    EXPECT_EQ(UtcToLocal(0), 0u);
    EXPECT_EQ(LocalToUtc(UINT64_MAX), UINT64_MAX);
  }
  {
    ScopedTimeZone zone("UTC0");
    EXPECT_EQ(UtcToLocal(t), t);
    EXPECT_EQ(LocalToUtc(t), t);
  }
}

}  // namespace
