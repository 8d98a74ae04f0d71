// WriteHeader: byte-exact headers, the writer's limits, and round trips
// through ReadHeaderFrom at every level.
#include "archive/header_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "archive/header_names.h"
#include "archive/header_reader.h"
#include "archive/timestamp.h"
#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Le16;
using lzhtest::Le32;

class HeaderWriterTest : public ::testing::Test {
 protected:
  // Writes the header (after `prefix` bytes) and returns the header bytes.
  std::string Write(const ArchiveEntry& entry, std::uint32_t* length = nullptr) {
    const std::string path = dir_ / "h.bin";
    test::WriteFile(path, prefix_);
    plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::ReadWrite, plat::Share::None,
                                           plat::Disposition::OpenExisting);
    EXPECT_NE(file, plat::kInvalidFile);
    plat::SeekFile(file, 0, plat::SeekOrigin::End);
    const std::uint32_t measured = WriteHeader(file, entry, true);
    const std::uint32_t written = WriteHeader(file, entry, false);
    plat::CloseFile(file);
    EXPECT_EQ(measured, written);
    if (length) *length = written;
    return test::ReadFile(path).substr(prefix_.size());
  }

  // Reads one header placed after `prefix` bytes and followed by some data.
  bool Read(const std::string& header, ArchiveEntry& entry) {
    const std::string path = dir_ / "r.bin";
    test::WriteFile(path, prefix_ + header + "DATA");
    plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Read, plat::Share::None,
                                           plat::Disposition::OpenExisting);
    EXPECT_NE(file, plat::kInvalidFile);
    plat::SeekFile(file, static_cast<std::int64_t>(prefix_.size()), plat::SeekOrigin::Begin);
    ArchiveInput in(file, prefix_.size());
    const HeaderRead read = ReadHeaderFrom(in, entry);
    readStatus_ = read.status;
    if (read.member) {
      EXPECT_EQ(in.Position(), entry.data_offset);
    }
    plat::CloseFile(file);
    return read.member;
  }

  static ArchiveEntry MakeEntry(int level, const std::string& directory, const std::string& name,
                                std::uint32_t attributes) {
    ArchiveEntry e;
    std::memset(&e, 0, sizeof e);
    std::memcpy(e.method, name.empty() ? "-lhd-" : "-lh5-", 6);
    e.os_id = 'M';
    e.packed_size = name.empty() ? 0 : 1000;
    e.original_size = name.empty() ? 0 : 4321;
    // 2024-03-05 06:07:08 UTC
    e.mtime = (1709618828ULL + 11644473600ULL) * kFileTimePerSecond;
    e.attributes = attributes;
    std::strcpy(e.directory, directory.c_str());
    std::strcpy(e.name, name.c_str());
    e.crc = 0xBEEF;
    e.header_level = level;
    return e;
  }

  test::TempDir dir_;
  std::string prefix_ = "PREFIX!";
  StatusCode readStatus_ = kStatusOk;   // of the last Read
  test::ScopedTimeZone zone_{"JST-9"};  // exercise the local-time conversion of levels 0 and 1
};

// Characters CP932 cannot hold: U+D55C and U+1F600 (a surrogate pair).
const std::string kWideName =
    "\xFF"
    "1f600\xFF.txt";
const std::string kWideDirectory =
    "a\xFF"
    "d55c\xFF\\";

// The classic fields get the '_' form, 0x44/0x45 the exact name in UTF-16.
TEST_F(HeaderWriterTest, WideNamesGoToUtf16Extensions) {
  const std::string h = Write(MakeEntry(2, kWideDirectory, kWideName, 0x20));
  EXPECT_NE(h.find(std::string("\x01_.txt", 6)), std::string::npos);
  EXPECT_NE(h.find(std::string("\x02"
                               "a_\xFF",
                               4)),
            std::string::npos);
  EXPECT_NE(h.find(std::string("\x44\x3D\xD8\x00\xDE.\0t\0x\0t\0", 13)), std::string::npos);
  EXPECT_NE(h.find(std::string("\x45"
                               "a\0\x5C\xD5\xFF\xFF",
                               7)),
            std::string::npos);
  // Names CP932 can hold write no such extension, as before.
  EXPECT_EQ(Write(MakeEntry(2, "a\\", "b", 0x20)).find('\x44'), std::string::npos);
}

