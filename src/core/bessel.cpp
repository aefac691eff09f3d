// Spherical Bessel functions and straight-line lookup tables.
#include "core/bessel.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "core/kernels/bessel_lanes.hpp"
#include "core/kernels/order_counts.hpp"

namespace tessel {

namespace {

constexpr double kRescale = kBesselRescale;

// x^l/(2l+1)!!·Σ_k (−x²/2)^k/(k!·(2l+3)(2l+5)…(2l+2k+1)), for 0 < x < 1.
double bessel_series(int l, double x) {
  double lead = 1.0;
  for (int k = 1; k <= l; ++k) lead *= x / (2.0 * k + 1.0);
  const double q = -0.5 * x * x;
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1;; ++k) {
    term *= q / (k * (2.0 * l + 2.0 * k + 1.0));
    sum += term;
    if (std::abs(term) < std::ldexp(std::abs(sum), -53)) break;
  }
  return lead * sum;
}

// Miller's downward recurrence j_{k−1} = (2k+1)/x·j_k − j_{k+1} from order l + 15√l.
double bessel_downward(int l, double x) {
  const int start = bessel_downward_start(l);
  double upper = 0.0;  // order k+1
  double value = 1.0;  // order k, arbitrary scale
  double sum = (2.0 * start + 1.0) * value * value;
  double wanted = start == l ? value : 0.0;
  for (int k = start; k > 0; --k) {
    const double lower = (2.0 * k + 1.0) / x * value - upper;
    upper = value;
    value = lower;
    if (std::abs(value) > kRescale) {
      const double f = 1.0 / kRescale;
      value *= f;
      upper *= f;
      wanted *= f;
      sum *= f * f;
    }
    sum += (2.0 * (k - 1) + 1.0) * value * value;
    if (k - 1 == l) wanted = value;
  }
  return wanted / std::sqrt(sum);
}

// Upward recurrence j_{k+1} = (2k+1)/x·j_k − j_{k−1} from j_0 and j_1, for x > l.
double bessel_upward(int l, double x) {
  const double s = std::sin(x);
  const double c = std::cos(x);
  double lower = s / x;
  if (l == 0) return lower;
  double value = s / (x * x) - c / x;
  for (int k = 1; k < l; ++k) {
    const double upper = (2.0 * k + 1.0) / x * value - lower;
    lower = value;
    value = upper;
  }
  return value;
}

void check_step(double dx) {
  if (!(dx >= 0.0) || !std::isfinite(dx)) {
    throw std::invalid_argument("table step must be finite and non-negative, got " +
                                std::to_string(dx));
  }
}

}  // namespace

double spherical_bessel(int l, double x) {
  assert(l >= 0);
  x = std::abs(x);
  if (x == 0.0) return l == 0 ? 1.0 : 0.0;
  if (x < 1.0) return bessel_series(l, x);
  if (l >= x) return bessel_downward(l, x);
  return bessel_upward(l, x);
}

void spherical_bessel_orders(int l_max, std::span<const double> x, std::span<double> out,
                             BesselRecurrence recurrence) {
  assert(l_max >= 0);
  const auto orders = static_cast<std::size_t>(l_max + 1);
  assert(out.size() >= x.size() * orders);
  // Arguments that the downward recurrence serves from some order on: their index and that
  // first order, run several at a time for all their orders.
  std::vector<std::size_t> downward;
  std::vector<int> first_order;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double a = std::abs(x[i]);
    double* row = out.data() + i * orders;
    if (a == 0.0 || a < 1.0) {
      for (int l = 0; l <= l_max; ++l) row[l] = spherical_bessel(l, a);
      continue;
    }
    // The upward recurrence for the orders below x, once for all of them: the same steps as for
    // each order alone.
    int l = 0;
    if (l < a) {
      const double s = std::sin(a);
      const double c = std::cos(a);
      double lower = s / a;
      row[0] = lower;
      if (1 <= l_max && 1 < a) {
        double value = s / (a * a) - c / a;
        row[1] = value;
        for (int k = 1; k + 1 <= l_max && k + 1 < a; ++k) {
          const double upper = (2.0 * k + 1.0) / a * value - lower;
          lower = value;
          value = upper;
          row[k + 1] = value;
        }
      }
      while (l <= l_max && l < a) ++l;
    }
    if (l <= l_max) {
      downward.push_back(i);
      first_order.push_back(l);
    }
  }
  assert(l_max <= kMaxCountedOrder);
  const auto lanes = static_cast<std::size_t>(bessel_downward_lane_count());
  double xs[kBesselMaxLanes];
  std::vector<double> values(static_cast<std::size_t>(kBesselMaxLanes) * orders);
  for (std::size_t first = 0; first < downward.size(); first += lanes) {
    const std::size_t count = std::min(lanes, downward.size() - first);
    int l_first = l_max;
    for (std::size_t i = 0; i < count; ++i) {
      xs[i] = std::abs(x[downward[first + i]]);
      l_first = std::min(l_first, first_order[first + i]);
    }
    if (recurrence == BesselRecurrence::shared)
      bessel_downward_shared_lanes(l_first, l_max, xs, static_cast<int>(count), values.data());
    else
      bessel_downward_lanes(l_first, l_max, xs, static_cast<int>(count), values.data());
    for (std::size_t i = 0; i < count; ++i) {
      double* row = out.data() + downward[first + i] * orders;
      for (int l = first_order[first + i]; l <= l_max; ++l)
        row[l] = values[static_cast<std::size_t>(l - l_first) * kBesselMaxLanes + i];
    }
  }
}

