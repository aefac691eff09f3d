// Hydration-shell amplitude: radial integral table and the sum over envelope directions.
#include "core/hydration_shell.hpp"

#include <algorithm>
#include <cassert>
#include <complex>
#include <vector>

#include "core/envelope.hpp"
#include "core/multipole_block.hpp"

namespace tessel {

namespace {

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// Below this outer argument the radial integral comes from the power series of j_l.
constexpr double kSeriesLimit = 0.4;

// 4π·√(2/π), the factor of the sum over directions before the division by their number.
constexpr double kShellFactor = 10.026513098524001;

// Extra reach of the integral table beyond the envelope and its shell, Å.
constexpr double kTableMargin = 2.0;

// Byte budget of the harmonics of one block of directions, which every s point reads again.
constexpr std::size_t kBlockBytes = 1024 * 1024;
constexpr int kMaxBlock = 128;

// The series part of ∫ j_l(s·r)·r² dr from 0 to r, with x = s·r and x^l given:
// x^l·r³·(1/((2l+1)!!·(l+3)) − x²/(2·(2l+3)!!·(l+5)) + x⁴/(8·(2l+5)!!·(l+7))), one term each.
struct SeriesTerms {
  double t0, t1, t2;
};
SeriesTerms series_terms(int l, double x, double x_to_l, double r, std::span<const double> odd) {
  const double lead = x_to_l * r * r * r;
  const auto i = as_size(l);
  return {lead / (odd[i] * (l + 3)), lead * x * x / (2.0 * odd[i + 1] * (l + 5)),
          lead * x * x * x * x / (8.0 * odd[i + 2] * (l + 7))};
}

}  // namespace

LineTable make_shell_integral_table(int l_max, double s_max, double max_envelope_radius) {
  assert(l_max >= 0);
  const double x_max = 1.0001 * s_max * (max_envelope_radius + kShellWidth + kTableMargin);
  const double dx = x_max / LineTable::kIntervals;
  const auto orders = as_size(l_max + 1);
  std::vector<double> nodes(as_size(LineTable::kNodes) * orders, 0.0);
  if (dx > 0.0) {
    for (int k = 1; k < LineTable::kNodes; ++k) {
      const double t = (k - 0.5) * dx;
      const double* previous = &nodes[as_size(k - 1) * orders];
      double* current = &nodes[as_size(k) * orders];
      for (std::size_t l = 0; l < orders; ++l) {
        current[l] = previous[l] + spherical_bessel(static_cast<int>(l), t) * t * t * dx;
      }
    }
  }
  return make_line_table(l_max + 1, dx, nodes);
}

PartialAmplitudes shell_amplitude(const HarmonicTables& tables, std::span<const double> s,
                                  std::span<const double> radius, const LineTable& integrals,
                                  ProgressMarks* progress) {
  const int l_max = tables.l_max();
  const FibonacciGrid& grid = tables.grid();
  const int n_dir = grid.size();
  assert(radius.size() == as_size(n_dir));
  assert(integrals.orders() == l_max + 1);
  const int n_points = static_cast<int>(s.size());
  const int pairs = tables.pair_count();
  const auto row = 2 * as_size(pairs);
  PartialAmplitudes b(l_max, n_points);
  const std::span<const double> odd = tables.odd_double_factorial();

  const int block =
      std::clamp(static_cast<int>(kBlockBytes / (row * sizeof(double))), 1, kMaxBlock);
  const auto cap = as_size(block);
  const auto orders = as_size(l_max + 1);
  std::vector<std::complex<double>> y(as_size(pairs));
  multipole::HarmonicBlock yt;
  std::vector<int> order(cap), counted(cap), active(orders);
  std::vector<double> w(orders * cap);
  std::vector<double> inv_s3(as_size(n_points));
  for (int k = 0; k < n_points; ++k) {
    const double sk = s[as_size(k)];
    inv_s3[as_size(k)] = sk > 0.0 ? 1.0 / (sk * sk * sk) : 0.0;
  }
  auto* out = reinterpret_cast<double*>(b.values().data());

  for (int first = 0; first < n_dir; first += block) {
    const int size = std::min(block, n_dir - first);
    // Outer directions first (ties in grid order): at every s point those that count order l
    // then form a prefix.
    for (int d = 0; d < size; ++d) order[as_size(d)] = first + d;
    std::sort(order.begin(), order.begin() + size, [&](int a, int c) {
      const double fa = radius[as_size(a)], fc = radius[as_size(c)];
      return fa > fc || (fa == fc && a < c);
    });
    yt.reset(pairs, size);
    for (int d = 0; d < size; ++d) {
      const auto j = as_size(order[as_size(d)]);
      harmonics_for_direction(tables, grid.cos_theta()[j], grid.phi()[j], y);
      yt.store(d, y);
      counted[as_size(d)] = 0;
    }
    for (int k = 0; k < n_points; ++k) {
      const double sk = s[as_size(k)];
      for (int d = 0; d < size; ++d) {
        const auto dd = as_size(d);
        const double f = radius[as_size(order[dd])];
        const double r_out = f + kShellOuterGap;
        const double r_in = f + kShellInnerGap;
        const double x_out = sk * r_out;
        const double x_in = std::max(x_out - kShellWidth * sk, 0.0);
        int& count = counted[dd];
        while (count <= l_max && bessel_term_counts(count, x_out)) ++count;
        if (x_out > kSeriesLimit) {
          const double* line_out = integrals.lines(integrals.interval(x_out)).data();
          const double* line_in = integrals.lines(integrals.interval(x_in)).data();
          const double scale = inv_s3[as_size(k)];
          for (int l = 0; l < count; ++l) {
            const double j_out = line_out[2 * l] * x_out + line_out[2 * l + 1];
            const double j_in = line_in[2 * l] * x_in + line_in[2 * l + 1];
            w[dd * orders + as_size(l)] = (j_out - j_in) * scale;
          }
        } else {
          double pow_out = 1.0;  // x_out^l
          double pow_in = 1.0;   // x_in^l
          for (int l = 0; l < count; ++l) {
            const SeriesTerms o = series_terms(l, x_out, pow_out, r_out, odd);
            const SeriesTerms i = series_terms(l, x_in, pow_in, r_in, odd);
            w[dd * orders + as_size(l)] = (o.t0 - i.t0) - (o.t1 - i.t1) + (o.t2 - i.t2);
            pow_out *= x_out;
            pow_in *= x_in;
          }
        }
      }
      // The directions are ordered by decreasing F, so the counts decrease along the block.
      const int used = counted[0];
      int n = size;
      for (int l = 0; l < used; ++l) {
        while (n > 0 && counted[as_size(n - 1)] <= l) --n;
        active[as_size(l)] = n;
      }
      multipole::accumulate(out + as_size(k) * row, yt, w.data(), orders, active.data(), used);
    }
    if (progress != nullptr) progress->advance(size);
  }
  if (n_dir > 0) b.scale_with_phase(kShellFactor / n_dir);
  return b;
}

}  // namespace tessel
