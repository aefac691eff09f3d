// Hydration-shell amplitudes of several widths from one pass over the envelope directions.
#include "core/shell_widths.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <complex>
#include <optional>

#include "core/envelope.hpp"
#include "core/kernels/simd_level.hpp"

namespace tessel {

namespace {

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// The layer starts this far outside the envelope, Å.
constexpr double kInnerGap = 1.0;
// Below this outer argument the radial integral comes from the power series of j_l.
constexpr double kSeriesLimit = 0.4;
// 4π·√(2/π), the factor of the sum over directions before the division by their number.
constexpr double kShellFactor = 10.026513098524001;
// The table of make_shell_integral_table reaches s_max·(R + 3 + 2).
constexpr double kTableReachBeyondEnvelope = 5.0;
// Directions summed together, and the partial sums their blocks are dealt to (block i to sum
// i mod kPartials, whatever the number of threads).
constexpr int kBlock = 32;
constexpr int kPartials = 4;

// ∫ j_l(s·r)·r² dr from 0 to r by the first three terms of the power series of j_l, with x = s·r
// and x^l given.
double series_integral(int l, double x, double x_to_l, double r, std::span<const double> odd) {
  const double lead = x_to_l * r * r * r;
  const auto i = as_size(l);
  return lead / (odd[i] * (l + 3)) - lead * x * x / (2.0 * odd[i + 1] * (l + 5)) +
         lead * x * x * x * x / (8.0 * odd[i + 2] * (l + 7));
}

// Work space of one partial sum.
struct BlockSpace {
  std::vector<double> legendre;  // r_lm of one direction
  std::vector<double> y;         // conj(Y) of the block: direction d, then (re, im) by index
  std::vector<double> weights;   // radial integrals: order l, then width, then direction
  std::vector<double> sums;      // one row l of every width
};

// The block's terms of one order l at one point: sums[w·row + j] = Σ_d weight(l, w, d)·y(d, j)
// over the row's doubles j, then added to out[w]. Each sum runs over the directions in block
// order with separate multiplies and adds, so that every instruction set gives the same bits.
[[gnu::always_inline]] inline void add_row(const BlockSpace& b, int n_dir, int n_widths,
                                           std::size_t y_stride, std::size_t row_first, std::size_t row,
                                           const double* weights, double* sums, double* const* out) {
  std::fill(sums, sums + as_size(n_widths) * row, 0.0);
  for (int d = 0; d < n_dir; ++d) {
    const double* y = b.y.data() + as_size(d) * y_stride + row_first;
    for (int w = 0; w < n_widths; ++w) {
      const double f = weights[as_size(w) * as_size(kBlock) + as_size(d)];
      if (f == 0.0) continue;
      double* acc = sums + as_size(w) * row;
      for (std::size_t j = 0; j < row; ++j) acc[j] += f * y[j];
    }
  }
  for (int w = 0; w < n_widths; ++w) {
    double* o = out[w] + row_first;
    const double* acc = sums + as_size(w) * row;
    for (std::size_t j = 0; j < row; ++j) o[j] += acc[j];
  }
}

using RowAdder = void (*)(const BlockSpace&, int, int, std::size_t, std::size_t, std::size_t,
                          const double*, double*, double* const*);

void add_row_baseline(const BlockSpace& b, int n_dir, int n_widths, std::size_t y_stride,
                      std::size_t row_first, std::size_t row, const double* weights, double* sums,
                      double* const* out) {
  add_row(b, n_dir, n_widths, y_stride, row_first, row, weights, sums, out);
}
#if defined(__x86_64__)
[[gnu::target("avx2")]] void add_row_avx2(const BlockSpace& b, int n_dir, int n_widths,
                                          std::size_t y_stride, std::size_t row_first,
                                          std::size_t row, const double* weights, double* sums,
                                          double* const* out) {
  add_row(b, n_dir, n_widths, y_stride, row_first, row, weights, sums, out);
}
[[gnu::target("avx512f,avx512dq,avx512vl,avx512bw")]] void add_row_avx512(
    const BlockSpace& b, int n_dir, int n_widths, std::size_t y_stride, std::size_t row_first,
    std::size_t row, const double* weights, double* sums, double* const* out) {
  add_row(b, n_dir, n_widths, y_stride, row_first, row, weights, sums, out);
}
#endif

RowAdder row_adder(SimdLevel level) {
#if defined(__x86_64__)
  if (level == SimdLevel::avx512) return add_row_avx512;
  if (level == SimdLevel::avx2) return add_row_avx2;
#endif
  (void)level;
  return add_row_baseline;
}

class WidthSums {
 public:
  WidthSums(const HarmonicTables& tables, std::span<const double> s, std::span<const double> radius,
            const LineTable& integrals, std::span<const double> widths, SimdLevel simd)
      : tables_(tables), s_(s), radius_(radius), integrals_(integrals), widths_(widths),
        add_row_(row_adder(simd)) {}

