// CLha, the writing side of the archive object: adding a file or directory
// as a member (new or replacing one), and laying down one member's header
// and data at the end of the work file.
#include "compress/lha.h"

#include <cstring>
#include <string>

#include "compress/file_streams.h"

namespace {

constexpr plat::FileTime kTicksPerSecond = 10'000'000;  // FILETIME units
constexpr std::uint64_t kLargestFile = 0xFFFFFFFFu;     // sizes are 32-bit in headers

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

// Splits name into the member's directory and name parts (the member path).
// A directory gets a final backslash and an empty name. Fails when the path
// does not fit the 260-byte fields.
bool SplitMemberPath(const char* fileName, bool isDirectory, bool useDirs, ArchiveEntry& entry) {
  char path[kPathSize];
  const std::size_t length = std::strlen(fileName);
  if (length >= static_cast<std::size_t>(kPathSize)) return false;
  std::memcpy(path, fileName, length + 1);
  if (isDirectory && (length == 0 || *plat::LastChar(path) != '\\')) {
    if (length + 1 >= static_cast<std::size_t>(kPathSize)) return false;
    path[length] = '\\';
    path[length + 1] = '\0';
  }
  entry.directory[0] = '\0';
  const char* rest = path;
  if (useDirs) {
    if (IsAsciiLetter(rest[0]) && rest[1] == ':') rest += 2;  // drive prefix
    const char* separator = plat::FindLastBackslash(rest);
    if (separator != nullptr) {
      const std::size_t folderLength = static_cast<std::size_t>(separator - rest) + 1;
      std::memcpy(entry.directory, rest, folderLength);
      entry.directory[folderLength] = '\0';
      rest = separator + 1;
    }
  } else {
    const char* separator = plat::FindLastBackslash(path);
    if (separator != nullptr) rest = separator + 1;
  }
  std::strcpy(entry.name, rest);
  return true;
}

void SetMethod(ArchiveEntry& entry, const char* method, int number) {
  std::memcpy(entry.method, method, 6);
  entry.method_number = number;
}

}  // namespace

bool CLha::FindMember(const char* memberPath, std::int32_t* index) {
  if (indexedCount != entries.size()) {
    // The directory changed without us (loaded, or members deleted).
    memberIndex.clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      memberIndex.emplace(std::string(entries[i].directory) + entries[i].name,
                          static_cast<std::int32_t>(i));
    }
    indexedCount = entries.size();
  }
  const auto found = memberIndex.find(memberPath);
  if (found == memberIndex.end()) return false;
  *index = found->second;
  return true;
}

int CLha::AddFile(const char* name) {
  status = kStatusOk;
  if (rewriteFailed) {
    status = kStatusRewriteFailed;
    return 0;
  }
  // A name from the root is opened as it stands, as RunAdd looks it up.
  std::string fullPath = name[0] == '\\' ? std::string(name) : std::string(baseDir) + name;
  if (fullPath.size() >= static_cast<std::size_t>(kPathSize)) {
    status = kStatusCannotOpenFile;
    return 0;
  }
  if (workFile == plat::kInvalidFile && !BeginRewrite()) return 0;

  const std::uint32_t attributes = plat::GetFileAttributes(fullPath.c_str());
  if (attributes == plat::kInvalidAttributes) {
    status = kStatusCannotOpenFile;
    return 0;
  }
  const bool isDirectory = (attributes & plat::kAttrDirectory) != 0;
  if (!isDirectory && ((skipHidden && (attributes & plat::kAttrHidden)) ||
                       (skipSystem && (attributes & plat::kAttrSystem)))) {
    status = kStatusAttributeSkip;
    return 0;
  }
  // A directory is opened only to read its time stamp.
  const SourceFile source(plat::OpenFile(fullPath.c_str(),
                                         isDirectory ? plat::Access::Query : plat::Access::Read,
                                         plat::Share::Read, plat::Disposition::OpenExisting));
  if (source.get() == plat::kInvalidFile) {
    status = kStatusCannotOpenFile;
    return 0;
  }

  ArchiveEntry record{};
  if (!SplitMemberPath(name, isDirectory, useDirs != 0, record)) {
    status = kStatusCannotOpenFile;
    return 0;
  }
  const std::string memberPath = std::string(record.directory) + record.name;
  plat::FileTime lastWrite = 0;
  if (!plat::GetFileTime(source.get(), &lastWrite)) {
    status = kStatusCannotOpenFile;
    return 0;
  }
  std::int32_t memberIndexFound = -1;
  const bool replacing = FindMember(memberPath.c_str(), &memberIndexFound);
  if (replacing) {
    record = entries[static_cast<std::size_t>(memberIndexFound)];
    // Headers keep whole seconds at best: compare on whole seconds.
    if (compareTimes && record.mtime >= lastWrite - lastWrite % kTicksPerSecond) {
      status = kStatusNotNewer;
      return 0;
    }
  } else if (freshenOnly) {
    status = kStatusNotAMember;
    return 0;
  }

  record.os_id = 'M';
  if (!isDirectory) {
    std::uint64_t size = 0;
    if (!plat::GetFileSize(source.get(), &size)) {
      status = kStatusCannotOpenFile;
      return 0;
    }
    if (size > kLargestFile) {
      status = kStatusFileTooLarge;
      return 0;
    }
    record.original_size = static_cast<std::uint32_t>(size);
  }
  record.header_level = headerLevel;
  record.mtime = lastWrite;
  record.attributes = attributes;

  if (!WriteMember(workFile, source.get(), record)) return 0;
  record.archive_handle = plat::kInvalidFile;
  record.file_handle = plat::kInvalidFile;

  if (replacing) {
    // The old copy stays in the work file until the commit drops it.
    entries[static_cast<std::size_t>(memberIndexFound)] = record;
    modified = 1;
  } else {
    entries.push_back(record);
    memberIndex.emplace(memberPath, static_cast<std::int32_t>(entries.size() - 1));
    indexedCount = entries.size();
  }
  return 1;
}

