// Decoding ahead: the members that the extract runner will take next are
// decoded on worker threads, each into a bounded queue of pieces, while the
// main thread writes, asks and reports in archive order. What a member
// costs ahead of its turn is at most kPieces + 2 pieces of 64 KiB (when
// testing, only its job of about 1 KiB); each worker has one decoder. A test
// starts decoding while the directory still loads.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "ops/file_streams.h"
#include "ops/unlha.h"

namespace {

constexpr std::size_t kPieces = 2;
constexpr std::size_t kExtractedPerWorker = 4;
constexpr std::size_t kMostMembersAhead = 256;
// A test keeps no bytes, so it may plan far ahead: while the main thread
// still loads the directory it consumes nothing, and a short window would
// leave the workers idle. At most 4 MiB of jobs, however many cores.
constexpr std::size_t kTestedPerWorker = 256;
constexpr std::size_t kMostTestedAhead = 4096;
// A test's batch: members up to this many packed bytes, or this many.
constexpr std::uint64_t kBatchBytes = 256 * 1024;
constexpr std::size_t kBatchMembers = 16;
// A test decodes members smaller than this in their turn: handing one to a
// worker costs more than decoding it.
constexpr std::uint64_t kSmallestAhead = 1024;
// How often a waiting main thread looks at a worker's progress.
constexpr std::chrono::milliseconds kProgressPoll(100);

}  // namespace

struct CUnlha::AheadJob {
  AheadJob(const ArchiveEntry& member, bool keepBytes)
      : entry(member), queue(keepBytes ? kPieces : 0) {}
  const ArchiveEntry entry;
  ChunkQueue queue;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  DataResult result = {DataOutcome::kDataError, 0};
};

WorkerPool& CUnlha::Workers() {
  if (!workers_) {
    workerCodecs_.resize(static_cast<std::size_t>(options_.threads));
    workers_ = std::make_unique<WorkerPool>(options_.threads);
  }
  return *workers_;
}

bool CUnlha::GuessesTests(plat::FileHandle file) const {
  return options_.testMode && options_.threads > 1 && file == DataFile();
}

void CUnlha::GuessTested(std::size_t index) {
  planGrowing_ = true;
  if (!WorthAhead(index)) return;
  plan_.push_back(index);
  ScheduleAhead();
}

bool CUnlha::WorthAhead(std::size_t index) const {
  return !options_.testMode || entries_.PackedSizeAt(index) >= kSmallestAhead;
}

void CUnlha::PlanExtraction(const std::vector<std::size_t>& indices) {
  if (options_.threads <= 1) return;  // one thread decodes each member in its turn
  planGrowing_ = false;
  std::vector<std::size_t> plan;
  for (const std::size_t index : indices) {
    if (WorthAhead(index)) plan.push_back(index);
  }
  // The jobs of a guess are kept when they lead the plan (as for a test of
  // every member), else dropped.
  std::size_t kept = 0;
  while (kept < ahead_.size() && kept < plan.size() &&
         ahead_[kept]->entry.header_offset == entries_.HeaderOffsetAt(plan[kept])) {
    ++kept;
  }
  if (kept < ahead_.size()) {
    for (const std::shared_ptr<AheadJob>& job : ahead_) job->queue.Cancel();
    ahead_.clear();
    kept = 0;
  }
  plan_ = std::move(plan);
  planned_ = kept;
  ScheduleAhead();
}

bool CUnlha::WholeBatchPlanned() const {
  if (plan_.size() - planned_ >= kBatchMembers) return true;
  std::uint64_t packed = 0;
  for (std::size_t i = planned_; i < plan_.size(); ++i) packed += entries_.PackedSizeAt(plan_[i]);
  return packed >= kBatchBytes;
}

