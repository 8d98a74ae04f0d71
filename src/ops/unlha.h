// CUnlha: the open archive. It holds the archive and work files, the
// directory of members and the options of the run, and carries out the
// operations on members: extracting or testing one, deleting, and the
// rewrite through a work file with its commit. Every operation returns a
// status code (kStatusOk on success).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "archive/directory.h"
#include "archive/entry.h"
#include "archive/status.h"
#include "lzh/codec_io.h"
#include "ops/codecs.h"
#include "ops/inquire_event.h"
#include "ops/options.h"
#include "ops/progress.h"
#include "ops/workers.h"
#include "platform/platform.h"

// Whether an Open succeeded: its warnings (no end mark, a header CRC or
// checksum mismatch) leave the archive open.
inline bool Opened(StatusCode status) {
  return status == kStatusOk || status == kStatusNoEndMark || status == kStatusHeaderCrcWarning;
}

class CUnlha {
 public:
  // `inquire` asks the questions; without one every question is refused.
  // It is not owned.
  explicit CUnlha(const ArchiveOptions& options = {}, CInquireEvent* inquire = nullptr);
  // Without a commit, a rewrite is given up and the files are closed.
  virtual ~CUnlha();
  CUnlha(const CUnlha&) = delete;
  CUnlha& operator=(const CUnlha&) = delete;

  // ---- opening (ops/unlha.cpp) ----
  // Opens a plain archive, one inside a self-extracting .exe, or (with
  // `create`) a new one, and loads its directory. See Opened().
  StatusCode Open(const char* path, bool create);
  StatusCode LoadDirectory(plat::FileHandle file);
  // Finds the first member header in the first `windowSize` bytes of an
  // .exe and puts the file there; false when there is none.
  bool FindEmbeddedArchive(plat::FileHandle file, std::uint32_t windowSize);

  // The directory, in file order.
  const Directory& entries() const { return entries_; }
  std::int32_t entryCount() const { return static_cast<std::int32_t>(entries_.size()); }
  const ArchiveOptions& options() const { return options_; }
  // Whether questions are off: asked for, or answered "all" at the
  // overwrite question; and the same for the unsafe-path question.
  bool noConfirm() const { return noConfirm_; }
  bool skipPathCheck() const { return skipPathCheck_; }

  // ---- extraction and testing (ops/extract_entry.cpp) ----
  // The members (by index) that will be extracted or tested next, in order:
  // with more than one thread their data is decoded ahead on workers, a
  // bounded amount of it at a time. ExtractEntry then takes each member's
  // data from there; members passed over are dropped.
  void PlanExtraction(const std::vector<std::size_t>& indices);
  // Extracts one member, or tests it in test mode. kStatusMemberUnreachable
  // when its data cannot be reached (the archive is closed).
  StatusCode ExtractEntry(const ArchiveEntry& entry);
  // The same for a member whose packed data lies in `handle`.
  StatusCode ExtractFromHandle(plat::FileHandle handle, const ArchiveEntry& entry);
  // Produces the member's data once (decoded or copied) from the archive
  // side into the file side, or nowhere when it is invalid.
  DataResult UnpackData(plat::FileHandle archiveSide, plat::FileHandle fileSide,
                        const ArchiveEntry& entry);
  // Copies `count` bytes from the source's position to the destination's
  // (nowhere when invalid) with their CRC-16. kDataError: the source ended
  // early; kWriteError: the destination did not take them.
  static DataResult CopyData(plat::FileHandle destination, plat::FileHandle source,
                             std::uint64_t count, ProgressMeter* meter = nullptr);

  // ---- rewrite, deletion and commit (ops/rewrite.cpp) ----
  // The first free work-file name beside the archive; false when all are taken.
  bool MakeWorkFileName(char* buffer) const;
  StatusCode BeginRewrite();
  // Removes member `index` from the directory; its bytes go at the commit.
  StatusCode DeleteMember(std::int32_t index);
  // Removes the records at `indices` in one pass; the same outcome as
  // DeleteMember called for each, without shifting the directory each time.
  StatusCode DeleteMembers(const std::vector<std::int32_t>& indices);
  // Ends every run: a rewrite becomes the archive in one rename, or is
  // given up; the files are closed and the directory released.
  StatusCode CloseAndCommit();
  // Copies `length` bytes from the source's position to the destination's;
  // false after a short read or write.
  static bool CopyBytes(plat::FileHandle destination, plat::FileHandle source,
                        std::uint64_t length);

