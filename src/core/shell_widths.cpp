// Hydration-shell amplitudes of several widths from one pass over the envelope directions.
#include "core/shell_widths.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <complex>
#include <optional>

#include "core/envelope.hpp"
#include "core/kernels/simd_level.hpp"
#include "core/kernels/width_rows.hpp"

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

// Doubles of a row chunk: the sums run over whole chunks of a harmonic row (re, im interleaved),
// each row padded with zeros to whole chunks.
constexpr std::size_t kChunk = kWidthRowChunk;

// The padded rows of a direction's conj(Y): row l (2·(l+1) doubles) starts at first[l].
struct RowLayout {
  std::vector<std::size_t> first;  // l_max + 2 entries; first[l_max + 1] is the padded size
  explicit RowLayout(int l_max) {
    first.push_back(0);
    for (int l = 0; l <= l_max; ++l) {
      const std::size_t doubles = 2 * as_size(l + 1);
      first.push_back(first.back() + (doubles + kChunk - 1) / kChunk * kChunk);
    }
  }
  std::size_t size() const { return first.back(); }
};

// Work space of one partial sum.
struct BlockSpace {
  std::vector<double> legendre;  // r_lm of one direction
  std::vector<double> y;         // conj(Y) of the block: direction d, then the padded rows
  std::vector<double> j_in;      // J_l at the inner radius of each direction, at one point
  std::vector<double> weights;   // radial integrals: width, then direction, then order l
  std::vector<double> sums;      // one padded row of every width
};

class WidthSums {
 public:
  WidthSums(const HarmonicTables& tables, std::span<const double> s, std::span<const double> radius,
            const LineTable& integrals, std::span<const double> widths, SimdLevel simd)
      : tables_(tables),
        s_(s),
        radius_(radius),
        integrals_(integrals),
        widths_(widths),
        widest_(*std::max_element(widths.begin(), widths.end())),
        rows_(tables.l_max()),
        simd_(simd) {}

