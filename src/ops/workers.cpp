// The worker threads and the queue of produced bytes.
#include "ops/workers.h"

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
  std::unique_lock<std::mutex> lock(mutex_);
  written_ += count;
  if (capacity_ == 0) return !cancelled_;
  changed_.wait(lock, [this] { return cancelled_ || pieces_.size() < capacity_; });
  if (cancelled_) return false;
  pieces_.emplace_back(data, data + count);
  changed_.notify_all();
  return true;
}

void ChunkQueue::Finish() {
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
  piece = std::move(pieces_.front());
  pieces_.pop_front();
  changed_.notify_all();
  return true;
}
