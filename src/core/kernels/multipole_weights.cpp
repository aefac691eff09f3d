// Weights of the multipole sums, compiled once per instruction set.
#include "core/kernels/multipole_weights.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "core/envelope.hpp"
#include "core/hydration_shell.hpp"
#include "core/kernels/simd_target.hpp"
#include "core/kernels/wide_vectors.hpp"

namespace tessel {

namespace {

constexpr int kPoints = multipole::kTilePoints;
constexpr std::size_t kPer = 2 * kPoints;  // weights per atom and order

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// One weight at a time.
[[gnu::always_inline]] inline void atom_weights_scalar(const AtomWeightsJob& job) {
  const LineTable& table = *job.bessel;
  for (int b = 0; b < job.atoms; ++b) {
    double* wb = job.out + static_cast<std::size_t>(b) * job.per_atom;
    for (int p = 0; p < kPoints; ++p) {
      double* wa = wb + p;
      double* wc = wa + kPoints;
      int c = 0;
      if (p < job.points) {
        const auto bb = static_cast<std::size_t>(b);
        const double x = job.s[p] * job.radius[bb];
        c = job.counts[static_cast<std::size_t>(p) * job.count_stride + bb];
        if (c > 0) {
          const double* line = table.lines(table.interval(x)).data();
          const std::size_t k = static_cast<std::size_t>(job.first_point + p);
          const double f = job.vacuum[bb][k];
          const double g = job.solvent[bb] != nullptr ? job.solvent[bb][k] : 0.0;
          for (int l = 0; l < c; ++l) {
            const double j = line[2 * l] * x + line[2 * l + 1];
            wa[static_cast<std::size_t>(l) * kPer] = j * f;
            wc[static_cast<std::size_t>(l) * kPer] = j * g;
          }
        }
      }
      for (int l = c; l < job.orders; ++l) wa[static_cast<std::size_t>(l) * kPer] = wc[static_cast<std::size_t>(l) * kPer] = 0.0;
    }
  }
}

#if defined(__x86_64__)

using wide::I8;
using wide::V4;
using wide::V8;

// Eight orders of the four points and two weights at a time: per point the table's (a, b) pairs
// of eight orders are split, j = a·x + b, j·f and j·g formed; the 8 × 8 block of (weight and
// point, order) is then turned into (order, weight and point), one cache line per order.
[[gnu::always_inline]] inline void atom_weights_wide(const AtomWeightsJob& job) {
  const LineTable& table = *job.bessel;
  const int whole = job.orders / 8 * 8;
  const V8 zero = {};
  for (int b = 0; b < job.atoms; ++b) {
    const auto bb = static_cast<std::size_t>(b);
    double* wb = job.out + bb * job.per_atom;
    const double* lines[kPoints];
    double x[kPoints], f[kPoints], g[kPoints];
    long long c[kPoints];
    for (int p = 0; p < kPoints; ++p) {
      if (p < job.points) {
        x[p] = job.s[p] * job.radius[bb];
        c[p] = job.counts[static_cast<std::size_t>(p) * job.count_stride + bb];
        lines[p] = table.lines(table.interval(x[p])).data();
        const std::size_t k = static_cast<std::size_t>(job.first_point + p);
        f[p] = job.vacuum[bb][k];
        g[p] = job.solvent[bb] != nullptr ? job.solvent[bb][k] : 0.0;
      } else {
        x[p] = f[p] = g[p] = 0.0;
        c[p] = 0;
        lines[p] = table.lines(0).data();
      }
    }
    for (int l = 0; l < whole; l += 8) {
      const I8 order = I8{0, 1, 2, 3, 4, 5, 6, 7} + static_cast<long long>(l);
      V8 r[8];  // r[o·4 + p]: the weights of output o at point p for orders l..l+7
      for (int p = 0; p < kPoints; ++p) {
        V8 lo, hi;
        std::memcpy(&lo, lines[p] + 2 * l, sizeof lo);
        std::memcpy(&hi, lines[p] + 2 * l + 8, sizeof hi);
        const V8 a = __builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14);
        const V8 bv = __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15);
        const V8 j = a * x[p] + bv;
        const I8 counted = order < c[p];
        r[p] = counted ? j * f[p] : zero;
        r[kPoints + p] = counted ? j * g[p] : zero;
      }
      const V8 t0 = __builtin_shufflevector(r[0], r[1], 0, 8, 2, 10, 4, 12, 6, 14);
      const V8 t1 = __builtin_shufflevector(r[0], r[1], 1, 9, 3, 11, 5, 13, 7, 15);
      const V8 t2 = __builtin_shufflevector(r[2], r[3], 0, 8, 2, 10, 4, 12, 6, 14);
      const V8 t3 = __builtin_shufflevector(r[2], r[3], 1, 9, 3, 11, 5, 13, 7, 15);
      const V8 t4 = __builtin_shufflevector(r[4], r[5], 0, 8, 2, 10, 4, 12, 6, 14);
      const V8 t5 = __builtin_shufflevector(r[4], r[5], 1, 9, 3, 11, 5, 13, 7, 15);
      const V8 t6 = __builtin_shufflevector(r[6], r[7], 0, 8, 2, 10, 4, 12, 6, 14);
      const V8 t7 = __builtin_shufflevector(r[6], r[7], 1, 9, 3, 11, 5, 13, 7, 15);
      const V8 u0 = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
      const V8 u2 = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
      const V8 u1 = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
      const V8 u3 = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
      const V8 u4 = __builtin_shufflevector(t4, t6, 0, 1, 8, 9, 4, 5, 12, 13);
      const V8 u6 = __builtin_shufflevector(t4, t6, 2, 3, 10, 11, 6, 7, 14, 15);
      const V8 u5 = __builtin_shufflevector(t5, t7, 0, 1, 8, 9, 4, 5, 12, 13);
      const V8 u7 = __builtin_shufflevector(t5, t7, 2, 3, 10, 11, 6, 7, 14, 15);
      const V8 columns[8] = {
          __builtin_shufflevector(u0, u4, 0, 1, 2, 3, 8, 9, 10, 11),
          __builtin_shufflevector(u1, u5, 0, 1, 2, 3, 8, 9, 10, 11),
          __builtin_shufflevector(u2, u6, 0, 1, 2, 3, 8, 9, 10, 11),
          __builtin_shufflevector(u3, u7, 0, 1, 2, 3, 8, 9, 10, 11),
          __builtin_shufflevector(u0, u4, 4, 5, 6, 7, 12, 13, 14, 15),
          __builtin_shufflevector(u1, u5, 4, 5, 6, 7, 12, 13, 14, 15),
          __builtin_shufflevector(u2, u6, 4, 5, 6, 7, 12, 13, 14, 15),
          __builtin_shufflevector(u3, u7, 4, 5, 6, 7, 12, 13, 14, 15)};
      double* dst = wb + static_cast<std::size_t>(l) * kPer;
      std::memcpy(dst + 0 * kPer, &columns[0], sizeof(V8));
      std::memcpy(dst + 1 * kPer, &columns[1], sizeof(V8));
      std::memcpy(dst + 2 * kPer, &columns[2], sizeof(V8));
      std::memcpy(dst + 3 * kPer, &columns[3], sizeof(V8));
      std::memcpy(dst + 4 * kPer, &columns[4], sizeof(V8));
      std::memcpy(dst + 5 * kPer, &columns[5], sizeof(V8));
      std::memcpy(dst + 6 * kPer, &columns[6], sizeof(V8));
      std::memcpy(dst + 7 * kPer, &columns[7], sizeof(V8));
    }
    for (int l = whole; l < job.orders; ++l) {
      double* dst = wb + static_cast<std::size_t>(l) * kPer;
      for (int p = 0; p < kPoints; ++p) {
        double wa = 0.0, wc = 0.0;
        if (l < c[p]) {
          const double j = lines[p][2 * l] * x[p] + lines[p][2 * l + 1];
          wa = j * f[p];
          wc = j * g[p];
        }
        dst[p] = wa;
        dst[kPoints + p] = wc;
      }
    }
  }
}

