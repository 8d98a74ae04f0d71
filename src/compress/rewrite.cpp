// Rebuilding an archive through a work file beside it: the work-file name,
// the start of a rewrite (every member copied), deletion of members, and the
// commit that puts the rebuilt archive in the old one's place in one rename.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "archive/unlha.h"

namespace {

constexpr std::uint32_t kCopyBufferSize = 32768;
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

// Creates a fresh work file under the first free name and returns its
// handle. It is private to its owner until the commit gives it the
// archive's permissions. Creating never truncates or follows anything that
// appeared after the name was found free (another run in the same folder);
// the search then goes on.
plat::FileHandle CreateWorkFile(CUnlha& archive, char* path) {
  for (int attempt = 0; attempt < kWorkFileNames; ++attempt) {
    if (!archive.MakeWorkFileName(path)) return plat::kInvalidFile;
    const plat::FileHandle file = plat::CreateScratchFile(path, true);
    if (file != plat::kInvalidFile) return file;
    if (plat::LastError() != plat::kErrorFileExists) return plat::kInvalidFile;
  }
  return plat::kInvalidFile;
}

// Copies every member of `records` from `source` to the current end of
// `destination`, and points each record at its new place.
bool CopyMembers(CUnlha& archive, plat::FileHandle destination, plat::FileHandle source,
                 std::vector<ArchiveEntry>& records) {
  std::uint64_t position = plat::SeekFile(destination, 0, plat::SeekOrigin::End);
  if (position == UINT64_MAX) return false;
  for (ArchiveEntry& entry : records) {
    const std::uint64_t length = MemberLength(entry);
    if (plat::SeekFile(source, static_cast<std::int64_t>(entry.header_offset),
                       plat::SeekOrigin::Begin) != entry.header_offset) {
      return false;
    }
    if (archive.CopyBytes(destination, source, length) != static_cast<std::int64_t>(length)) {
      return false;
    }
    entry.data_offset = position + (entry.data_offset - entry.header_offset);
    entry.header_offset = position;
    position += length;
  }
  return true;
}

}  // namespace

bool CUnlha::MakeWorkFileName(char* buffer) {
  for (int number = 0; number < kWorkFileNames; ++number) {
    if (!FormatWorkFileName(archivePath, number, buffer)) return false;
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

bool CUnlha::BeginRewrite() {
  // The records of a self-extracting archive point into the executable; a
  // rebuilt file would either lose the stub or misplace the members.
  if (archiveStart > 0) {
    status = kStatusSfxNotWritable;
    return false;
  }
  // A new archive: claim its name now, so that a second run cannot create
  // it too; the commit renames the work file over this empty file.
  if (archiveFile == plat::kInvalidFile) {
    // An interrupt before the commit removes the claim again.
    archiveFile = plat::CreateScratchFile(archivePath, false);
    if (archiveFile == plat::kInvalidFile) {
      status = kStatusCannotOpen;
      return false;
    }
    createdArchive = 1;
  }
  workFile = CreateWorkFile(*this, workPath);
  if (workFile == plat::kInvalidFile) {
    status = kStatusRewriteFailed;
    if (createdArchive) {
      plat::CloseFile(archiveFile);
      archiveFile = plat::kInvalidFile;
      plat::DeleteFile(archivePath);
      createdArchive = 0;
    }
    return false;
  }
  // The members go to the work file back to back from offset 0.
  if (!CopyMembers(*this, workFile, archiveFile, entries)) {
    plat::CloseFile(workFile);
    workFile = plat::kInvalidFile;
    plat::DeleteFile(workPath);
    status = kStatusRewriteFailed;
    return false;
  }
  return true;
}

bool CUnlha::DeleteMember(ArchiveEntry* entry) {
  status = kStatusOk;
  const auto address = reinterpret_cast<std::uintptr_t>(entry);
  const auto first = reinterpret_cast<std::uintptr_t>(entries.data());
  const std::uintptr_t span = entries.size() * sizeof(ArchiveEntry);
  if (entries.empty() || address < first || address >= first + span ||
      (address - first) % sizeof(ArchiveEntry) != 0) {
    status = kStatusNoSuchEntry;
    return false;
  }
  const auto index = static_cast<std::int32_t>((address - first) / sizeof(ArchiveEntry));
  return DeleteMembers({index});
}

bool CUnlha::DeleteMembers(const std::vector<std::int32_t>& indices) {
  status = kStatusOk;
  std::vector<std::int32_t> doomed = indices;
  std::sort(doomed.begin(), doomed.end());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  if (doomed.empty()) return true;
  if (doomed.front() < 0 || doomed.back() >= entryCount()) {
    status = kStatusNoSuchEntry;
    return false;
  }
  if (rewriteFailed) {
    status = kStatusRewriteFailed;
    return false;
  }
  if (workFile == plat::kInvalidFile && !BeginRewrite()) return false;
  // One pass: the survivors move down over the gaps. The bytes of the
  // deleted members stay in the work file until the commit drops them.
  std::size_t kept = 0;
  std::size_t next = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (next < doomed.size() && static_cast<std::size_t>(doomed[next]) == i) {
      ++next;
      continue;
    }
    if (kept != i) entries[kept] = entries[i];
    ++kept;
  }
  entries.resize(kept);
  modified = 1;
  return true;
}

std::int64_t CUnlha::CopyBytes(plat::FileHandle destination, plat::FileHandle source,
                               std::uint64_t length) {
  std::vector<char> buffer(kCopyBufferSize);
  std::uint64_t remaining = length;
  while (remaining > 0) {
    const auto piece =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, kCopyBufferSize));
    if (plat::ReadFile(source, buffer.data(), piece) != static_cast<long>(piece)) return -1;
    if (destination != plat::kInvalidFile &&
        plat::WriteFile(destination, buffer.data(), piece) != static_cast<long>(piece)) {
      return -1;
    }
    remaining -= piece;
  }
  return static_cast<std::int64_t>(length);
}

