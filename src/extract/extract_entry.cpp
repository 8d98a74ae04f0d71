// Extraction and testing of one member: the filters, the path and overwrite
// questions, the output file with its time and attributes, the stored copy,
// and the CRC comparison.
#include <cstring>
#include <string>

#include "lzh/crc16.h"
#include "archive/unlha.h"
#include "cli/frontend.h"
#include "cli/messages.h"
#include "extract/decoder.h"
#include "extract/output_paths.h"

namespace {

constexpr std::uint32_t kCopyBufferSize = 32768;
constexpr plat::FileTime kTicksPerSecond = 10000000;

bool IsDirectoryMember(const ArchiveEntry& entry) {
  return std::strcmp(entry.method, "-lhd-") == 0;
}

bool CheckCrc(CUnlha& archive, const ArchiveEntry& entry, std::uint16_t crc) {
  if (crc == entry.crc) return true;
  archive.status = kStatusCrcError;
  return false;
}

std::uint32_t AttributesToSet(const CUnlha& archive, const ArchiveEntry& entry) {
  std::uint32_t attributes = entry.attributes;
  if (archive.clearReadOnly) attributes &= ~plat::kAttrReadOnly;
  return attributes;
}

bool TestMember(CUnlha& archive, plat::FileHandle handle, ArchiveEntry& entry) {
  if (IsDirectoryMember(entry)) return true;
  int success = 0;
  int unsupported = 0;
  std::uint16_t crc = archive.UnpackData(handle, plat::kInvalidFile, entry, &success, &unsupported);
  if (unsupported) {
    archive.status = kStatusUnsupportedMethod;
    return false;
  }
  if (!success) {
    archive.status = kStatusDataError;
    return false;
  }
  return CheckCrc(archive, entry, crc);
}

bool ExtractDirectory(CUnlha& archive, const ArchiveEntry& entry, const char* output) {
  if ((entry.packed_size != 0 || entry.original_size != 0) && !archive.keepGoing) {
    archive.status = kStatusBadHeader;
    return false;
  }
  // The output path ends with the directory's separator, so this makes the
  // directory itself; one that already exists counts as made.
  MakeParentDirectories(output);
  char directory[kPathSize];
  std::strcpy(directory, output);
  if (directory[0] != '\0') *const_cast<char*>(plat::LastChar(directory)) = '\0';
  plat::SetFileAttributes(directory, AttributesToSet(archive, entry));
  return true;
}

// Returns false with status 12 when the existing file must stay.
bool MayReplace(CUnlha& archive, const ArchiveEntry& entry, const char* output, bool* exists) {
  *exists = false;
  plat::FileHandle existing = plat::OpenFile(output, plat::Access::Read, plat::Share::Read,
                                             plat::Disposition::OpenExisting);
  if (existing == plat::kInvalidFile) return true;  // absent, or unreadable: counts as absent
  *exists = true;
  plat::FileTime existingTime = 0;
  plat::GetFileTime(existing, &existingTime);
  plat::CloseFile(existing);
  // Whole seconds on both sides; converting both to local time would keep
  // their order, so the comparison is made in UTC.
  if (archive.compareTimes && existingTime / kTicksPerSecond >= entry.mtime / kTicksPerSecond) {
    archive.status = kStatusNotNewer;
    return false;
  }
  if (!archive.noConfirm) {
    int yes = 0;
    int all = 0;
    if (archive.inquire) archive.inquire->AskOverwrite(entry.name, &yes, &all);
    if (all) archive.noConfirm = 1;
    if (!yes) {
      archive.status = kStatusNotNewer;
      return false;
    }
  }
  return true;
}

bool ExtractFile(CUnlha& archive, plat::FileHandle handle, ArchiveEntry& entry,
                 const char* output) {
  bool exists = false;
  if (!MayReplace(archive, entry, output, &exists)) return false;
  if (GetMethodNumber(entry.method) == -1) {
    archive.status = kStatusUnsupportedMethod;
    return false;
  }
  // A read-only, hidden or system file can be replaced only once its
  // attributes are normal.
  if (exists || plat::GetFileAttributes(output) != plat::kInvalidAttributes) {
    plat::SetFileAttributes(output, plat::kAttrNormal);
  }
  plat::FileHandle file = CreateOutputFile(output);
  if (file == plat::kInvalidFile) {
    archive.status = kStatusCannotCreateOutput;
    return false;
  }
  int success = 0;
  int unsupported = 0;
  int writeFailed = 0;
  std::uint16_t crc = archive.UnpackData(handle, file, entry, &success, &unsupported, &writeFailed);
  if (!success) {
    plat::CloseFile(file);
    archive.status = kStatusDataError;
    return false;
  }
  if (writeFailed) {
    // The disk took only part of the data: the member is not extracted.
    plat::CloseFile(file);
    archive.status = kStatusCannotCreateOutput;
    return false;
  }
  plat::SetFileTime(file, entry.mtime, entry.mtime);
  plat::CloseFile(file);
  plat::SetFileAttributes(output, AttributesToSet(archive, entry));
  return CheckCrc(archive, entry, crc);
}

}  // namespace