// Stores eight orders of four points, r[p] holding orders l..l+7 of point p, as the rows of
// orders l..l+7 (the four points of an order together), `stride` doubles apart: the 4 × 8 block
// of (point, order) turned into (order, point).
[[gnu::always_inline]] inline void store_by_order(const V8 (&r)[4], double* dst, std::size_t stride) {
  const V8 t0 = __builtin_shufflevector(r[0], r[1], 0, 8, 2, 10, 4, 12, 6, 14);
  const V8 t1 = __builtin_shufflevector(r[0], r[1], 1, 9, 3, 11, 5, 13, 7, 15);
  const V8 t2 = __builtin_shufflevector(r[2], r[3], 0, 8, 2, 10, 4, 12, 6, 14);
  const V8 t3 = __builtin_shufflevector(r[2], r[3], 1, 9, 3, 11, 5, 13, 7, 15);
  // u_i holds orders l + i (low half) and l + 4 + i (high half) of the four points.
  const V8 u[4] = {__builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13),
                   __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13),
                   __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15),
                   __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15)};
  for (int i = 0; i < 4; ++i) {
    const V4 low = __builtin_shufflevector(u[i], u[i], 0, 1, 2, 3);
    const V4 high = __builtin_shufflevector(u[i], u[i], 4, 5, 6, 7);
    std::memcpy(dst + as_size(i) * stride, &low, sizeof low);
    std::memcpy(dst + as_size(4 + i) * stride, &high, sizeof high);
  }
}

