// CUnlha::Open and CUnlha::ReadHeader on hand-built archives: statuses,
// member fields, self-extracting files and archives that cannot be opened.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ops/unlha.h"
#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Ext;
using lzhtest::Fields;
using lzhtest::Le16;
using lzhtest::Le32;
using lzhtest::Le64;
using lzhtest::Level0;
using lzhtest::Level1;
using lzhtest::Level2;

struct Opened {
  bool ok = false;
  int status = -1;
  std::vector<ArchiveEntry> entries;
  std::uint64_t archiveStart = 0;
  bool fileOpen = false;
};

Opened OpenPath(const std::string& path, bool create = false) {
  CUnlha archive;
  Opened result;
  const StatusCode status = archive.Open(path.c_str(), create);
  result.ok = ::Opened(status);
  result.status = status;
  for (const ArchiveEntry& entry : archive.entries()) result.entries.push_back(entry);
  EXPECT_EQ(archive.entryCount(), static_cast<std::int32_t>(archive.entries().size()));
  // The members of a self-extracting archive start after its stub.
  result.archiveStart = result.entries.empty() ? 0 : result.entries[0].header_offset;
  // An archive that is open is held: nobody else opens it alone.
  const plat::FileHandle other = plat::OpenFile(path.c_str(), plat::Access::Read, plat::Share::None,
                                                plat::Disposition::OpenExisting);
  result.fileOpen =
      other == plat::kInvalidFile && plat::LastError() == plat::kErrorSharingViolation;
  plat::CloseFile(other);
  return result;
}

Opened OpenBytes(const std::string& bytes, const std::string& name = "a.lzh") {
  test::TempDir dir;
  test::WriteFile(dir / name, bytes);
  return OpenPath(dir / name);
}

std::string Member0(const std::string& path, const std::string& data) {
  Fields f;
  f.packed = f.original = static_cast<std::uint32_t>(data.size());
  return Level0(f, path) + data;
}

std::string Member1(const std::string& name, const std::string& data,
                    const std::vector<Ext>& exts = {{0x00, std::string(2, '\0')}}) {
  Fields f;
  f.packed = f.original = static_cast<std::uint32_t>(data.size());
  return Level1(f, name, exts) + data;
}

std::string Member2(const std::string& name, const std::string& data) {
  Fields f;
  f.packed = f.original = static_cast<std::uint32_t>(data.size());
  return Level2(f, {{0x01, name}, {0x00, std::string(2, '\0')}}) + data;
}

// A valid archive of three members, one of each level.
std::string ThreeMembers() {
  return Member0("a.txt", "hello") + Member1("b.txt", "level one") + Member2("c.txt", "xyz") +
         std::string(1, '\0');
}

std::string WithByte(std::string s, std::size_t at, char value) {
  s[at] = value;
  return s;
}

// Recomputes the checksum byte of a level-0/1 base header at the start.
std::string FixChecksum(std::string h) {
  const unsigned size = static_cast<unsigned char>(h[0]);
  h[1] = static_cast<char>(lzhtest::Sum8(h, 2, size));
  return h;
}

// UTF-16LE bytes, as the 0x44 and 0x45 extensions hold them.
std::string Utf16(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) bytes += Le16(unit);
  return bytes;
}

struct StatusCase {
  const char* what;
  std::string bytes;
  bool ok;
  int status;
  std::size_t members;
};

