// File handles through the platform layer: open modes, errors, 64-bit
// seeks, sharing locks, and the name operations rename, replace and delete.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "gtest/gtest.h"
#include "platform/platform.h"
#include "support/support.h"

namespace {

using test::Internal;

plat::FileHandle Open(const std::string& path, plat::Access access, plat::Share share,
                      plat::Disposition disposition) {
  return plat::OpenFile(Internal(path).c_str(), access, share, disposition);
}

TEST(Files, WriteSeekReadRoundTrip) {
  test::TempDir dir;
  std::string path = dir / "a.bin";
  plat::FileHandle f =
      Open(path, plat::Access::ReadWrite, plat::Share::None, plat::Disposition::CreateNew);
  ASSERT_NE(f, plat::kInvalidFile);
  EXPECT_EQ(plat::WriteFile(f, "hello world", 11), 11);
  EXPECT_EQ(plat::SeekFile(f, 6, plat::SeekOrigin::Begin), 6u);
  char buffer[16] = {};
  EXPECT_EQ(plat::ReadFile(f, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(plat::ReadFile(f, buffer, sizeof buffer), 0);  // end of file
  EXPECT_EQ(plat::SeekFile(f, -5, plat::SeekOrigin::End), 6u);
  EXPECT_EQ(plat::SeekFile(f, 2, plat::SeekOrigin::Current), 8u);
  EXPECT_EQ(plat::SeekFile(f, -9, plat::SeekOrigin::Current), UINT64_MAX);
  std::uint64_t size = 0;
  EXPECT_TRUE(plat::GetFileSize(f, &size));
  EXPECT_EQ(size, 11u);
  EXPECT_TRUE(plat::FlushFile(f));
  plat::CloseFile(f);
  EXPECT_EQ(test::ReadFile(path), "hello world");
}

TEST(Files, SeeksPastFourGibibytes) {
  test::TempDir dir;
  std::string path = dir / "sparse.bin";
  plat::FileHandle f =
      Open(path, plat::Access::ReadWrite, plat::Share::None, plat::Disposition::CreateAlways);
  ASSERT_NE(f, plat::kInvalidFile);
  const std::uint64_t far = (std::uint64_t{1} << 32) + 12345;
  ASSERT_EQ(plat::SeekFile(f, static_cast<std::int64_t>(far), plat::SeekOrigin::Begin), far);
  ASSERT_EQ(plat::WriteFile(f, "xyz", 3), 3);
  std::uint64_t size = 0;
  ASSERT_TRUE(plat::GetFileSize(f, &size));
  EXPECT_EQ(size, far + 3);
  EXPECT_EQ(plat::SeekFile(f, -3, plat::SeekOrigin::End), far);
  char buffer[3];
  EXPECT_EQ(plat::ReadFile(f, buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "xyz");
  EXPECT_EQ(plat::SeekFile(f, -static_cast<std::int64_t>(far), plat::SeekOrigin::Current), 3u);
  plat::CloseFile(f);
}

TEST(Files, OpenErrorsCarryWindowsCodes) {
  test::TempDir dir;
  test::WriteFile(dir / "file", "x");
  test::MakeDirs(dir / "sub");
  struct Case {
    std::string path;
    plat::Access access;
    plat::Disposition disposition;
    int error;
  } cases[] = {
      {dir / "absent", plat::Access::Read, plat::Disposition::OpenExisting,
       plat::kErrorFileNotFound},
      {dir / "nodir/absent", plat::Access::Read, plat::Disposition::OpenExisting,
       plat::kErrorPathNotFound},
      {dir / "nodir/new", plat::Access::Write, plat::Disposition::CreateAlways,
       plat::kErrorPathNotFound},
      {dir / "file/below", plat::Access::Read, plat::Disposition::OpenExisting,
       plat::kErrorPathNotFound},
      {dir / "file", plat::Access::Write, plat::Disposition::CreateNew, plat::kErrorFileExists},
      {dir / "sub", plat::Access::Read, plat::Disposition::OpenExisting, plat::kErrorAccessDenied},
      {dir / "sub", plat::Access::Write, plat::Disposition::CreateAlways, plat::kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    plat::FileHandle f = Open(c.path, c.access, plat::Share::None, c.disposition);
    EXPECT_EQ(f, plat::kInvalidFile);
    EXPECT_EQ(plat::LastError(), c.error);
    plat::CloseFile(f);
  }
}

TEST(Files, QueryOpensDirectoriesAndUnreadableFiles) {
  test::TempDir dir;
  test::MakeDirs(dir / "sub");
  test::WriteFile(dir / "secret", "x");
  chmod((dir / "secret").c_str(), 0);
  for (const char* name : {"sub", "secret"}) {
    SCOPED_TRACE(name);
    plat::FileHandle f =
        Open(dir / name, plat::Access::Query, plat::Share::None, plat::Disposition::OpenExisting);
    ASSERT_NE(f, plat::kInvalidFile);
    plat::FileTime time = 0;
    EXPECT_TRUE(plat::GetFileTime(f, &time));
    EXPECT_GT(time, 0u);
    plat::CloseFile(f);
  }
}

TEST(Files, SecondOpenFollowsWindowsSharing) {
  test::TempDir dir;
  std::string path = dir / "held";
  test::WriteFile(path, "keep me");
  using plat::Access;
  using plat::Share;
  struct Case {
    Access firstAccess;
    Share first;
    Access secondAccess;
    Share second;
    bool secondOpens;
  } cases[] = {
      {Access::Read, Share::None, Access::Read, Share::None, false},
      {Access::Read, Share::None, Access::Read, Share::Read, false},
      {Access::Read, Share::Read, Access::Read, Share::None, false},
      {Access::Read, Share::Read, Access::Read, Share::Read, true},
      // A writer needs the file to itself, even when it lets others read.
      {Access::Read, Share::Read, Access::Write, Share::Read, false},
      {Access::Read, Share::Read, Access::ReadWrite, Share::Read, false},
      {Access::ReadWrite, Share::Read, Access::Read, Share::Read, true},
      {Access::ReadWrite, Share::None, Access::Read, Share::Read, false},
      // Asking only for the time takes part in no sharing.
      {Access::ReadWrite, Share::None, Access::Query, Share::None, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    plat::FileHandle first = Open(path, c.firstAccess, c.first, plat::Disposition::OpenExisting);
    ASSERT_NE(first, plat::kInvalidFile);
    plat::FileHandle second = Open(path, c.secondAccess, c.second, plat::Disposition::OpenExisting);
    EXPECT_EQ(second != plat::kInvalidFile, c.secondOpens);
    if (!c.secondOpens) {
      EXPECT_EQ(plat::LastError(), plat::kErrorSharingViolation);
    }
    plat::CloseFile(second);
    plat::CloseFile(first);
  }
  EXPECT_EQ(test::ReadFile(path), "keep me");
  // Released at close.
  plat::FileHandle again =
      Open(path, plat::Access::Read, plat::Share::None, plat::Disposition::OpenExisting);
  EXPECT_NE(again, plat::kInvalidFile);
  plat::CloseFile(again);
}

TEST(Files, CreateAlwaysOfAHeldFileLeavesItsBytes) {
  test::TempDir dir;
  std::string path = dir / "held";
  test::WriteFile(path, "precious");
  // Another process's lock looks the same as one taken by a second open.
  int other = open(path.c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_SH), 0);
  plat::FileHandle f =
      Open(path, plat::Access::ReadWrite, plat::Share::None, plat::Disposition::CreateAlways);
  EXPECT_EQ(f, plat::kInvalidFile);
  EXPECT_EQ(plat::LastError(), plat::kErrorSharingViolation);
  EXPECT_EQ(test::ReadFile(path), "precious");
  // Letting others read afterwards does not let it truncate a file in use.
  f = Open(path, plat::Access::Write, plat::Share::Read, plat::Disposition::CreateAlways);
  EXPECT_EQ(f, plat::kInvalidFile);
  EXPECT_EQ(plat::LastError(), plat::kErrorSharingViolation);
  EXPECT_EQ(test::ReadFile(path), "precious");
  close(other);

  f = Open(path, plat::Access::ReadWrite, plat::Share::None, plat::Disposition::CreateAlways);
  ASSERT_NE(f, plat::kInvalidFile);
  plat::CloseFile(f);
  EXPECT_EQ(test::ReadFile(path), "");  // truncated once it was free
}

TEST(Files, ReadOnlyFileIsNotOpenedForWriting) {
  test::TempDir dir;
  std::string path = dir / "ro";
  test::WriteFile(path, "data");
  chmod(path.c_str(), 0444);
  for (plat::Disposition d : {plat::Disposition::OpenExisting, plat::Disposition::CreateAlways}) {
    plat::FileHandle f = Open(path, plat::Access::Write, plat::Share::None, d);
    EXPECT_EQ(f, plat::kInvalidFile);
    EXPECT_EQ(plat::LastError(), plat::kErrorAccessDenied);
    plat::CloseFile(f);
  }
  EXPECT_EQ(test::ReadFile(path), "data");
  plat::FileHandle f =
      Open(path, plat::Access::Read, plat::Share::Read, plat::Disposition::OpenExisting);
  EXPECT_NE(f, plat::kInvalidFile);
  plat::CloseFile(f);
}

TEST(Names, MoveReplacingTakesTheNameWhateverHeldIt) {
  test::TempDir dir;
  test::WriteFile(dir / "a", "A");
  test::WriteFile(dir / "b", "B");
  test::WriteFile(dir / "target", "T");
  ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(plat::MoveReplacing(Internal(dir / "a").c_str(), Internal(dir / "b").c_str()));
  EXPECT_FALSE(test::FileExists(dir / "a"));
  EXPECT_EQ(test::ReadFile(dir / "b"), "A");
  // A link at the name is replaced, and what it pointed to stays.
  EXPECT_TRUE(plat::MoveReplacing(Internal(dir / "b").c_str(), Internal(dir / "link").c_str()));
  EXPECT_EQ(test::ReadFile(dir / "link"), "A");
  EXPECT_EQ(test::ReadFile(dir / "target"), "T");
  EXPECT_FALSE(plat::MoveReplacing(Internal(dir / "absent").c_str(), Internal(dir / "c").c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);
}

TEST(Names, DeleteFileAndCreateDirectory) {
  test::TempDir dir;
  test::WriteFile(dir / "f", "x");
  EXPECT_TRUE(plat::DeleteFile(Internal(dir / "f").c_str()));
  EXPECT_FALSE(test::FileExists(dir / "f"));
  EXPECT_FALSE(plat::DeleteFile(Internal(dir / "f").c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorFileNotFound);

  EXPECT_TRUE(plat::CreateDirectory(Internal(dir / "d").c_str()));
  EXPECT_FALSE(plat::CreateDirectory(Internal(dir / "d").c_str()));
  EXPECT_FALSE(plat::CreateDirectory(Internal(dir / "x/y").c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorPathNotFound);
  EXPECT_FALSE(plat::DeleteFile(Internal(dir / "d").c_str()));  // not a file
  EXPECT_EQ(plat::LastError(), plat::kErrorAccessDenied);

  // Windows keeps read-only files and files that are open.
  test::WriteFile(dir / "ro", "x");
  chmod((dir / "ro").c_str(), 0444);
  EXPECT_FALSE(plat::DeleteFile(Internal(dir / "ro").c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorAccessDenied);
  test::WriteFile(dir / "open", "x");
  plat::FileHandle held =
      Open(dir / "open", plat::Access::Read, plat::Share::Read, plat::Disposition::OpenExisting);
  EXPECT_FALSE(plat::DeleteFile(Internal(dir / "open").c_str()));
  EXPECT_EQ(plat::LastError(), plat::kErrorSharingViolation);
  plat::CloseFile(held);
  EXPECT_TRUE(plat::DeleteFile(Internal(dir / "open").c_str()));
}

}  // namespace

namespace {

TEST(Names, ScratchFilesArePrivateAndNeverTakeAName) {
  test::TempDir dir;
  ASSERT_EQ(symlink("nowhere", (dir / "link").c_str()), 0);
  test::WriteFile(dir / "file", "x");
  for (const char* taken : {"link", "file"}) {
    EXPECT_EQ(plat::CreateScratchFile(Internal(dir / taken).c_str(), true), plat::kInvalidFile);
    EXPECT_EQ(plat::LastError(), plat::kErrorFileExists);
  }
  EXPECT_FALSE(test::FileExists(dir / "nowhere"));
  const mode_t mask = umask(022);
  for (bool ownerOnly : {true, false}) {
    const std::string path = dir / (ownerOnly ? "private" : "public");
    plat::FileHandle f = plat::CreateScratchFile(Internal(path).c_str(), ownerOnly);
    ASSERT_NE(f, plat::kInvalidFile);
    struct stat st;
    ASSERT_EQ(fstat(static_cast<int>(f), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, ownerOnly ? 0600u : 0644u);
    plat::CloseFile(f);
  }
  umask(mask);
}

}  // namespace