void CUnlha::ScheduleAhead() {
  // Many members a worker, so that a large member ahead leaves no worker
  // idle (a test keeps several batches queued for each); a test keeps no
  // bytes, an extraction at most kPieces + 2 pieces a member.
  const std::size_t threads = static_cast<std::size_t>(options_.threads);
  const std::size_t window = options_.testMode
                                 ? std::min(kMostTestedAhead, kTestedPerWorker * threads)
                                 : std::min(kMostMembersAhead, kExtractedPerWorker * threads);
  // A test refills by whole batches, not one member as each is taken.
  if (options_.testMode && ahead_.size() + kBatchMembers > window && !ahead_.empty()) return;
  const plat::FileHandle file = DataFile();
  while (ahead_.size() < window && planned_ < plan_.size() &&
         (!planGrowing_ || WholeBatchPlanned())) {
    // A test takes small members in batches: the main thread, which has
    // little to do for each, then waits once a batch rather than once a
    // member (each wait and wake-up costs more than decoding a few KiB).
    std::vector<std::shared_ptr<AheadJob>> batch;
    std::uint64_t packed = 0;
    do {
      auto job = std::make_shared<AheadJob>(entries_[plan_[planned_++]], !options_.testMode);
      packed += job->entry.packed_size;
      ahead_.push_back(job);
      batch.push_back(std::move(job));
    } while (options_.testMode && packed < kBatchBytes && batch.size() < kBatchMembers &&
             ahead_.size() < window && planned_ < plan_.size());
    Workers().Submit([this, batch, file](int worker) {
      for (const std::shared_ptr<AheadJob>& job : batch) {
        DecodeAhead(*job, file, workerCodecs_[static_cast<std::size_t>(worker)]);
      }
      for (const std::shared_ptr<AheadJob>& job : batch) {
        const std::lock_guard<std::mutex> lock(job->mutex);
        job->finished.notify_all();
      }
    });
  }
}

std::shared_ptr<CUnlha::AheadJob> CUnlha::TakeAheadJob(const ArchiveEntry& entry) {
  // Members come in file order. Those planned before this one were passed
  // over (skipped, refused): dropped.
  while (!ahead_.empty() && ahead_.front()->entry.header_offset < entry.header_offset) {
    ahead_.front()->queue.Cancel();
    ahead_.pop_front();
  }
  if (ahead_.empty()) {
    while (planned_ < plan_.size() &&
           entries_.HeaderOffsetAt(plan_[planned_]) < entry.header_offset) {
      ++planned_;
    }
    ScheduleAhead();
  }
  if (ahead_.empty() || ahead_.front()->entry.header_offset != entry.header_offset) {
    return nullptr;  // not planned: decoded in its turn
  }
  std::shared_ptr<AheadJob> job = ahead_.front();
  ahead_.pop_front();
  ScheduleAhead();
  return job;
}

void CUnlha::DecodeAhead(AheadJob& job, plat::FileHandle file, Codecs& codecs) {
  FileRangeSource in(file, job.entry.data_offset, job.entry.packed_size);
  const DataResult result = Unpack(codecs, in, job.entry, &job.queue);
  job.queue.Finish();
  const std::lock_guard<std::mutex> lock(job.mutex);
  job.result = result;
  job.done = true;
}

DataResult CUnlha::Drain(AheadJob& job, lzh::ByteSink* out, ProgressMeter& meter) {
  if (options_.testMode) {
    // Nothing comes through the queue: the meter follows the worker.
    std::unique_lock<std::mutex> lock(job.mutex);
    while (!job.finished.wait_for(lock, kProgressPoll, [&job] { return job.done; })) {
      meter.Set(job.queue.Written());
    }
    return job.result;
  }
  std::vector<std::uint8_t> piece;
  bool writeFailed = false;
  while (job.queue.Next(piece)) {
    if (out != nullptr && !out->Write(piece.data(), static_cast<std::uint32_t>(piece.size()))) {
      writeFailed = true;
      job.queue.Cancel();  // the worker stops at its next piece
    }
  }
  std::unique_lock<std::mutex> lock(job.mutex);
  job.finished.wait(lock, [&job] { return job.done; });
  return writeFailed ? DataResult{DataOutcome::kWriteError, 0} : job.result;
}

void CUnlha::StopAhead() {
  for (const std::shared_ptr<AheadJob>& job : ahead_) job->queue.Cancel();
  ahead_.clear();
  plan_.clear();
  planGrowing_ = false;
  planned_ = 0;
  workers_.reset();  // waits for the jobs that run: each stops at its next piece
}
