// The rewrite through a work file, in process: work-file names, copying the
// members, deletion, compaction and the commit, on archives of three stored
// members whose bytes the tests know.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ops/lha.h"
#include "support/archive_builder.h"
#include "support/support.h"

namespace {

using test::FolderNames;
using test::Internal;
using test::WorkFiles;

// An archive of three stored members, written and opened.
class SmallArchive {
 public:
  explicit SmallArchive(const test::TempDir& dir, const std::string& leaf = "arc.lzh",
                        const std::string& stub = "")
      : path(dir / leaf) {
    for (const char* name : {"one", "two", "three"}) {
      const lzhtest::Member m = lzhtest::Stored(name, std::string("data of ") + name);
      members.push_back(lzhtest::Header(m) + m.data);
    }
    original = stub + Bytes({0, 1, 2});
    test::WriteFile(path, original);
  }

  // The members `kept`, back to back, and the end mark.
  std::string Bytes(const std::vector<int>& kept) const {
    std::string bytes;
    for (int i : kept) bytes += members[static_cast<std::size_t>(i)];
    return bytes + '\0';
  }
  void Open(CLha& archive) const {
    ASSERT_TRUE(Opened(archive.Open(Internal(path).c_str(), false)));
  }

  std::string path;
  std::string original;
  std::vector<std::string> members;
};

// Gives up the rewrite the way a member that cannot be written whole does.
void FailAWrite(CLha& archive) {
  const plat::FileHandle full = ::open("/dev/full", O_RDWR);
  ArchiveEntry entry{};
  std::strcpy(entry.name, "x");
  entry.header_level = 2;
  EXPECT_EQ(archive.WriteMember(full, plat::kInvalidFile, entry, true), kStatusRewriteFailed);
  ::close(static_cast<int>(full));
}

TEST(WorkFileName, FirstFreeNameBesideTheArchive) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  CLha archive;
  bytes.Open(archive);
  char buffer[kPathSize];
  ASSERT_TRUE(archive.MakeWorkFileName(buffer));
  EXPECT_EQ(std::string(buffer), Internal(dir / "lhawk000.dat"));
  test::WriteFile(dir / "lhawk000.dat", "keep");
  ASSERT_TRUE(archive.MakeWorkFileName(buffer));
  EXPECT_EQ(std::string(buffer), Internal(dir / "lhawk001.dat"));
  mkdir((dir / "lhawk001.dat").c_str(), 0755);  // a folder of that name is taken too
  ASSERT_TRUE(archive.MakeWorkFileName(buffer));
  EXPECT_EQ(std::string(buffer), Internal(dir / "lhawk002.dat"));
}

TEST(WorkFileName, AllNamesTakenFailsWithoutTouchingThem) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  for (int n = 0; n < 999; ++n) {
    char leaf[16];
    std::snprintf(leaf, sizeof leaf, "lhawk%03d.dat", n);
    test::WriteFile(dir / leaf, "owned by someone else");
  }
  CLha archive;
  bytes.Open(archive);
  char buffer[kPathSize];
  EXPECT_FALSE(archive.MakeWorkFileName(buffer));
  EXPECT_EQ(archive.DeleteMembers({0}), kStatusRewriteFailed);
  EXPECT_EQ(archive.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(test::ReadFile(dir / "lhawk000.dat"), "owned by someone else");
  EXPECT_EQ(test::ReadFile(dir / "lhawk998.dat"), "owned by someone else");
  EXPECT_EQ(FolderNames(dir.path()).size(), 1000u);
}

TEST(CopyBytes, CopiesReadsAndStopsShort) {
  test::TempDir dir;
  const std::string content = test::RandomBytes(100000, 7);
  test::WriteFile(dir / "src", content);
  plat::FileHandle source = plat::OpenFile(Internal(dir / "src").c_str(), plat::Access::Read,
                                           plat::Share::Read, plat::Disposition::OpenExisting);
  plat::FileHandle destination =
      plat::OpenFile(Internal(dir / "dst").c_str(), plat::Access::ReadWrite, plat::Share::None,
                     plat::Disposition::CreateNew);
  ASSERT_NE(source, plat::kInvalidFile);
  ASSERT_NE(destination, plat::kInvalidFile);
  EXPECT_TRUE(CUnlha::CopyBytes(destination, source, 70000));
  EXPECT_TRUE(CUnlha::CopyBytes(plat::kInvalidFile, source, 10000));  // read only
  EXPECT_TRUE(CUnlha::CopyBytes(destination, source, 20000));
  EXPECT_FALSE(CUnlha::CopyBytes(destination, source, 1));  // at the end
  plat::CloseFile(source);
  plat::CloseFile(destination);
  EXPECT_EQ(test::ReadFile(dir / "dst"), content.substr(0, 70000) + content.substr(80000));
}

struct DeleteCase {
  const char* title;
  std::vector<std::int32_t> indices;
  std::vector<int> survivors;
};

TEST(DeleteMembers, CommitKeepsTheSurvivorsInOrder) {
  const std::vector<DeleteCase> cases = {
      {"first", {0}, {1, 2}}, {"middle", {1}, {0, 2}},
      {"last", {2}, {0, 1}},  {"two, unsorted, repeated", {2, 0, 2}, {1}},
      {"all", {0, 1, 2}, {}},
  };
  for (const DeleteCase& c : cases) {
    SCOPED_TRACE(c.title);
    test::TempDir dir;
    SmallArchive bytes(dir);
    CLha archive;
    bytes.Open(archive);
    ASSERT_EQ(archive.DeleteMembers(c.indices), kStatusOk);
    EXPECT_EQ(archive.entryCount(), static_cast<std::int32_t>(c.survivors.size()));
    ASSERT_EQ(archive.CloseAndCommit(), kStatusOk);
    EXPECT_EQ(test::ReadFile(bytes.path), bytes.Bytes(c.survivors));
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"arc.lzh"});
  }
}

