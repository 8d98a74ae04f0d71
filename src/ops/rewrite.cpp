// Rebuilding an archive through a work file beside it: the work-file name,
// the start of a rewrite (every member copied), deletion of members, and the
// commit that puts the rebuilt archive in the old one's place in one rename.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ops/unlha.h"

namespace {

constexpr int kWorkFileNames = 999;  // lhawk000.dat .. lhawk998.dat

// Header and data of one member.
std::uint64_t MemberLength(const ArchiveEntry& entry) {
  return (entry.data_offset - entry.header_offset) + entry.packed_size;
}

// archivePath with its last component replaced by lhawkNNN.dat.
bool FormatWorkFileName(const char* archivePath, int number, char* buffer) {
  const char* separator = plat::FindLastBackslash(archivePath);
  const std::size_t folderLength =
      separator != nullptr ? static_cast<std::size_t>(separator - archivePath) + 1 : 0;
  char leaf[16];
  std::snprintf(leaf, sizeof leaf, "lhawk%03d.dat", number);
  if (folderLength + std::strlen(leaf) >= static_cast<std::size_t>(kPathSize)) return false;
  std::memcpy(buffer, archivePath, folderLength);
  std::strcpy(buffer + folderLength, leaf);
  return true;
}

}  // namespace

bool CUnlha::MakeWorkFileName(char* buffer) const {
  for (int number = 0; number < kWorkFileNames; ++number) {
    if (!FormatWorkFileName(archivePath_.c_str(), number, buffer)) return false;
    // Only a name that certainly names nothing is free: a file, a folder,
    // a link (dangling or not), or a name behind a missing or unreadable
    // folder counts as taken.
    plat::NameInfo info;
    if (!plat::QueryName(buffer, &info) && plat::LastError() == plat::kErrorFileNotFound) {
      return true;
    }
  }
  return false;
}

// Creates a fresh work file under the first free name and returns its
// handle. It is private to its owner until the commit gives it the
// archive's permissions. Creating never truncates or follows anything that
// appeared after the name was found free (another run in the same folder);
// the search then goes on.
plat::FileHandle CUnlha::CreateWorkFile(char* path) const {
  for (int attempt = 0; attempt < kWorkFileNames; ++attempt) {
    if (!MakeWorkFileName(path)) return plat::kInvalidFile;
    const plat::FileHandle file = plat::CreateScratchFile(path, true);
    if (file != plat::kInvalidFile) return file;
    if (plat::LastError() != plat::kErrorFileExists) return plat::kInvalidFile;
  }
  return plat::kInvalidFile;
}

// Copies every member of the directory from `source` to the current end of
// `destination`, and points each record at its new place.
bool CUnlha::CopyMembers(plat::FileHandle destination, plat::FileHandle source) {
  std::uint64_t position = plat::SeekFile(destination, 0, plat::SeekOrigin::End);
  if (position == UINT64_MAX) return false;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const ArchiveEntry entry = entries_[i];
    const std::uint64_t length = MemberLength(entry);
    if (plat::SeekFile(source, static_cast<std::int64_t>(entry.header_offset),
                       plat::SeekOrigin::Begin) != entry.header_offset ||
        !CopyBytes(destination, source, length)) {
      return false;
    }
    entries_.Relocate(i, position, position + (entry.data_offset - entry.header_offset));
    position += length;
  }
  return true;
}

StatusCode CUnlha::BeginRewrite() {
  // The records of a self-extracting archive point into the executable; a
  // rebuilt file would either lose the stub or misplace the members.
  if (archiveStart_ > 0) return kStatusSfxNotWritable;
  // A new archive: claim its name now, so that a second run cannot create
  // it too; the commit renames the work file over this empty file. An
  // interrupt before the commit removes the claim again.
  if (archiveFile_ == plat::kInvalidFile) {
    archiveFile_ = plat::CreateScratchFile(archivePath_.c_str(), false);
    if (archiveFile_ == plat::kInvalidFile) return kStatusCannotOpen;
    createdArchive_ = true;
  }
  workFile_ = CreateWorkFile(workPath_);
  if (workFile_ == plat::kInvalidFile) {
    if (createdArchive_) {
      plat::CloseFile(archiveFile_);
      archiveFile_ = plat::kInvalidFile;
      plat::DeleteFile(archivePath_.c_str());
      createdArchive_ = false;
    }
    return kStatusRewriteFailed;
  }
  // The members go to the work file back to back from offset 0.
  if (!CopyMembers(workFile_, archiveFile_)) {
    plat::CloseFile(workFile_);
    workFile_ = plat::kInvalidFile;
    plat::DeleteFile(workPath_);
    return kStatusRewriteFailed;
  }
  return kStatusOk;
}