LineTable make_line_table(int n_orders, double dx, std::span<const double> node_values) {
  assert(n_orders >= 1);
  assert(node_values.size() == static_cast<std::size_t>(LineTable::kNodes) * n_orders);
  check_step(dx);
  LineTable t;
  t.orders_ = n_orders;
  t.dx_ = dx;
  const auto orders = static_cast<std::size_t>(n_orders);
  t.lines_.resize(2 * static_cast<std::size_t>(LineTable::kIntervals) * orders);
  for (std::size_t i = 0; i < static_cast<std::size_t>(LineTable::kIntervals); ++i) {
    const double x0 = static_cast<double>(i) * dx;
    for (std::size_t l = 0; l < orders; ++l) {
      double a = 0.0;
      double b = node_values[l];  // zero step: the value at x = 0 throughout
      if (dx > 0.0) {
        const double g0 = node_values[i * orders + l];
        const double g1 = node_values[(i + 1) * orders + l];
        a = (g1 - g0) / dx;
        b = g0 - a * x0;
      }
      t.lines_[2 * (i * orders + l)] = a;
      t.lines_[2 * (i * orders + l) + 1] = b;
    }
  }
  return t;
}

LineTable make_bessel_table(int l_max, double x_max, BesselRecurrence recurrence) {
  assert(l_max >= 0);
  check_step(x_max);
  const double dx = x_max / LineTable::kIntervals;
  const auto orders = static_cast<std::size_t>(l_max + 1);
  std::vector<double> nodes(static_cast<std::size_t>(LineTable::kNodes) * orders);
  const int used_nodes = dx > 0.0 ? LineTable::kNodes : 1;
  std::vector<double> x(static_cast<std::size_t>(used_nodes));
  for (int k = 0; k < used_nodes; ++k) x[static_cast<std::size_t>(k)] = k * dx;
  spherical_bessel_orders(l_max, x, nodes, recurrence);
  return make_line_table(l_max + 1, dx, nodes);
}

void bessel_for_radius(const LineTable& table, std::span<const double> s, double r,
                       std::span<double> out, std::span<int> counted) {
  const int orders = table.orders();
  const auto stride = static_cast<std::size_t>(orders);
  assert(out.size() >= s.size() * stride);
  assert(counted.size() >= s.size());
  // x grows with k and the cut-off with l, so the number of counted orders never decreases.
  int count = 0;
  for (std::size_t k = 0; k < s.size(); ++k) {
    const double x = s[k] * r;
    while (count < orders && bessel_term_counts(count, x)) ++count;
    const double* line = table.lines(table.interval(x)).data();
    double* row = out.data() + k * stride;
    for (int l = 0; l < count; ++l) row[l] = line[2 * l] * x + line[2 * l + 1];
    for (int l = count; l < orders; ++l) row[l] = 0.0;
    counted[k] = count;
  }
}

void counted_orders_at(double s, const double* r, std::size_t n, double offset, int l_max,
                       int* counts) {
  // The rule's thresholds 0.75·l − 2.7, formed as bessel_term_counts forms them.
  std::array<double, kMaxCountedOrder + 1> t;
  assert(l_max <= kMaxCountedOrder);
  l_max = std::min(l_max, kMaxCountedOrder);
  for (int l = 0; l <= l_max; ++l) t[static_cast<std::size_t>(l)] = 0.75 * l - 2.7;
  if (count_orders_wide(s, r, n, offset, t.data(), l_max, counts)) return;
  int c = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double x = s * (r[i] + offset);
    while (c > 0 && !(x > t[static_cast<std::size_t>(c - 1)])) --c;
    while (c <= l_max && x > t[static_cast<std::size_t>(c)]) ++c;
    counts[i] = c;
  }
}

}  // namespace tessel