 protected:
  // Header and data of a member in the work file or the archive.
  plat::FileHandle DataFile() const {
    return workFile_ != plat::kInvalidFile ? workFile_ : archiveFile_;
  }
  const std::string& ArchivePath() const { return archivePath_; }
  // A member could not be written whole: the commit discards the work file
  // and leaves the archive as it was.
  void GiveUpRewrite() { rewriteFailed_ = true; }
  bool RewriteGivenUp() const { return rewriteFailed_; }

  // The worker threads of the run, started on first need; their number is
  // options_.threads (1: everything on the main thread).
  WorkerPool& Workers();

  const ArchiveOptions options_;
  CInquireEvent* inquire_;  // asks the questions, hears the progress; not owned
  Directory entries_;
  plat::FileHandle workFile_ = plat::kInvalidFile;
  // The directory was changed so that the commit must compact the work file.
  bool modified_ = false;
  // The codecs of the main thread, and of each worker.
  Codecs codecs_;
  std::vector<Codecs> workerCodecs_;

 private:
  StatusCode ExtractFile(plat::FileHandle handle, const ArchiveEntry& entry, const char* output);
  StatusCode MayReplace(const ArchiveEntry& entry, const char* output);
  StatusCode ExtractDirectory(const ArchiveEntry& entry, const char* output) const;
  StatusCode TestMember(plat::FileHandle handle, const ArchiveEntry& entry);
  StatusCode CheckPath(const ArchiveEntry& entry, const char* relative);
  plat::FileHandle CreateWorkFile(char* path) const;
  bool CopyMembers(plat::FileHandle destination, plat::FileHandle source);
  bool Compact();
  bool FinishWorkFile();
  void Abandon();

  // ---- decoding ahead (ops/ahead.cpp) ----
  struct AheadJob;
  // Whether a test guesses, while the directory of `file` loads, that every
  // member will be tested, so that workers decode the first ones meanwhile.
  bool GuessesTests(plat::FileHandle file) const;
  // Plans the member just loaded; a plan that grows submits whole batches.
  void GuessTested(std::size_t index);
  // Whether member `index` is worth decoding ahead.
  bool WorthAhead(std::size_t index) const;
  // Whether the members planned and not yet submitted fill a test's batch.
  bool WholeBatchPlanned() const;
  // Submits decode jobs for planned members while fewer than the window run.
  void ScheduleAhead();
  // The job decoding `entry`, if one was planned; jobs before it are dropped.
  std::shared_ptr<AheadJob> TakeAheadJob(const ArchiveEntry& entry);
  // Decodes the job's member from `file` into its queue.
  void DecodeAhead(AheadJob& job, plat::FileHandle file, Codecs& codecs);
  // Passes the job's bytes on to `out` and returns how its decoding ended.
  DataResult Drain(AheadJob& job, lzh::ByteSink* out, ProgressMeter& meter);
  // Drops every job ahead (before files close).
  void StopAhead();

  std::unique_ptr<WorkerPool> workers_;
  std::vector<std::size_t> plan_;  // members to decode ahead, in order
  std::size_t planned_ = 0;        // how many of them were submitted
  bool planGrowing_ = false;       // the plan is a guess made while loading
  std::deque<std::shared_ptr<AheadJob>> ahead_;

  // The lasting answers "all": no more path questions, no more questions.
  bool skipPathCheck_;
  bool noConfirm_;
  std::string archivePath_;
  char workPath_[kPathSize] = {};
  plat::FileHandle archiveFile_ = plat::kInvalidFile;
  // Offset of the first member in the archive file: 0 for a plain archive,
  // the stub's length for a self-extracting one.
  std::uint64_t archiveStart_ = 0;
  bool rewriteFailed_ = false;
  // The rewrite claimed the name of a new archive, held until the commit; a
  // run that does not commit removes the claim again.
  bool createdArchive_ = false;
};
