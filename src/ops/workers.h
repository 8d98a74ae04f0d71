// Work done ahead of the main thread: a fixed set of worker threads, and the
// queue through which a worker hands produced bytes to the main thread a
// few pieces at a time. The main thread keeps the order of members, the
// questions, the console and every file name; workers only decode and
// compress, so a run gives the same archives and lines with any number of
// them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "lzh/codec_io.h"

class WorkerPool {
 public:
  // `threads` workers (at least one); each keeps interrupts off.
  explicit WorkerPool(int threads);
  // Drops the jobs not yet started and waits for the running ones.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int size() const { return static_cast<int>(threads_.size()); }
  // Runs `job` on a free worker, jobs in the order given; the job gets the
  // index of its worker (0 to size() - 1), for the codecs each one keeps.
  void Submit(std::function<void(int worker)> job);

 private:
  void Run(int worker);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void(int)>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Bytes from one worker to the main thread, in order. The worker writes; a
// full queue makes it wait, so the bytes held are bounded: the capacity in
// pieces of kPieceSize, the one being filled and the one being read. The main thread reads with
// Next; Cancel makes every later Write fail, which stops a codec at once.
class ChunkQueue final : public lzh::ByteSink {
 public:
  // A capacity of 0 keeps nothing: the bytes are dropped, and Write only
  // tells whether the reader still wants the codec to go on.
  static constexpr std::size_t kPieceSize = 64 * 1024;
  explicit ChunkQueue(std::size_t capacity) : capacity_(capacity) {}
  bool Write(const std::uint8_t* data, std::uint32_t count) override;
  // The writer is done (also after a failure); Next then runs dry.
  void Finish();
  void Cancel();
  // The next piece, waiting for it; false once the writer has finished and
  // every piece was read.
  bool Next(std::vector<std::uint8_t>& piece);
  // Bytes written so far, kept or not (for progress).
  std::uint64_t Written() const { return written_; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  // Hands the filled piece over, waiting for room; false once cancelled.
  bool Publish();

  // A few pieces at most; unlike a deque, an empty vector allocates nothing,
  // and a test makes a queue for every member.
  std::vector<std::vector<std::uint8_t>> pieces_;
  std::vector<std::uint8_t> filling_;  // the writer's own
  std::vector<std::uint8_t> spare_;    // a piece the reader is done with
  std::size_t capacity_;
  bool finished_ = false;
  bool cancelled_ = false;
  std::atomic<std::uint64_t> written_ = 0;
};