  // Adds the terms of directions first..first+size−1 to the amplitudes of one partial sum.
  void add_block(int first, int size, BlockSpace& b, std::vector<PartialAmplitudes>& out) const {
    const int l_max = tables_.l_max();
    const auto orders = as_size(l_max + 1);
    const std::size_t y_stride = rows_.size();
    const int n_widths = static_cast<int>(widths_.size());
    b.legendre.resize(as_size(tables_.pair_count()) + kRowOverrun);
    b.y.assign(as_size(size) * y_stride, 0.0);
    const FibonacciGrid& grid = tables_.grid();
    for (int d = 0; d < size; ++d) {
      const auto j = as_size(first + d);
      const auto phases = harmonic_factors(tables_, grid.cos_theta()[j], grid.phi()[j], b.legendre);
      double* y = b.y.data() + as_size(d) * y_stride;
      for (int l = 0; l <= l_max; ++l) {
        double* row = y + rows_.first[as_size(l)];
        for (int m = 0; m <= l; ++m) {
          const double r = b.legendre[as_size(harmonic_index(l, m))];
          row[2 * as_size(m)] = r * phases[as_size(m)].real();
          row[2 * as_size(m) + 1] = -(r * phases[as_size(m)].imag());
        }
      }
    }
    b.weights.resize(as_size(n_widths) * as_size(kBlock) * orders);
    b.j_in.resize(orders);
    b.sums.resize(as_size(n_widths) * rows_.size());
    const std::span<const double> odd = tables_.odd_double_factorial();
    for (std::size_t k = 0; k < s_.size(); ++k) {
      const double sk = s_[k];
      const double inv_s3 = sk > 0.0 ? 1.0 / (sk * sk * sk) : 0.0;
      int used = 0;
      for (int d = 0; d < size; ++d) {
        const double r_in = radius_[as_size(first + d)] + kInnerGap;
        const double x_in = sk * r_in;
        // The widest layer counts the most orders; J_l at the inner radius serves every width.
        const int reach = counted_orders(sk * (r_in + widest_), l_max);
        const double* line_in = integrals_.lines(integrals_.interval(x_in)).data();
        for (int l = 0; l < reach; ++l) b.j_in[as_size(l)] = line_in[2 * l] * x_in + line_in[2 * l + 1];
        int c = 0;
        for (int w = 0; w < n_widths; ++w) {
          const double r_out = r_in + widths_[as_size(w)];
          const double x_out = sk * r_out;
          // The widths ascend: the count of the next one starts from this one's.
          c = w > 0 && widths_[as_size(w)] >= widths_[as_size(w - 1)] ? c : 0;
          while (c <= l_max && bessel_term_counts(c, x_out)) ++c;
          used = std::max(used, c);
          double* wd = b.weights.data() + (as_size(w) * as_size(kBlock) + as_size(d)) * orders;
          if (x_out > kSeriesLimit) {
            const double* line_out = integrals_.lines(integrals_.interval(x_out)).data();
            for (int l = 0; l < c; ++l) {
              const double j_out = line_out[2 * l] * x_out + line_out[2 * l + 1];
              wd[l] = (j_out - b.j_in[as_size(l)]) * inv_s3;
            }
          } else {
            double pow_out = 1.0;  // x_out^l
            double pow_in = 1.0;   // x_in^l
            for (int l = 0; l < c; ++l) {
              wd[l] = series_integral(l, x_out, pow_out, r_out, odd) -
                      series_integral(l, x_in, pow_in, r_in, odd);
              pow_out *= x_out;
              pow_in *= x_in;
            }
          }
          for (int l = c; l <= l_max; ++l) wd[l] = 0.0;
        }
      }
      for (int l = 0; l < used; ++l) {
        const std::size_t row_first = rows_.first[as_size(l)];
        const std::size_t row = rows_.first[as_size(l) + 1] - row_first;
        WidthRowJob job;
        job.y = b.y.data() + row_first;
        job.y_stride = y_stride;
        job.directions = size;
        job.widths = n_widths;
        job.row = row;
        job.weights = b.weights.data() + as_size(l);
        job.direction_stride = orders;
        job.width_stride = as_size(kBlock) * orders;
        job.sums = b.sums.data();
        sum_width_rows(job, simd_);
        const auto doubles = 2 * as_size(l + 1);
        const auto offset = as_size(l) * as_size(l + 1);  // doubles of a point before row l
        for (int w = 0; w < n_widths; ++w) {
          double* o = reinterpret_cast<double*>(out[as_size(w)].point(static_cast<int>(k)).data()) + offset;
          const double* acc = b.sums.data() + as_size(w) * row;
          for (std::size_t j = 0; j < doubles; ++j) o[j] += acc[j];
        }
      }
    }
  }

 private:
  const HarmonicTables& tables_;
  std::span<const double> s_;
  std::span<const double> radius_;
  const LineTable& integrals_;
  std::span<const double> widths_;
  double widest_;
  RowLayout rows_;
  SimdLevel simd_;
};

}  // namespace

double shell_table_radius(double max_envelope_radius, double widest) {
  return std::max(max_envelope_radius, max_envelope_radius + kInnerGap + widest - kTableReachBeyondEnvelope);
}

ShellWidthAmplitudes shell_amplitudes_for_widths(const HarmonicTables& tables, std::span<const double> s,
                                                 std::span<const double> radius, const LineTable& integrals,
                                                 std::span<const double> widths, const LoopSettings& loops) {
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
  const double terms =
      static_cast<double>(n_dir) * tables.pair_count() * n_points * static_cast<double>(n_widths);
  std::optional<WorkerPool> own_pool;
  WorkerPool& pool = loop_pool(
      loops, std::min(partials, threads_for_work(terms, 2.0e6, resolve_thread_count(loops.threads))),
      own_pool);
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
