#include "par2/worker_pool.h"

#include <algorithm>

namespace tidewell::par2 {

WorkerPool::WorkerPool(unsigned workers) : count_(std::max(workers, 1u)), barrier_(count_) {
  for (unsigned worker = 0; worker < count_; ++worker) {
    threads_.emplace_back([this, worker](const std::stop_token& stop) { run(stop, worker); });
  }
}

WorkerPool::~WorkerPool() {
  wait();
  for (std::jthread& thread : threads_) {
    thread.request_stop();
  }
  changed_.notify_all();
  threads_.clear();
}

void WorkerPool::start(Job job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return busy_ == 0; });
  job_ = std::move(job);
  busy_ = size();
  ++generation_;
  lock.unlock();
  changed_.notify_all();
}

void WorkerPool::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return busy_ == 0; });
}

void WorkerPool::run(const std::stop_token& stop, unsigned worker) {
  std::uint64_t seen = 0;
  while (true) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait(lock, stop, [&] { return generation_ != seen; })) {
        return;
      }
      seen = generation_;
      job = job_;
    }
    job(worker, count_);
    {
      std::lock_guard lock(mutex_);
      --busy_;
    }
    changed_.notify_all();
  }
}

}  // namespace tidewell::par2
