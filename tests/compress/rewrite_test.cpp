// The rewrite through a work file, in process: work-file names, copying the
// members, deletion, compaction and the commit. The "members" here are plain
// byte runs described by hand-made records, since the rewrite only moves
// bytes from header_offset to the end of the data.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "compress/lha.h"
#include "support/support.h"

namespace {

// Internal (CP932, '\'-separated) form of a POSIX path.
std::string Internal(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

struct Piece {
  std::string header;
  std::string data;
};

// Writes the pieces back to back with an end mark and opens the result as
// an archive whose records describe the pieces.
class ByteArchive {
 public:
  ByteArchive(const test::TempDir& dir, const std::vector<Piece>& pieces,
              const std::string& leaf = "arc.lzh")
      : path(dir / leaf) {
    std::string bytes;
    for (const Piece& piece : pieces) {
      ArchiveEntry entry{};
      entry.header_offset = bytes.size();
      bytes += piece.header;
      entry.data_offset = bytes.size();
      bytes += piece.data;
      entry.packed_size = static_cast<std::uint32_t>(piece.data.size());
      records.push_back(entry);
    }
    bytes += '\0';
    original = bytes;
    test::WriteFile(path, bytes);
  }

  // Sets the archive object up as an open archive of these records.
  void Attach(CLha& archive) const {
    std::snprintf(archive.archivePath, kPathSize, "%s", Internal(path).c_str());
    archive.archiveFile = plat::OpenFile(archive.archivePath, plat::Access::Read, plat::Share::None,
                                         plat::Disposition::OpenExisting);
    ASSERT_NE(archive.archiveFile, plat::kInvalidFile);
    archive.entries = records;
  }

  std::string path;
  std::string original;
  std::vector<ArchiveEntry> records;
};

std::vector<Piece> ThreePieces() {
  return {{"H1h", "data-one"}, {"H2hh", "data-two!!"}, {"H3", "three"}};
}

std::vector<std::string> FolderContents(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WorkFileName, FirstFreeNameBesideTheArchive) {
  test::TempDir dir;
  CLha archive;
  std::snprintf(archive.archivePath, kPathSize, "%s", Internal(dir / "arc.lzh").c_str());
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
  ByteArchive bytes(dir, ThreePieces());
  for (int n = 0; n < 999; ++n) {
    char leaf[16];
    std::snprintf(leaf, sizeof leaf, "lhawk%03d.dat", n);
    test::WriteFile(dir / leaf, "owned by someone else");
  }
  CLha archive;
  bytes.Attach(archive);
  char buffer[kPathSize];
  EXPECT_FALSE(archive.MakeWorkFileName(buffer));
  EXPECT_FALSE(archive.DeleteMembers({0}));
  EXPECT_EQ(archive.status, kStatusRewriteFailed);
  EXPECT_EQ(archive.workFile, plat::kInvalidFile);
  EXPECT_TRUE(archive.CloseAndCommit());
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(test::ReadFile(dir / "lhawk000.dat"), "owned by someone else");
  EXPECT_EQ(test::ReadFile(dir / "lhawk998.dat"), "owned by someone else");
  EXPECT_EQ(FolderContents(dir.path()).size(), 1000u);
}

TEST(CopyBytes, CopiesReadsAndStopsShort) {
  test::TempDir dir;
  const std::string content = test::RandomBytes(100000, 7);
  test::WriteFile(dir / "src", content);
  CLha archive;
  plat::FileHandle source = plat::OpenFile(Internal(dir / "src").c_str(), plat::Access::Read,
                                           plat::Share::Read, plat::Disposition::OpenExisting);
  plat::FileHandle destination =
      plat::OpenFile(Internal(dir / "dst").c_str(), plat::Access::ReadWrite, plat::Share::None,
                     plat::Disposition::CreateNew);
  ASSERT_NE(source, plat::kInvalidFile);
  ASSERT_NE(destination, plat::kInvalidFile);
  EXPECT_EQ(archive.CopyBytes(destination, source, 70000), 70000);
  EXPECT_EQ(archive.CopyBytes(plat::kInvalidFile, source, 10000), 10000);  // read only
  EXPECT_EQ(archive.CopyBytes(destination, source, 20000), 20000);
  EXPECT_EQ(archive.CopyBytes(destination, source, 1), -1);  // at the end
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
    const std::vector<Piece> pieces = ThreePieces();
    ByteArchive bytes(dir, pieces);
    CLha archive;
    bytes.Attach(archive);
    ASSERT_TRUE(archive.DeleteMembers(c.indices));
    EXPECT_EQ(archive.entryCount(), static_cast<std::int32_t>(c.survivors.size()));
    EXPECT_TRUE(archive.modified);
    ASSERT_TRUE(archive.CloseAndCommit());
    std::string expected;
    for (int i : c.survivors) expected += pieces[i].header + pieces[i].data;
    expected += '\0';
    EXPECT_EQ(test::ReadFile(bytes.path), expected);
    EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"arc.lzh"});
  }
}