TEST(OpenArchive, StatusTable) {
  Fields f;
  const std::string m0 = Member0("a.txt", "hello");
  const std::string m1 = Member1("b.txt", "level one");
  const std::string m2 = Member2("c.txt", "xyz");
  const std::string end(1, '\0');
  std::string badChecksum = m0;
  badChecksum[1] = static_cast<char>(badChecksum[1] + 1);
  std::string badCrc = m2;
  badCrc[badCrc.size() - 3 - 4] ^= 0x01;  // a payload byte of the CRC extension
  const std::string zeroCrc = Level2(f, {{0x01, "z"}, {0x00, std::string(2, '\0')}}, false);
  std::string wrongButZero = zeroCrc;
  wrongButZero[4] ^= 0x40;  // changes the header; a stored 0 is never checked
  std::string unknownLevel = m2;
  unknownLevel[20] = 3;
  std::string ext1 = Level2(f, {});
  ext1.replace(24, 2, Le16(1));
  ext1 += '\x01';
  std::string ext2 = Level2(f, {});
  ext2.replace(24, 2, Le16(2));
  ext2 += std::string("\x01\x00", 2);
  std::string level1Short0 = FixChecksum(WithByte(Level0(f, "x"), 20, 1));
  std::string level1Short2 = FixChecksum(WithByte(Level0(f, "x", std::string("M\0", 2)), 20, 1));
  std::string level1Min = FixChecksum(WithByte(Level0(f, "x", std::string("M\0\0", 3)), 20, 1));
  std::string underflow = Level1(f, "u", {{0x00, std::string(2, '\0')}});
  underflow.replace(7, 4, Le32(4));  // less than the 5-byte extension
  underflow = FixChecksum(underflow);
  std::string tooSmallSize = Level0(f, "name");
  tooSmallSize[0] = 10;
  tooSmallSize = FixChecksum(tooSmallSize);
  // Type 0x42: 64-bit packed size, then original size.
  auto sizes = [&f](const std::string& payload) { return Level2(f, {{0x42, payload}}); };
  const std::uint64_t kTop = INT64_MAX;

  const StatusCase cases[] = {
      {"empty file", "", true, 16, 0},
      {"only an end mark", end, true, 0, 0},
      {"three members", ThreeMembers(), true, 0, 3},
      {"no end mark", m0 + m1 + m2, true, 16, 3},
      {"bytes after the end mark are ignored", m0 + end + "garbage", true, 0, 1},
      {"checksum error", badChecksum + end, true, 17, 1},
      {"checksum error, then no end mark", badChecksum + m1, true, 16, 2},
      {"header CRC error", m0 + badCrc + end, true, 17, 2},
      {"stored CRC 0 is not checked", wrongButZero + end, true, 0, 1},
      {"bad third header", m0 + m1 + "\x10\x20short", false, 8, 0},
      {"third header cut in its extensions", m0 + m1 + m2.substr(0, 30), false, 8, 0},
      {"unknown level", m0 + unknownLevel + end, false, 18, 0},
      {"extension of size 1", ext1 + end, false, 8, 0},
      {"extension of size 2", ext2 + end, false, 8, 0},
      {"level-1 base without OS id", level1Short0 + end, false, 8, 0},
      {"level-1 base with 2 bytes after the CRC", level1Short2 + end, false, 8, 0},
      {"level-1 base with 3 bytes after the CRC", level1Min + end, true, 0, 1},
      {"level-1 packed size below its extensions", underflow + end, false, 8, 0},
      {"size byte too small for the name", tooSmallSize + end, false, 8, 0},
      {"level 0 name length 234", WithByte(Level0(f, std::string(234, 'n')), 0, '\xFF') + end,
       false, 8, 0},
      {"level 0 name length 233", Level0(f, std::string(233, 'n')) + end, true, 0, 1},
      {"level 1 name length 231", WithByte(Level1(f, std::string(231, 'n'), {}), 0, '\xFF') + end,
       false, 8, 0},
      {"level 1 name length 230", Level1(f, std::string(230, 'n'), {}) + end, true, 0, 1},
      {"name extension of 260 bytes", Level2(f, {{0x01, std::string(260, 'n')}}) + end, false, 8,
       0},
      {"name extension of 259 bytes", Level2(f, {{0x01, std::string(259, 'n')}}) + end, true, 0, 1},
      {"directory extension of 260 bytes",
       Level2(f, {{0x02, std::string(259, 'd') + "\xFF"}}) + end, false, 8, 0},
      {"directory and name of 260 bytes",
       Level2(f, {{0x02, std::string(199, 'd') + "\xFF"}, {0x01, std::string(60, 'n')}}) + end,
       false, 8, 0},
      {"directory and name of 259 bytes",
       Level2(f, {{0x02, std::string(199, 'd') + "\xFF"}, {0x01, std::string(59, 'n')}}) + end,
       true, 0, 1},
      {"directory not ending in 0xFF", Level2(f, {{0x01, "n"}, {0x02, "dir"}}) + end, false, 8, 0},
      {"directory ending in a trail byte 0x5C", Level2(f, {{0x02, "\x95\x5C"}}) + end, false, 8, 0},
      {"Unix mode of 1 byte", Level2(f, {{0x01, "n"}, {0x50, "\xED"}}) + end, false, 8, 0},
      {"Unix owner of 3 bytes", Level2(f, {{0x01, "n"}, {0x51, "abc"}}) + end, false, 8, 0},
      {"Unix time of 3 bytes", Level1(f, "n", {{0x54, "abc"}}) + end, false, 8, 0},
      {"Windows times of 23 bytes", Level1(f, "n", {{0x41, std::string(23, 'w')}}) + end, false, 8,
       0},
      {"member data past the end of the file", Member0("a", "12345").substr(0, 30), true, 16, 1},
      {"UTF-16 name of odd size", Level2(f, {{0x44, "a"}}) + end, false, 8, 0},
      {"UTF-16 directory of odd size", Level2(f, {{0x01, "n"}, {0x45, "abc"}}) + end, false, 8, 0},
      {"UTF-16 name with a lone surrogate", Level2(f, {{0x44, Utf16(u"a\xD800")}}) + end, false, 8,
       0},
      {"UTF-16 name holding U+0000", Level2(f, {{0x44, Utf16(std::u16string(u"a\0b", 3))}}) + end,
       false, 8, 0},
      {"UTF-16 name beyond the path buffer",
       Level2(f, {{0x44, Utf16(std::u16string(100, u'한'))}}) + end, false, 8, 0},
      {"64-bit sizes", sizes(Le64(0x100000004) + Le64(0x100000005)) + end, true, 16, 1},
      {"64-bit sizes of 15 bytes", sizes(std::string(15, '\0')) + end, false, 8, 0},
      {"64-bit sizes of 17 bytes", sizes(std::string(17, '\0')) + end, false, 8, 0},
      {"64-bit packed size over 2^63 - 1", sizes(Le64(kTop + 1) + Le64(5)) + end, false, 8, 0},
      {"64-bit original size over 2^63 - 1", sizes(Le64(4) + Le64(kTop + 1)) + end, false, 8, 0},
      {"64-bit packed size ending past 2^63 - 1", sizes(Le64(kTop) + Le64(5)) + end, false, 8, 0},
  };
  for (const StatusCase& c : cases) {
    const Opened r = OpenBytes(c.bytes);
    EXPECT_EQ(r.ok, c.ok) << c.what;
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.entries.size(), c.members) << c.what;
    EXPECT_EQ(r.fileOpen, c.ok) << c.what;
  }
}

