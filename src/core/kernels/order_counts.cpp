// The orders a multipole sum counts per source, eight sources at a time.
#include "core/kernels/order_counts.hpp"

#include <cstring>

#include "core/kernels/simd_target.hpp"
#include "core/kernels/wide_vectors.hpp"

namespace tessel {

namespace {

using wide::I8;
using wide::V8;

#if defined(__x86_64__)
// x is formed as the plain loop forms it; each threshold x exceeds adds one (a true comparison
// is −1 in every bit).
TESSEL_TARGET_AVX512 void count_orders_avx512(double s, const double* r, std::size_t n, double offset,
                                             const double* t, int l_max, int* counts) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    V8 radius;
    std::memcpy(&radius, r + i, sizeof radius);
    const V8 x = s * (radius + offset);
    I8 c = {};
    for (int l = 0; l <= l_max; ++l) c -= x > t[l];
    for (int k = 0; k < 8; ++k) counts[i + static_cast<std::size_t>(k)] = static_cast<int>(c[k]);
  }
  for (; i < n; ++i) {
    const double x = s * (r[i] + offset);
    int c = 0;
    for (int l = 0; l <= l_max; ++l) c += x > t[l] ? 1 : 0;
    counts[i] = c;
  }
}
#endif

}  // namespace

bool count_orders_wide(double s, const double* r, std::size_t n, double offset, const double* t,
                       int l_max, int* counts) {
#if defined(__x86_64__)
  if (l_max < 32 && avx512_available()) {
    count_orders_avx512(s, r, n, offset, t, l_max, counts);
    return true;
  }
#else
  (void)s, (void)r, (void)n, (void)offset, (void)t, (void)l_max, (void)counts;
#endif
  return false;
}

}  // namespace tessel
