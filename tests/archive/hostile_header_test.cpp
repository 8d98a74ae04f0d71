// Damaged archives: every truncation and every single-bit flip of the
// headers of a small archive must end in an opened directory or a status
// code, never in a crash, a hang or a member that breaks the entry's rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/messages.h"
#include "ops/unlha.h"
#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using lzhtest::Ext;
using lzhtest::Fields;

struct Sample {
  std::string bytes;
  std::string headerMask;  // 'h' where a byte belongs to a header or the end mark
};

void Append(Sample& s, const std::string& header, const std::string& data) {
  s.bytes += header + data;
  s.headerMask += std::string(header.size(), 'h') + std::string(data.size(), '.');
}

// Three members, levels 0, 1 and 2, with directories and attributes.
Sample ThreeLevels() {
  const std::string crc(2, '\0');
  Sample s;
  Fields f;
  f.packed = f.original = 5;
  Append(s,
         lzhtest::Level0(f,
                         "d\xFF"
                         "a.txt"),
         "hello");
  f.packed = f.original = 3;
  f.method = "-lh5-";
  Append(s,
         lzhtest::Level1(f, "b.txt",
                         {{0x02, "dir\xFF"}, {0x40, std::string("\x01\x00", 2)}, {0x00, crc}}),
         "one");
  f.packed = f.original = 2;
  Append(s,
         lzhtest::Level2(f, {{0x01, "c"},
                             {0x02,
                              "x\xFF"
                              "y\xFF"},
                             {0x40, std::string("\x21\x00", 2)},
                             {0x00, crc}}),
         "zz");
  Append(s, std::string(1, '\0'), "");
  return s;
}

// Opens `bytes` as an archive and checks what came out.
void CheckOpen(const std::string& path, const std::string& bytes, const std::string& what) {
  test::WriteFile(path, bytes);
  CUnlha archive;
  const StatusCode status = archive.Open(path.c_str(), false);
  if (!Opened(status)) {
    EXPECT_TRUE(status == kStatusBadHeader || status == kStatusUnknownLevel ||
                status == kStatusSeekFailed)
        << what << " status " << status;
    EXPECT_EQ(archive.entryCount(), 0) << what;
    return;
  }
  for (const ArchiveEntry& e : archive.entries()) {
    EXPECT_EQ(e.method[5], '\0') << what;
    EXPECT_LT(std::strlen(e.directory) + std::strlen(e.name), 260u) << what;
    if (e.directory[0] != '\0') {
      const char* last = plat::LastChar(e.directory);
      EXPECT_TRUE(last[0] == '\\' && last[1] == '\0') << what;
    }
    EXPECT_EQ(plat::FindLastBackslash(e.name), nullptr) << what;
    EXPECT_TRUE(e.header_level >= 0 && e.header_level <= 2) << what;
    EXPECT_GT(e.data_offset, e.header_offset) << what;
  }
}

TEST(HostileHeaders, SampleOpensCleanly) {
  const Sample s = ThreeLevels();
  test::TempDir dir;
  test::WriteFile(dir / "s.lzh", s.bytes);
  CUnlha archive;
  ASSERT_EQ(archive.Open((dir / "s.lzh").c_str(), false), kStatusOk);
  ASSERT_EQ(archive.entryCount(), 3);
  EXPECT_STREQ(archive.entries()[0].directory, "d\\");
  EXPECT_STREQ(archive.entries()[1].directory, "dir\\");
  EXPECT_EQ(archive.entries()[1].attributes, 1u);
  EXPECT_STREQ(archive.entries()[2].directory, "x\\y\\");
  EXPECT_STREQ(archive.entries()[2].name, "c");
}

TEST(HostileHeaders, EveryTruncation) {
  const Sample s = ThreeLevels();
  test::TempDir dir;
  for (std::size_t length = 0; length < s.bytes.size(); ++length) {
    CheckOpen(dir / "t.lzh", s.bytes.substr(0, length), "length " + std::to_string(length));
  }
}

TEST(HostileHeaders, EveryBitFlip) {
  const Sample s = ThreeLevels();
  test::TempDir dir;
  for (std::size_t i = 0; i < s.bytes.size(); ++i) {
    if (s.headerMask[i] != 'h') continue;
    for (int bit = 0; bit < 8; ++bit) {
      std::string damaged = s.bytes;
      damaged[i] = static_cast<char>(damaged[i] ^ (1 << bit));
      CheckOpen(dir / "f.lzh", damaged,
                "byte " + std::to_string(i) + " bit " + std::to_string(bit));
    }
  }
}

// The whole program on a sample of the same damage: `tsubo l` ends with
// exit code 0 (perhaps after a warning) or 2 with one of the open errors.
void CheckListing(const test::TempDir& dir, const std::string& bytes, const std::string& what) {
  test::WriteFile(dir / "d.lzh", bytes);
  test::RunOptions options;
  options.cwd = dir.path();
  const test::RunResult r = test::RunTsubo({"l", "d.lzh"}, options);
  const std::string archiveLine = "Archive file d.lzh\n\n";
  ASSERT_EQ(r.out.substr(0, archiveLine.size()), archiveLine) << what;
  if (r.exitCode == 0) {
    EXPECT_EQ(r.err, "") << what;
    return;
  }
  ASSERT_EQ(r.exitCode, 2) << what << r.err;
  EXPECT_EQ(r.out, archiveLine) << what;
  const std::string prefix = msg::kMsgErrorPrefix;
  char internalError[64];
  std::snprintf(internalError, sizeof internalError, msg::kMsgInternalError, 5);
  const std::string allowed[] = {prefix + msg::kMsgBadHeader, prefix + msg::kMsgUnknownHeader,
                                 prefix + internalError};
  bool known = false;
  for (const std::string& message : allowed) known = known || r.err == message;
  EXPECT_TRUE(known) << what << ": " << test::Utf8(r.err);
}

TEST(HostileHeaders, ListingEndToEnd) {
  const Sample s = ThreeLevels();
  test::TempDir dir;
  for (std::size_t length = 0; length < s.bytes.size(); length += 9) {
    CheckListing(dir, s.bytes.substr(0, length), "length " + std::to_string(length));
  }
  for (std::size_t i = 0; i < s.bytes.size(); i += 5) {
    if (s.headerMask[i] != 'h') continue;
    std::string damaged = s.bytes;
    damaged[i] = static_cast<char>(damaged[i] ^ (1 << (i % 8)));
    CheckListing(dir, damaged, "byte " + std::to_string(i));
  }
}

TEST(HostileHeaders, ListingWarnings) {
  const Sample s = ThreeLevels();
  test::TempDir dir;
  test::RunOptions options;
  options.cwd = dir.path();
  const std::string archiveLine = "Archive file d.lzh\n\n";
  // Without its end mark: the end-mark warning after the archive line.
  test::WriteFile(dir / "d.lzh", s.bytes.substr(0, s.bytes.size() - 1));
  test::RunResult r = test::RunTsubo({"l", "d.lzh"}, options);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.substr(0, archiveLine.size() + std::strlen(msg::kMsgWarnNoEndMark)),
            archiveLine + msg::kMsgWarnNoEndMark);
  // A wrong level-0 checksum: the header warning.
  std::string damaged = s.bytes;
  damaged[1] = static_cast<char>(damaged[1] + 1);
  test::WriteFile(dir / "d.lzh", damaged);
  r = test::RunTsubo({"l", "d.lzh"}, options);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.substr(0, archiveLine.size() + std::strlen(msg::kMsgWarnHeaderCrc)),
            archiveLine + msg::kMsgWarnHeaderCrc);
}

}  // namespace
