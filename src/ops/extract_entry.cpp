// Extraction and testing of one member: the filters, the path and overwrite
// questions, the output file with its time, attributes, Unix mode and owner,
// unpacking the data (decoded or copied), and the CRC comparison.
#include <string>

#include "archive/member_path.h"
#include "lzh/method.h"
#include "lzh/stored.h"
#include "ops/file_streams.h"
#include "ops/output_paths.h"
#include "ops/unlha.h"

namespace {

StatusCode CheckCrc(const ArchiveEntry& entry, std::uint16_t crc) {
  return crc == entry.crc ? kStatusOk : kStatusCrcError;
}

std::uint32_t AttributesToSet(const ArchiveOptions& options, const ArchiveEntry& entry) {
  std::uint32_t attributes = entry.attributes;
  if (options.clearReadOnly) attributes &= ~plat::kAttrReadOnly;
  return attributes;
}

// The permission bits from a member's Unix mode, with the read-only rule
// of the attributes on top: read-only takes the owner's write permission
// away, and where read-only is cleared the owner may always write.
std::uint16_t UnixModeToSet(const ArchiveOptions& options, const ArchiveEntry& entry) {
  constexpr std::uint16_t kOwnerWrite = 0200;
  std::uint16_t mode = entry.unix_mode;
  if (AttributesToSet(options, entry) & plat::kAttrReadOnly) {
    mode &= ~kOwnerWrite;
  } else if (options.clearReadOnly) {
    mode |= kOwnerWrite;
  }
  return mode;
}

// The status of an unpack that did not come out whole.
StatusCode StatusOf(DataOutcome outcome) {
  switch (outcome) {
    case DataOutcome::kUnsupported:
      return kStatusUnsupportedMethod;
    case DataOutcome::kWriteError:
      return kStatusCannotCreateOutput;
    default:
      return kStatusDataError;
  }
}

}  // namespace

DataOutcome OutcomeOf(lzh::CodecStatus status) {
  switch (status) {
    case lzh::CodecStatus::kOk:
      return DataOutcome::kOk;
    case lzh::CodecStatus::kWriteError:
      return DataOutcome::kWriteError;
    default:
      return DataOutcome::kDataError;  // a read error leaves the member's data short
  }
}

namespace {

// Gives up a scratch file that will not take its name; a read-only one
// would stay.
void Discard(const std::string& temporary) {
  plat::SetFileAttributes(temporary.c_str(), plat::kAttrNormal);
  plat::DeleteFile(temporary.c_str());
}

}  // namespace

StatusCode CUnlha::TestMember(plat::FileHandle handle, const ArchiveEntry& entry) {
  if (IsDirectoryMember(entry)) return kStatusOk;
  const DataResult result = UnpackData(handle, plat::kInvalidFile, entry);
  if (result.outcome != DataOutcome::kOk) return StatusOf(result.outcome);
  return CheckCrc(entry, result.crc);
}

StatusCode CUnlha::ExtractDirectory(const ArchiveEntry& entry, const char* output) const {
  if ((entry.packed_size != 0 || entry.original_size != 0) && !options_.keepGoing) {
    return kStatusBadHeader;
  }
  // The output path ends with the directory's separator, so this makes the
  // directory itself; one that already exists counts as made.
  MakeParentDirectories(output);
  std::string directory = output;
  if (!directory.empty()) directory.resize(plat::LastChar(output) - output);
  plat::SetFileAttributes(directory.c_str(), AttributesToSet(options_, entry));
  return kStatusOk;
}

// kStatusNotNewer when what is named `output` must stay. A link
// there counts with its own time and is replaced, never followed; a folder
// there counts as absent, and the member then fails to take its name.
StatusCode CUnlha::MayReplace(const ArchiveEntry& entry, const char* output) {
  plat::NameInfo existing;
  if (!plat::QueryName(output, &existing) || existing.isDirectory) return kStatusOk;
  // Whole seconds on both sides; converting both to local time would keep
  // their order, so the comparison is made in UTC.
  if (options_.compareTimes &&
      existing.lastWrite / plat::kFileTimePerSecond >= entry.mtime / plat::kFileTimePerSecond) {
    return kStatusNotNewer;
  }
  if (!noConfirm_) {
    int yes = 0;
    int all = 0;
    if (inquire_ != nullptr) inquire_->AskOverwrite(entry.name, &yes, &all);
    if (all) noConfirm_ = true;
    if (!yes) return kStatusNotNewer;
  }
  return kStatusOk;
}

