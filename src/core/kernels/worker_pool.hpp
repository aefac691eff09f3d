// Worker threads for the long loops: a small pool of persistent threads that run numbered
// tasks together with the calling thread. Results must not depend on which thread ran a task;
// the loops that use the pool split their work into pieces fixed by the data alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/kernels/simd_level.hpp"

namespace tessel {

// At most this many threads take part in a loop.
inline constexpr int kMaxThreads = 8;

// The number of threads when none is asked for: the hardware concurrency, 1 to kMaxThreads.
int default_thread_count();

// A requested thread count made usable: 0 (or less) gives default_thread_count(), anything
// else is kept within 1..kMaxThreads.
int resolve_thread_count(int requested);

// The threads worth starting for `work` units when each thread should get at least `grain` of
// them: 1 below 2·grain, and never more than `threads`.
int threads_for_work(double work, double grain, int threads);

// How the long loops of a job run. Neither setting changes a result: the loops split their work
// into pieces fixed by the data and combine them in a fixed order, and every instruction set
// rounds alike.
class WorkerPool;

struct LoopSettings {
  int threads = 0;                         // threads per loop; 0: default_thread_count()
  SimdLevel simd = SimdLevel::automatic;   // instruction set of the inner sums
  // Threads shared by the loops of a run, so that each loop need not start its own; none: every
  // loop that is worth several threads starts a pool of its own.
  WorkerPool* pool = nullptr;
};

class WorkerPool {
 public:
  // A pool of `threads` threads in all, the caller's included (threads − 1 are started with the
  // first round of several tasks; a pool of one thread runs everything in the caller). The count
  // goes through resolve_thread_count.
  explicit WorkerPool(int threads = 0);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int threads() const { return threads_; }

  // Runs task(i, t) for every i in 0..count−1 and returns when all have ended; t (0..threads−1)
  // names the thread, for per-thread scratch space; the caller is thread 0. Tasks are taken in
  // order of i by whichever thread is free. If a task throws, the tasks not yet started are
  // skipped and the first exception is thrown here once the running ones have ended. Not
  // reentrant: a task must not call run on the same pool.
  void run(int count, const std::function<void(int task, int thread)>& task);

 private:
  void start_workers();
  void work(int thread);
  void take_tasks(int thread);

  int threads_ = 1;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable finished_;
  // The current round, guarded by mutex_.
  const std::function<void(int, int)>* task_ = nullptr;
  int count_ = 0;
  int next_ = 0;          // the next task to hand out
  int remaining_ = 0;     // tasks not yet ended
  int busy_ = 0;          // workers still inside the round
  long long round_ = 0;   // bumped for every call of run
  bool stop_ = false;
  std::exception_ptr error_;
};

// The pool of a loop worth `wanted` threads (see threads_for_work): the run's shared pool when
// there is one and the loop is worth more than one thread, else a pool of `wanted` threads made
// in `own`.
WorkerPool& loop_pool(const LoopSettings& loops, int wanted, std::optional<WorkerPool>& own);

}  // namespace tessel
