// Attributes, file times and clocks through the platform layer.
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "gtest/gtest.h"
#include "platform/platform.h"
#include "support/support.h"

namespace {

using test::Internal;

std::uint32_t Attributes(const std::string& path) {
  return plat::GetFileAttributes(Internal(path).c_str());
}

TEST(Attributes, MappedFromModeAndName) {
  test::TempDir dir;
  test::WriteFile(dir / "plain", "x");
  test::WriteFile(dir / ".hidden", "x");
  test::WriteFile(dir / "ro", "x");
  chmod((dir / "ro").c_str(), 0444);
  test::MakeDirs(dir / "sub");
  test::MakeDirs(dir / ".hdir");
  test::MakeDirs(dir / "rodir");
  chmod((dir / "rodir").c_str(), 0555);
  struct Case {
    std::string path;
    std::uint32_t attributes;
  } cases[] = {
      {dir / "plain", plat::kAttrArchive},
      {dir / ".hidden", plat::kAttrArchive | plat::kAttrHidden},
      {dir / "ro", plat::kAttrArchive | plat::kAttrReadOnly},
      {dir / "sub", plat::kAttrDirectory},
      {dir / "sub/", plat::kAttrDirectory},
      {dir / "sub/.", plat::kAttrDirectory},
      {dir / "sub/..", plat::kAttrDirectory},
      {dir / ".hdir", plat::kAttrDirectory | plat::kAttrHidden},
      {dir / ".hdir/", plat::kAttrDirectory | plat::kAttrHidden},
      {dir / "rodir", plat::kAttrDirectory | plat::kAttrReadOnly},
      {dir / "absent", plat::kInvalidAttributes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Attributes(c.path), c.attributes);
  }
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
}

TEST(Attributes, ReadOnlyIsTheOwnersWriteBit) {
  test::TempDir dir;
  test::WriteFile(dir / "f", "x");
  chmod((dir / "f").c_str(), 0664);
  test::MakeDirs(dir / "d");
  chmod((dir / "d").c_str(), 0775);
  struct Case {
    const char* name;
    std::uint32_t set;
    mode_t mode;
  } cases[] = {
      {"f", plat::kAttrReadOnly | plat::kAttrHidden | plat::kAttrSystem, 0464},
      {"f", plat::kAttrNormal, 0664},
      {"f", plat::kAttrArchive | plat::kAttrReadOnly, 0464},
      {"f", plat::kAttrArchive, 0664},
      // A folder stays writable: files can still be made in it, as on Windows.
      {"d", plat::kAttrDirectory | plat::kAttrReadOnly, 0775},
      {"d", plat::kAttrDirectory, 0775},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir / c.name;
    EXPECT_TRUE(plat::SetFileAttributes(Internal(path).c_str(), c.set));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ((Attributes(path) & plat::kAttrReadOnly) != 0, (st.st_mode & S_IWUSR) == 0);
  }
  EXPECT_FALSE(plat::SetFileAttributes(Internal(dir / "absent").c_str(), plat::kAttrNormal));
}

TEST(FileTimes, RoundTripAtFullResolution) {
  test::TempDir dir;
  std::string path = dir / "t";
  test::WriteFile(path, "x");
  // 2001-02-03 04:05:06.7654321 UTC and a time before 1970.
  const plat::FileTime times[] = {
      (std::uint64_t{981173106} + 11644473600) * 10000000 + 7654321,
      (std::uint64_t{11644473600} - 86400) * 10000000 + 1,
  };
  for (plat::FileTime time : times) {
    plat::FileHandle f = plat::OpenFile(Internal(path).c_str(), plat::Access::Write,
                                        plat::Share::None, plat::Disposition::OpenExisting);
    ASSERT_NE(f, plat::kInvalidFile);
    EXPECT_TRUE(plat::SetFileTime(f, 0, time));
    plat::CloseFile(f);
    f = plat::OpenFile(Internal(path).c_str(), plat::Access::Query, plat::Share::None,
                       plat::Disposition::OpenExisting);
    ASSERT_NE(f, plat::kInvalidFile);
    plat::FileTime back = 0;
    EXPECT_TRUE(plat::GetFileTime(f, &back));
    plat::CloseFile(f);
    EXPECT_EQ(back, time);
  }
  EXPECT_EQ(test::GetMTime(path), -86400);
}

TEST(FileTimes, LastWriteMatchesTheUnixTime) {
  test::TempDir dir;
  std::string path = dir / "t";
  test::WriteFile(path, "x");
  test::SetMTime(path, 1700000000);
  plat::FileHandle f = plat::OpenFile(Internal(path).c_str(), plat::Access::Read, plat::Share::Read,
                                      plat::Disposition::OpenExisting);
  plat::FileTime time = 0;
  EXPECT_TRUE(plat::GetFileTime(f, &time));
  plat::CloseFile(f);
  EXPECT_EQ(time, (std::uint64_t{1700000000} + 11644473600) * 10000000);
}

TEST(Clocks, TimeZoneOffsetHonoursTz) {
  struct Case {
    const char* tz;
    std::int64_t offset;
  } cases[] = {{"JST-9", 32400}, {"UTC", 0}, {"EST5", -18000}, {"IST-5:30", 19800}};
  for (const Case& c : cases) {
    test::ScopedTimeZone zone(c.tz);
    EXPECT_EQ(plat::TimeZoneOffsetSeconds(), c.offset) << c.tz;
  }
}

TEST(Clocks, TickCountMovesForward) {
  std::uint32_t first = plat::TickCount();
  struct timespec pause = {0, 20 * 1000 * 1000};
  nanosleep(&pause, nullptr);
  std::uint32_t elapsed = plat::TickCount() - first;  // wraps correctly too
  EXPECT_GE(elapsed, 15u);
  EXPECT_LT(elapsed, 60000u);
}

}  // namespace
