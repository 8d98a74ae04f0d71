// CLha: the archive object of every run, a CUnlha that can also add members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

#include "ops/unlha.h"

class CLha : public CUnlha {
 public:
  explicit CLha(const ArchiveOptions& options = {}, CInquireEvent* inquire = nullptr)
      : CUnlha(options, inquire) {}
  ~CLha() override;

  // Ends every run: drops the queued files, then commits (see CUnlha).
  StatusCode CloseAndCommit();

  // Adds one file or directory (name relative to the base directory), new or
  // replacing the member of its path; `storeOnly` stores it as it is.
  StatusCode AddFile(const char* name, bool storeOnly);

  // Adding many files with their compression ahead on the worker threads:
  // QueueFile makes at once the checks that AddFile makes first and hands
  // the compression to a worker; NextAdded writes the oldest queued file's
  // member into the work file and returns its status, as AddFile would
  // have, so members, statuses and bytes come in the order of the calls
  // whatever the number of threads. After a status that is not a skip
  // (kStatusAttributeSkip, kStatusNotNewer) nothing more is written.
  void QueueFile(const char* name, bool storeOnly);
  StatusCode NextAdded();
  std::size_t Queued() const { return queue_.size(); }
  // Files that may wait queued before the caller takes the oldest.
  std::size_t QueueWindow() const;

  // Writes header and data of one member at the end of `output`. A member
  // that could not be written whole gives up the rewrite.
  StatusCode WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                         bool storeOnly);

 private:
  struct Pending;
  class AheadSink;
  // The checks of a file and its record, up to its data.
  void Prepare(Pending& file);
  // The file's member into the work file, and its record into the directory.
  StatusCode Commit(Pending& file);
  // Starts the compression of a prepared file on a worker.
  void CompressAhead(const std::shared_ptr<Pending>& file);
  // WriteMember with the data compressed ahead, when `ahead` is given, and
  // the progress told to `meter`.
  StatusCode WriteMember(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                         bool storeOnly, Pending* ahead, ProgressMeter& meter);
  bool FindMember(const std::string& memberPath, std::int32_t* index);
  StatusCode Store(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                   ProgressMeter& meter);
  StatusCode Compressed(plat::FileHandle output, plat::FileHandle source, ArchiveEntry& entry,
                        Pending* ahead, ProgressMeter& meter);
  void DropQueue();

  // Member path -> index of its first record, kept beside the directory so
  // that FindMember does not walk it. Rebuilt when the directory changed
  // size behind its back (deletion, reload).
  std::unordered_map<std::string, std::int32_t> memberIndex_;
  std::size_t indexedCount_ = 0;
  std::deque<std::shared_ptr<Pending>> queue_;
  // A status that ended the queue: later files are not written.
  bool queueStopped_ = false;
};