namespace {

// Closes and removes the work file, and the archive file when this run
// created it: the archive is left as it was before the run.
void Abandon(CUnlha& archive) {
  if (archive.workFile != plat::kInvalidFile) {
    plat::CloseFile(archive.workFile);
    archive.workFile = plat::kInvalidFile;
    plat::DeleteFile(archive.workPath);
  }
  if (archive.archiveFile != plat::kInvalidFile) {
    plat::CloseFile(archive.archiveFile);
    archive.archiveFile = plat::kInvalidFile;
  }
  if (archive.createdArchive) {
    plat::DeleteFile(archive.archivePath);
    archive.createdArchive = 0;
  }
}

// Copies the members that the directory still lists into a second work
// file, which then takes the first one's place.
bool Compact(CUnlha& archive) {
  char compactPath[kPathSize];
  const plat::FileHandle compacted = CreateWorkFile(archive, compactPath);
  if (compacted == plat::kInvalidFile) return false;
  if (!CopyMembers(archive, compacted, archive.workFile, archive.entries)) {
    plat::CloseFile(compacted);
    plat::DeleteFile(compactPath);
    return false;
  }
  plat::CloseFile(archive.workFile);
  plat::DeleteFile(archive.workPath);
  archive.workFile = compacted;
  std::strcpy(archive.workPath, compactPath);
  archive.modified = 0;
  return true;
}

// Compaction when needed, the end mark, and the data on the disk.
bool FinishWorkFile(CUnlha& archive) {
  if (archive.modified && !Compact(archive)) return false;
  if (plat::SeekFile(archive.workFile, 0, plat::SeekOrigin::End) == UINT64_MAX) return false;
  const char endMark = 0;
  if (plat::WriteFile(archive.workFile, &endMark, 1) != 1) return false;
  // The archive keeps its owner's choices: its permission bits, owner and
  // group (a new archive's claim has what a new file gets).
  if (archive.archiveFile != plat::kInvalidFile) {
    plat::CopyPermissions(archive.archiveFile, archive.workFile);
  }
  if (!plat::FlushFile(archive.workFile)) return false;
  plat::CloseFile(archive.workFile);
  archive.workFile = plat::kInvalidFile;
  return true;
}

}  // namespace

bool CUnlha::CloseAndCommit() {
  status = kStatusOk;
  bool committed = true;
  if (workFile == plat::kInvalidFile && !rewriteFailed) {
    // Nothing was changed: the archive file stays as it is.
    if (archiveFile != plat::kInvalidFile) plat::CloseFile(archiveFile);
    archiveFile = plat::kInvalidFile;
  } else if (rewriteFailed || !FinishWorkFile(*this)) {
    Abandon(*this);
    committed = false;
  } else {
    // The archive stays held until the new one has taken its name: no other
    // run can read the old one meanwhile and later commit over this one.
    const plat::FileHandle held = archiveFile;
    archiveFile = plat::kInvalidFile;
    if (!plat::ReplaceHeldFile(workPath, archivePath, held)) {
      // When the work file is still there, the archive was not replaced.
      if (plat::GetFileAttributes(workPath) != plat::kInvalidAttributes) {
        plat::DeleteFile(workPath);
        if (createdArchive) plat::DeleteFile(archivePath);
      }
      committed = false;
    }
    createdArchive = 0;
  }
  entries.clear();
  modified = 0;
  rewriteFailed = 0;
  if (!committed) status = kStatusCommitFailed;
  return committed;
}
