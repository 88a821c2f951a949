#pragma once

#include <barrier>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of worker threads that run one job at a time, each worker
// with its own index, while the thread that started the job goes on (it
// reads and hashes the next batch of slices).
namespace tidewell::par2 {

class WorkerPool {
 public:
  // job(worker, workers): the part of the job worker `worker` does.
  using Job = std::function<void(unsigned worker, unsigned workers)>;

  explicit WorkerPool(unsigned workers);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  [[nodiscard]] unsigned size() const { return count_; }
  // Waits for the job before, then starts this one on every worker.
  void start(Job job);
  // Returns when every worker has finished the current job.
  void wait();
  // Within a job: returns when every worker has reached it (every worker
  // runs every job, so all of them come).
  void sync() { barrier_.arrive_and_wait(); }

 private:
  void run(const std::stop_token& stop, unsigned worker);

  const unsigned count_;
  std::barrier<> barrier_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  Job job_;
  std::uint64_t generation_ = 0;
  unsigned busy_ = 0;
  std::vector<std::jthread> threads_;  // last: stopped and joined first
};

}  // namespace tidewell::par2