TEST(OpenArchive, MemberFieldsAndOffsets) {
  const std::string m0 = Member0("a.txt", "hello");
  const std::string m1 = Member1("b.txt", "level one");
  const std::string m2 = Member2("c.txt", "xyz");
  const Opened r = OpenBytes(m0 + m1 + m2 + std::string(1, '\0'));
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.entries.size(), 3u);
  const ArchiveEntry& e0 = r.entries[0];
  EXPECT_STREQ(e0.method, "-lh0-");
  EXPECT_EQ(e0.header_level, 0);
  EXPECT_EQ(e0.os_id, 0);
  EXPECT_EQ(e0.packed_size, 5u);
  EXPECT_EQ(e0.original_size, 5u);
  EXPECT_EQ(e0.attributes, 0x20u);
  EXPECT_EQ(e0.crc, 0x1234);
  EXPECT_STREQ(e0.name, "a.txt");
  EXPECT_STREQ(e0.directory, "");
  EXPECT_EQ(e0.header_offset, 0u);
  EXPECT_EQ(e0.data_offset, m0.size() - 5);
  const ArchiveEntry& e1 = r.entries[1];
  EXPECT_EQ(e1.header_level, 1);
  EXPECT_EQ(e1.os_id, 'M');
  EXPECT_EQ(e1.packed_size, 9u);  // the extension is not member data
  EXPECT_EQ(e1.header_offset, m0.size());
  EXPECT_EQ(e1.data_offset, m0.size() + m1.size() - 9);
  const ArchiveEntry& e2 = r.entries[2];
  EXPECT_EQ(e2.header_level, 2);
  EXPECT_STREQ(e2.name, "c.txt");
  EXPECT_EQ(e2.mtime, (1700000000ULL + 11644473600ULL) * 10000000ULL);
  EXPECT_EQ(e2.header_offset, m0.size() + m1.size());
  EXPECT_EQ(e2.data_offset, m0.size() + m1.size() + m2.size() - 3);
}

