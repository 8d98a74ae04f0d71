// CLha, the writing side of the archive object: adding a file or directory
// as a member (new or replacing one), and laying down one member's header
// and data at the end of the work file.
#include "ops/lha.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "archive/header_writer.h"
#include "archive/member_path.h"
#include "lzh/method.h"
#include "ops/file_streams.h"
#include "ops/output_paths.h"

namespace {

// Levels 0 and 1 hold 32-bit sizes; level 2 adds 64-bit ones (type 0x42)
// for a file that needs them, up to what a file offset can reach.
constexpr std::uint64_t kLargestFile = 0xFFFFFFFFu;
constexpr std::uint64_t kLargestLevel2File = INT64_MAX;
constexpr std::uint16_t kAnyExecute = 0111;  // owner, group or others may run it
// A file compressed ahead keeps its compressed bytes in memory up to this
// size (never more than the file's own size), in a scratch file beyond.
constexpr std::uint32_t kInMemory = 4 << 20;
// What all the files queued ahead may hold in memory at most, and how many
// may be queued (each holds its file open).
constexpr std::uint64_t kAheadInMemory = 16 << 20;
constexpr std::size_t kMostFilesAhead = 64;

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

// The method written for the choice of -o: -lh5-, -lh6-, -lh7-.
const lzh::MethodInfo& MethodFor(int methodChoice) {
  static constexpr int kNumbers[] = {5, 6, 7};
  return lzh::MethodForNumber(kNumbers[methodChoice]);
}

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

// One file on its way into the archive: what Prepare found, and while its
// compression runs ahead, the worker's output.
struct CLha::Pending {
  std::string name;
  bool storeOnly = false;
  StatusCode prepared = kStatusOk;  // a failure met while preparing
  ArchiveEntry record{};
  std::string memberPath;
  bool replacing = false;
  std::int32_t index = -1;
  std::unique_ptr<SourceFile> source;
  // Compression ahead: the compressed bytes, in memory or (for a file over
  // kInMemory bytes) in a private scratch file beside the archive.
  bool ahead = false;
  // Waits for its turn: prepared then (see QueueFile).
  bool deferred = false;
  std::string bytes;
  plat::FileHandle spill = plat::kInvalidFile;
  std::string spillPath;
  std::atomic<bool> cancelled = false;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  lzh::EncodeResult result{};