// j_l alone, eight orders of the four points at a time: per point j = a·x + b from the table's
// slopes and intercepts, then stored by order.
[[gnu::always_inline]] inline void bessel_weights_wide(const BesselWeightsJob& job) {
  const LineTable& table = *job.bessel;
  const double* planar = job.planar->values.data();
  const std::size_t half = job.planar->half;
  const std::size_t line_stride = job.planar->stride;
  const int whole = job.orders / 8 * 8;
  const V8 zero = {};
  // Held apart from the job, which the stores below could otherwise alias.
  const std::size_t stride = job.order_stride;
  const std::size_t per_atom = job.per_atom;
  double* const out = job.out;
  for (int b = 0; b < job.atoms; ++b) {
    const auto bb = static_cast<std::size_t>(b);
    double* wb = out + bb * per_atom;
    const double* lines[kPoints];
    double x[kPoints];
    long long c[kPoints];
    for (int p = 0; p < kPoints; ++p) {
      if (p < job.points) {
        x[p] = job.s[p] * job.radius[bb];
        c[p] = job.counts[static_cast<std::size_t>(p) * job.count_stride + bb];
        lines[p] = planar + as_size(table.interval(x[p])) * line_stride;
      } else {
        x[p] = 0.0;
        c[p] = 0;
        lines[p] = planar;
      }
    }
    for (int l = 0; l < whole; l += 8) {
      const I8 order = I8{0, 1, 2, 3, 4, 5, 6, 7} + static_cast<long long>(l);
      V8 r[kPoints];
      for (int p = 0; p < kPoints; ++p) {
        V8 slope, intercept;
        std::memcpy(&slope, lines[p] + l, sizeof slope);
        std::memcpy(&intercept, lines[p] + half + as_size(l), sizeof intercept);
        const V8 j = slope * x[p] + intercept;
        const I8 counted = order < c[p];
        r[p] = counted ? j : zero;
      }
      store_by_order(r, wb + static_cast<std::size_t>(l) * stride, stride);
    }
    for (int l = whole; l < job.orders; ++l) {
      double* dst = wb + static_cast<std::size_t>(l) * stride;
      for (int p = 0; p < kPoints; ++p) {
        dst[p] = l < c[p] ? lines[p][l] * x[p] + lines[p][half + as_size(l)] : 0.0;
      }
    }
  }
}