struct PathCase {
  const char* what;
  std::string header;
  const char* directory;
  const char* name;
  std::uint32_t attributes;
  // From the Unix and Windows extensions: -1 for no mode or owner (gid << 16
  // | uid), 0 for a time that is not checked.
  std::int32_t unixMode = -1;
  std::int64_t unixOwner = -1;
  std::uint64_t mtime = 0;
};

// A FILETIME of whole seconds since 1970.
std::uint64_t FileTime(std::uint32_t unixSeconds) {
  return (unixSeconds + 11644473600ULL) * 10000000ULL;
}

TEST(OpenArchive, PathsAndExtensions) {
  Fields f;
  const std::string crc(2, '\0');
  // 2009-02-13 23:31:30.1234567 UTC, between a creation and an access time.
  const std::uint64_t kWindowsWrite = FileTime(1234567890) + 1234567;
  const std::string windowsTimes = Le32(1) + Le32(0) + Le32(kWindowsWrite & 0xFFFFFFFF) +
                                   Le32(kWindowsWrite >> 32) + Le32(2) + Le32(0);
  const PathCase cases[] = {
      {"level-0 path",
       Level0(f,
              "a\xFF"
              "b\xFF"
              "c.txt"),
       "a\\b\\", "c.txt", 0x20},
      {"level-2 split across directory and name",
       Level2(f, {{0x02, "a\xFF"},
                  {0x01,
                   "b\xFF"
                   "c.txt"}}),
       "a\\b\\", "c.txt", 0x20},
      {"slash stays a slash", Level0(f, "a/b"), "", "a/b", 0x20},
      {"stored backslash separates", Level0(f, "a\\b"), "a\\", "b", 0x20},
      {"trail byte 0x5C", Level0(f, "\x95\x5C\xFF\x95\x5C"), "\x95\x5C\\", "\x95\x5C", 0x20},
      {"directory member",
       Level2(f, {{0x01, ""},
                  {0x02,
                   "a\xFF"
                   "b\xFF"}}),
       "a\\b\\", "", 0x20},
      {"last name extension wins", Level2(f, {{0x01, "first"}, {0x01, "second"}}), "", "second",
       0x20},
      {"name stops at NUL", Level2(f, {{0x01, std::string("ab\0cd", 5)}}), "", "ab", 0x20},
      {"attribute extension", Level2(f, {{0x01, "x"}, {0x40, "\x21\x01"}}), "", "x", 0x121},
      {"level-1 directory with base name", Level1(f, "y", {{0x02, "x\xFF"}, {0x00, crc}}), "x\\",
       "y", 0x20},
      {"level-1 attribute extension",
       Level1(f, "y", {{0x40, std::string("\x01\x00", 2)}, {0x00, crc}}), "", "y", 0x01},
      {"level-0 bytes after the CRC", Level0(f, "q", "extra"), "", "q", 0x20},
      // 0x44/0x45 give the exact name: in CP932 where it has a form, else as
      // wide characters; '/' separates as the 0xFFFF of 0x45 does.
      {"UTF-16 name over the CP932 one", Level2(f, {{0x01, "__.txt"}, {0x44, Utf16(u"表한.txt")}}),
       "",
       "\x95\x5C\xFF"
       "d55c\xFF.txt",
       0x20},
      {"UTF-16 directory, separator 0xFFFF",
       Level2(f, {{0x02, "_\xFF"},
                  {0x45, Utf16(u"é\xFFFF"
                               u"b")},
                  {0x01, "x"}}),
       "\xFF"
       "e9\xFF\\b\\",
       "x", 0x20},
      {"slash in a UTF-16 name separates", Level2(f, {{0x44, Utf16(u"a/b")}}), "a\\", "b", 0x20},
      {"Unix mode", Level2(f, {{0x01, "m"}, {0x50, Le16(0100755)}}), "", "m", 0x20, 0100755},
      {"Unix owner: group, then user",
       Level1(f, "o", {{0x51, Le16(100) + Le16(1000)}, {0x00, crc}}), "", "o", 0x20, -1,
       100 << 16 | 1000},
      {"level-1 Unix time beats the DOS time", Level1(f, "t", {{0x54, Le32(1234567890)}}), "", "t",
       0x20, -1, -1, FileTime(1234567890)},
      {"Windows time beats a Unix time after it",
       Level2(f, {{0x01, "w"}, {0x41, windowsTimes}, {0x54, Le32(1234567890)}}), "", "w", 0x20, -1,
       -1, kWindowsWrite},
      {"Windows time of 0 is none", Level2(f, {{0x01, "z"}, {0x41, std::string(24, '\0')}}), "",
       "z", 0x20, -1, -1, FileTime(f.unixTime)},
  };
  for (const PathCase& c : cases) {
    const Opened r = OpenBytes(c.header + std::string(1, '\0'));
    ASSERT_TRUE(r.ok) << c.what;
    EXPECT_EQ(r.status, 0) << c.what;
    ASSERT_EQ(r.entries.size(), 1u) << c.what;
    EXPECT_STREQ(r.entries[0].directory, c.directory) << c.what;
    EXPECT_STREQ(r.entries[0].name, c.name) << c.what;
    EXPECT_EQ(r.entries[0].attributes, c.attributes) << c.what;
    const ArchiveEntry& e = r.entries[0];
    EXPECT_EQ(e.has_unix_mode ? e.unix_mode : -1, c.unixMode) << c.what;
    EXPECT_EQ(e.has_unix_owner ? std::int64_t{e.unix_gid} << 16 | e.unix_uid : -1, c.unixOwner)
        << c.what;
    if (c.mtime != 0) {
      EXPECT_EQ(e.mtime, c.mtime) << c.what;
    }
  }
}

