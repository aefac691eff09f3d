// The instruction-set targets of the wide loops, spelled in this one place. A function marked
// TESSEL_TARGET_AVX512 is compiled for AVX-512 (F, DQ, VL and BW) and is called only where
// avx512_available(); TESSEL_TARGET_AVX2 likewise for AVX2. Off x86-64 the marks expand to
// nothing: such a function is then one more copy of the baseline form, never called.
#pragma once

#include "core/kernels/simd_level.hpp"

#if defined(__x86_64__)
#define TESSEL_TARGET_AVX512 [[gnu::target("avx512f,avx512dq,avx512vl,avx512bw")]]
#define TESSEL_TARGET_AVX2 [[gnu::target("avx2")]]
#else
#define TESSEL_TARGET_AVX512
#define TESSEL_TARGET_AVX2
#endif

namespace tessel {

// Whether this processor runs the AVX-512 forms (never off x86-64).
inline bool avx512_available() { return detected_simd_level() == SimdLevel::avx512; }

}  // namespace tessel
