// CLha, the writing side of the archive object: adding a file or directory
// as a member (new or replacing one), and laying down one member's header
// and data at the end of the work file.
#include "ops/lha.h"

#include <cstring>
#include <string>

#include "archive/header_writer.h"
#include "archive/member_path.h"
#include "lzh/method.h"
#include "ops/file_streams.h"

namespace {

constexpr std::uint64_t kLargestFile = 0xFFFFFFFFu;  // sizes are 32-bit in headers

// Closes the source of one AddFile on every way out.
class SourceFile {
 public:
  explicit SourceFile(plat::FileHandle handle) : handle_(handle) {}
  ~SourceFile() {
    if (handle_ != plat::kInvalidFile) plat::CloseFile(handle_);
  }
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  plat::FileHandle get() const { return handle_; }

 private:
  plat::FileHandle handle_;
};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The member path of a file name: with directory parts in use the name
// without a drive prefix, otherwise its last component alone. A directory
// gets a final backslash (and so an empty name part). Fails when the path
// does not fit the 260-byte fields.
bool MemberPathOf(const char* fileName, bool isDirectory, bool useDirs, ArchiveEntry& entry) {
  std::string path = fileName;
  if (isDirectory && (path.empty() || *plat::LastChar(path.c_str()) != '\\')) path += '\\';
  if (path.size() >= static_cast<std::size_t>(kPathSize)) return false;
  const char* rest = path.c_str();
  if (useDirs) {
    if (IsAsciiLetter(rest[0]) && rest[1] == ':') rest += 2;  // drive prefix
    SplitMemberPath(rest, entry);
  } else {
    const char* separator = plat::FindLastBackslash(rest);
    entry.directory[0] = '\0';
    std::strcpy(entry.name, separator != nullptr ? separator + 1 : rest);
  }
  return true;
}

void SetMethod(ArchiveEntry& entry, const char* method) { std::memcpy(entry.method, method, 6); }

}  // namespace

bool CLha::FindMember(const std::string& memberPath, std::int32_t* index) {
  if (indexedCount_ != entries_.size()) {
    // The directory changed without us (loaded, or members deleted).
    memberIndex_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      memberIndex_.emplace(entries_.MemberPathAt(i), static_cast<std::int32_t>(i));
    }
    indexedCount_ = entries_.size();
  }
  const auto found = memberIndex_.find(memberPath);
  if (found == memberIndex_.end()) return false;
  *index = found->second;
  return true;
}

StatusCode CLha::AddFile(const char* name, bool storeOnly) {
  if (RewriteGivenUp()) return kStatusRewriteFailed;
  // A name from the root is opened as it stands, as RunAdd looks it up.
  const std::string fullPath = name[0] == '\\' ? std::string(name) : options_.baseDir + name;
  if (fullPath.size() >= static_cast<std::size_t>(kPathSize)) return kStatusCannotOpenFile;
  if (workFile_ == plat::kInvalidFile) {
    const StatusCode begun = BeginRewrite();
    if (begun != kStatusOk) return begun;
  }

  const std::uint32_t attributes = plat::GetFileAttributes(fullPath.c_str());
  if (attributes == plat::kInvalidAttributes) return kStatusCannotOpenFile;
  const bool isDirectory = (attributes & plat::kAttrDirectory) != 0;
  if (!isDirectory && ((options_.skipHidden && (attributes & plat::kAttrHidden)) ||
                       (options_.skipSystem && (attributes & plat::kAttrSystem)))) {
    return kStatusAttributeSkip;
  }
  // A directory is opened only to read its time stamp.
  const SourceFile source(plat::OpenFile(fullPath.c_str(),
                                         isDirectory ? plat::Access::Query : plat::Access::Read,
                                         plat::Share::Read, plat::Disposition::OpenExisting));
  if (source.get() == plat::kInvalidFile) return kStatusCannotOpenFile;

  ArchiveEntry record{};
  if (!MemberPathOf(name, isDirectory, options_.useDirs, record)) return kStatusCannotOpenFile;
  const std::string memberPath = MemberPath(record);
  plat::FileTime lastWrite = 0;
  if (!plat::GetFileTime(source.get(), &lastWrite)) return kStatusCannotOpenFile;
  std::int32_t memberIndexFound = -1;
  const bool replacing = FindMember(memberPath, &memberIndexFound);
  if (replacing) {
    record = entries_[static_cast<std::size_t>(memberIndexFound)];
    // Headers keep whole seconds at best: compare on whole seconds.
    if (options_.compareTimes && record.mtime >= lastWrite - lastWrite % plat::kFileTimePerSecond) {
      return kStatusNotNewer;
    }
  } else if (options_.freshenOnly) {
    return kStatusNotAMember;
  }

  record.os_id = 'M';
  if (!isDirectory) {
    std::uint64_t size = 0;
    if (!plat::GetFileSize(source.get(), &size)) return kStatusCannotOpenFile;
    if (size > kLargestFile) return kStatusFileTooLarge;
    record.original_size = static_cast<std::uint32_t>(size);
  }
  record.header_level = options_.headerLevel;
  record.mtime = lastWrite;
  record.attributes = attributes;

  const StatusCode written = WriteMember(workFile_, source.get(), record, storeOnly);
  if (written != kStatusOk) return written;
  if (replacing) {
    // The old copy stays in the work file until the commit drops it.
    entries_.Replace(static_cast<std::size_t>(memberIndexFound), record);
    modified_ = true;
  } else {
    entries_.push_back(record);
    memberIndex_.emplace(memberPath, static_cast<std::int32_t>(entries_.size() - 1));
    indexedCount_ = entries_.size();
  }
  return kStatusOk;
}