StatusCode CUnlha::DeleteMember(std::int32_t index) { return DeleteMembers({index}); }

StatusCode CUnlha::DeleteMembers(const std::vector<std::int32_t>& indices) {
  std::vector<std::int32_t> doomed = indices;
  std::sort(doomed.begin(), doomed.end());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  if (doomed.empty()) return kStatusOk;
  if (doomed.front() < 0 || doomed.back() >= entryCount()) return kStatusNoSuchEntry;
  if (rewriteFailed_) return kStatusRewriteFailed;
  if (workFile_ == plat::kInvalidFile) {
    const StatusCode begun = BeginRewrite();
    if (begun != kStatusOk) return begun;
  }
  // The bytes of the deleted members stay in the work file until the commit
  // drops them.
  entries_.Remove(doomed);
  modified_ = true;
  return kStatusOk;
}

bool CUnlha::CopyBytes(plat::FileHandle destination, plat::FileHandle source,
                       std::uint64_t length) {
  return CopyData(destination, source, length).outcome == DataOutcome::kOk;
}

// Closes and removes the work file, and the archive file when this run
// created it: the archive is left as it was before the run. An archive
// object that goes without its commit does this too.
void CUnlha::Abandon() {
  if (workFile_ != plat::kInvalidFile) {
    plat::CloseFile(workFile_);
    workFile_ = plat::kInvalidFile;
    plat::DeleteFile(workPath_);
  }
  if (archiveFile_ != plat::kInvalidFile) {
    plat::CloseFile(archiveFile_);
    archiveFile_ = plat::kInvalidFile;
  }
  if (createdArchive_) {
    plat::DeleteFile(archivePath_.c_str());
    createdArchive_ = false;
  }
}

// Copies the members that the directory still lists into a second work
// file, which then takes the first one's place.
bool CUnlha::Compact() {
  char compactPath[kPathSize];
  const plat::FileHandle compacted = CreateWorkFile(compactPath);
  if (compacted == plat::kInvalidFile) return false;
  if (!CopyMembers(compacted, workFile_)) {
    plat::CloseFile(compacted);
    plat::DeleteFile(compactPath);
    return false;
  }
  plat::CloseFile(workFile_);
  plat::DeleteFile(workPath_);
  workFile_ = compacted;
  std::strcpy(workPath_, compactPath);
  modified_ = false;
  return true;
}

// Compaction when needed, the end mark, the archive's permissions, and the
// data on the disk.
bool CUnlha::FinishWorkFile() {
  if (modified_ && !Compact()) return false;
  if (plat::SeekFile(workFile_, 0, plat::SeekOrigin::End) == UINT64_MAX) return false;
  const char endMark = 0;
  if (plat::WriteFile(workFile_, &endMark, 1) != 1) return false;
  // The archive keeps its owner's choices: its permission bits, owner and
  // group (a new archive's claim has what a new file gets).
  if (archiveFile_ != plat::kInvalidFile) plat::CopyPermissions(archiveFile_, workFile_);
  if (!plat::FlushFile(workFile_)) return false;
  plat::CloseFile(workFile_);
  workFile_ = plat::kInvalidFile;
  return true;
}

StatusCode CUnlha::CloseAndCommit() {
  StopAhead();
  bool committed = true;
  if (workFile_ == plat::kInvalidFile && !rewriteFailed_) {
    // Nothing was changed: the archive file stays as it is.
    if (archiveFile_ != plat::kInvalidFile) plat::CloseFile(archiveFile_);
    archiveFile_ = plat::kInvalidFile;
  } else if (rewriteFailed_ || !FinishWorkFile()) {
    Abandon();
    committed = false;
  } else {
    // The archive stays held until the new one has taken its name: no other
    // run can read the old one meanwhile and later commit over this one.
    const plat::FileHandle held = archiveFile_;
    archiveFile_ = plat::kInvalidFile;
    if (!plat::ReplaceHeldFile(workPath_, archivePath_.c_str(), held)) {
      // When the work file is still there, the archive was not replaced.
      if (plat::GetFileAttributes(workPath_) != plat::kInvalidAttributes) {
        plat::DeleteFile(workPath_);
        if (createdArchive_) plat::DeleteFile(archivePath_.c_str());
      }
      committed = false;
    }
    createdArchive_ = false;
  }
  entries_.clear();
  modified_ = false;
  rewriteFailed_ = false;
  return committed ? kStatusOk : kStatusCommitFailed;
}