struct RoundTripCase {
  std::string directory;
  std::string name;
  std::uint32_t attributes;
  std::uint16_t unixMode = 0;  // 0: none; a mode goes into a 0x50 extension above level 0
};

TEST_F(HeaderWriterTest, RoundTripsAtEveryLevel) {
  const std::string dbcsName = "\x95\x5C.txt";     // a trail byte 0x5C
  const std::string dbcsDirectory = "\x83\x5C\\";  // the same, then a separator
  const RoundTripCase cases[] = {
      {"", "plain.txt", 0x20},
      {"", "readonly.txt", 0x21},
      {"", "", 0x10},        // empty name
      {"a\\b\\", "", 0x10},  // directory member
      {"dir\\", "file.bin", 0x20},
      {"", std::string(230, 'n'), 0x20},
      {"", std::string(231, 'n'), 0x20},
      {"", std::string(233, 'n'), 0x20},
      {"d\\", std::string(231, 'n'), 0x21},
      {"", dbcsName, 0x20},
      {dbcsDirectory, dbcsName, 0x20},
      {std::string(250, 'd') + "\\", "x", 0x20},
      {"", std::string(256, 'n'), 0x20},
      {kWideDirectory, kWideName, 0x20},  // level 2 only
      {"", "run.sh", 0x20, 0100755},
      {"bin\\", "tool", 0x21, 0100555},
  };
  for (int level = 0; level <= 2; ++level) {
    for (const RoundTripCase& c : cases) {
      // Level 0 keeps 233 bytes of path; longer ones are checked separately.
      if (level == 0 && c.directory.size() + c.name.size() > 233) continue;
      if (level != 2 && c.name == kWideName) continue;
      SCOPED_TRACE("level " + std::to_string(level) + " dir " + c.directory + " name " + c.name);
      ArchiveEntry in = MakeEntry(level, c.directory, c.name, c.attributes);
      in.has_unix_mode = c.unixMode != 0;
      in.unix_mode = c.unixMode;
      std::uint32_t length = 0;
      const std::string header = Write(in, &length);
      ASSERT_EQ(header.size(), length);
      ASSERT_GT(length, 0u);
      ArchiveEntry out;
      ASSERT_TRUE(Read(header, out));
      EXPECT_EQ(readStatus_, kStatusOk);
      EXPECT_STREQ(out.method, in.method);
      EXPECT_EQ(out.os_id, level == 0 ? 0 : 'M');
      EXPECT_EQ(out.packed_size, in.packed_size);
      EXPECT_EQ(out.original_size, in.original_size);
      EXPECT_EQ(out.mtime, in.mtime);
      EXPECT_EQ(out.attributes, in.attributes);
      EXPECT_EQ(out.has_unix_mode, level != 0 && in.has_unix_mode);
      EXPECT_EQ(out.unix_mode, level != 0 ? in.unix_mode : 0);
      EXPECT_STREQ(out.name, in.name);
      EXPECT_STREQ(out.directory, in.directory);
      EXPECT_EQ(out.crc, in.crc);
      EXPECT_EQ(out.header_level, level);
      EXPECT_EQ(out.header_offset, prefix_.size());
      EXPECT_EQ(out.data_offset, prefix_.size() + length);
    }
  }
}

TEST_F(HeaderWriterTest, Level2DirectoryMemberBytes) {
  const ArchiveEntry e = MakeEntry(2, "a\\b\\", "", 0x10);
  const std::string h = Write(e);
  std::string expected = Le16(46) + "-lhd-" + Le32(0) + Le32(0) + Le32(1709618828) + "\x20\x02" +
                         Le16(0xBEEF) + "M" + Le16(3);
  expected += std::string("\x01", 1) + Le16(7);                  // name: empty
  expected += std::string("\x02\x61\xFF\x62\xFF", 5) + Le16(5);  // directory a\b\ .
  expected += std::string("\x40\x10\x00", 3) + Le16(5);          // attributes 0x10
  expected += std::string("\x00\x00\x00", 3) + Le16(0);          // header CRC
  ASSERT_EQ(h.size(), expected.size());
  const std::uint16_t crc = lzhtest::ReferenceCrc16(expected);
  expected.replace(42, 2, Le16(crc));
  EXPECT_EQ(h, expected);
}