// The member is written to a private scratch file beside its output path,
// gets its time and attributes there, and only then takes its name in one
// move: a failed or interrupted member leaves nothing under its name, and
// nothing that the name pointed to is ever written.
StatusCode CUnlha::ExtractFile(plat::FileHandle handle, const ArchiveEntry& entry,
                               const char* output) {
  const StatusCode replace = MayReplace(entry, output);
  if (replace != kStatusOk) return replace;
  if (lzh::FindMethod(entry.method) == nullptr) return kStatusUnsupportedMethod;
  std::string temporary;
  plat::FileHandle file = CreateOutputFile(output, &temporary);
  if (file == plat::kInvalidFile) return kStatusCannotCreateOutput;
  const DataResult result = UnpackData(handle, file, entry);
  if (result.outcome != DataOutcome::kOk) {
    plat::CloseFile(file);
    Discard(temporary);
    return StatusOf(result.outcome);
  }
  plat::SetFileTime(file, entry.mtime, entry.mtime);
  plat::SetFileAttributesOf(file, AttributesToSet(options_, entry));
  // Owner first: giving a file away may clear permission bits.
  if (entry.has_unix_owner) plat::SetUnixOwner(file, entry.unix_uid, entry.unix_gid);
  if (entry.has_unix_mode) plat::SetUnixMode(file, UnixModeToSet(options_, entry));
  plat::CloseFile(file);  // Windows moves only a file that nobody holds
  if (!plat::MoveReplacing(temporary.c_str(), output)) {
    Discard(temporary);
    return kStatusCannotCreateOutput;
  }
  return CheckCrc(entry, result.crc);
}

StatusCode CUnlha::CheckPath(const ArchiveEntry& entry, const char* relative) {
  if (skipPathCheck_ || !IsUnsafePath(relative)) return kStatusOk;
  if (inquire_ == nullptr) return kStatusUnsafePath;
  int yes = 0;
  int all = 0;
  inquire_->AskExtractPath(IsDirectoryMember(entry) ? "<dir>" : entry.name, &yes, &all);
  if (all) skipPathCheck_ = true;
  return yes ? kStatusOk : kStatusUnsafePath;
}

StatusCode CUnlha::ExtractEntry(const ArchiveEntry& entry) {
  // The data is read at its offset; only a closed archive has none.
  const plat::FileHandle handle = DataFile();
  if (handle == plat::kInvalidFile) return kStatusMemberUnreachable;
  return ExtractFromHandle(handle, entry);
}

StatusCode CUnlha::ExtractFromHandle(plat::FileHandle handle, const ArchiveEntry& entry) {
  if (options_.testMode) return TestMember(handle, entry);

  const bool isDirectory = IsDirectoryMember(entry);
  if (isDirectory && !options_.useDirs) return kStatusDirectoryNotUsed;
  if ((options_.skipHidden && (entry.attributes & plat::kAttrHidden)) ||
      (options_.skipSystem && (entry.attributes & plat::kAttrSystem))) {
    return kStatusAttributeSkip;
  }
  char relative[kPathSize];
  char output[kPathSize];
  const bool fits = MakeRelativePath(entry, options_.useDirs, relative);
  if (fits) {
    const StatusCode path = CheckPath(entry, relative);
    if (path != kStatusOk) return path;
  }
  if (!fits ||
      !MakeOutputPath(options_.baseDir.c_str(), relative, options_.lowerCaseNames, output)) {
    return kStatusPathTooLong;
  }
  return isDirectory ? ExtractDirectory(entry, output) : ExtractFile(handle, entry, output);
}

DataResult Unpack(Codecs& codecs, lzh::ByteSource& in, const ArchiveEntry& entry,
                  lzh::ByteSink* out) {
  const lzh::MethodInfo* method = lzh::FindMethod(entry.method);
  if (method == nullptr) return {DataOutcome::kUnsupported, 0};
  lzh::DecodeResult result;
  switch (method->codec) {
    case lzh::Codec::kStored:
      // Stored data is exactly as long as the file: anything else would
      // read past the member, into the next one.
      if (entry.packed_size != entry.original_size) return {DataOutcome::kDataError, 0};
      result = lzh::CopyStored(in, entry.original_size, out);
      break;
    case lzh::Codec::kStaticHuffman:
      result = Made(codecs.decoder).Decode(*method, in, entry.original_size, out);
      break;
    case lzh::Codec::kLh1:
      result = Made(codecs.lh1).Decode(in, entry.original_size, out);
      break;
    case lzh::Codec::kLzs:
      result = Made(codecs.lzs).Decode(in, entry.original_size, out);
      break;
    case lzh::Codec::kLz5:
      result = Made(codecs.lz5).Decode(in, entry.original_size, out);
      break;
  }
  return {OutcomeOf(result.status), result.crc};
}

DataResult CUnlha::UnpackData(plat::FileHandle archiveSide, plat::FileHandle fileSide,
                              const ArchiveEntry& entry) {
  ProgressMeter meter(inquire_, StoredPath(entry), entry.original_size);
  FileSink file(fileSide);
  MeteredSink out(fileSide != plat::kInvalidFile ? &file : nullptr, meter);
  if (const std::shared_ptr<AheadJob> job = TakeAheadJob(entry)) return Drain(*job, &out, meter);
  FileRangeSource in(archiveSide, entry.data_offset, entry.packed_size);
  return Unpack(codecs_, in, entry, &out);
}

DataResult CUnlha::CopyData(plat::FileHandle destination, plat::FileHandle source,
                            std::uint64_t count, ProgressMeter* meter) {
  FileSource file(source, count);
  ProgressMeter unmetered(nullptr, "", count);
  MeteredSource in(file, meter != nullptr ? *meter : unmetered);
  FileSink sink(destination);
  const lzh::DecodeResult result =
      lzh::CopyStored(in, count, destination != plat::kInvalidFile ? &sink : nullptr);
  return {OutcomeOf(result.status), result.crc};
}