TEST(OpenArchive, UnknownExtensionsAreSkippedButCounted) {
  Fields f;
  f.packed = f.original = 4;
  const std::vector<Ext> exts = {
      {0x7F, "seven"}, {0x81, std::string(300, 'x')}, {0x00, std::string(2, '\0')}};
  const std::string h1 = Level1(f, "one", exts);
  const std::string h2 = Level2(f, {{0x01, "two"}, exts[0], exts[1], exts[2]});
  const Opened r = OpenBytes(h1 + "DATA" + h2 + "DATA" + std::string(1, '\0'));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.status, 0);  // the header CRCs include the skipped extensions
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].packed_size, 4u);
  EXPECT_EQ(r.entries[0].data_offset, h1.size());
  EXPECT_STREQ(r.entries[1].name, "two");
  EXPECT_EQ(r.entries[1].header_offset, h1.size() + 4);
}

// The 64-bit sizes replace the base fields; at level 1 the packed size is
// the data alone, while the base field still counts the extensions.
TEST(OpenArchive, SizeExtensionReplacesBaseSizes) {
  Fields f;
  f.packed = 4;
  f.original = 0xFFFFFFFF;
  const std::string sizes = Le64(4) + Le64(0x100000005);
  const std::string crc(2, '\0');
  const std::string members[] = {Level1(f, "one", {{0x42, sizes}, {0x00, crc}}),
                                 Level2(f, {{0x01, "two"}, {0x42, sizes}, {0x00, crc}})};
  for (const std::string& member : members) {
    const Opened r = OpenBytes(member + "DATA" + Member2("next", "") + std::string(1, '\0'));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.entries.size(), 2u);
    EXPECT_EQ(r.entries[0].packed_size, 4u);
    EXPECT_EQ(r.entries[0].original_size, 0x100000005u);
    EXPECT_EQ(r.entries[0].data_offset, member.size());
    EXPECT_STREQ(r.entries[1].name, "next");
    EXPECT_EQ(r.entries[1].original_size, 0u);
  }
}

TEST(OpenArchive, Level2TotalSizeBeyondExtensions) {
  Fields f;
  f.packed = f.original = 4;
  // Three bytes more than the extensions announce, as a pad would be.
  const std::string h =
      Level2(f, {{0x01, "p"}, {0x00, std::string(2, '\0')}}, true, std::string(3, '\0'));
  const Opened r = OpenBytes(h + "DATA" + Member2("next", "") + std::string(1, '\0'));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].data_offset, h.size());
  EXPECT_STREQ(r.entries[1].name, "next");
}

