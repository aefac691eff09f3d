// Worker threads for the long loops.
#include "core/kernels/worker_pool.hpp"

#include <algorithm>

namespace tessel {

int default_thread_count() {
  const unsigned hardware = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(hardware), 1, kMaxThreads);
}

int resolve_thread_count(int requested) {
  if (requested <= 0) return default_thread_count();
  return std::min(requested, kMaxThreads);
}

int threads_for_work(double work, double grain, int threads) {
  if (!(grain > 0.0)) return std::max(threads, 1);
  const double fit = work / grain;
  if (!(fit >= 2.0)) return 1;
  return std::clamp(static_cast<int>(fit), 1, std::max(threads, 1));
}

WorkerPool::WorkerPool(int threads) : threads_(resolve_thread_count(threads)) {}

void WorkerPool::start_workers() {
  if (!workers_.empty() || threads_ == 1) return;
  workers_.reserve(static_cast<std::size_t>(threads_ - 1));
  for (int t = 1; t < threads_; ++t) workers_.emplace_back([this, t] { work(t); });
}

WorkerPool& loop_pool(const LoopSettings& loops, int wanted, std::optional<WorkerPool>& own) {
  if (loops.pool != nullptr && wanted > 1) return *loops.pool;
  own.emplace(wanted);
  return *own;
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  start_.notify_all();
  for (std::thread& w : workers_) w.join();
}

void WorkerPool::run(int count, const std::function<void(int, int)>& task) {
  if (count <= 0) return;
  if (threads_ == 1 || count == 1) {
    for (int i = 0; i < count; ++i) task(i, 0);
    return;
  }
  start_workers();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    count_ = count;
    next_ = 0;
    remaining_ = count;
    error_ = nullptr;
    ++round_;
  }
  start_.notify_all();
  take_tasks(0);
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return remaining_ == 0 && busy_ == 0; });
    task_ = nullptr;
    count_ = 0;
    next_ = 0;
    error = error_;
    error_ = nullptr;
  }
  if (error) std::rethrow_exception(error);
}

void WorkerPool::take_tasks(int thread) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (next_ < count_) {
    const int i = next_++;
    const std::function<void(int, int)>& task = *task_;
    lock.unlock();
    std::exception_ptr error;
    try {
      task(i, thread);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error) {
      if (!error_) error_ = error;
      remaining_ -= count_ - next_;  // the tasks not yet started are dropped
      next_ = count_;
    }
    if (--remaining_ == 0) finished_.notify_all();
  }
}

void WorkerPool::work(int thread) {
  long long seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return stop_ || (round_ != seen && next_ < count_); });
    if (stop_) return;
    seen = round_;
    ++busy_;
    lock.unlock();
    take_tasks(thread);
    lock.lock();
    if (--busy_ == 0 && remaining_ == 0) finished_.notify_all();
  }
}

}  // namespace tessel
