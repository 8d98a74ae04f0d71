// The worker threads and the queue of produced bytes.
#include "ops/workers.h"

#include <algorithm>

#include "platform/platform.h"

WorkerPool::WorkerPool(int threads) {
  for (int i = 0; i < (threads > 0 ? threads : 1); ++i)
    threads_.push_back(plat::StartWorkerThread([this, i] { Run(i); }));
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Submit(std::function<void(int)> job) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void WorkerPool::Run(int worker) {
  for (;;) {
    std::function<void(int)> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job(worker);
  }
}

bool ChunkQueue::Write(const std::uint8_t* data, std::uint32_t count) {
  written_ += count;
  if (capacity_ == 0) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !cancelled_;
  }
  // Codecs write a few KiB at a time; the pieces handed over are whole
  // kPieceSize ones, so a large member costs few hand-overs.
  while (count > 0) {
    const std::size_t take = std::min<std::size_t>(count, kPieceSize - filling_.size());
    filling_.insert(filling_.end(), data, data + take);
    data += take;
    count -= static_cast<std::uint32_t>(take);
    if (filling_.size() == kPieceSize && !Publish()) return false;
  }
  return true;
}

bool ChunkQueue::Publish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return cancelled_ || pieces_.size() < capacity_; });
  if (cancelled_) return false;
  pieces_.push_back(std::move(filling_));
  filling_ = std::move(spare_);  // the buffer the reader gave back, if any
  filling_.clear();
  changed_.notify_all();
  return true;
}

void ChunkQueue::Finish() {
  if (!filling_.empty()) Publish();
  const std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

void ChunkQueue::Cancel() {
  const std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  pieces_.clear();
  changed_.notify_all();
}

bool ChunkQueue::Next(std::vector<std::uint8_t>& piece) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return finished_ || !pieces_.empty(); });
  if (pieces_.empty()) return false;
  spare_ = std::move(piece);  // the reader is done with its last piece
  piece = std::move(pieces_.front());
  pieces_.erase(pieces_.begin());
  changed_.notify_all();
  return true;
}