TEST(OpenArchive, InvalidDosDateStillOpens) {
  Fields f;
  f.dosDate = 0;
  f.dosTime = 0;
  const Opened r = OpenBytes(Level0(f, "z") + std::string(1, '\0'));
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].mtime, 0u);
}

TEST(OpenArchive, ManyMembers) {
  std::string bytes;
  const int count = 3000;
  for (int i = 0; i < count; ++i) bytes += Member2("m" + std::to_string(i), "d");
  bytes += '\0';
  const Opened r = OpenBytes(bytes);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.entries.size(), static_cast<std::size_t>(count));
  EXPECT_STREQ(r.entries[count - 1].name, ("m" + std::to_string(count - 1)).c_str());
}

TEST(OpenArchive, LargeMembersAndExtensions) {
  // Member data and extended headers larger than any read buffer.
  Fields f;
  const std::string big = test::RandomBytes(20000, 5);
  f.packed = f.original = static_cast<std::uint32_t>(big.size());
  const std::string h1 =
      Level1(f, "one", {{0x55, std::string(65000, 'u')}, {0x00, std::string(2, '\0')}});
  const std::string h2 =
      Level2(f, {{0x01, "two"}, {0x66, std::string(30000, 'v')}, {0x00, std::string(2, '\0')}});
  const std::string bytes = h1 + big + h2 + big + Member2("three", "3") + std::string(1, '\0');
  const Opened r = OpenBytes(bytes);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].packed_size, big.size());
  EXPECT_EQ(r.entries[0].data_offset, h1.size());
  EXPECT_EQ(r.entries[1].header_offset, h1.size() + big.size());
  EXPECT_EQ(r.entries[1].data_offset, h1.size() + big.size() + h2.size());
  EXPECT_STREQ(r.entries[2].name, "three");
}

TEST(OpenArchive, MissingArchive) {
  test::TempDir dir;
  Opened r = OpenPath(dir / "absent.lzh");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 2);
  r = OpenPath(dir / "absent.lzh", true);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.entries.empty());
  EXPECT_FALSE(r.fileOpen);
  r = OpenPath(dir / "no-such-dir/absent.lzh", true);
  EXPECT_TRUE(r.ok);
  r = OpenPath(dir / "absent.exe", true);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 1);
  r = OpenPath(dir / "absent.EXE", true);
  EXPECT_EQ(r.status, 1);
}

TEST(OpenArchive, CreateOnAnExistingArchiveReadsIt) {
  test::TempDir dir;
  test::WriteFile(dir / "a.lzh", ThreeMembers());
  const Opened r = OpenPath(dir / "a.lzh", true);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.entries.size(), 3u);
}

TEST(OpenArchive, ArchiveHeldByAnotherRunIsNotNew) {
  test::TempDir dir;
  const std::string path = dir / "held.lzh";
  test::WriteFile(path, ThreeMembers());
  plat::FileHandle holder = plat::OpenFile(path.c_str(), plat::Access::Read, plat::Share::None,
                                           plat::Disposition::OpenExisting);
  ASSERT_NE(holder, plat::kInvalidFile);
  for (bool create : {false, true}) {
    const Opened r = OpenPath(path, create);
    EXPECT_FALSE(r.ok) << create;
    EXPECT_EQ(r.status, 2) << create;
    EXPECT_TRUE(r.entries.empty());
  }
  plat::CloseFile(holder);
  EXPECT_TRUE(OpenPath(path, true).ok);
}

TEST(OpenArchive, PathTooLongForThePathBuffer) {
  const Opened r = OpenPath("/tmp/" + std::string(300, 'x') + ".lzh", true);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.status, 2);
}

// ---- self-extracting archives ------------------------------------------------

std::string Stub(std::size_t length) {
  std::string stub = "MZ";
  while (stub.size() < length) stub += static_cast<char>('A' + stub.size() % 23);
  return stub.substr(0, length);
}

struct SfxCase {
  const char* what;
  std::string fileName;
  std::string bytes;
  bool ok;
  int status;
  std::uint64_t archiveStart;
};