  ~Pending() {
    if (spill != plat::kInvalidFile) {
      plat::CloseFile(spill);
      plat::DeleteFile(spillPath.c_str());
    }
  }
  std::atomic<std::uint64_t> read = 0;  // bytes of the file the worker read
  // Waits for the worker, telling `meter` how far it came; afterwards the
  // result and the bytes are whole.
  void Wait(ProgressMeter& meter) {
    std::unique_lock<std::mutex> lock(mutex);
    while (!finished.wait_for(lock, std::chrono::milliseconds(100), [this] { return done; })) {
      meter.Set(read);
    }
  }
};

CLha::~CLha() { DropQueue(); }

void CLha::DropQueue() {
  for (const std::shared_ptr<Pending>& file : queue_) file->cancelled = true;
  ProgressMeter unmetered(nullptr, "", 0);
  for (const std::shared_ptr<Pending>& file : queue_) {
    if (file->ahead) file->Wait(unmetered);
  }
  queue_.clear();
}

StatusCode CLha::CloseAndCommit() {
  DropQueue();
  queueStopped_ = false;
  return CUnlha::CloseAndCommit();
}

void CLha::Prepare(Pending& file) {
  file.prepared = kStatusOk;
  auto fail = [&file](StatusCode status) { file.prepared = status; };
  if (RewriteGivenUp()) return fail(kStatusRewriteFailed);
  const char* name = file.name.c_str();
  // A name from the root is opened as it stands, as RunAdd looks it up.
  const std::string fullPath = name[0] == '\\' ? file.name : options_.baseDir + file.name;
  if (fullPath.size() >= static_cast<std::size_t>(kPathSize)) return fail(kStatusCannotOpenFile);
  if (workFile_ == plat::kInvalidFile) {
    const StatusCode begun = BeginRewrite();
    if (begun != kStatusOk) return fail(begun);
  }

  const std::uint32_t attributes = plat::GetFileAttributes(fullPath.c_str());
  if (attributes == plat::kInvalidAttributes) return fail(kStatusCannotOpenFile);
  const bool isDirectory = (attributes & plat::kAttrDirectory) != 0;
  if (!isDirectory && ((options_.skipHidden && (attributes & plat::kAttrHidden)) ||
                       (options_.skipSystem && (attributes & plat::kAttrSystem)))) {
    return fail(kStatusAttributeSkip);
  }
  // A directory is opened only to read its time stamp.
  file.source = std::make_unique<SourceFile>(
      plat::OpenFile(fullPath.c_str(), isDirectory ? plat::Access::Query : plat::Access::Read,
                     plat::Share::Read, plat::Disposition::OpenExisting));
  const plat::FileHandle source = file.source->get();
  if (source == plat::kInvalidFile) return fail(kStatusCannotOpenFile);

  ArchiveEntry& record = file.record;
  if (!MemberPathOf(name, isDirectory, options_.useDirs, record)) {
    return fail(kStatusCannotOpenFile);
  }
  file.memberPath = MemberPath(record);
  plat::FileTime lastWrite = 0;
  if (!plat::GetFileTime(source, &lastWrite)) return fail(kStatusCannotOpenFile);
  file.replacing = FindMember(file.memberPath, &file.index);
  if (file.replacing) {
    record = entries_[static_cast<std::size_t>(file.index)];
    // Headers keep whole seconds at best: compare on whole seconds.
    if (options_.compareTimes && record.mtime >= lastWrite - lastWrite % plat::kFileTimePerSecond) {
      return fail(kStatusNotNewer);
    }
  } else if (options_.freshenOnly) {
    return fail(kStatusNotAMember);
  }

  record.os_id = 'M';
  if (!isDirectory) {
    std::uint64_t size = 0;
    if (!plat::GetFileSize(source, &size)) return fail(kStatusCannotOpenFile);
    if (size > (options_.headerLevel == 2 ? kLargestLevel2File : kLargestFile)) {
      return fail(kStatusFileTooLarge);
    }
    record.original_size = size;
  }
  record.header_level = options_.headerLevel;
  record.mtime = lastWrite;
  record.attributes = attributes;
  // An executable file keeps its mode, so that it runs where it is
  // extracted; other members (folders always have execute bits) carry none,
  // as archives carried none before.
  const std::uint16_t mode = isDirectory ? 0 : plat::UnixModeOf(source);
  record.has_unix_mode = (mode & kAnyExecute) != 0;
  record.unix_mode = record.has_unix_mode ? mode : 0;
  record.has_unix_owner = false;
}

StatusCode CLha::Commit(Pending& file) {
  if (file.prepared != kStatusOk) return file.prepared;
  ArchiveEntry& record = file.record;
  ProgressMeter meter(inquire_, file.name, record.original_size);
  const StatusCode written = WriteMember(workFile_, file.source->get(), record, file.storeOnly,
                                         file.ahead ? &file : nullptr, meter);
  if (written != kStatusOk) return written;
  if (file.replacing) {
    // The old copy stays in the work file until the commit drops it.
    entries_.Replace(static_cast<std::size_t>(file.index), record);
    modified_ = true;
  } else {
    entries_.push_back(record);
    memberIndex_.emplace(file.memberPath, static_cast<std::int32_t>(entries_.size() - 1));
    indexedCount_ = entries_.size();
  }
  return kStatusOk;
}

StatusCode CLha::AddFile(const char* name, bool storeOnly) {
  Pending file;
  file.name = name;
  file.storeOnly = storeOnly;
  Prepare(file);
  return Commit(file);
}

namespace {

// Whether the runner goes on after a file with this status.
bool GoesOn(StatusCode status) {
  return status == kStatusOk || status == kStatusAttributeSkip || status == kStatusNotNewer;
}

}  // namespace

std::size_t CLha::QueueWindow() const {
  // With one thread each file is added and reported before the next is
  // looked at, exactly as one AddFile after the other.
  if (options_.threads <= 1) return 1;
  // Many files a worker, so that a large file being compressed while the
  // oldest waits leaves no worker idle (with 4 a worker, the corpus of the
  // benchmark ran 1.5x faster on two cores than with one; with 16, 1.8x);
  // but no more compressed bytes in memory than kAheadInMemory (each file
  // holds at most kInMemory).
  std::uint64_t inMemory = 0;
  for (const std::shared_ptr<Pending>& file : queue_) {
    if (file->ahead && file->spill == plat::kInvalidFile) inMemory += file->record.original_size;
  }
  if (inMemory > kAheadInMemory) return queue_.size();  // the oldest goes first
  return std::min<std::size_t>(kMostFilesAhead,
                               16 * static_cast<std::size_t>(options_.threads) + 1);
}

void CLha::QueueFile(const char* name, bool storeOnly) {
  auto file = std::make_shared<Pending>();
  file->name = name;
  file->storeOnly = storeOnly;
  queue_.push_back(file);
  if (options_.threads <= 1) {
    file->prepared = AddFile(name, storeOnly);
    return;
  }
  // Prepared now unless an earlier file ends the run (nothing after it may
  // happen, not even the start of the rewrite) or goes to the same member
  // (this one must then see its record): those wait for their turn.
  for (const std::shared_ptr<Pending>& earlier : queue_) {
    if (earlier != file && !earlier->deferred && !GoesOn(earlier->prepared)) {
      file->deferred = true;
      return;
    }
  }
  Prepare(*file);
  for (const std::shared_ptr<Pending>& earlier : queue_) {
    if (earlier != file && !earlier->deferred && earlier->prepared == kStatusOk &&
        earlier->memberPath == file->memberPath) {
      file->deferred = true;
      return;
    }
  }
  if (file->prepared == kStatusOk) CompressAhead(file);
}

StatusCode CLha::NextAdded() {
  if (queue_.empty()) return kStatusOk;
  const std::shared_ptr<Pending> file = queue_.front();
  queue_.pop_front();
  if (queueStopped_) return kStatusRewriteFailed;  // the runner stopped before
  StatusCode status = file->prepared;
  if (options_.threads > 1) {
    if (file->deferred) {
      file->deferred = false;
      Prepare(*file);  // its turn has come: the files before it are in
    }
    status = Commit(*file);
  }
  if (!GoesOn(status)) queueStopped_ = true;
  return status;
}

// What a worker's encoder reads, counted for the main thread's progress.
class CountingSource final : public lzh::ByteSource {
 public:
  CountingSource(plat::FileHandle file, std::atomic<std::uint64_t>& read)
      : file_(file), read_(read) {}
  long Read(std::uint8_t* buffer, std::uint32_t count) override {
    const long got = file_.Read(buffer, count);
    if (got > 0) read_ += static_cast<std::uint64_t>(got);
    return got;
  }