  // Adds the terms of directions first..first+size−1 to the amplitudes of one partial sum.
  void add_block(int first, int size, BlockSpace& b, std::vector<PartialAmplitudes>& out) const {
    const int l_max = tables_.l_max();
    const auto pairs = as_size(tables_.pair_count());
    const std::size_t y_stride = 2 * pairs;
    const int n_widths = static_cast<int>(widths_.size());
    b.legendre.resize(pairs + kRowOverrun);
    b.y.resize(as_size(size) * y_stride);
    const FibonacciGrid& grid = tables_.grid();
    for (int d = 0; d < size; ++d) {
      const auto j = as_size(first + d);
      const auto phases = harmonic_factors(tables_, grid.cos_theta()[j], grid.phi()[j], b.legendre);
      double* y = b.y.data() + as_size(d) * y_stride;
      for (int l = 0; l <= l_max; ++l) {
        for (int m = 0; m <= l; ++m) {
          const auto i = as_size(harmonic_index(l, m));
          y[2 * i] = b.legendre[i] * phases[as_size(m)].real();
          y[2 * i + 1] = -(b.legendre[i] * phases[as_size(m)].imag());
        }
      }
    }
    const auto orders = as_size(l_max + 1);
    const std::size_t per_order = as_size(n_widths) * as_size(kBlock);
    b.weights.resize(orders * per_order);
    b.sums.resize(as_size(n_widths) * 2 * orders);
    const std::span<const double> odd = tables_.odd_double_factorial();
    std::vector<double*> targets(as_size(n_widths));
    for (std::size_t k = 0; k < s_.size(); ++k) {
      const double sk = s_[k];
      const double inv_s3 = sk > 0.0 ? 1.0 / (sk * sk * sk) : 0.0;
      std::fill(b.weights.begin(), b.weights.end(), 0.0);
      int used = 0;
      for (int d = 0; d < size; ++d) {
        const double r_in = radius_[as_size(first + d)] + kInnerGap;
        const double x_in = sk * r_in;
        const double* line_in = integrals_.lines(integrals_.interval(x_in)).data();
        for (int w = 0; w < n_widths; ++w) {
          const double r_out = r_in + widths_[as_size(w)];
          const double x_out = sk * r_out;
          const int c = counted_orders(x_out, l_max);
          used = std::max(used, c);
          double* wd = b.weights.data() + as_size(w) * as_size(kBlock) + as_size(d);
          if (x_out > kSeriesLimit) {
            const double* line_out = integrals_.lines(integrals_.interval(x_out)).data();
            for (int l = 0; l < c; ++l) {
              const double j_out = line_out[2 * l] * x_out + line_out[2 * l + 1];
              const double j_in = line_in[2 * l] * x_in + line_in[2 * l + 1];
              wd[as_size(l) * per_order] = (j_out - j_in) * inv_s3;
            }
          } else {
            double pow_out = 1.0;  // x_out^l
            double pow_in = 1.0;   // x_in^l
            for (int l = 0; l < c; ++l) {
              wd[as_size(l) * per_order] = series_integral(l, x_out, pow_out, r_out, odd) -
                                           series_integral(l, x_in, pow_in, r_in, odd);
              pow_out *= x_out;
              pow_in *= x_in;
            }
          }
        }
      }
      for (int w = 0; w < n_widths; ++w) {
        targets[as_size(w)] = reinterpret_cast<double*>(out[as_size(w)].point(static_cast<int>(k)).data());
      }
      for (int l = 0; l < used; ++l) {
        const auto row_first = as_size(l) * as_size(l + 1);  // doubles before row l
        add_row_(b, size, n_widths, y_stride, row_first, 2 * as_size(l + 1),
                 b.weights.data() + as_size(l) * per_order, b.sums.data(), targets.data());
      }
    }
  }