bool CUnlha::ExtractEntry(ArchiveEntry& entry) {
  status = kStatusOk;
  plat::FileHandle handle = workFile != plat::kInvalidFile ? workFile : archiveFile;
  if (::SeekFile(handle, static_cast<std::int64_t>(entry.data_offset), plat::SeekOrigin::Begin) ==
      UINT64_MAX) {
    return false;
  }
  return ExtractFromHandle(handle, entry);
}

bool CUnlha::ExtractFromHandle(plat::FileHandle handle, ArchiveEntry& entry) {
  if (testMode) return TestMember(*this, handle, entry);

  const bool isDirectory = IsDirectoryMember(entry);
  if (isDirectory && !useDirs) {
    status = kStatusDirectoryNotUsed;
    return false;
  }
  if ((skipHidden && (entry.attributes & plat::kAttrHidden)) ||
      (skipSystem && (entry.attributes & plat::kAttrSystem))) {
    status = kStatusAttributeSkip;
    return false;
  }
  char relative[kPathSize];
  char output[kPathSize];
  bool fits = MakeRelativePath(entry, useDirs, relative);
  if (fits && !skipPathCheck && IsUnsafePath(relative)) {
    if (inquire == nullptr) {
      status = kStatusUnsafePath;
      return false;
    }
    int yes = 0;
    int all = 0;
    inquire->AskExtractPath(isDirectory ? "<dir>" : entry.name, &yes, &all);
    if (all) skipPathCheck = 1;
    if (!yes) {
      status = kStatusUnsafePath;
      return false;
    }
  }
  if (!fits || !MakeOutputPath(baseDir, relative, lowerCaseNames, output)) {
    std::string stored = std::string(entry.directory) + entry.name;
    PrintError(msg::kMsgExtractPathTooLong, stored.c_str());
    status = kStatusPathTooLong;
    return false;
  }
  return isDirectory ? ExtractDirectory(*this, entry, output)
                     : ExtractFile(*this, handle, entry, output);
}

std::uint16_t CUnlha::UnpackData(plat::FileHandle archiveSide, plat::FileHandle fileSide,
                                 ArchiveEntry& entry, int* success, int* unsupported,
                                 int* writeFailed) {
  *success = 0;
  *unsupported = 0;
  if (writeFailed) *writeFailed = 0;
  entry.archive_handle = archiveSide;
  entry.file_handle = fileSide;
  entry.method_number = GetMethodNumber(entry.method);
  switch (entry.method_number) {
    case 0: {
      std::uint16_t crc = 0;
      std::int64_t copied = CopyData(fileSide, archiveSide, entry.original_size, &crc);
      *success = 1;
      // A copy cut short by a short read or write must fail the CRC check,
      // even when the part copied happens to have the member's CRC (as
      // every run of zero bytes has).
      if (copied < 0) return static_cast<std::uint16_t>(~entry.crc);
      return crc;
    }
    case 5:
    case 6:
    case 7:
      return DecodeMember(entry, success, writeFailed);
    default:
      *unsupported = 1;
      return 0;
  }
}

std::int64_t CUnlha::CopyData(plat::FileHandle destination, plat::FileHandle source,
                              std::uint32_t count, std::uint16_t* crc) {
  static std::uint8_t buffer[kCopyBufferSize];
  *crc = 0;
  std::uint32_t remaining = count;
  while (remaining > 0) {
    std::uint32_t n = remaining < kCopyBufferSize ? remaining : kCopyBufferSize;
    if (plat::ReadFile(source, buffer, n) != static_cast<long>(n)) return -1;
    if (destination != plat::kInvalidFile &&
        plat::WriteFile(destination, buffer, n) != static_cast<long>(n)) {
      return -1;
    }
    *crc = Crc16Update(*crc, buffer, static_cast<long>(n));
    remaining -= n;
  }
  return count;
}