TEST_F(HeaderWriterTest, AttributeExtensionOnlyWhenNotArchive) {
  for (int level = 1; level <= 2; ++level) {
    const std::string plain = Write(MakeEntry(level, "", "f", 0x20));
    const std::string readOnly = Write(MakeEntry(level, "", "f", 0x21));
    EXPECT_EQ(readOnly.size(), plain.size() + 5);
    EXPECT_EQ(plain.find(std::string("\x40", 1) + "\x21"), std::string::npos);
    // 0x40 extension: type, 0x0021, then the size of the CRC extension.
    EXPECT_NE(readOnly.find(std::string("\x40\x21\x00\x05\x00", 5)), std::string::npos);
  }
}

TEST_F(HeaderWriterTest, Level1LongNameGoesToExtension) {
  ArchiveEntry e = MakeEntry(1, "", std::string(231, 'n'), 0x20);
  e.packed_size = 100;
  const std::string h = Write(e);
  ASSERT_EQ(h.size(), 27u + 234 + 5);
  EXPECT_EQ(static_cast<unsigned char>(h[0]), 25);  // base header 27 bytes
  EXPECT_EQ(h[21], 0);                              // n = 0
  EXPECT_EQ(h.substr(25, 2), Le16(234));
  EXPECT_EQ(h[27], 0x01);
  EXPECT_EQ(h.substr(28, 231), std::string(231, 'n'));
  EXPECT_EQ(h.substr(259, 2), Le16(5));
  // The packed-size field counts the extended headers.
  EXPECT_EQ(h.substr(7, 4), Le32(100 + 234 + 5));
  EXPECT_EQ(static_cast<unsigned char>(h[1]), lzhtest::Sum8(h, 2, 25));
  std::string zeroed = h;
  zeroed.replace(262, 2, std::string(2, '\0'));
  EXPECT_EQ(h.substr(262, 2), Le16(lzhtest::ReferenceCrc16(zeroed)));
  ArchiveEntry out;
  ASSERT_TRUE(Read(h, out));
  EXPECT_EQ(out.packed_size, 100u);
  EXPECT_STREQ(out.name, e.name);
}

TEST_F(HeaderWriterTest, Level0LongPathKeepsFirst233Bytes) {
  std::string path;
  for (int i = 0; path.size() < 240; ++i) path += static_cast<char>('a' + i % 26);
  ArchiveEntry e = MakeEntry(0, path.substr(0, 9) + "\\", path.substr(10), 0x20);
  const std::string h = Write(e);
  ASSERT_EQ(h.size(), 24u + 233);
  EXPECT_EQ(static_cast<unsigned char>(h[0]), 22 + 233);
  EXPECT_EQ(static_cast<unsigned char>(h[21]), 233);
  EXPECT_EQ(h.substr(22, 233), path.substr(0, 9) + "\xFF" + path.substr(10, 223));
  EXPECT_EQ(static_cast<unsigned char>(h[1]), lzhtest::Sum8(h, 2, 255));
}

TEST_F(HeaderWriterTest, Level0CutKeepsDoubleByteCharactersWhole) {
  // 232 ASCII bytes, then a double-byte character: 233 bytes would split it.
  const std::string name = std::string(232, 'x') + "\x95\x5C";
  const std::string h = Write(MakeEntry(0, "", name, 0x20));
  EXPECT_EQ(static_cast<unsigned char>(h[21]), 232);
  EXPECT_EQ(h.size(), 24u + 232);
}

TEST_F(HeaderWriterTest, TrailByte5CIsNoSeparator) {
  const std::string h = Write(MakeEntry(2, "\x83\x5C\\", "\x95\x5C", 0x20));
  EXPECT_NE(h.find(std::string("\x01\x95\x5C", 3)), std::string::npos);
  EXPECT_NE(h.find(std::string("\x02\x83\x5C\xFF", 4)), std::string::npos);
  const std::string h0 = Write(MakeEntry(0, "\x83\x5C\\", "\x95\x5C", 0x20));
  EXPECT_EQ(h0.substr(21, 6), std::string("\x05\x83\x5C\xFF\x95\x5C", 6));
}