// The shell's weights, eight orders of the four points at a time: per point (J_out − J_in)/s³
// from the table's slopes and intercepts at both arguments, then stored by order.
[[gnu::always_inline]] inline void shell_weights_wide(const ShellWeightsJob& job) {
  const LineTable& table = *job.integrals;
  const double* planar = job.planar->values.data();
  const std::size_t half = job.planar->half;
  const std::size_t line_stride = job.planar->stride;
  const int whole = job.orders / 8 * 8;
  const V8 zero = {};
  // Held apart from the job, which the stores below could otherwise alias.
  const std::size_t stride = job.order_stride;
  const std::size_t per_direction = job.per_direction;
  double* const out = job.out;
  for (int d = 0; d < job.directions; ++d) {
    const auto dd = static_cast<std::size_t>(d);
    double* wd = out + dd * per_direction;
    const double* out_lines[kPoints];
    const double* in_lines[kPoints];
    double x_out[kPoints], x_in[kPoints], scale[kPoints];
    long long c[kPoints];
    for (int p = 0; p < kPoints; ++p) {
      if (p < job.points) {
        x_out[p] = job.s[p] * (job.radius[dd] + kShellOuterGap);
        x_in[p] = std::max(x_out[p] - kShellWidth * job.s[p], 0.0);
        c[p] = job.counts[static_cast<std::size_t>(p) * job.count_stride + dd];
        out_lines[p] = planar + as_size(table.interval(x_out[p])) * line_stride;
        in_lines[p] = planar + as_size(table.interval(x_in[p])) * line_stride;
        scale[p] = job.inv_s3[p];
      } else {
        x_out[p] = x_in[p] = scale[p] = 0.0;
        c[p] = 0;
        out_lines[p] = in_lines[p] = planar;
      }
    }
    for (int l = 0; l < whole; l += 8) {
      const I8 order = I8{0, 1, 2, 3, 4, 5, 6, 7} + static_cast<long long>(l);
      V8 r[kPoints];
      for (int p = 0; p < kPoints; ++p) {
        V8 slope, intercept;
        std::memcpy(&slope, out_lines[p] + l, sizeof slope);
        std::memcpy(&intercept, out_lines[p] + half + as_size(l), sizeof intercept);
        const V8 j_out = slope * x_out[p] + intercept;
        std::memcpy(&slope, in_lines[p] + l, sizeof slope);
        std::memcpy(&intercept, in_lines[p] + half + as_size(l), sizeof intercept);
        const V8 j_in = slope * x_in[p] + intercept;
        const I8 counted = order < c[p];
        r[p] = counted ? (j_out - j_in) * scale[p] : zero;
      }
      store_by_order(r, wd + static_cast<std::size_t>(l) * stride, stride);
    }
    for (int l = whole; l < job.orders; ++l) {
      double* dst = wd + static_cast<std::size_t>(l) * stride;
      for (int p = 0; p < kPoints; ++p) {
        double w = 0.0;
        if (l < c[p]) {
          const double j_out = out_lines[p][l] * x_out[p] + out_lines[p][half + as_size(l)];
          const double j_in = in_lines[p][l] * x_in[p] + in_lines[p][half + as_size(l)];
          w = (j_out - j_in) * scale[p];
        }
        dst[p] = w;
      }
    }
  }
}

#endif

// One at a time, as the wide form computes them.
[[gnu::always_inline]] inline void bessel_weights_scalar(const BesselWeightsJob& job) {
  const LineTable& table = *job.bessel;
  for (int b = 0; b < job.atoms; ++b) {
    const auto bb = static_cast<std::size_t>(b);
    double* wb = job.out + bb * job.per_atom;
    for (int p = 0; p < kPoints; ++p) {
      int c = 0;
      if (p < job.points) {
        c = job.counts[static_cast<std::size_t>(p) * job.count_stride + bb];
        const double x = job.s[p] * job.radius[bb];
        const double* line = table.lines(table.interval(x)).data();
        for (int l = 0; l < c; ++l) {
          wb[static_cast<std::size_t>(l) * job.order_stride + static_cast<std::size_t>(p)] = line[2 * l] * x + line[2 * l + 1];
        }
      }
      for (int l = c; l < job.orders; ++l) wb[static_cast<std::size_t>(l) * job.order_stride + static_cast<std::size_t>(p)] = 0.0;
    }
  }
}

