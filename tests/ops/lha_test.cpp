// Adding members in process: member paths, directories, stored and
// compressed data, the time comparison, freshen, and the failures that must
// leave the archive as it was (huge, shrinking or unwritable files).
#include "ops/lha.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/member_path.h"
#include "support/support.h"

namespace {

using test::Internal;

// An archive object opened on dir/arc.lzh with dir as its base folder, the
// way the driver sets it up for an add command.
class AddFixture : public ::testing::Test {
 protected:
  void SetUp() override { Reopen(); }

  // Opens the archive again with the options as they stand.
  void Reopen() {
    archive_.reset();  // what was not committed is given up
    options_.baseDir = Internal(dir_.path()) + "\\";
    archive_ = std::make_unique<CLha>(options_);
    const std::string path = Internal(ArchivePath());
    ASSERT_TRUE(Opened(archive_->Open(path.c_str(), false)) ||
                Opened(archive_->Open(path.c_str(), true)));
  }

  // Commits and opens the result again.
  void CommitAndReopen() {
    ASSERT_EQ(archive_->CloseAndCommit(), kStatusOk);
    Reopen();
  }

  StatusCode Add(const std::string& name, bool storeOnly = false) {
    return archive_->AddFile(name.c_str(), storeOnly);
  }

  std::string ArchivePath() const { return dir_ / "arc.lzh"; }
  void Write(const std::string& name, const std::string& bytes, std::int64_t mtime = 1500000000) {
    test::MakeDirs(std::filesystem::path(dir_ / name).parent_path().string());
    test::WriteFile(dir_ / name, bytes);
    test::SetMTime(dir_ / name, mtime);
  }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const ArchiveEntry& e : archive_->entries()) paths.push_back(MemberPath(e));
    return paths;
  }

  test::TempDir dir_;
  ArchiveOptions options_ = [] {
    ArchiveOptions o;
    o.compareTimes = o.skipHidden = o.skipSystem = true;
    return o;
  }();
  std::unique_ptr<CLha> archive_;
};

TEST_F(AddFixture, ZeroLengthAndTinyFilesAreStored) {
  Write("empty", "");
  Write("five", "aaaaa");
  ASSERT_EQ(Add("empty"), kStatusOk);
  ASSERT_EQ(Add("five"), kStatusOk);
  CommitAndReopen();
  ASSERT_EQ(archive_->entryCount(), 2);
  const ArchiveEntry& empty = archive_->entries()[0];
  EXPECT_STREQ(empty.method, "-lh0-");
  EXPECT_EQ(empty.crc, 0);
  EXPECT_EQ(empty.packed_size, 0u);
  EXPECT_EQ(empty.original_size, 0u);
  const ArchiveEntry& five = archive_->entries()[1];
  EXPECT_STREQ(five.method, "-lh0-");
  EXPECT_EQ(five.packed_size, 5u);
  EXPECT_EQ(five.os_id, 'M');
  EXPECT_EQ(five.header_level, 2);
}

TEST_F(AddFixture, MethodFollowsTheChoiceAndStoreOnly) {
  const std::string text(50000, 'x');
  Write("t5", text);
  Write("t6", text);
  Write("t7", text);
  Write("t0", text);
  struct {
    const char* name;
    int choice;
    int store;
  } adds[] = {{"t5", 0, 0}, {"t6", 1, 0}, {"t7", 2, 0}, {"t0", 1, 1}};
  for (const auto& add : adds) {
    options_.methodChoice = add.choice;
    Reopen();
    ASSERT_EQ(Add(add.name, add.store != 0), kStatusOk) << add.name;
    CommitAndReopen();
  }
  ASSERT_EQ(archive_->entryCount(), 4);
  const char* methods[] = {"-lh5-", "-lh6-", "-lh7-", "-lh0-"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(archive_->entries()[i].method, methods[i]);
    EXPECT_EQ(archive_->entries()[i].original_size, text.size());
  }
  EXPECT_LT(archive_->entries()[0].packed_size, 1000u);
  EXPECT_EQ(archive_->entries()[3].packed_size, text.size());
  EXPECT_EQ(archive_->entries()[0].crc, archive_->entries()[3].crc);
}

