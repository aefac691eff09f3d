// Instruction sets of the inner multipole sums.
#include "core/kernels/simd_level.hpp"

namespace tessel {

SimdLevel detected_simd_level() {
#if defined(__x86_64__) && defined(__GNUC__)
  // The processor's features are read once; the answer cannot change while the program runs.
  static const SimdLevel level = [] {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw")) {
      return SimdLevel::avx512;
    }
    if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
    return SimdLevel::baseline;
  }();
  return level;
#else
  return SimdLevel::baseline;
#endif
}

SimdLevel resolve_simd_level(SimdLevel requested) {
  const SimdLevel best = detected_simd_level();
  if (requested == SimdLevel::automatic) return best;
  return static_cast<int>(requested) <= static_cast<int>(best) ? requested : best;
}

int simd_lanes(SimdLevel level) {
  switch (resolve_simd_level(level)) {
    case SimdLevel::avx512: return 8;
    case SimdLevel::avx2: return 4;
    default: return 2;
  }
}

const char* simd_level_name(SimdLevel level) {
  switch (level) {
    case SimdLevel::automatic: return "automatic";
    case SimdLevel::baseline: return "baseline";
    case SimdLevel::avx2: return "avx2";
    case SimdLevel::avx512: return "avx512";
  }
  return "?";
}

}  // namespace tessel
