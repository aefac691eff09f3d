// The lane-wise downward recurrence of the spherical Bessel functions, one entry per
// instruction set.
#include "core/kernels/bessel_lanes.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/bessel.hpp"
#include "core/kernels/simd_target.hpp"

namespace tessel {

namespace {

// Several arguments at a time: the same operations as the scalar recurrence in every lane, so
// the same bits, with the lanes' chains of dependent operations overlapping: C vectors of N
// lanes.

template <int N>
struct Lanes;
template <>
struct Lanes<2> {
  typedef double V __attribute__((vector_size(16)));
  typedef long long M __attribute__((vector_size(16)));
};
template <>
struct Lanes<8> {
  typedef double V __attribute__((vector_size(64)));
  typedef long long M __attribute__((vector_size(64)));
};

// Lanes of all ones where |v| > kBesselRescale, from the bit patterns: for finite doubles the
// magnitude's bits order as the magnitudes do, and integer comparisons are done in vector
// registers on every instruction set.
template <class V, class M>
[[gnu::always_inline]] inline void beyond_rescale(const V& v, M& out) {
  constexpr long long kMagnitude = 0x7fffffffffffffffLL;
  const long long limit = std::bit_cast<long long>(kBesselRescale);
  out = (reinterpret_cast<const M&>(v) & kMagnitude) > limit;
}

// The most quotients one recurrence takes: the start of the highest order, 127 + ⌊15·√127⌋.
constexpr int kMaxStart = kMaxCountedOrder + 169;

// bessel_downward(l, x) for every x of xs and l_first ≤ l ≤ l_last (count ≤ N·C; the unused
// lanes repeat the last x). The quotient (2k+1)/x of step k is the same for every order, so it
// is divided out once; each order's steps are those of the scalar recurrence, so the same bits.
template <int N, int C>
[[gnu::always_inline]] inline void bessel_downward_on(int l_first, int l_last, const double* xs, int count,
                                                      double* out) {
  using V = typename Lanes<N>::V;
  using M = typename Lanes<N>::M;
  V x[C];
  for (int c = 0; c < C; ++c) {
    double lane[N];
    for (int i = 0; i < N; ++i) lane[i] = xs[std::min(N * c + i, count - 1)];
    std::memcpy(&x[c], lane, sizeof lane);
  }
  V quotient[kMaxStart + 1][C];
  const int top = bessel_downward_start(l_last);
  for (int k = 1; k <= top; ++k)
    for (int c = 0; c < C; ++c) quotient[k][c] = (2.0 * k + 1.0) / x[c];
  const V zero = {};
  const double f = 1.0 / kBesselRescale;
  for (int l = l_first; l <= l_last; ++l) {
    V upper[C], value[C], sum[C], wanted[C];
    const int start = bessel_downward_start(l);
    for (int c = 0; c < C; ++c) {
      upper[c] = zero;
      value[c] = zero + 1.0;
      sum[c] = (2.0 * start + 1.0) * value[c] * value[c];
      wanted[c] = start == l ? value[c] : zero;
    }
    for (int k = start; k > 0; --k) {
      for (int c = 0; c < C; ++c) {
        const V lower = quotient[k][c] * value[c] - upper[c];
        upper[c] = value[c];
        value[c] = lower;
        M big;
        beyond_rescale(value[c], big);
        value[c] = big ? value[c] * f : value[c];
        upper[c] = big ? upper[c] * f : upper[c];
        wanted[c] = big ? wanted[c] * f : wanted[c];
        sum[c] = big ? sum[c] * (f * f) : sum[c];
        sum[c] += (2.0 * (k - 1) + 1.0) * value[c] * value[c];
        if (k - 1 == l) wanted[c] = value[c];
      }
    }
    double* row = out + static_cast<std::size_t>(l - l_first) * kBesselMaxLanes;
    for (int i = 0; i < count && i < N * C; ++i) row[i] = wanted[i / N][i % N] / std::sqrt(sum[i / N][i % N]);
  }
}

// One recurrence for every order l_first..l_last: the values at those orders kept, rescaled
// with the recurrence; the quotients (2k+1)/x formed with 1/x.
template <int N, int C>
[[gnu::always_inline]] inline void bessel_shared_on(int l_first, int l_last, const double* xs, int count,
                                                    double* out) {
  using V = typename Lanes<N>::V;
  using M = typename Lanes<N>::M;
  V x[C], inverse[C], upper[C], value[C], sum[C];
  V kept[kMaxCountedOrder + 1][C];
  const int start = bessel_downward_start(l_last);
  const V zero = {};
  const double f = 1.0 / kBesselRescale;
  for (int c = 0; c < C; ++c) {
    double lane[N];
    for (int i = 0; i < N; ++i) lane[i] = xs[std::min(N * c + i, count - 1)];
    std::memcpy(&x[c], lane, sizeof lane);
    inverse[c] = 1.0 / x[c];  // multiplied rather than divided by: within rounding
    upper[c] = zero;
    value[c] = zero + 1.0;
    sum[c] = (2.0 * start + 1.0) * value[c] * value[c];
    if (start <= l_last) kept[start][c] = value[c];
  }
  for (int k = start; k > 0; --k) {
    for (int c = 0; c < C; ++c) {
      const V lower = (2.0 * k + 1.0) * inverse[c] * value[c] - upper[c];
      upper[c] = value[c];
      value[c] = lower;
      M big;
      beyond_rescale(value[c], big);
      bool any = false;
      for (int i = 0; i < N; ++i) any = any || big[i] != 0;
      if (any) {
        value[c] = big ? value[c] * f : value[c];
        upper[c] = big ? upper[c] * f : upper[c];
        sum[c] = big ? sum[c] * (f * f) : sum[c];
        for (int j = std::max(k, l_first); j <= l_last; ++j) kept[j][c] = big ? kept[j][c] * f : kept[j][c];
      }
      sum[c] += (2.0 * (k - 1) + 1.0) * value[c] * value[c];
      if (k - 1 <= l_last) kept[k - 1][c] = value[c];
    }
  }
  for (int l = l_first; l <= l_last; ++l) {
    double* row = out + static_cast<std::size_t>(l - l_first) * kBesselMaxLanes;
    for (int i = 0; i < count && i < N * C; ++i) row[i] = kept[l][i / N][i % N] / std::sqrt(sum[i / N][i % N]);
  }
}

// One entry per instruction set; multiplies and adds are kept apart, never fused, as in the
// scalar recurrence.
void bessel_shared_baseline(int l_first, int l_last, const double* xs, int count, double* out) {
  bessel_shared_on<2, 8>(l_first, l_last, xs, count, out);
}
TESSEL_TARGET_AVX512 void bessel_shared_avx512(int l_first, int l_last, const double* xs, int count,
                                              double* out) {
  bessel_shared_on<8, 4>(l_first, l_last, xs, count, out);
}
void bessel_downward_baseline(int l_first, int l_last, const double* xs, int count, double* out) {
  bessel_downward_on<2, 8>(l_first, l_last, xs, count, out);
}
TESSEL_TARGET_AVX512 void bessel_downward_avx512(int l_first, int l_last, const double* xs, int count,
                                                double* out) {
  bessel_downward_on<8, 4>(l_first, l_last, xs, count, out);
}

}  // namespace

int bessel_downward_lane_count() { return avx512_available() ? 32 : 16; }

void bessel_downward_shared_lanes(int l_first, int l_last, const double* xs, int count, double* out) {
  if (avx512_available()) return bessel_shared_avx512(l_first, l_last, xs, count, out);
  bessel_shared_baseline(l_first, l_last, xs, count, out);
}

int bessel_downward_start(int l) { return l + static_cast<int>(15.0 * std::sqrt(static_cast<double>(l))); }

void bessel_downward_lanes(int l_first, int l_last, const double* xs, int count, double* out) {
  if (avx512_available()) return bessel_downward_avx512(l_first, l_last, xs, count, out);
  bessel_downward_baseline(l_first, l_last, xs, count, out);
}

}  // namespace tessel