 private:
  FileSource file_;
  std::atomic<std::uint64_t>& read_;
};

// What a worker's encoder writes: memory, or the file's scratch file.
class CLha::AheadSink final : public lzh::ByteSink {
 public:
  explicit AheadSink(Pending& file) : file_(file) {}
  bool Write(const std::uint8_t* data, std::uint32_t count) override {
    if (file_.cancelled) return false;
    if (file_.spill != plat::kInvalidFile) {
      return plat::WriteFile(file_.spill, data, count) == static_cast<long>(count);
    }
    file_.bytes.append(reinterpret_cast<const char*>(data), count);
    return true;
  }

 private:
  Pending& file_;
};

void CLha::CompressAhead(const std::shared_ptr<Pending>& file) {
  const ArchiveEntry& record = file->record;
  if (record.name[0] == '\0' || file->storeOnly || record.original_size == 0) return;
  if (record.original_size > kInMemory) {
    // Over kInMemory bytes the compressed data goes to a private scratch
    // file beside the archive, so a worker holds little memory whatever the
    // size of its file. Without one the file is compressed in its turn.
    file->spill = CreateOutputFile(ArchivePath().c_str(), &file->spillPath);
    if (file->spill == plat::kInvalidFile) return;
  }
  file->ahead = true;
  const int method = MethodFor(options_.methodChoice).number;
  Workers().Submit([this, file, method](int worker) {
    AheadSink out(*file);
    CountingSource in(file->source->get(), file->read);
    const lzh::EncodeResult result = Made(workerCodecs_[static_cast<std::size_t>(worker)].encoder)
                                         .Encode(method, in, file->record.original_size, out);
    const std::lock_guard<std::mutex> lock(file->mutex);
    file->result = result;
    file->done = true;
    file->finished.notify_all();
  });
}

// The stored copy: exactly original_size bytes, or the file shrank.
StatusCode CLha::Store(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                       ProgressMeter& meter) {
  SetMethod(entry, "-lh0-");
  entry.packed_size = entry.original_size;
  meter.Set(0);
  const DataResult copied = CopyData(output, source, entry.original_size, &meter);
  if (copied.outcome != DataOutcome::kOk) {
    // The file ended early (it shrank), or the work file took less.
    return copied.outcome == DataOutcome::kDataError ? kStatusCannotOpenFile : kStatusRewriteFailed;
  }
  entry.crc = copied.crc;
  return kStatusOk;
}

StatusCode CLha::Compressed(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                            Pending* ahead, ProgressMeter& meter) {
  const lzh::MethodInfo& method = MethodFor(options_.methodChoice);
  SetMethod(entry, method.name);
  lzh::EncodeResult result;
  if (ahead != nullptr) {
    ahead->Wait(meter);
    result = ahead->result;
  } else {
    FileSource file(source);
    MeteredSource in(file, meter);
    FileSink out(output);
    result = Made(codecs_.encoder).Encode(method.number, in, entry.original_size, out);
  }
  entry.crc = result.crc;
  if (result.outcome == lzh::EncodeResult::Outcome::kWriteError) return kStatusRewriteFailed;
  if (result.outcome == lzh::EncodeResult::Outcome::kNotSmaller) {
    // Not smaller: store the file instead, over the compressed bytes.
    if (plat::SeekFile(output, static_cast<std::int64_t>(entry.data_offset),
                       plat::SeekOrigin::Begin) != entry.data_offset ||
        plat::SeekFile(source, 0, plat::SeekOrigin::Begin) != 0) {
      return kStatusRewriteFailed;
    }
    return Store(output, source, entry, meter);
  }
  // The encoder reads to the end of the file: a file that changed size since
  // it was measured does not match original_size.
  if (result.bytesRead != entry.original_size) return kStatusCannotOpenFile;
  entry.packed_size = result.packedSize;
  if (ahead == nullptr) return kStatusOk;
  // The bytes compressed ahead follow the header (in memory only for a file
  // of at most kInMemory bytes, so their count fits 32 bits).
  const bool copied = ahead->spill != plat::kInvalidFile
                          ? plat::SeekFile(ahead->spill, 0, plat::SeekOrigin::Begin) == 0 &&
                                CopyBytes(output, ahead->spill, entry.packed_size)
                          : plat::WriteFile(output, ahead->bytes.data(),
                                            static_cast<std::uint32_t>(ahead->bytes.size())) ==
                                static_cast<long>(ahead->bytes.size());
  return copied ? kStatusOk : kStatusRewriteFailed;
}

StatusCode CLha::WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                             bool storeOnly) {
  ProgressMeter unmetered(nullptr, "", 0);
  return WriteMember(output, source, entry, storeOnly, nullptr, unmetered);
}

StatusCode CLha::WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                             bool storeOnly, Pending* ahead, ProgressMeter& meter) {
  entry.header_offset = plat::SeekFile(output, 0, plat::SeekOrigin::End);
  if (entry.header_offset == UINT64_MAX) {
    GiveUpRewrite();
    return kStatusRewriteFailed;
  }
  // The data never grows past the original size (a file that would grow is
  // stored), so measured with that bound the header has the shape it will
  // have: with 64-bit sizes exactly when the file needs them.
  entry.packed_size = entry.original_size;
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
    status = Store(output, source, entry, meter);
  } else {
    status = Compressed(output, source, entry, ahead, meter);
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