bool CLha::WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry) {
  // Anything that goes wrong once bytes are in the work file leaves a member
  // whose header does not match its data: the whole rewrite is given up.
  const auto fail = [this](std::int32_t code) {
    status = code;
    rewriteFailed = 1;
    return false;
  };
  entry.header_offset = plat::SeekFile(output, 0, plat::SeekOrigin::End);
  if (entry.header_offset == UINT64_MAX) return fail(kStatusRewriteFailed);
  const std::uint32_t headerLength = WriteHeader(output, entry, true);
  if (headerLength == 0) {
    status = kStatusRewriteFailed;  // nothing written yet
    return false;
  }
  entry.data_offset = entry.header_offset + headerLength;
  if (plat::SeekFile(output, headerLength, plat::SeekOrigin::Current) != entry.data_offset) {
    return fail(kStatusRewriteFailed);
  }

  // The stored copy: exactly original_size bytes, or the file shrank.
  const auto store = [&]() {
    SetMethod(entry, "-lh0-", 0);
    entry.packed_size = entry.original_size;
    const DataResult copied = CopyData(output, source, entry.original_size);
    if (copied.outcome != DataOutcome::kOk) {
      // The file ended early (it shrank), or the work file took less.
      return fail(copied.outcome == DataOutcome::kDataError ? kStatusCannotOpenFile
                                                            : kStatusRewriteFailed);
    }
    entry.crc = copied.crc;
    return true;
  };

  if (entry.name[0] == '\0') {
    SetMethod(entry, "-lhd-", 0);
    entry.crc = 0;
    entry.packed_size = entry.original_size;
  } else if (storeOnly || entry.original_size == 0) {
    if (!store()) return false;
  } else {
    if (methodChoice == 2) {
      SetMethod(entry, "-lh7-", 7);
    } else if (methodChoice == 1) {
      SetMethod(entry, "-lh6-", 6);
    } else {
      SetMethod(entry, "-lh5-", 5);
    }
    if (!encoder) encoder = std::make_unique<lzh::Encoder>();
    FileSource in(source);
    FileSink out(output);
    const lzh::EncodeResult result =
        encoder->Encode(entry.method_number, in, entry.original_size, out);
    entry.crc = result.crc;
    if (result.outcome == lzh::EncodeResult::Outcome::kWriteError) {
      return fail(kStatusRewriteFailed);
    }
    if (result.outcome == lzh::EncodeResult::Outcome::kNotSmaller) {
      // Not smaller: store the file instead, over the compressed bytes.
      if (plat::SeekFile(output, static_cast<std::int64_t>(entry.data_offset),
                         plat::SeekOrigin::Begin) != entry.data_offset ||
          plat::SeekFile(source, 0, plat::SeekOrigin::Begin) != 0) {
        return fail(kStatusRewriteFailed);
      }
      if (!store()) return false;
    } else if (result.bytesRead != entry.original_size) {
      // The encoder reads to the end of the file: the file changed size
      // since it was measured, and the data does not match original_size.
      return fail(kStatusCannotOpenFile);
    } else {
      entry.packed_size = static_cast<std::uint32_t>(result.packedSize);
    }
  }

  if (plat::SeekFile(output, static_cast<std::int64_t>(entry.header_offset),
                     plat::SeekOrigin::Begin) != entry.header_offset ||
      WriteHeader(output, entry, false) != headerLength) {
    return fail(kStatusRewriteFailed);
  }
  // The member must end the work file, or the next header would not follow
  // its data.
  if (plat::SeekFile(output, 0, plat::SeekOrigin::End) != entry.data_offset + entry.packed_size) {
    return fail(kStatusRewriteFailed);
  }
  return true;
}
