// Instruction sets of the inner multipole sums. Every level computes each sum with the same
// operations in the same order (separate multiplies and adds, never fused), so the results are
// the same bits on every level; a wider level only does more of them at once.
#pragma once

namespace tessel {

enum class SimdLevel {
  automatic,  // the widest level the processor supports
  baseline,   // SSE2, two doubles per vector (every x86-64 processor)
  avx2,       // four doubles per vector
  avx512,     // eight doubles per vector (AVX-512 F, DQ, VL and BW)
};

// The widest level this processor (and its operating system) supports.
SimdLevel detected_simd_level();

// `automatic` becomes the detected level; a level the processor lacks falls back to the
// detected one.
SimdLevel resolve_simd_level(SimdLevel requested);

// Doubles per vector on a level other than automatic.
int simd_lanes(SimdLevel level);

const char* simd_level_name(SimdLevel level);

}  // namespace tessel
