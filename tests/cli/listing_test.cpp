// The archive listing, byte for byte: header, rows of l and v, -n levels,
// ratios, times, attributes, the system byte and the totals.
#include "cli/listing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "archive/timestamp.h"
#include "cli/frontend.h"
#include "support/support.h"

namespace {

constexpr char kHeader[] =
    "File name        Original  Packed    Ratio  Date     Time     Attr CRC  Type  S\n"
    "---------------- --------- --------- ------ -------- -------- ---- ---- ----- -\n";
constexpr char kRule[] =
    "---------------- --------- --------- ------ -------- -------- ---- ---- ----- -\n";

using test::FileTimeOf;

ArchiveEntry MakeEntry(const std::string& directory, const std::string& name) {
  ArchiveEntry entry{};
  std::memcpy(entry.method, "-lh5-", 6);
  entry.os_id = 'M';
  entry.original_size = 1234;
  entry.packed_size = 567;
  entry.mtime = FileTimeOf(2009, 12, 1, 10, 0, 0);
  entry.attributes = 0x20;
  entry.crc = 0x1a2b;
  std::memcpy(entry.directory, directory.c_str(), directory.size() + 1);
  std::memcpy(entry.name, name.c_str(), name.size() + 1);
  return entry;
}

std::string Row(const ArchiveEntry& entry, int listWithDirs = 0, int quietLevel = 0) {
  std::string out;
  AppendListRow(out, entry, listWithDirs, quietLevel);
  return out;
}

constexpr char kDetails[] = "      1234       567  45.9% 09-12-01 10:00:00 a--- 1a2b -lh5- M\n";

TEST(ListingRow, ExampleRowIs79Characters) {
  std::string row = Row(MakeEntry("", "abc.txt"));
  EXPECT_EQ(row, std::string("abc.txt         ") + kDetails);
  EXPECT_EQ(row.size(), 80u);  // 79 characters and the line end
}

TEST(ListingRow, NameColumn) {
  struct Case {
    const char* directory;
    const char* name;
    const char* column;
  };
  const Case cases[] = {
      {"", "a", "a               "},
      {"dir\\", "a.txt", "+ a.txt         "},
      // 16 bytes or more are cut to 16.
      {"", "0123456789abcdef", "0123456789abcdef"},
      {"", "0123456789abcdefghij", "0123456789abcdef"},
      {"dir\\", "0123456789abcdefghij", "+ 0123456789abcd"},
      {"dir\\", "0123456789abcd", "+ 0123456789abcd"},
      // A double-byte character may be split by the cut.
      {"", "012345678901234\x83\x41", "012345678901234\x83"},
      {"dir\\sub\\", "", "+  <dir>        "},
      {"", "", "+  <dir>        "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Row(MakeEntry(c.directory, c.name)), std::string(c.column) + kDetails)
        << c.directory << c.name;
  }
}

TEST(ListingRow, Ratios) {
  struct Case {
    std::uint64_t original, packed;
    const char* text;
  };
  const Case cases[] = {
      {1234, 567, "  45.9%"},
      {100, 100, " 100.0%"},
      {0, 0, "   0.0%"},
      {0, 22, "   0.0%"},
      {1000, 1, "   0.1%"},
      {3, 2, "  66.7%"},
      {10, 150, " 1500.0%"},
      {1, 1000, " 100000.0%"},
      {4294967295u, 4294967295u, " 100.0%"},
      {2000, 1, "   0.1%"},
      {10000000000, 5000000000, "  50.0%"},  // a field widens
  };
  for (const Case& c : cases) {
    ArchiveEntry entry = MakeEntry("", "x");
    entry.original_size = c.original;
    entry.packed_size = c.packed;
    std::string row = Row(entry);
    std::string sizes(48, ' ');
    sizes.resize(static_cast<std::size_t>(std::snprintf(
        sizes.data(), sizes.size(), "%10llu%10llu", static_cast<unsigned long long>(c.original),
        static_cast<unsigned long long>(c.packed))));
    EXPECT_EQ(row.substr(16, sizes.size()), sizes);
    EXPECT_EQ(row.substr(16 + sizes.size(), std::strlen(c.text)), c.text)
        << c.original << " " << c.packed;
  }
}

TEST(ListingRow, StoredMemberShows100Percent) {
  ArchiveEntry entry = MakeEntry("", "data.bin");
  std::memcpy(entry.method, "-lh0-", 6);
  entry.original_size = entry.packed_size = 4096;
  EXPECT_EQ(Row(entry),
            "data.bin              4096      4096 100.0% 09-12-01 10:00:00 a--- 1a2b -lh0- M\n");
}

TEST(ListingRow, AttributesCrcMethodAndSystemByte) {
  struct Case {
    std::uint32_t attributes;
    const char* letters;
  };
  const Case cases[] = {
      {0x00, "----"}, {0x20, "a---"}, {0x02, "-h--"}, {0x01, "--r-"},
      {0x04, "---s"}, {0x27, "ahrs"}, {0x10, "----"}, {0xFFFFFFFF, "ahrs"},
  };
  for (const Case& c : cases) {
    ArchiveEntry entry = MakeEntry("", "x");
    entry.attributes = c.attributes;
    EXPECT_EQ(Row(entry).substr(61, 5), std::string(" ") + c.letters);
  }
  ArchiveEntry entry = MakeEntry("", "x");
  entry.crc = 0x00af;
  std::memcpy(entry.method, "-lzs-", 6);
  entry.os_id = 'U';
  EXPECT_EQ(Row(entry).substr(66), " 00af -lzs- U\n");
  // A zero system byte is written as a zero byte.
  entry.os_id = 0;
  EXPECT_EQ(Row(entry).substr(66), std::string(" 00af -lzs- \0\n", 14));
}

TEST(ListingRow, MemberTimeIsNotConverted) {
  // The member time is UTC and shown as such, whatever the zone.
  test::ScopedTimeZone zone("JST-9");
  ArchiveEntry entry = MakeEntry("", "x");
  entry.mtime = FileTimeOf(1999, 2, 28, 23, 59, 58);
  EXPECT_EQ(Row(entry).substr(43, 18), " 99-02-28 23:59:58");
  entry.mtime = FileTimeOf(2000, 2, 29, 0, 0, 1);
  EXPECT_EQ(Row(entry).substr(43, 18), " 00-02-29 00:00:01");
}

TEST(ListingRow, CalendarConversion) {
  struct Case {
    int year, month, day, hour, minute, second;
  };
  const Case cases[] = {
      {1970, 1, 1, 0, 0, 0},      {1980, 1, 1, 0, 0, 0}, {2009, 12, 1, 10, 0, 0},
      {2000, 2, 29, 12, 0, 0},    {2100, 3, 1, 0, 0, 0}, {2106, 2, 7, 6, 28, 15},
      {2107, 12, 31, 23, 59, 59}, {1601, 1, 1, 0, 0, 0}, {1900, 2, 28, 1, 2, 3},
  };
  for (const Case& c : cases) {
    CalendarTime t = FileTimeToCalendar(
        FileTimeOf(c.year, c.month, c.day, c.hour, c.minute, c.second) + 9999999);
    EXPECT_EQ(t.year, c.year);
    EXPECT_EQ(t.month, c.month);
    EXPECT_EQ(t.day, c.day);
    EXPECT_EQ(t.hour, c.hour);
    EXPECT_EQ(t.minute, c.minute);
    EXPECT_EQ(t.second, c.second);
  }
  CalendarTime zero = FileTimeToCalendar(0);
  EXPECT_EQ(zero.year, 1601);
  EXPECT_EQ(zero.month, 1);
  EXPECT_EQ(zero.day, 1);
}

TEST(ListingRow, QuietLevelsAndDirectoryLayout) {
  ArchiveEntry file = MakeEntry("dir\\", "a.txt");
  ArchiveEntry top = MakeEntry("", "b.txt");
  ArchiveEntry directory = MakeEntry("dir\\", "");
  // l -n / -n2: bare names, nothing for directory members.
  for (int quiet : {1, 2}) {
    EXPECT_EQ(Row(file, 0, quiet), "a.txt\n");
    EXPECT_EQ(Row(top, 0, quiet), "b.txt\n");
    EXPECT_EQ(Row(directory, 0, quiet), "");
  }
  // v -n / -n2: full paths, directory members included.
  for (int quiet : {1, 2}) {
    EXPECT_EQ(Row(file, 1, quiet), "dir\\a.txt\n");
    EXPECT_EQ(Row(top, 1, quiet), "b.txt\n");
    EXPECT_EQ(Row(directory, 1, quiet), "dir\\\n");
  }
  // v: the path on its own line, the details after 16 blanks.
  EXPECT_EQ(Row(file, 1, 0), std::string("dir\\a.txt\n                ") + kDetails);
  EXPECT_EQ(Row(directory, 1, 0), std::string("dir\\\n                ") + kDetails);
}

TEST(ListingTotals, Lines) {
  plat::FileTime time = FileTimeOf(2024, 7, 15, 8, 9, 10);
  struct Case {
    ListTotals totals;
    const char* line;
  };
  const Case cases[] = {
      {{0, 0, 0}, "        0 files          0         0        24-07-15 08:09:10\n"},
      {{1, 1234, 567}, "        1 file        1234       567  45.9% 24-07-15 08:09:10\n"},
      {{2, 0, 44}, "        2 files          0        44        24-07-15 08:09:10\n"},
      {{100000, 8000000000ULL, 4000000000ULL},
       "   100000 files 80000000004000000000  50.0% 24-07-15 08:09:10\n"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendListTotals(out, c.totals, time);
    EXPECT_EQ(out, std::string(kRule) + c.line);
  }
}

TEST(ListingHeader, TwoLines) {
  std::string out;
  AppendListHeader(out);
  EXPECT_EQ(out, kHeader);
}

}  // namespace