TEST(DeleteMember, RecordOutsideTheDirectoryIsRefused) {
  test::TempDir dir;
  ByteArchive bytes(dir, ThreePieces());
  CLha archive;
  bytes.Attach(archive);
  ArchiveEntry stranger{};
  EXPECT_FALSE(archive.DeleteMember(&stranger));
  EXPECT_EQ(archive.status, kStatusNoSuchEntry);
  auto* inside = reinterpret_cast<ArchiveEntry*>(reinterpret_cast<char*>(&archive.entries[1]) + 4);
  EXPECT_FALSE(archive.DeleteMember(inside));
  EXPECT_EQ(archive.status, kStatusNoSuchEntry);
  EXPECT_FALSE(archive.DeleteMembers({3}));
  EXPECT_EQ(archive.status, kStatusNoSuchEntry);
  EXPECT_EQ(archive.workFile, plat::kInvalidFile);  // nothing started
  ASSERT_TRUE(archive.DeleteMember(&archive.entries[1]));
  EXPECT_EQ(archive.status, kStatusOk);
  ASSERT_TRUE(archive.CloseAndCommit());
  EXPECT_EQ(test::ReadFile(bytes.path), "H1hdata-oneH3three" + std::string(1, '\0'));
}

TEST(CloseAndCommit, NoChangeLeavesTheArchiveFileAlone) {
  test::TempDir dir;
  ByteArchive bytes(dir, ThreePieces());
  test::SetMTime(bytes.path, 1000000000);
  CLha archive;
  bytes.Attach(archive);
  ASSERT_TRUE(archive.CloseAndCommit());
  EXPECT_EQ(archive.entryCount(), 0);
  EXPECT_EQ(archive.archiveFile, plat::kInvalidFile);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(test::GetMTime(bytes.path), 1000000000);
}

TEST(CloseAndCommit, RewriteWithoutChangesCopiesEveryMember) {
  test::TempDir dir;
  ByteArchive bytes(dir, ThreePieces());
  CLha archive;
  bytes.Attach(archive);
  ASSERT_TRUE(archive.BeginRewrite());
  EXPECT_EQ(std::string(archive.workPath), Internal(dir / "lhawk000.dat"));
  ASSERT_TRUE(archive.CloseAndCommit());
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"arc.lzh"});
}

TEST(CloseAndCommit, CompactionUsesFreeNamesAndLeavesOthersAlone) {
  test::TempDir dir;
  ByteArchive bytes(dir, ThreePieces());
  test::WriteFile(dir / "lhawk000.dat", "someone else's");
  CLha archive;
  bytes.Attach(archive);
  ASSERT_TRUE(archive.DeleteMembers({0}));
  EXPECT_EQ(std::string(archive.workPath), Internal(dir / "lhawk001.dat"));
  ASSERT_TRUE(archive.CloseAndCommit());
  EXPECT_EQ(test::ReadFile(bytes.path), "H2hhdata-two!!H3three" + std::string(1, '\0'));
  EXPECT_EQ(FolderContents(dir.path()), (std::vector<std::string>{"arc.lzh", "lhawk000.dat"}));
  EXPECT_EQ(test::ReadFile(dir / "lhawk000.dat"), "someone else's");
}