TEST(OpenArchive, SelfExtracting) {
  const std::string archive = ThreeMembers();
  const SfxCase cases[] = {
      {"stub then archive", "x.exe", Stub(5000) + archive, true, 0, 5000},
      {"upper-case extension", "X.EXE", Stub(5000) + archive, true, 0, 5000},
      {"mixed-case extension", "X.ExE", Stub(5000) + archive, true, 0, 5000},
      {"ordinary archive named .exe", "plain.exe", archive, false, 3, 0},
      {"ordinary archive named .EXE", "plain.EXE", archive, false, 3, 0},
      {"header after 256 KiB", "late.exe", Stub(0x40000) + archive, false, 3, 0},
      {"empty .exe", "empty.exe", "", false, 3, 0},
      {"stub only", "stub.exe", Stub(7000), false, 3, 0},
      {"level-2 first member near the window end", "edge.exe",
       Stub(0x40000 - 26) + Member2("e", "") + std::string(1, '\0'), true, 0, 0x40000 - 26},
      {"level-2 first member one byte too late", "late2.exe",
       Stub(0x40000 - 25) + Member2("e", "") + std::string(1, '\0'), false, 3, 0},
      {"the method string at the very end", "tail.exe", Stub(3000) + "-lh5-", false, 3, 0},
      {"extension is only .exe at the end", "a.exe.lzh", archive, true, 0, 0},
  };
  for (const SfxCase& c : cases) {
    const Opened r = OpenBytes(c.bytes, c.fileName);
    EXPECT_EQ(r.ok, c.ok) << c.what;
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.archiveStart, c.archiveStart) << c.what;
    if (c.ok && c.archiveStart == 5000) {
      ASSERT_EQ(r.entries.size(), 3u) << c.what;
      EXPECT_EQ(r.entries[0].header_offset, 5000u);
      EXPECT_STREQ(r.entries[0].name, "a.txt");
      EXPECT_STREQ(r.entries[2].name, "c.txt");
    }
  }
}

// FindEmbeddedArchive on a window smaller than the file.
struct ScanCase {
  const char* what;
  std::string bytes;
  std::uint32_t window;
  bool found;
  std::uint64_t offset;
};

TEST(FindEmbeddedArchive, Candidates) {
  const std::string level2 = Member2("e", "");
  Fields f;
  const std::string level0 = Level0(f, "zz");  // S = 24, the method at header offset 2
  std::string notSpace = level2;
  notSpace[19] = 0x21;
  std::string noExtension = level2;
  noExtension.replace(24, 2, Le16(0));
  std::string level3 = level2;
  level3[20] = 3;
  std::string badSum = level0;
  badSum[1] ^= 1;
  std::string fake =
      "-lh5-" + std::string(12, 'f') + "\x20\x02" + "fff" + std::string("\x05\x00", 2);
  const ScanCase cases[] = {
      {"level 2 whose size field is the window's last byte", Stub(100) + level2, 126, true, 100},
      {"level 2 one byte short of the window", Stub(100) + level2, 125, false, 0},
      {"level 0 whose checksummed bytes fill the window", Stub(100) + level0, 102 + 24, true, 100},
      {"level 0 checksummed bytes past the window", Stub(100) + level0, 102 + 23, false, 0},
      {"offset 19 not 0x20", Stub(100) + notSpace, 300, false, 0},
      {"first extension size 0", Stub(100) + noExtension, 300, false, 0},
      {"level 3", Stub(100) + level3, 300, false, 0},
      {"wrong checksum", Stub(100) + badSum, 300, false, 0},
      {"the first candidate wins", Stub(50) + fake + Stub(50) + level2, 150, true, 48},
      {"window larger than the file", Stub(100) + level2, 100000, false, 0},
  };
  test::TempDir dir;
  for (const ScanCase& c : cases) {
    test::WriteFile(dir / "s.exe", c.bytes);
    plat::FileHandle file = plat::OpenFile((dir / "s.exe").c_str(), plat::Access::Read,
                                           plat::Share::None, plat::Disposition::OpenExisting);
    ASSERT_NE(file, plat::kInvalidFile);
    CUnlha archive;
    EXPECT_EQ(archive.FindEmbeddedArchive(file, c.window), c.found) << c.what;
    if (c.found) {
      EXPECT_EQ(plat::SeekFile(file, 0, plat::SeekOrigin::Current), c.offset) << c.what;
    }
    plat::CloseFile(file);
  }
}

}  // namespace