TEST(DeleteMember, RecordOutsideTheDirectoryIsRefused) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  CLha archive;
  bytes.Open(archive);
  EXPECT_EQ(archive.DeleteMember(-1), kStatusNoSuchEntry);
  EXPECT_EQ(archive.DeleteMember(3), kStatusNoSuchEntry);
  EXPECT_EQ(archive.DeleteMembers({3}), kStatusNoSuchEntry);
  EXPECT_TRUE(WorkFiles(dir.path()).empty());  // nothing started
  ASSERT_EQ(archive.DeleteMember(1), kStatusOk);
  ASSERT_EQ(archive.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.Bytes({0, 2}));
}

TEST(CloseAndCommit, NoChangeLeavesTheArchiveFileAlone) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  test::SetMTime(bytes.path, 1000000000);
  CLha archive;
  bytes.Open(archive);
  ASSERT_EQ(archive.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(archive.entryCount(), 0);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(test::GetMTime(bytes.path), 1000000000);
}

TEST(CloseAndCommit, RewriteWithoutChangesCopiesEveryMember) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  CLha archive;
  bytes.Open(archive);
  ASSERT_EQ(archive.BeginRewrite(), kStatusOk);
  EXPECT_EQ(WorkFiles(dir.path()), std::vector<std::string>{"lhawk000.dat"});
  ASSERT_EQ(archive.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"arc.lzh"});
}

TEST(CloseAndCommit, CompactionUsesFreeNamesAndLeavesOthersAlone) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  test::WriteFile(dir / "lhawk000.dat", "someone else's");
  CLha archive;
  bytes.Open(archive);
  ASSERT_EQ(archive.DeleteMembers({0}), kStatusOk);
  EXPECT_EQ(WorkFiles(dir.path()), (std::vector<std::string>{"lhawk000.dat", "lhawk001.dat"}));
  ASSERT_EQ(archive.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.Bytes({1, 2}));
  EXPECT_EQ(FolderNames(dir.path()), (std::vector<std::string>{"arc.lzh", "lhawk000.dat"}));
  EXPECT_EQ(test::ReadFile(dir / "lhawk000.dat"), "someone else's");
}

TEST(CloseAndCommit, FailedRewriteLeavesTheArchiveAsItWas) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  CLha archive;
  bytes.Open(archive);
  ASSERT_EQ(archive.DeleteMembers({1}), kStatusOk);
  FailAWrite(archive);
  EXPECT_EQ(archive.DeleteMembers({0}), kStatusRewriteFailed);
  EXPECT_EQ(archive.CloseAndCommit(), kStatusCommitFailed);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"arc.lzh"});
}

TEST(BeginRewrite, CopyFailureDiscardsTheWorkFile) {
  test::TempDir dir;
  SmallArchive bytes(dir);
  // The last member claims more data than the file holds.
  std::string cut = bytes.original;
  cut.resize(cut.size() - 4);
  test::WriteFile(bytes.path, cut);
  CLha archive;
  bytes.Open(archive);
  EXPECT_EQ(archive.DeleteMembers({0}), kStatusRewriteFailed);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"arc.lzh"});
  EXPECT_EQ(archive.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(test::ReadFile(bytes.path), cut);
}

TEST(BeginRewrite, SelfExtractingArchiveIsRefused) {
  test::TempDir dir;
  SmallArchive bytes(dir, "setup.exe", "MZ" + std::string(100, '\x90'));
  CLha archive;
  bytes.Open(archive);
  EXPECT_EQ(archive.DeleteMembers({1}), kStatusSfxNotWritable);
  EXPECT_EQ(archive.AddFile("anything", false), kStatusSfxNotWritable);
  EXPECT_EQ(archive.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"setup.exe"});
}

TEST(BeginRewrite, NewArchiveClaimsItsNameUntilTheCommit) {
  test::TempDir dir;
  const std::string path = Internal(dir / "new.lzh");
  CLha first;
  CLha second;
  ASSERT_EQ(first.Open(path.c_str(), true), kStatusOk);
  ASSERT_EQ(second.Open(path.c_str(), true), kStatusOk);
  ASSERT_EQ(first.BeginRewrite(), kStatusOk);
  EXPECT_TRUE(test::FileExists(dir / "new.lzh"));
  EXPECT_EQ(second.BeginRewrite(), kStatusCannotOpen);  // a second run may not create it too
  EXPECT_EQ(second.CloseAndCommit(), kStatusOk);
  EXPECT_TRUE(test::FileExists(dir / "new.lzh"));
  ASSERT_EQ(first.CloseAndCommit(), kStatusOk);
  EXPECT_EQ(test::ReadFile(dir / "new.lzh"), std::string(1, '\0'));  // the end mark alone
  EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"new.lzh"});
}

TEST(BeginRewrite, AbandonedNewArchiveIsRemoved) {
  test::TempDir dir;
  CLha archive;
  ASSERT_EQ(archive.Open(Internal(dir / "new.lzh").c_str(), true), kStatusOk);
  ASSERT_EQ(archive.BeginRewrite(), kStatusOk);
  FailAWrite(archive);
  EXPECT_EQ(archive.CloseAndCommit(), kStatusCommitFailed);
  EXPECT_TRUE(FolderNames(dir.path()).empty());
}

}  // namespace
