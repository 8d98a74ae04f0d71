// Extraction and testing of one member: the filters, the path and overwrite
// questions, the output file with its time and attributes, the stored copy,
// and the CRC comparison.
#include <cstring>
#include <string>

#include "archive/unlha.h"
#include "cli/frontend.h"
#include "cli/messages.h"
#include "extract/decoder.h"
#include "extract/output_paths.h"
#include "lzh/crc16.h"

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

// The status of an unpack that did not come out whole.
std::int32_t StatusOf(DataOutcome outcome) {
  switch (outcome) {
    case DataOutcome::kUnsupported:
      return kStatusUnsupportedMethod;
    case DataOutcome::kWriteError:
      return kStatusCannotCreateOutput;
    default:
      return kStatusDataError;
  }
}

bool TestMember(CUnlha& archive, plat::FileHandle handle, ArchiveEntry& entry) {
  if (IsDirectoryMember(entry)) return true;
  const DataResult result = archive.UnpackData(handle, plat::kInvalidFile, entry);
  if (result.outcome != DataOutcome::kOk) {
    archive.status = StatusOf(result.outcome);
    return false;
  }
  return CheckCrc(archive, entry, result.crc);
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

// Returns false with status 12 when what is named `output` must stay. A
// link there counts with its own time and is replaced, never followed; a
// folder there counts as absent, and the member then fails to take its name.
bool MayReplace(CUnlha& archive, const ArchiveEntry& entry, const char* output) {
  plat::NameInfo existing;
  if (!plat::QueryName(output, &existing) || existing.isDirectory) return true;
  // Whole seconds on both sides; converting both to local time would keep
  // their order, so the comparison is made in UTC.
  if (archive.compareTimes &&
      existing.lastWrite / kTicksPerSecond >= entry.mtime / kTicksPerSecond) {
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

// Gives up a scratch file that will not take its name; a read-only one
// would stay.
void Discard(const std::string& temporary) {
  plat::SetFileAttributes(temporary.c_str(), plat::kAttrNormal);
  plat::DeleteFile(temporary.c_str());
}

// The member is written to a private scratch file beside its output path,
// gets its time and attributes there, and only then takes its name in one
// move: a failed or interrupted member leaves nothing under its name, and
// nothing that the name pointed to is ever written.
bool ExtractFile(CUnlha& archive, plat::FileHandle handle, ArchiveEntry& entry,
                 const char* output) {
  if (!MayReplace(archive, entry, output)) return false;
  if (GetMethodNumber(entry.method) == -1) {
    archive.status = kStatusUnsupportedMethod;
    return false;
  }
  std::string temporary;
  plat::FileHandle file = CreateOutputFile(output, &temporary);
  if (file == plat::kInvalidFile) {
    archive.status = kStatusCannotCreateOutput;
    return false;
  }
  const DataResult result = archive.UnpackData(handle, file, entry);
  if (result.outcome != DataOutcome::kOk) {
    plat::CloseFile(file);
    Discard(temporary);
    archive.status = StatusOf(result.outcome);
    return false;
  }
  plat::SetFileTime(file, entry.mtime, entry.mtime);
  plat::SetFileAttributesOf(file, AttributesToSet(archive, entry));
  plat::CloseFile(file);  // Windows moves only a file that nobody holds
  if (!plat::MoveReplacing(temporary.c_str(), output)) {
    Discard(temporary);
    archive.status = kStatusCannotCreateOutput;
    return false;
  }
  return CheckCrc(archive, entry, result.crc);
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
    PrintError(msg::kMsgExtractPathTooLong, ShownName(stored).c_str());
    status = kStatusPathTooLong;
    return false;
  }
  return isDirectory ? ExtractDirectory(*this, entry, output)
                     : ExtractFile(*this, handle, entry, output);
}

DataResult CUnlha::UnpackData(plat::FileHandle archiveSide, plat::FileHandle fileSide,
                              ArchiveEntry& entry) {
  entry.archive_handle = archiveSide;
  entry.file_handle = fileSide;
  entry.method_number = GetMethodNumber(entry.method);
  switch (entry.method_number) {
    case 0:
      // Stored data is exactly as long as the file: anything else would
      // read past the member, into the next one.
      if (entry.packed_size != entry.original_size) return {DataOutcome::kDataError, 0};
      return CopyData(fileSide, archiveSide, entry.original_size);
    case 5:
    case 6:
    case 7: {
      int success = 0;
      int writeFailed = 0;
      const std::uint16_t crc = DecodeMember(entry, &success, &writeFailed);
      if (!success) return {DataOutcome::kDataError, 0};
      if (writeFailed) return {DataOutcome::kWriteError, 0};
      return {DataOutcome::kOk, crc};
    }
    default:
      return {DataOutcome::kUnsupported, 0};
  }
}

DataResult CUnlha::CopyData(plat::FileHandle destination, plat::FileHandle source,
                            std::uint32_t count) {
  static std::uint8_t buffer[kCopyBufferSize];
  std::uint16_t crc = 0;
  std::uint32_t remaining = count;
  while (remaining > 0) {
    std::uint32_t n = remaining < kCopyBufferSize ? remaining : kCopyBufferSize;
    if (plat::ReadFile(source, buffer, n) != static_cast<long>(n)) {
      return {DataOutcome::kDataError, 0};
    }
    if (destination != plat::kInvalidFile &&
        plat::WriteFile(destination, buffer, n) != static_cast<long>(n)) {
      return {DataOutcome::kWriteError, 0};
    }
    crc = Crc16Update(crc, buffer, static_cast<long>(n));
    remaining -= n;
  }
  return {DataOutcome::kOk, crc};
}
