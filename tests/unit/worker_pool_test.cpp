// Worker pool: every task runs once, thread numbers stay in range, failures come back to the
// caller; thread counts and the work threshold.
#include "core/kernels/worker_pool.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <system_error>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessel {
namespace {

TEST(WorkerPool, RunsEveryTaskOnceOnAThreadOfThePool) {
  struct Case {
    int threads, tasks;
  };
  const Case cases[] = {{1, 0}, {1, 5}, {2, 1}, {2, 2}, {2, 37}, {3, 100}, {8, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE("threads " + std::to_string(c.threads) + ", tasks " + std::to_string(c.tasks));
    WorkerPool pool(c.threads);
    EXPECT_EQ(pool.threads(), c.threads);
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(c.tasks));
    std::atomic<bool> thread_in_range{true};
    // Several rounds on the same threads.
    for (int round = 0; round < 3; ++round) {
      pool.run(c.tasks, [&](int task, int thread) {
        runs[static_cast<std::size_t>(task)].fetch_add(1);
        if (thread < 0 || thread >= c.threads) thread_in_range = false;
      });
    }
    for (int i = 0; i < c.tasks; ++i) EXPECT_EQ(runs[static_cast<std::size_t>(i)].load(), 3) << "task " << i;
    EXPECT_TRUE(thread_in_range.load());
  }
}

TEST(WorkerPool, OneThreadRunsTheTasksInOrderInTheCaller) {
  WorkerPool pool(1);
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<int> order;
  bool in_caller = true;
  pool.run(6, [&](int task, int thread) {
    order.push_back(task);
    in_caller = in_caller && thread == 0 && std::this_thread::get_id() == caller;
  });
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_TRUE(in_caller);
}

TEST(WorkerPool, TasksRunAtTheSameTimeOnSeveralThreads) {
  // Two tasks that each wait for the other to start can only finish on two threads at once.
  WorkerPool pool(2);
  std::atomic<int> started{0};
  std::atomic<bool> met{true};
  pool.run(2, [&](int, int) {
    started.fetch_add(1);
    for (int spin = 0; started.load() < 2; ++spin) {
      if (spin > 200000000) {
        met = false;
        return;
      }
      std::this_thread::yield();
    }
  });
  EXPECT_TRUE(met.load());
}

TEST(WorkerPool, AFailingTaskIsReportedToTheCallerAndThePoolStaysUsable) {
  for (const int threads : {1, 2, 4}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    WorkerPool pool(threads);
    std::atomic<int> after{0};
    try {
      pool.run(50, [&](int task, int) {
        if (task == 3) throw std::runtime_error("task 3 failed");
        if (task > 20) after.fetch_add(1);
      });
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "task 3 failed");
    }
    // Tasks not yet handed out when the failure came are skipped: with one thread all of them.
    if (threads == 1) {
      EXPECT_EQ(after.load(), 0);
    }
    std::atomic<int> runs{0};
    pool.run(10, [&](int, int) { runs.fetch_add(1); });
    EXPECT_EQ(runs.load(), 10);
  }
}

// Threads of this process, from /proc (Linux); -1 where that cannot be read.
int process_threads() {
  std::error_code error;
  int n = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
       it.increment(error)) {
    ++n;
  }
  return error ? -1 : n;
}

TEST(WorkerPool, ThreadsStartWithTheFirstRoundOfSeveralTasks) {
  const int before = process_threads();
  if (before < 0) GTEST_SKIP() << "no /proc/self/task here";
  WorkerPool pool(3);
  EXPECT_EQ(process_threads(), before);  // a pool that is never used costs no threads
  pool.run(1, [](int, int) {});
  EXPECT_EQ(process_threads(), before);  // one task runs in the caller
  std::atomic<int> ran{0};
  pool.run(6, [&](int, int) { ++ran; });
  EXPECT_EQ(ran.load(), 6);
  EXPECT_EQ(process_threads(), before + 2);
}

TEST(WorkerPool, LoopsTakeTheRunsPoolWhenTheyAreWorthSeveralThreads) {
  WorkerPool shared(2);
  const LoopSettings with{2, SimdLevel::automatic, &shared};
  const LoopSettings without{2, SimdLevel::automatic, nullptr};
  std::optional<WorkerPool> own;
  EXPECT_EQ(&loop_pool(with, 2, own), &shared);
  EXPECT_FALSE(own.has_value());
  WorkerPool& single = loop_pool(with, 1, own);  // not worth threads: a pool of one, its own
  EXPECT_NE(&single, &shared);
  EXPECT_EQ(single.threads(), 1);
  std::optional<WorkerPool> own2;
  WorkerPool& mine = loop_pool(without, 2, own2);
  EXPECT_EQ(&mine, &*own2);
  EXPECT_EQ(mine.threads(), 2);
}

TEST(ThreadCounts, RequestsAreKeptWithinOneAndTheMaximum) {
  const int fallback = default_thread_count();
  EXPECT_GE(fallback, 1);
  EXPECT_LE(fallback, kMaxThreads);
  EXPECT_EQ(fallback, std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads));
  struct Case {
    int requested, expected;
  };
  const Case cases[] = {{1, 1}, {2, 2}, {3, 3}, {kMaxThreads, kMaxThreads}, {100, kMaxThreads},
                        {0, fallback}, {-4, fallback}};
  for (const Case& c : cases) {
    SCOPED_TRACE("requested " + std::to_string(c.requested));
    EXPECT_EQ(resolve_thread_count(c.requested), c.expected);
    EXPECT_EQ(WorkerPool(c.requested).threads(), c.expected);
  }
}

TEST(ThreadCounts, WorkBelowTwoGrainsStaysOnOneThread) {
  struct Case {
    double work, grain;
    int threads, expected;
  };
  const Case cases[] = {
      {0.0, 10.0, 8, 1},   {19.9, 10.0, 8, 1}, {20.0, 10.0, 8, 2},  {35.0, 10.0, 8, 3},
      {1e9, 10.0, 8, 8},   {1e9, 10.0, 2, 2},  {1e9, 10.0, 1, 1},   {50.0, 0.0, 4, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("work " + std::to_string(c.work) + ", grain " + std::to_string(c.grain) +
                 ", threads " + std::to_string(c.threads));
    EXPECT_EQ(threads_for_work(c.work, c.grain, c.threads), c.expected);
  }
}

}  // namespace
}  // namespace tessel
