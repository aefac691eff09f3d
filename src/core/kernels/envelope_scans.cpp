// The envelope search's scans over points: the directions an atom reaches (plain and eight
// directions at a time) and the farthest point of a run (two pairs at a time).
#include "core/kernels/envelope_scans.hpp"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/kernels/simd_target.hpp"
#include "core/kernels/wide_vectors.hpp"

namespace tessel {

namespace {

// The directions j of from..last whose ray the atom reaches (p > 0, lateral distance r² − p²
// within the reach) with a candidate p + R/2 not below the radius so far, in order, written
// from out[found]; returns the new count.
int reached_directions(const double* ux, const double* uy, const double* uz, const double* radius,
                       int from, int last, const AtomReach& a, int* out, int found) {
  for (int j = from; j <= last; ++j) {
    const double p = ux[j] * a.x + uy[j] * a.y + uz[j] * a.z;
    if (!(p > 0.0) || a.reach2 < a.r2 - p * p || p + a.half_radius < radius[j]) continue;
    out[found++] = j;
  }
  return found;
}

#if defined(__x86_64__)
using wide::I8;
using wide::V8;

// The same, eight directions at a time with the same arithmetic.
TESSEL_TARGET_AVX512 int reached_directions_wide(
    const double* ux, const double* uy, const double* uz, const double* radius, int from, int last,
    const AtomReach& a, int* out) {
  int found = 0;
  int j = from;
  for (; j + 8 <= last + 1; j += 8) {
    V8 vx, vy, vz, f;
    std::memcpy(&vx, ux + j, sizeof vx);
    std::memcpy(&vy, uy + j, sizeof vy);
    std::memcpy(&vz, uz + j, sizeof vz);
    std::memcpy(&f, radius + j, sizeof f);
    const V8 p = vx * a.x + vy * a.y + vz * a.z;
    const V8 lateral = a.r2 - p * p;
    const V8 candidate = p + a.half_radius;
    const I8 keep = (p > 0.0) & ~(a.reach2 < lateral) & ~(candidate < f);
    // Most atoms reach few of the directions tested: the kept ones are packed in one store.
    const __mmask8 kept = _mm512_movepi64_mask(reinterpret_cast<__m512i>(keep));
    if (kept != 0) {
      const __m256i index = _mm256_add_epi32(_mm256_set1_epi32(j), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
      _mm256_mask_compressstoreu_epi32(out + found, kept, index);
      found += __builtin_popcount(kept);
    }
  }
  return reached_directions(ux, uy, uz, radius, j, last, a, out, found);
}
#endif

}  // namespace

int find_reached(const double* ux, const double* uy, const double* uz, const double* radius,
                 int first, int last, const AtomReach& a, int* out) {
#if defined(__x86_64__)
  if (avx512_available()) return reached_directions_wide(ux, uy, uz, radius, first, last, a, out);
#endif
  return reached_directions(ux, uy, uz, radius, first, last, a, out, 0);
}

double farthest_squared(const double* px, const double* py, const double* pz, std::size_t a,
                        std::size_t stop, double best2) {
  using Pack = double __attribute__((vector_size(16)));
  auto load = [](const double* p) {
    Pack v;
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  const Pack ax = {px[a], px[a]}, ay = {py[a], py[a]}, az = {pz[a], pz[a]};
  auto squared = [&](std::size_t b) {
    const Pack dx = load(px + b) - ax;
    const Pack dy = load(py + b) - ay;
    const Pack dz = load(pz + b) - az;
    return dx * dx + dy * dy + dz * dz;
  };
  Pack best_lo = {best2, best2};
  Pack best_hi = best_lo;
  std::size_t b = a + 1;
  for (; b + 4 <= stop; b += 4) {
    const Pack lo = squared(b);
    const Pack hi = squared(b + 2);
    best_lo = lo > best_lo ? lo : best_lo;
    best_hi = hi > best_hi ? hi : best_hi;
  }
  double result = std::max(std::max(best_lo[0], best_lo[1]), std::max(best_hi[0], best_hi[1]));
  for (; b < stop; ++b) {
    const double dx = px[b] - px[a], dy = py[b] - py[a], dz = pz[b] - pz[a];
    result = std::max(result, dx * dx + dy * dy + dz * dz);
  }
  return result;
}

}  // namespace tessel
