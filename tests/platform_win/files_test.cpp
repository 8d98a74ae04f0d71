// File handles, sharing, attributes, times and names of the Win32 layer.
#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "win_support.h"

namespace {

using wintest::TempDir;
using wintest::Wide;

// "表" is 0x95 0x5C in CP932: its trail byte is a backslash.
const std::string kHyou = "\x95\x5C";
// "ソ" (0x83 0x5C) and "能" (0x94 0x5C) end in 0x5C as well.
const std::string kSo = "\x83\x5C";
const std::string kNou = "\x94\x5C";

plat::FileHandle Open(const std::string& path, plat::Access access, plat::Share share,
                      plat::Disposition disposition) {
  return plat::OpenFile(path.c_str(), access, share, disposition);
}

TEST(Win32Files, WriteSeekReadRoundTrip) {
  TempDir dir;
  std::string path = dir / "data.bin";
  plat::FileHandle f =
      Open(path, plat::Access::ReadWrite, plat::Share::None, plat::Disposition::CreateAlways);
  ASSERT_NE(f, plat::kInvalidFile);
  EXPECT_EQ(plat::WriteFile(f, "0123456789", 10), 10);
  std::uint64_t size = 0;
  ASSERT_TRUE(plat::GetFileSize(f, &size));
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(plat::SeekFile(f, 3, plat::SeekOrigin::Begin), 3u);
  EXPECT_EQ(plat::SeekFile(f, 2, plat::SeekOrigin::Current), 5u);
  EXPECT_EQ(plat::SeekFile(f, -1, plat::SeekOrigin::End), 9u);
  EXPECT_EQ(plat::SeekFile(f, -20, plat::SeekOrigin::Current), UINT64_MAX);
  EXPECT_EQ(plat::SeekFile(f, 4, plat::SeekOrigin::Begin), 4u);
  char buf[16] = {};
  EXPECT_EQ(plat::ReadFile(f, buf, sizeof buf), 6);
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_EQ(plat::ReadFile(f, buf, sizeof buf), 0);
  EXPECT_TRUE(plat::FlushFile(f));
  plat::CloseFile(f);
  EXPECT_EQ(wintest::ReadWide(Wide(path)), "0123456789");
}

TEST(Win32Files, SeeksBeyondFourGigabytes) {
  TempDir dir;
  plat::FileHandle f = Open(dir / "sparse", plat::Access::ReadWrite, plat::Share::None,
                            plat::Disposition::CreateAlways);
  ASSERT_NE(f, plat::kInvalidFile);
  const std::uint64_t beyond = (std::uint64_t{1} << 32) + 5;
  EXPECT_EQ(plat::SeekFile(f, static_cast<std::int64_t>(beyond), plat::SeekOrigin::Begin), beyond);
  EXPECT_EQ(plat::SeekFile(f, 0, plat::SeekOrigin::Current), beyond);
  plat::CloseFile(f);
}

struct OpenErrorCase {
  const char* name;
  const char* existing;  // file made before the open, or nullptr
  const char* path;
  plat::Disposition disposition;
  int error;
};

TEST(Win32Files, OpenFailuresReportWin32ErrorNumbers) {
  const OpenErrorCase cases[] = {
      {"missing file", nullptr, "absent.txt", plat::Disposition::OpenExisting,
       plat::kErrorFileNotFound},
      {"missing folder", nullptr, "nodir\\absent.txt", plat::Disposition::OpenExisting,
       plat::kErrorPathNotFound},
      {"create in missing folder", nullptr, "nodir\\new.txt", plat::Disposition::CreateAlways,
       plat::kErrorPathNotFound},
      {"create new over existing", "there.txt", "there.txt", plat::Disposition::CreateNew,
       plat::kErrorFileExists},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.existing) wintest::WriteWide(Wide(dir / c.existing), "x");
    plat::FileHandle f =
        Open(dir / c.path, plat::Access::ReadWrite, plat::Share::None, c.disposition);
    EXPECT_EQ(f, plat::kInvalidFile);
    EXPECT_EQ(plat::LastError(), c.error);
    plat::CloseFile(f);
  }
}

struct ShareCase {
  plat::Access firstAccess;
  plat::Share firstShare;
  plat::Access secondAccess;
  plat::Share secondShare;
  bool secondOpens;
};

TEST(Win32Files, SharingModesExcludeAsOnWindows) {
  using A = plat::Access;
  using S = plat::Share;
  const ShareCase cases[] = {
      {A::Read, S::None, A::Read, S::Read, false},       // archive held: no reader
      {A::ReadWrite, S::None, A::Read, S::None, false},  // work file held
      {A::Read, S::Read, A::Read, S::Read, true},        // two readers sharing
      {A::Read, S::Read, A::Read, S::None, false},       // exclusive after shared
      {A::Read, S::Read, A::ReadWrite, S::Read, false},  // writer after shared reader
      {A::ReadWrite, S::None, A::Query, S::None, true},  // time query needs no data access
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(i++);
    TempDir dir;
    std::string path = dir / "held.lzh";
    wintest::WriteWide(Wide(path), "abc");
    plat::FileHandle first =
        Open(path, c.firstAccess, c.firstShare, plat::Disposition::OpenExisting);
    ASSERT_NE(first, plat::kInvalidFile);
    plat::FileHandle second =
        Open(path, c.secondAccess, c.secondShare, plat::Disposition::OpenExisting);
    EXPECT_EQ(second != plat::kInvalidFile, c.secondOpens);
    if (!c.secondOpens) {
      EXPECT_EQ(plat::LastError(), plat::kErrorSharingViolation);
    }
    plat::CloseFile(second);
    plat::CloseFile(first);
  }
}