TEST_F(HeaderWriterTest, Level2PadByteWhenLengthIsMultipleOf256) {
  // 26 + (222 + 3) + 5 = 256 bytes before the pad.
  const ArchiveEntry e = MakeEntry(2, "", std::string(222, 'p'), 0x20);
  std::uint32_t length = 0;
  const std::string h = Write(e, &length);
  ASSERT_EQ(length, 257u);
  EXPECT_EQ(h.substr(0, 2), Le16(0x0101));
  EXPECT_EQ(h.back(), '\0');
  std::string zeroed = h;
  zeroed.replace(252, 2, std::string(2, '\0'));
  EXPECT_EQ(h.substr(252, 2), Le16(lzhtest::ReferenceCrc16(zeroed)));
  ArchiveEntry out;
  ASSERT_TRUE(Read(h, out));
  EXPECT_EQ(readStatus_, kStatusOk);
  EXPECT_EQ(out.data_offset, prefix_.size() + 257);
  // One byte shorter or longer: no pad.
  EXPECT_EQ(Write(MakeEntry(2, "", std::string(221, 'p'), 0x20)).size(), 255u);
  EXPECT_EQ(Write(MakeEntry(2, "", std::string(223, 'p'), 0x20)).size(), 257u);
}

TEST_F(HeaderWriterTest, Level0And1Checksum) {
  for (int level = 0; level <= 1; ++level) {
    const std::string h = Write(MakeEntry(level, "d\\", "name.txt", 0x21));
    const unsigned size = static_cast<unsigned char>(h[0]);
    EXPECT_EQ(static_cast<unsigned char>(h[1]), lzhtest::Sum8(h, 2, size));
    EXPECT_EQ(h[20], level);
  }
}

TEST_F(HeaderWriterTest, DosTimeIsLocalAndRoundedUp) {
  // 2024-03-05 06:07:09 UTC is 15:07:09 in Japan, stored as 15:07:10.
  ArchiveEntry e = MakeEntry(1, "", "t", 0x20);
  e.mtime = (1709618829ULL + 11644473600ULL) * kFileTimePerSecond;
  const std::string h = Write(e);
  EXPECT_EQ(h.substr(15, 2), Le16(15 << 11 | 7 << 5 | 5));
  EXPECT_EQ(h.substr(17, 2), Le16((2024 - 1980) << 9 | 3 << 5 | 5));
}

TEST_F(HeaderWriterTest, Level2TimeOutsideRange) {
  ArchiveEntry e = MakeEntry(2, "", "t", 0x20);
  e.mtime = kFileTimeUnixEpoch - kFileTimePerSecond;
  EXPECT_EQ(Write(e).substr(15, 4), Le32(0));
  e.mtime = kFileTimeUnixEpoch + 0x100000000ULL * kFileTimePerSecond;
  EXPECT_EQ(Write(e).substr(15, 4), Le32(0xFFFFFFFF));
}

struct RefusalCase {
  int level;
  std::string directory;
  std::string name;
};

TEST_F(HeaderWriterTest, RefusesWhatCannotBeReadBack) {
  const RefusalCase cases[] = {
      {3, "", "x"},
      {-1, "", "x"},
      {2, "", std::string(257, 'n')},
      {2, std::string(256, 'd') + "\\", ""},
      {1, "", std::string(257, 'n')},
      {1, std::string(256, 'd') + "\\", "x"},
      {0, std::string(100, 'd') + "\\", std::string(159, 'n')},  // 260 bytes
      {2, std::string(100, 'd') + "\\", std::string(159, 'n')},
      {1, "", kWideName},  // only level 2 can carry such a name
      {0, kWideDirectory, "x"},
  };
  for (const RefusalCase& c : cases) {
    const ArchiveEntry e = MakeEntry(c.level, c.directory, c.name, 0x20);
    const std::string path = dir_ / "refused.bin";
    test::WriteFile(path, "");
    plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                           plat::Disposition::OpenExisting);
    EXPECT_EQ(WriteHeader(file, e, true), 0u) << c.level << " " << c.name.size();
    EXPECT_EQ(WriteHeader(file, e, false), 0u) << c.level << " " << c.name.size();
    plat::CloseFile(file);
    EXPECT_EQ(test::ReadFile(path), "");
  }
  // A name buffer without its terminator is never read past.
  for (int level = 0; level <= 2; ++level) {
    ArchiveEntry e = MakeEntry(level, "", "", 0x20);
    std::memset(e.name, 'n', sizeof e.name);
    EXPECT_EQ(WriteHeader(plat::kInvalidFile, e, true), 0u) << level;
  }
  // The largest accepted: 256 bytes in an extension, 259 bytes of path.
  EXPECT_EQ(Write(MakeEntry(2, std::string(255, 'd') + "\\", "abc", 0x20)).size(),
            26u + 6 + 259 + 5);
  EXPECT_EQ(Write(MakeEntry(0, std::string(99, 'd') + "\\", std::string(159, 'n'), 0x20)).size(),
            24u + 233);
}