// The stored copy: exactly original_size bytes, or the file shrank.
StatusCode CLha::Store(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry) {
  SetMethod(entry, "-lh0-");
  entry.packed_size = entry.original_size;
  const DataResult copied = CopyData(output, source, entry.original_size);
  if (copied.outcome != DataOutcome::kOk) {
    // The file ended early (it shrank), or the work file took less.
    return copied.outcome == DataOutcome::kDataError ? kStatusCannotOpenFile : kStatusRewriteFailed;
  }
  entry.crc = copied.crc;
  return kStatusOk;
}

StatusCode CLha::Compress(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry) {
  static constexpr int kMethodNumbers[] = {5, 6, 7};  // by methodChoice
  const lzh::MethodInfo& method = lzh::MethodForNumber(kMethodNumbers[options_.methodChoice]);
  SetMethod(entry, method.name);
  if (!encoder_) encoder_ = std::make_unique<lzh::Encoder>();
  FileSource in(source);
  FileSink out(output);
  const lzh::EncodeResult result = encoder_->Encode(method.number, in, entry.original_size, out);
  entry.crc = result.crc;
  if (result.outcome == lzh::EncodeResult::Outcome::kWriteError) return kStatusRewriteFailed;
  if (result.outcome == lzh::EncodeResult::Outcome::kNotSmaller) {
    // Not smaller: store the file instead, over the compressed bytes.
    if (plat::SeekFile(output, static_cast<std::int64_t>(entry.data_offset),
                       plat::SeekOrigin::Begin) != entry.data_offset ||
        plat::SeekFile(source, 0, plat::SeekOrigin::Begin) != 0) {
      return kStatusRewriteFailed;
    }
    return Store(output, source, entry);
  }
  // The encoder reads to the end of the file: a file that changed size since
  // it was measured does not match original_size.
  if (result.bytesRead != entry.original_size) return kStatusCannotOpenFile;
  entry.packed_size = static_cast<std::uint32_t>(result.packedSize);
  return kStatusOk;
}

StatusCode CLha::WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                             bool storeOnly) {
  entry.header_offset = plat::SeekFile(output, 0, plat::SeekOrigin::End);
  if (entry.header_offset == UINT64_MAX) {
    GiveUpRewrite();
    return kStatusRewriteFailed;
  }
  const std::uint32_t headerLength = WriteHeader(output, entry, true);
  if (headerLength == 0) return kStatusRewriteFailed;  // nothing written yet
  entry.data_offset = entry.header_offset + headerLength;

  // Anything that goes wrong once bytes are in the work file leaves a member
  // whose header does not match its data: the whole rewrite is given up.
  StatusCode status = kStatusOk;
  if (plat::SeekFile(output, headerLength, plat::SeekOrigin::Current) != entry.data_offset) {
    status = kStatusRewriteFailed;
  } else if (entry.name[0] == '\0') {
    SetMethod(entry, "-lhd-");
    entry.crc = 0;
    entry.packed_size = entry.original_size;
  } else if (storeOnly || entry.original_size == 0) {
    status = Store(output, source, entry);
  } else {
    status = Compress(output, source, entry);
  }
  if (status == kStatusOk &&
      (plat::SeekFile(output, static_cast<std::int64_t>(entry.header_offset),
                      plat::SeekOrigin::Begin) != entry.header_offset ||
       WriteHeader(output, entry, false) != headerLength ||
       // The member must end the work file, or the next header would not
       // follow its data.
       plat::SeekFile(output, 0, plat::SeekOrigin::End) != entry.data_offset + entry.packed_size)) {
    status = kStatusRewriteFailed;
  }
  if (status != kStatusOk) GiveUpRewrite();
  return status;
}