TEST_F(AddFixture, MemberPathWithAndWithoutDirectories) {
  Write("C:/src/a.txt", "alpha");
  options_.useDirs = true;
  Reopen();
  ASSERT_EQ(Add("C:\\src\\a.txt"), kStatusOk);
  EXPECT_STREQ(archive_->entries().back().directory, "\\src\\");
  EXPECT_STREQ(archive_->entries().back().name, "a.txt");
  CommitAndReopen();
  options_.useDirs = false;
  options_.compareTimes = false;
  Reopen();
  ASSERT_EQ(Add("C:\\src\\a.txt"), kStatusOk);
  EXPECT_STREQ(archive_->entries().back().directory, "");
  EXPECT_STREQ(archive_->entries().back().name, "a.txt");
  EXPECT_EQ(archive_->entryCount(), 2);
}

TEST_F(AddFixture, DoubleByteNameKeepsItsTrailBackslash) {
  // 表 is 0x95 0x5C in CP932: the 0x5C is no separator.
  const std::string hyo = test::Sjis("表");
  options_.useDirs = true;
  Reopen();
  // Without a UTF-8 locale the bytes pass through: the file has the raw name.
  Write("d/" + hyo + "1", "hyo");
  ASSERT_EQ(Add(("d\\" + hyo + "1").c_str()), kStatusOk);
  EXPECT_STREQ(archive_->entries().back().directory, "d\\");
  EXPECT_EQ(std::string(archive_->entries().back().name), hyo + "1");
  EXPECT_EQ(Add("d\\" + hyo + "1"), kStatusNotNewer);  // same time
}

TEST_F(AddFixture, DirectoryBecomesAnLhdMember) {
  test::MakeDirs(dir_ / "sub");
  options_.useDirs = true;
  Reopen();
  ASSERT_EQ(Add("sub"), kStatusOk);
  CommitAndReopen();
  ASSERT_EQ(archive_->entryCount(), 1);
  const ArchiveEntry& entry = archive_->entries()[0];
  EXPECT_STREQ(entry.method, "-lhd-");
  EXPECT_STREQ(entry.directory, "sub\\");
  EXPECT_STREQ(entry.name, "");
  EXPECT_EQ(entry.crc, 0);
  EXPECT_EQ(entry.packed_size, 0u);
  EXPECT_EQ(entry.original_size, 0u);
  EXPECT_EQ(entry.attributes & plat::kAttrDirectory, plat::kAttrDirectory);
}