 private:
  const HarmonicTables& tables_;
  std::span<const double> s_;
  std::span<const double> radius_;
  const LineTable& integrals_;
  std::span<const double> widths_;
  RowAdder add_row_;
};

}  // namespace

double shell_table_radius(double max_envelope_radius, double widest) {
  return std::max(max_envelope_radius, max_envelope_radius + kInnerGap + widest - kTableReachBeyondEnvelope);
}

ShellWidthAmplitudes shell_amplitudes_for_widths(const HarmonicTables& tables,
                                                 std::span<const double> s,
                                                 std::span<const double> radius,
                                                 const LineTable& integrals,
                                                 std::span<const double> widths,
                                                 const LoopSettings& loops) {
  const int l_max = tables.l_max();
  const int n_dir = tables.grid().size();
  assert(radius.size() == as_size(n_dir));
  assert(integrals.orders() == l_max + 1);
  const int n_points = static_cast<int>(s.size());
  const auto n_widths = widths.size();

  ShellWidthAmplitudes result;
  result.widths.assign(widths.begin(), widths.end());
  for (std::size_t w = 0; w < n_widths; ++w) result.amplitudes.emplace_back(l_max, n_points);
  for (const double width : widths) {
    double shell3 = 0.0, shell5 = 0.0;
    for (const double f : radius) {
      const double g = f + width;
      shell3 += g * g * g - f * f * f;
      shell5 += g * g * g * g * g - f * f * f * f * f;
    }
    result.volumes.push_back(n_dir > 0 ? kEnvelopeVolumeFactor * shell3 / n_dir : 0.0);
    result.rgs.push_back(shell3 > 0.0 ? std::sqrt(0.6 * shell5 / shell3) : 0.0);
  }
  if (n_dir == 0 || n_widths == 0) return result;

  const WidthSums sums(tables, s, radius, integrals, widths, resolve_simd_level(loops.simd));
  const int blocks = (n_dir + kBlock - 1) / kBlock;
  const int partials = std::min(kPartials, blocks);
  std::vector<std::vector<PartialAmplitudes>> parts(as_size(partials));
  for (auto& part : parts) {
    for (std::size_t w = 0; w < n_widths; ++w) part.emplace_back(l_max, n_points);
  }
  const double terms = static_cast<double>(n_dir) * tables.pair_count() * n_points *
                       static_cast<double>(n_widths);
  std::optional<WorkerPool> own_pool;
  WorkerPool& pool = loop_pool(loops, std::min(partials, threads_for_work(terms, 2.0e6, resolve_thread_count(loops.threads))), own_pool);
  std::vector<BlockSpace> spaces(as_size(pool.threads()));
  pool.run(partials, [&](int p, int thread) {
    for (int i = p; i < blocks; i += partials) {
      const int at = i * kBlock;
      sums.add_block(at, std::min(kBlock, n_dir - at), spaces[as_size(thread)], parts[as_size(p)]);
    }
  });
  for (std::size_t w = 0; w < n_widths; ++w) {
    PartialAmplitudes& b = result.amplitudes[w];
    for (const auto& part : parts) b.add(part[w]);
    b.scale_with_phase(kShellFactor / n_dir);
  }
  return result;
}

}  // namespace tessel
