// The width sums of the shell amplitudes in vectors of eight doubles, once per instruction set.
#include "core/kernels/width_rows.hpp"

#include <cstring>

#include "core/kernels/simd_target.hpp"
#include "core/kernels/wide_vectors.hpp"

namespace tessel {
namespace {

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

[[gnu::always_inline]] inline void sum_rows(const WidthRowJob& job) {
  static_assert(sizeof(wide::V8) == kWidthRowChunk * sizeof(double));
  const std::size_t row = job.row;
  const std::size_t ds = job.direction_stride;
  for (std::size_t c = 0; c < row; c += kWidthRowChunk) {
    int w = 0;
    for (; w + 1 < job.widths; w += 2) {
      wide::V8 a0 = {}, a1 = {};
      const double* f0 = job.weights + as_size(w) * job.width_stride;
      const double* f1 = f0 + job.width_stride;
      for (int d = 0; d < job.directions; ++d) {
        wide::V8 yd;
        std::memcpy(&yd, job.y + as_size(d) * job.y_stride + c, sizeof yd);
        a0 += f0[as_size(d) * ds] * yd;
        a1 += f1[as_size(d) * ds] * yd;
      }
      std::memcpy(job.sums + as_size(w) * row + c, &a0, sizeof a0);
      std::memcpy(job.sums + as_size(w + 1) * row + c, &a1, sizeof a1);
    }
    for (; w < job.widths; ++w) {
      wide::V8 a0 = {};
      const double* f0 = job.weights + as_size(w) * job.width_stride;
      for (int d = 0; d < job.directions; ++d) {
        wide::V8 yd;
        std::memcpy(&yd, job.y + as_size(d) * job.y_stride + c, sizeof yd);
        a0 += f0[as_size(d) * ds] * yd;
      }
      std::memcpy(job.sums + as_size(w) * row + c, &a0, sizeof a0);
    }
  }
}

void sum_rows_baseline(const WidthRowJob& job) { sum_rows(job); }
TESSEL_TARGET_AVX2 void sum_rows_avx2(const WidthRowJob& job) { sum_rows(job); }
TESSEL_TARGET_AVX512 void sum_rows_avx512(const WidthRowJob& job) { sum_rows(job); }

}  // namespace

void sum_width_rows(const WidthRowJob& job, SimdLevel level) {
  switch (resolve_simd_level(level)) {
    case SimdLevel::avx512:
      return sum_rows_avx512(job);
    case SimdLevel::avx2:
      return sum_rows_avx2(job);
    default:
      return sum_rows_baseline(job);
  }
}

}  // namespace tessel