TEST_F(HeaderWriterTest, Level1PackedSizeThatWouldOverflowIsRefused) {
  ArchiveEntry e = MakeEntry(1, "", "big", 0x20);
  e.packed_size = 0xFFFFFFFF - 4;
  const std::string path = dir_ / "big.bin";
  test::WriteFile(path, "");
  plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                         plat::Disposition::OpenExisting);
  EXPECT_EQ(WriteHeader(file, e, true), 30u + 5);
  EXPECT_EQ(WriteHeader(file, e, false), 0u);
  e.packed_size = 0xFFFFFFFF - 5;
  EXPECT_EQ(WriteHeader(file, e, false), 35u);
  plat::CloseFile(file);
}

// Only sizes over 32 bits bring the 0x42 extension, and only level 2 has it.
TEST_F(HeaderWriterTest, SizesOver32BitsGoToTheSizeExtension) {
  ArchiveEntry e = MakeEntry(2, "", "big", 0x20);
  e.original_size = 0xFFFFFFFF;
  EXPECT_EQ(Write(e).size(), 26u + 6 + 5);
  e.original_size = 0x100000000;
  const std::string header = Write(e);
  ASSERT_EQ(header.size(), 26u + 6 + 19 + 5);
  EXPECT_EQ(header.substr(7, 8), Le32(1000) + Le32(0xFFFFFFFF));
  EXPECT_EQ(header.substr(32, 19),
            "\x42" + lzhtest::Le64(1000) + lzhtest::Le64(0x100000000) + Le16(5));
  ArchiveEntry out;
  ASSERT_TRUE(Read(header, out));
  EXPECT_EQ(readStatus_, kStatusOk);
  EXPECT_EQ(out.packed_size, 1000u);
  EXPECT_EQ(out.original_size, 0x100000000u);
  for (int level = 0; level <= 1; ++level) {
    e.header_level = level;
    EXPECT_EQ(WriteHeader(plat::kInvalidFile, e, true), 0u) << level;
  }
}

TEST_F(HeaderWriterTest, MeasureWritesNothing) {
  const std::string path = dir_ / "m.bin";
  test::WriteFile(path, "");
  plat::FileHandle file = plat::OpenFile(path.c_str(), plat::Access::Write, plat::Share::None,
                                         plat::Disposition::OpenExisting);
  EXPECT_EQ(WriteHeader(file, MakeEntry(2, "a\\", "b", 0x21), true), 26u + 4 + 5 + 5 + 5);
  plat::CloseFile(file);
  EXPECT_EQ(test::ReadFile(path), "");
}

TEST(HeaderNames, EncodeAndDecode) {
  char out[kPathSize];
  EXPECT_EQ(EncodeNameForHeader(out, sizeof out, "a\\b\\c"), 5u);
  EXPECT_EQ(std::string(out),
            "a\xFF"
            "b\xFF"
            "c");
  EXPECT_EQ(EncodeNameForHeader(out, sizeof out, "\x95\x5C\\x"), 4u);
  EXPECT_EQ(std::string(out), "\x95\x5C\xFFx");
  EXPECT_EQ(EncodeNameForHeader(out, 3, "ab\x95\x5C"), 2u);  // a character is never split

  char back[kPathSize];
  DecodeNameFromHeader(back,
                       "a\xFF"
                       "b/c\xFF",
                       6);
  EXPECT_STREQ(back, "a\\b/c\\");
  DecodeNameFromHeader(back, "ab\0cd", 5);
  EXPECT_STREQ(back, "ab");
  const std::string longName(300, 'z');
  DecodeNameFromHeader(back, longName.c_str(), longName.size());
  EXPECT_EQ(std::string(back), std::string(259, 'z'));
}

}  // namespace