// One at a time, as the wide form computes them.
[[gnu::always_inline]] inline void shell_weights_scalar(const ShellWeightsJob& job) {
  const LineTable& table = *job.integrals;
  for (int d = 0; d < job.directions; ++d) {
    const auto dd = static_cast<std::size_t>(d);
    double* wd = job.out + dd * job.per_direction;
    for (int p = 0; p < kPoints; ++p) {
      int c = 0;
      if (p < job.points) {
        c = job.counts[static_cast<std::size_t>(p) * job.count_stride + dd];
        const double x_out = job.s[p] * (job.radius[dd] + kShellOuterGap);
        const double x_in = std::max(x_out - kShellWidth * job.s[p], 0.0);
        const double* line_out = table.lines(table.interval(x_out)).data();
        const double* line_in = table.lines(table.interval(x_in)).data();
        for (int l = 0; l < c; ++l) {
          const double j_out = line_out[2 * l] * x_out + line_out[2 * l + 1];
          const double j_in = line_in[2 * l] * x_in + line_in[2 * l + 1];
          wd[static_cast<std::size_t>(l) * job.order_stride + static_cast<std::size_t>(p)] = (j_out - j_in) * job.inv_s3[p];
        }
      }
      for (int l = c; l < job.orders; ++l) wd[static_cast<std::size_t>(l) * job.order_stride + static_cast<std::size_t>(p)] = 0.0;
    }
  }
}

// One entry per instruction set; multiplies and adds are kept apart, never fused.

void atom_weights_baseline(const AtomWeightsJob& job) { atom_weights_scalar(job); }
void shell_weights_baseline(const ShellWeightsJob& job) { shell_weights_scalar(job); }
void bessel_weights_baseline(const BesselWeightsJob& job) { bessel_weights_scalar(job); }

#if defined(__x86_64__)
TESSEL_TARGET_AVX512 void atom_weights_avx512(const AtomWeightsJob& job) { atom_weights_wide(job); }
TESSEL_TARGET_AVX512 void shell_weights_avx512(const ShellWeightsJob& job) { shell_weights_wide(job); }
TESSEL_TARGET_AVX512 void bessel_weights_avx512(const BesselWeightsJob& job) { bessel_weights_wide(job); }
#endif


}  // namespace

void atom_weights(const AtomWeightsJob& job, SimdLevel level) {
  assert(job.points >= 1 && job.points <= kPoints);
  assert(job.orders <= job.bessel->orders());
  assert(job.per_atom >= static_cast<std::size_t>(job.orders) * kPer);
#if defined(__x86_64__)
  if (resolve_simd_level(level) == SimdLevel::avx512) return atom_weights_avx512(job);
#endif
  atom_weights_baseline(job);
}

PlanarLines make_planar_lines(const LineTable& table) {
  PlanarLines planar;
  const auto orders = as_size(table.orders());
  planar.half = (orders + 7) / 8 * 8;
  planar.stride = 2 * planar.half;
  planar.values.assign(as_size(LineTable::kIntervals) * planar.stride, 0.0);
  for (int i = 0; i < LineTable::kIntervals; ++i) {
    const std::span<const double> lines = table.lines(i);
    double* row = planar.values.data() + as_size(i) * planar.stride;
    for (std::size_t l = 0; l < orders; ++l) {
      row[l] = lines[2 * l];
      row[planar.half + l] = lines[2 * l + 1];
    }
  }
  return planar;
}

void bessel_weights(const BesselWeightsJob& job, SimdLevel level) {
  assert(job.points >= 1 && job.points <= kPoints);
  assert(job.orders <= job.bessel->orders());
  assert(job.order_stride >= static_cast<std::size_t>(kPoints));
  assert(job.per_atom >= static_cast<std::size_t>(job.orders) * job.order_stride);
#if defined(__x86_64__)
  if (resolve_simd_level(level) == SimdLevel::avx512 && job.planar != nullptr) return bessel_weights_avx512(job);
#endif
  bessel_weights_baseline(job);
}

void shell_weights(const ShellWeightsJob& job, SimdLevel level) {
  assert(job.points >= 1 && job.points <= kPoints);
  assert(job.orders <= job.integrals->orders());
  assert(job.order_stride >= static_cast<std::size_t>(kPoints));
  assert(job.per_direction >= static_cast<std::size_t>(job.orders) * job.order_stride);
#if defined(__x86_64__)
  if (resolve_simd_level(level) == SimdLevel::avx512 && job.planar != nullptr) return shell_weights_avx512(job);
#endif
  shell_weights_baseline(job);
}

}  // namespace tessel
