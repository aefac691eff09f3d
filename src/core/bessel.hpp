// Spherical Bessel functions j_l and their straight-line lookup table for the atom loops.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace tessel {

// j_l(|x|) for l ≥ 0, to about 1e-14 relative (absolute near the zeros): 1 or 0 at x = 0, the
// power series below 1, Miller's downward recurrence normalised by Σ_k (2k+1)·j_k² = 1 for
// 1 ≤ x ≤ l, and the upward recurrence from sin x/x for x > l. Nothing overflows for any l; values
// below the range of double come out as 0.
double spherical_bessel(int l, double x);

// How the orders at or above an argument come from the downward recurrence: each from its own
// start, as spherical_bessel() computes them (the same bits), or all from one recurrence started
// at the highest order's start (equal within rounding, in about a tenth of the steps), for work
// that is repeated many times and compared only to printed precision.
enum class BesselRecurrence { per_order, shared };

// j_l(x_i) for l = 0..l_max at every argument: out[i·(l_max+1) + l] = spherical_bessel(l, x_i),
// the same bits with per_order, computed several arguments at a time (the upward recurrence once
// per argument for all the orders below it, the downward one for several arguments in step).
void spherical_bessel_orders(int l_max, std::span<const double> x, std::span<double> out,
                             BesselRecurrence recurrence = BesselRecurrence::per_order);

// A term j_l(x) of a multipole sum is negligible, and skipped, when x ≤ 0.75·l − 2.7.
inline bool bessel_term_counts(int l, double x) { return x > 0.75 * l - 2.7; }

// The orders l = 0..l_max whose terms count at x: they form a run from 0, and this is its length.
// The first guess solves the inequality; the steps after it apply the rule itself.
inline int counted_orders(double x, int l_max) {
  const double bound = (x + 2.7) / 0.75;  // the orders below it count
  int c = !(bound > 0.0) ? 0 : bound >= l_max + 1 ? l_max + 1 : static_cast<int>(std::ceil(bound));
  while (c > 0 && !bessel_term_counts(c - 1, x)) --c;
  while (c <= l_max && bessel_term_counts(c, x)) ++c;
  return c;
}

// counted_orders(s·(r_i + offset), l_max) for every r_i. Each count starts from the one before
// and steps by the rule itself, so radii in falling (or rising) order cost a comparison or two
// each, and any order gives the exact counts.
// l_max is at most kMaxCountedOrder.
inline constexpr int kMaxCountedOrder = 127;
void counted_orders_at(double s, const double* r, std::size_t n, double offset, int l_max,
                       int* counts);

// Piecewise-linear table of functions g_l(x), l = 0..n_orders−1, over the nodes x_k = k·Δx,
// k = 0..2000: on interval i (0-based; the 1-based interval is ⌊x/Δx⌋ + 1) g_l(x) ≈ a·x + b with
// the line through the nodes i and i+1. Arguments beyond the last node use the last interval.
// A table with Δx = 0 (zero extent) holds the value at x = 0 with slope 0.
class LineTable {
 public:
  static constexpr int kNodes = 2001;
  static constexpr int kIntervals = kNodes - 1;

  int orders() const { return orders_; }
  double step() const { return dx_; }

  // 0-based interval of x: ⌊x/Δx⌋, kept in 0..1999 (0 for Δx = 0, negative x or NaN).
  int interval(double x) const {
    if (!(dx_ > 0.0)) return 0;
    const double h = x / dx_;
    if (!(h >= 0.0)) return 0;
    if (h >= kIntervals - 1) return kIntervals - 1;
    return static_cast<int>(h);
  }
  // Slope and intercept of order l on interval i.
  double slope(int i, int l) const { return lines_[2 * (static_cast<std::size_t>(i) * orders_ + l)]; }
  double intercept(int i, int l) const {
    return lines_[2 * (static_cast<std::size_t>(i) * orders_ + l) + 1];
  }
  // g_l(x) from the table.
  double operator()(int l, double x) const {
    const int i = interval(x);
    return slope(i, l) * x + intercept(i, l);
  }
  // All lines of interval i, interleaved (a_0, b_0, a_1, b_1, …), for loops over l at one x.
  std::span<const double> lines(int i) const {
    return std::span<const double>(lines_).subspan(2 * static_cast<std::size_t>(i) * orders_,
                                                   2 * static_cast<std::size_t>(orders_));
  }

 private:
  friend LineTable make_line_table(int n_orders, double dx, std::span<const double> node_values);
  int orders_ = 0;
  double dx_ = 0.0;
  std::vector<double> lines_;  // kIntervals × orders × (a, b)
};

// Builds a table from the function values at the nodes, node-major: node_values[k·n_orders + l]
// = g_l(k·Δx), k = 0..2000. dx must be finite and ≥ 0; with dx = 0 only node 0 is used.
LineTable make_line_table(int n_orders, double dx, std::span<const double> node_values);

// j_l for l = 0..l_max tabulated with Δx = x_max/2000 from exact values. x_max must be finite and
// ≥ 0; x_max = 0 (a model of zero extent) gives a table that returns j_l(0) everywhere.
LineTable make_bessel_table(int l_max, double x_max,
                            BesselRecurrence recurrence = BesselRecurrence::per_order);

// Every j_l(s_k·r) that an atom at distance r needs, from the table: for each s point k,
// out[k·(l_max+1) + l] = j_l(s_k·r) for the orders l = 0..counted[k]−1 whose terms count
// (bessel_term_counts), and 0 for the others. s ascending and ≥ 0, r ≥ 0; out holds
// s.size()·(l_max+1) values and counted s.size(), where l_max + 1 = table.orders().
void bessel_for_radius(const LineTable& table, std::span<const double> s, double r,
                       std::span<double> out, std::span<int> counted);

}  // namespace tessel
