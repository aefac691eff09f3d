// Memory set-up of the process.
#include "app/process_memory.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Under AddressSanitizer the sanitizer's own allocator serves every block: the C library's heap
// settings do not apply, and the block kept below the first huge page would count as a leak.
#if defined(__SANITIZE_ADDRESS__)
#define TESSEL_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSEL_OWN_ALLOCATOR 1
#endif
#endif

#if defined(__linux__) && defined(__GLIBC__) && !defined(TESSEL_OWN_ALLOCATOR)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tessel {

#if defined(__linux__) && defined(__GLIBC__) && !defined(TESSEL_OWN_ALLOCATOR)

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
// Heap memory backed by huge pages from the start (a small job uses about this much).
constexpr std::uintptr_t kPrefaulted = 8 * kMiB;

}  // namespace

void prepare_process_memory() {
  mallopt(M_MMAP_THRESHOLD, kMapThreshold);
  mallopt(M_TRIM_THRESHOLD, kKeepOnTop);
  mallopt(M_TOP_PAD, kGrowthStep);
  // Worker threads allocate from the same heap, so that memory freed by one stage serves the next.
  mallopt(M_ARENA_MAX, 1);
  // Grow the heap by one step now and offer the step to huge pages. Only whole 2 MB pages can
  // be huge: the stretch below the first page boundary goes to a block that stays allocated and
  // untouched, so that the program's memory starts on the boundary.
  void* first = std::malloc(kMiB);
  if (first == nullptr) return;
  constexpr std::uintptr_t kChunkHeader = 2 * sizeof(std::size_t);
  const auto at = reinterpret_cast<std::uintptr_t>(first);
  // Growing the heap, the allocator wrote the header of the free rest just past the block: the
  // huge pages start at the first boundary beyond it, since a 2 MB page that already holds a
  // small page can never be huge.
  const auto begin = (at + kMiB + 4 * kChunkHeader + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kHugePage - 1);
  if (end > begin && madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE) == 0) {
    // A 2 MB page is huge only if it is written before anything reads it (a read maps the shared
    // zero page, and a write after it gets small pages). The heap's allocator reads block headers
    // before it writes them, so the first pages, which every job uses, are written now. Zero is
    // written: fresh heap memory must read as zero.
    for (std::uintptr_t page = begin; page < end && page < begin + kPrefaulted; page += kHugePage) {
      *reinterpret_cast<volatile char*>(page) = 0;
    }
  }
  std::free(first);
  if (begin - at > 2 * kChunkHeader) {
    void* filler = std::malloc(begin - at - 2 * kChunkHeader);
    // Kept for the life of the process; the compiler must not drop the call.
    asm volatile("" : : "r"(filler) : "memory");
  }
}

#else

void prepare_process_memory() {}

#endif

}  // namespace tessel