TEST(CloseAndCommit, FailedRewriteLeavesTheArchiveAsItWas) {
  test::TempDir dir;
  ByteArchive bytes(dir, ThreePieces());
  CLha archive;
  bytes.Attach(archive);
  ASSERT_TRUE(archive.DeleteMembers({1}));
  archive.rewriteFailed = 1;  // as WriteMember leaves it after a short write
  EXPECT_FALSE(archive.DeleteMembers({0}));
  EXPECT_EQ(archive.status, kStatusRewriteFailed);
  EXPECT_FALSE(archive.CloseAndCommit());
  EXPECT_EQ(archive.status, kStatusCommitFailed);
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"arc.lzh"});
}

TEST(BeginRewrite, CopyFailureDiscardsTheWorkFile) {
  test::TempDir dir;
  ByteArchive bytes(dir, ThreePieces());
  CLha archive;
  bytes.Attach(archive);
  archive.entries[2].packed_size += 100;  // runs past the end of the file
  EXPECT_FALSE(archive.DeleteMembers({0}));
  EXPECT_EQ(archive.status, kStatusRewriteFailed);
  EXPECT_EQ(archive.workFile, plat::kInvalidFile);
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"arc.lzh"});
  EXPECT_TRUE(archive.CloseAndCommit());
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
}

TEST(BeginRewrite, SelfExtractingArchiveIsRefused) {
  test::TempDir dir;
  ByteArchive bytes(dir, ThreePieces(), "setup.exe");
  CLha archive;
  bytes.Attach(archive);
  archive.archiveStart = 3;
  EXPECT_FALSE(archive.DeleteMembers({1}));
  EXPECT_EQ(archive.status, kStatusSfxNotWritable);
  EXPECT_EQ(archive.AddFile("anything"), 0);
  EXPECT_EQ(archive.status, kStatusSfxNotWritable);
  EXPECT_EQ(archive.workFile, plat::kInvalidFile);
  EXPECT_TRUE(archive.CloseAndCommit());
  EXPECT_EQ(test::ReadFile(bytes.path), bytes.original);
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"setup.exe"});
}

TEST(BeginRewrite, NewArchiveClaimsItsNameUntilTheCommit) {
  test::TempDir dir;
  const std::string path = dir / "new.lzh";
  CLha first;
  CLha second;
  for (CLha* archive : {&first, &second}) {
    std::snprintf(archive->archivePath, kPathSize, "%s", Internal(path).c_str());
  }
  ASSERT_TRUE(first.BeginRewrite());
  EXPECT_TRUE(test::FileExists(path));
  EXPECT_FALSE(second.BeginRewrite());  // a second run may not create it too
  EXPECT_EQ(second.status, kStatusCannotOpen);
  EXPECT_EQ(second.workFile, plat::kInvalidFile);
  EXPECT_TRUE(second.CloseAndCommit());
  EXPECT_TRUE(test::FileExists(path));
  ASSERT_TRUE(first.CloseAndCommit());
  EXPECT_EQ(test::ReadFile(path), std::string(1, '\0'));  // the end mark alone
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"new.lzh"});
}

TEST(BeginRewrite, AbandonedNewArchiveIsRemoved) {
  test::TempDir dir;
  CLha archive;
  std::snprintf(archive.archivePath, kPathSize, "%s", Internal(dir / "new.lzh").c_str());
  ASSERT_TRUE(archive.BeginRewrite());
  archive.rewriteFailed = 1;
  EXPECT_FALSE(archive.CloseAndCommit());
  EXPECT_TRUE(FolderContents(dir.path()).empty());
}

}  // namespace