TEST_F(AddFixture, UpdateComparesWholeSecondsAndReplacesInPlace) {
  Write("a", "first a", 1500000000);
  Write("b", "first b", 1500000000);
  Write("c", "first c", 1500000000);
  for (const char* name : {"a", "b", "c"}) ASSERT_EQ(Add(name), kStatusOk);
  CommitAndReopen();

  // The same second, with a fraction on top, is not newer.
  timespec times[2] = {{1500000000, 900000000}, {1500000000, 900000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / "b").c_str(), times, 0), 0);
  EXPECT_EQ(Add("b"), kStatusNotNewer);

  Write("b", "second b, longer", 1500000001);
  ASSERT_EQ(Add("b"), kStatusOk);
  Write("d", "new d");
  ASSERT_EQ(Add("d"), kStatusOk);
  CommitAndReopen();
  EXPECT_EQ(Paths(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(archive_->entries()[1].original_size, std::string("second b, longer").size());

  // Without the time comparison (command a) an older file replaces too.
  Write("c", "older c", 1000000000);
  options_.compareTimes = false;
  Reopen();
  ASSERT_EQ(Add("c"), kStatusOk);
  CommitAndReopen();
  EXPECT_EQ(Paths(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(archive_->entries()[2].original_size, 7u);
}

TEST_F(AddFixture, FreshenOnlyReplacesMembers) {
  Write("a", "a");
  ASSERT_EQ(Add("a"), kStatusOk);
  options_.freshenOnly = true;
  CommitAndReopen();
  Write("b", "b");
  EXPECT_EQ(Add("b"), kStatusNotAMember);
  EXPECT_EQ(archive_->entryCount(), 1);
}

TEST_F(AddFixture, SkipsAndMissingFiles) {
  Write(".hidden", "h");
  EXPECT_EQ(Add(".hidden"), kStatusAttributeSkip);
  EXPECT_EQ(Add("missing"), kStatusCannotOpenFile);
  options_.skipHidden = false;
  Reopen();
  EXPECT_EQ(Add(".hidden"), kStatusOk);
  EXPECT_EQ(archive_->entryCount(), 1);
}

TEST_F(AddFixture, ReplacingFindsTheMemberAfterDeletion) {
  for (const char* name : {"a", "b", "c"}) {
    Write(name, name);
    ASSERT_EQ(Add(name), kStatusOk);
  }
  ASSERT_EQ(archive_->DeleteMembers({0}), kStatusOk);
  // c has moved down to the second record; C is another member.
  Write("c", "newer c", 1600000000);
  Write("C", "upper C");
  ASSERT_EQ(Add("c"), kStatusOk);
  ASSERT_EQ(Add("C"), kStatusOk);
  EXPECT_EQ(Paths(), (std::vector<std::string>{"b", "c", "C"}));
  EXPECT_EQ(archive_->entries()[1].original_size, 7u);
}

// Only level 2 has 64-bit sizes.
TEST_F(AddFixture, FileOf4GiBIsRefusedAtLevel0) {
  options_.headerLevel = 0;
  Reopen();
  Write("small", "small");
  ASSERT_EQ(Add("small"), kStatusOk);
  CommitAndReopen();
  const std::string before = test::ReadFile(ArchivePath());
  const std::string big = dir_ / "big";
  const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 0x100000000LL), 0);  // sparse: no disk space used
  ::close(fd);
  EXPECT_EQ(Add("big"), kStatusFileTooLarge);
  EXPECT_EQ(archive_->entryCount(), 1);
  ASSERT_EQ(archive_->CloseAndCommit(), kStatusOk);  // the rewrite goes on
  EXPECT_EQ(test::ReadFile(ArchivePath()), before);
}

// A file that shrank between its size query and its copy: original_size
// promises more bytes than the file has.
TEST_F(AddFixture, ShrunkenSourceGivesUpTheRewrite) {
  for (int store = 0; store <= 1; ++store) {
    SCOPED_TRACE(store);
    Write("keep", "kept member");
    options_.compareTimes = false;
    Reopen();
    ASSERT_EQ(Add("keep"), kStatusOk);
    CommitAndReopen();
    const std::string before = test::ReadFile(ArchivePath());

    Write("shrunk", std::string(20000, 'q'));
    ASSERT_EQ(archive_->BeginRewrite(), kStatusOk);
    const plat::FileHandle output =
        plat::OpenFile(Internal(dir_ / "member.bin").c_str(), plat::Access::ReadWrite,
                       plat::Share::None, plat::Disposition::CreateAlways);
    plat::FileHandle source = plat::OpenFile(Internal(dir_ / "shrunk").c_str(), plat::Access::Read,
                                             plat::Share::Read, plat::Disposition::OpenExisting);
    ASSERT_NE(source, plat::kInvalidFile);
    ArchiveEntry entry{};
    std::strcpy(entry.name, "shrunk");
    entry.header_level = 2;
    entry.attributes = 0x20;
    entry.original_size = 30000;
    EXPECT_EQ(archive_->WriteMember(output, source, entry, store != 0), kStatusCannotOpenFile);
    plat::CloseFile(source);
    plat::CloseFile(output);
    Write("other", "other");
    EXPECT_EQ(Add("other"), kStatusRewriteFailed);  // the run is over
    EXPECT_EQ(archive_->CloseAndCommit(), kStatusCommitFailed);
    EXPECT_EQ(test::ReadFile(ArchivePath()), before);
    EXPECT_FALSE(test::FileExists(dir_ / "lhawk000.dat"));
    Reopen();
  }
}

TEST_F(AddFixture, FailedWriteGivesUpTheRewrite) {
  Write("keep", "kept member");
  ASSERT_EQ(Add("keep"), kStatusOk);
  CommitAndReopen();
  const std::string before = test::ReadFile(ArchivePath());
  Write("file", test::RandomBytes(5000, 3));
  // /dev/full refuses every write, as a full disk does. (The POSIX backend's
  // handles are descriptors; tsubo itself opens regular files only.)
  const plat::FileHandle full = ::open("/dev/full", O_RDWR);
  ASSERT_NE(full, plat::kInvalidFile);
  for (int store = 0; store <= 1; ++store) {
    Reopen();
    ASSERT_EQ(archive_->BeginRewrite(), kStatusOk);
    plat::FileHandle source = plat::OpenFile(Internal(dir_ / "file").c_str(), plat::Access::Read,
                                             plat::Share::Read, plat::Disposition::OpenExisting);
    ArchiveEntry entry{};
    std::strcpy(entry.name, "file");
    entry.header_level = 2;
    entry.attributes = 0x20;
    entry.original_size = 5000;
    EXPECT_EQ(archive_->WriteMember(full, source, entry, store != 0), kStatusRewriteFailed);
    plat::CloseFile(source);
    EXPECT_EQ(archive_->CloseAndCommit(), kStatusCommitFailed) << store;
  }
  plat::CloseFile(full);
  EXPECT_EQ(test::ReadFile(ArchivePath()), before);
}

}  // namespace
