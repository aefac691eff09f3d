// Memory set-up of the process.
#include "app/process_memory.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tessel {

#if defined(__linux__) && defined(__GLIBC__)

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
// Blocks up to this size come from the heap (the C library's largest setting), larger ones are
// mapped on their own.
constexpr int kMapThreshold = 32 * kMiB;
// Freed memory at the top of the heap is kept up to this much.
constexpr int kKeepOnTop = 512 * kMiB;
// The heap grows in steps of at least this much address space (memory is used only when touched).
constexpr int kGrowthStep = 64 * kMiB;
constexpr std::uintptr_t kHugePage = 2 * kMiB;

}  // namespace

void prepare_process_memory() {
  mallopt(M_MMAP_THRESHOLD, kMapThreshold);
  mallopt(M_TRIM_THRESHOLD, kKeepOnTop);
  mallopt(M_TOP_PAD, kGrowthStep);
  // Worker threads allocate from the same heap, so that memory freed by one stage serves the next.
  mallopt(M_ARENA_MAX, 1);
  // Grow the heap by one step now and offer the step to huge pages.
  void* first = std::malloc(kMiB);
  if (first == nullptr) return;
  const auto begin = (reinterpret_cast<std::uintptr_t>(first) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  std::free(first);
}

#else

void prepare_process_memory() {}

#endif

}  // namespace tessel