TEST(Win32Files, HeldFileCannotBeReplacedRenamedOrDeleted) {
  TempDir dir;
  std::string archive = dir / "arc.lzh";
  std::string work = dir / "lhawk000.dat";
  wintest::WriteWide(Wide(archive), "old");
  wintest::WriteWide(Wide(work), "new");
  plat::FileHandle held =
      Open(archive, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  ASSERT_NE(held, plat::kInvalidFile);
  EXPECT_FALSE(plat::MoveReplacing(work.c_str(), archive.c_str()));
  EXPECT_FALSE(plat::DeleteFile(archive.c_str()));
  plat::CloseFile(held);
  EXPECT_EQ(wintest::ReadWide(Wide(archive)), "old");
  EXPECT_EQ(wintest::ReadWide(Wide(work)), "new");
}

TEST(Win32Files, ReplaceHeldFileCommitsOverTheHeldArchive) {
  TempDir dir;
  std::string archive = dir / "arc.lzh";
  std::string work = dir / "lhawk000.dat";
  wintest::WriteWide(Wide(archive), "old");
  wintest::WriteWide(Wide(work), "new");
  plat::FileHandle held =
      Open(archive, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  ASSERT_NE(held, plat::kInvalidFile);
  EXPECT_TRUE(plat::ReplaceHeldFile(work.c_str(), archive.c_str(), held));
  EXPECT_EQ(wintest::ReadWide(Wide(archive)), "new");
  EXPECT_FALSE(wintest::ExistsWide(Wide(work)));

  // No work file: the archive stays, and the hold has ended all the same.
  held = Open(archive, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  EXPECT_FALSE(plat::ReplaceHeldFile(work.c_str(), archive.c_str(), held));
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
  held = Open(archive, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  EXPECT_NE(held, plat::kInvalidFile);
  plat::CloseFile(held);
}

TEST(Win32Files, ReplaceHeldFileNeverReplacesWhatAnotherRunHolds) {
  TempDir dir;
  std::string archive = dir / "arc.lzh";
  std::string work = dir / "lhawk000.dat";
  std::string mine = dir / "mine.lzh";
  wintest::WriteWide(Wide(archive), "theirs");
  wintest::WriteWide(Wide(work), "new");
  wintest::WriteWide(Wide(mine), "mine");
  // Another run opened the archive after this one let it go.
  plat::FileHandle theirs =
      Open(archive, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  ASSERT_NE(theirs, plat::kInvalidFile);
  plat::FileHandle held =
      Open(mine, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  EXPECT_FALSE(plat::ReplaceHeldFile(work.c_str(), archive.c_str(), held));
  EXPECT_TRUE(plat::LastError() == plat::kErrorSharingViolation ||
              plat::LastError() == plat::kErrorAccessDenied)
      << plat::LastError();
  plat::CloseFile(theirs);
  EXPECT_EQ(wintest::ReadWide(Wide(archive)), "theirs");
  EXPECT_EQ(wintest::ReadWide(Wide(work)), "new");
}

TEST(Win32Files, RenameDeleteAndCreateDirectory) {
  TempDir dir;
  std::string a = dir / "a.txt";
  std::string b = dir / "b.txt";
  wintest::WriteWide(Wide(a), "A");
  wintest::WriteWide(Wide(b), "B");
  EXPECT_TRUE(plat::MoveReplacing(a.c_str(), b.c_str()));  // b is replaced
  EXPECT_EQ(wintest::ReadWide(Wide(b)), "A");
  EXPECT_FALSE(plat::DeleteFile(a.c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);

  std::string sub = dir / ("sub" + kHyou);
  EXPECT_TRUE(plat::CreateDirectory(sub.c_str()));
  EXPECT_FALSE(plat::CreateDirectory(sub.c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorFileExists);
  EXPECT_FALSE(plat::CreateDirectory((dir / "x\\y").c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorPathNotFound);
  EXPECT_EQ(plat::GetFileAttributes(sub.c_str()) & plat::kAttrDirectory, plat::kAttrDirectory);
}

TEST(Win32Files, NamesWithBackslashTrailBytesReachTheDisk) {
  TempDir dir;
  // Each of these names would be cut at its 0x5C by a byte-wise walk.
  for (const std::string& name : {kHyou, kSo + ".txt", "a" + kNou + kHyou + "b"}) {
    SCOPED_TRACE(name);
    std::string path = dir / name;
    plat::FileHandle f =
        Open(path, plat::Access::Write, plat::Share::None, plat::Disposition::CreateAlways);
    ASSERT_NE(f, plat::kInvalidFile);
    EXPECT_EQ(plat::WriteFile(f, name.data(), static_cast<std::uint32_t>(name.size())),
              static_cast<long>(name.size()));
    plat::CloseFile(f);
    // The name on disk is the UTF-16 form of the CP932 bytes.
    EXPECT_EQ(wintest::ReadWide(Wide(path)), name);
  }
  EXPECT_EQ(wintest::ReadWide(Wide(dir.path()) + L"\\\u8868"), kHyou);
}

TEST(Win32Files, DeviceNamesAreNotWrittenTo) {
  TempDir dir;
  for (const std::string& name : {std::string("NUL"), std::string("con"), dir / "nul"}) {
    SCOPED_TRACE(name);
    plat::FileHandle f =
        Open(name, plat::Access::Write, plat::Share::None, plat::Disposition::CreateAlways);
    // Refused by the layer, or by the system when there is no console.
    EXPECT_EQ(f, plat::kInvalidFile);
    EXPECT_NE(plat::LastError(), plat::kErrorNone);
    plat::CloseFile(f);
  }
}

TEST(Win32Files, AttributesRoundTrip) {
  TempDir dir;
  std::string path = dir / "f.txt";
  wintest::WriteWide(Wide(path), "x");
  const std::uint32_t values[] = {plat::kAttrReadOnly | plat::kAttrArchive,
                                  plat::kAttrHidden | plat::kAttrArchive,
                                  plat::kAttrSystem | plat::kAttrArchive, plat::kAttrArchive};
  for (std::uint32_t value : values) {
    SCOPED_TRACE(value);
    EXPECT_TRUE(plat::SetFileAttributes(path.c_str(), value));
    EXPECT_EQ(plat::GetFileAttributes(path.c_str()) & 0x37, value);
  }
  EXPECT_TRUE(plat::SetFileAttributes(path.c_str(), plat::kAttrNormal));
  EXPECT_EQ(plat::GetFileAttributes((dir / "none").c_str()), plat::kInvalidAttributes);
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
  EXPECT_FALSE(plat::SetFileAttributes((dir / "none").c_str(), plat::kAttrNormal));
}

TEST(Win32Files, ReadOnlyFileRefusesWriting) {
  TempDir dir;
  std::string path = dir / "ro.txt";
  wintest::WriteWide(Wide(path), "keep");
  ASSERT_TRUE(plat::SetFileAttributes(path.c_str(), plat::kAttrReadOnly));
  plat::FileHandle f =
      Open(path, plat::Access::Write, plat::Share::None, plat::Disposition::CreateAlways);
  if (f != plat::kInvalidFile && wintest::RunningUnderWine()) {
    plat::CloseFile(f);
    // Wine keeps read-only as the Unix write permission, which root ignores.
    GTEST_SKIP() << "Wine running as root does not enforce the read-only attribute";
  }
  EXPECT_EQ(f, plat::kInvalidFile);
  EXPECT_EQ(plat::LastError(), plat::kErrorAccessDenied);
  plat::CloseFile(f);
  EXPECT_EQ(wintest::ReadWide(Wide(path)), "keep");
}

TEST(Win32Files, FileTimesKeepHundredNanosecondUnits) {
  TempDir dir;
  std::string path = dir / "t.txt";
  // 2001-02-03 04:05:06.1234567 UTC
  const plat::FileTime when = 126256215061234567ull;
  plat::FileHandle f =
      Open(path, plat::Access::Write, plat::Share::None, plat::Disposition::CreateAlways);
  ASSERT_NE(f, plat::kInvalidFile);
  EXPECT_TRUE(plat::SetFileTime(f, when, when));
  plat::CloseFile(f);
  f = Open(path, plat::Access::Read, plat::Share::Read, plat::Disposition::OpenExisting);
  plat::FileTime got = 0;
  EXPECT_TRUE(plat::GetFileTime(f, &got));
  EXPECT_EQ(got, when);
  plat::CloseFile(f);
  // Query access opens a folder too, for its time.
  plat::FileHandle d =
      Open(dir.path(), plat::Access::Query, plat::Share::None, plat::Disposition::OpenExisting);
  ASSERT_NE(d, plat::kInvalidFile);
  EXPECT_TRUE(plat::GetFileTime(d, &got));
  EXPECT_GT(got, when);
  plat::CloseFile(d);
}

TEST(Win32Clock, CurrentTimeZoneAndTicks) {
  TIME_ZONE_INFORMATION zone;
  DWORD kind = GetTimeZoneInformation(&zone);
  long bias = zone.Bias;
  if (kind == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (kind == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  EXPECT_EQ(plat::TimeZoneOffsetSeconds(), -60 * static_cast<std::int64_t>(bias));

  // The tick count is GetTickCount's.
  const std::uint32_t before = GetTickCount();
  EXPECT_LE(plat::TickCount() - before, 1000u);
}

}  // namespace
