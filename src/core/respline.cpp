// Cubic-spline re-interpolation of a tabulated curve onto new abscissae.
#include "core/respline.hpp"

#include <algorithm>
#include <cassert>

namespace tessel {
namespace {

// Fraction of the table's span by which a target may lie outside it and still be extrapolated.
constexpr double kRangeTolerance = 0.01;

// Weights of the three ordinates in the derivative, at the first (at_start) or last of the
// three abscissae, of the parabola through them; the secant slope for a two-point table.
void end_slope_weights(std::span<const double> x, bool at_start, double (&w)[3]) {
  const std::size_t n = x.size();
  if (n == 2) {
    const double s = 1.0 / (x[1] - x[0]);
    w[0] = at_start ? -s : 0.0;
    w[1] = at_start ? s : -s;
    w[2] = at_start ? 0.0 : s;
    // For the last end the two points are x_1, x_2: weights of y_n−1 and y_n in slots 1, 2.
    return;
  }
  const double a = at_start ? x[0] : x[n - 3];
  const double b = at_start ? x[1] : x[n - 2];
  const double c = at_start ? x[2] : x[n - 1];
  const double t = at_start ? a : c;
  // Derivative of the Lagrange basis polynomial of each node, at t.
  w[0] = ((t - b) + (t - c)) / ((a - b) * (a - c));
  w[1] = ((t - a) + (t - c)) / ((b - a) * (b - c));
  w[2] = ((t - a) + (t - b)) / ((c - a) * (c - b));
}

double slope(const double (&w)[3], std::span<const double> y, bool at_start) {
  const std::size_t n = y.size();
  if (n == 2) return at_start ? w[0] * y[0] + w[1] * y[1] : w[1] * y[0] + w[2] * y[1];
  const std::size_t first = at_start ? 0 : n - 3;
  return w[0] * y[first] + w[1] * y[first + 1] + w[2] * y[first + 2];
}

bool within(double u, double lo, double hi) { return u >= lo && u <= hi; }  // false for NaN

// The interval lo..hi = lo + 1 of the ascending table x that brackets t (found by bisection),
// its width h and t's weights a of x[lo] and b of x[hi].
struct Bracket {
  std::size_t lo, hi;
  double h, a, b;
};

Bracket bracket(std::span<const double> x, double t) {
  std::size_t lo = 0;
  std::size_t hi = x.size() - 1;
  while (hi - lo > 1) {
    const std::size_t mid = (hi + lo) / 2;
    if (x[mid] > t) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  const double h = x[hi] - x[lo];
  return {lo, hi, h, (x[hi] - t) / h, (t - x[lo]) / h};
}

}  // namespace

ResplineResult RESPLINE(std::span<const double> x, std::span<const double> y, std::span<const double> u) {
  assert(x.size() == y.size());
  ResplineResult result;
  result.values.assign(u.size(), 0.0);
  const std::size_t n = x.size();
  if (n < 2) {
    for (std::size_t i = 0; i < u.size(); ++i) {
      if (n == 1 && u[i] == x[0]) {
        result.values[i] = y[0];
      } else {
        result.out_of_range = true;
      }
    }
    return result;
  }

  // Second derivatives of the clamped spline by tridiagonal elimination.
  double w_first[3];
  double w_last[3];
  end_slope_weights(x, true, w_first);
  end_slope_weights(x, false, w_last);
  const double yp1 = slope(w_first, y, true);
  const double ypn = slope(w_last, y, false);
  std::vector<double> y2(n);
  std::vector<double> work(n);
  y2[0] = -0.5;
  work[0] = (3.0 / (x[1] - x[0])) * ((y[1] - y[0]) / (x[1] - x[0]) - yp1);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double sig = (x[i] - x[i - 1]) / (x[i + 1] - x[i - 1]);
    const double p = sig * y2[i - 1] + 2.0;
    y2[i] = (sig - 1.0) / p;
    const double d = (y[i + 1] - y[i]) / (x[i + 1] - x[i]) - (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
    work[i] = (6.0 * d / (x[i + 1] - x[i - 1]) - sig * work[i - 1]) / p;
  }
  const double un = (3.0 / (x[n - 1] - x[n - 2])) * (ypn - (y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]));
  y2[n - 1] = (un - 0.5 * work[n - 2]) / (0.5 * y2[n - 2] + 1.0);
  for (std::size_t k = n - 1; k-- > 0;) y2[k] = y2[k] * y2[k + 1] + work[k];

  const double margin = kRangeTolerance * (x[n - 1] - x[0]);
  for (std::size_t i = 0; i < u.size(); ++i) {
    if (!within(u[i], x[0] - margin, x[n - 1] + margin)) {
      result.out_of_range = true;
      continue;
    }
    const auto [lo, hi, h, a, b] = bracket(x, u[i]);
    result.values[i] = a * y[lo] + b * y[hi] + ((a * a * a - a) * y2[lo] + (b * b * b - b) * y2[hi]) * (h * h) / 6.0;
  }
  return result;
}

SplineInterpolator::SplineInterpolator(std::span<const double> x, std::span<const double> u)
    : x_(x.begin(), x.end()) {
  const std::size_t n = x.size();
  targets_.assign(u.size(), Target{kOutside, 0, 0, 0, 0});
  if (n < 2) {
    for (std::size_t i = 0; i < u.size(); ++i) {
      if (n == 1 && u[i] == x[0]) {
        targets_[i] = Target{0, 1.0, 0.0, 0.0, 0.0};
      } else {
        out_of_range_ = true;
      }
    }
    return;
  }
  for (std::size_t k = 0; k + 1 < n; ++k) assert(x[k + 1] > x[k]);

  end_slope_weights(x, true, first_slope_);
  end_slope_weights(x, false, last_slope_);
  inv_h_.resize(n - 1);
  for (std::size_t k = 0; k + 1 < n; ++k) inv_h_[k] = 1.0 / (x[k + 1] - x[k]);
  sig_.assign(n, 0.0);
  inv_p_.assign(n, 0.0);
  six_inv_w_.assign(n, 0.0);
  c_.assign(n, 0.0);
  c_[0] = -0.5;
  for (std::size_t i = 1; i + 1 < n; ++i) {
    sig_[i] = (x[i] - x[i - 1]) / (x[i + 1] - x[i - 1]);
    const double p = sig_[i] * c_[i - 1] + 2.0;
    inv_p_[i] = 1.0 / p;
    c_[i] = (sig_[i] - 1.0) / p;
    six_inv_w_[i] = 6.0 / (x[i + 1] - x[i - 1]);
  }
  inv_last_pivot_ = 1.0 / (0.5 * c_[n - 2] + 1.0);

  const double margin = kRangeTolerance * (x[n - 1] - x[0]);
  for (std::size_t i = 0; i < u.size(); ++i) {
    if (!within(u[i], x[0] - margin, x[n - 1] + margin)) {
      out_of_range_ = true;
      continue;
    }
    const auto [lo, hi, h, a, b] = bracket(x, u[i]);
    targets_[i] = Target{lo, a, b, (a * a * a - a) * (h * h) / 6.0, (b * b * b - b) * (h * h) / 6.0};
  }

  ascending_ = std::is_sorted(u.begin(), u.end());
  if (!ascending_) return;
  const std::size_t m = u.size();
  wa_.resize(m);
  wb_.resize(m);
  wca_.resize(m);
  wcb_.resize(m);
  for (std::size_t i = 0; i < m; ++i) {
    const Target& t = targets_[i];
    wa_[i] = t.a;
    wb_[i] = t.b;
    wca_[i] = t.ca;
    wcb_[i] = t.cb;
    if (t.k == kOutside) continue;
    if (runs_.empty() || runs_.back().k != t.k || runs_.back().end != i) {
      runs_.push_back(Run{t.k, i, i + 1});
    } else {
      runs_.back().end = i + 1;
    }
  }
}

void SplineInterpolator::apply(std::span<const double> y, std::span<double> v) const {
  std::vector<double> scratch(x_.size());
  apply(y, v, scratch);
}

void SplineInterpolator::apply(std::span<const double> y, std::span<double> v,
                               std::span<double> scratch) const {
  assert(y.size() == x_.size() && v.size() == targets_.size() && scratch.size() >= x_.size());
  const std::size_t n = x_.size();
  if (n < 2) {
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = targets_[i].k == kOutside ? 0.0 : y[0];
    return;
  }
  // Forward elimination into m, then back substitution in place: m becomes y''.
  const std::span<double> m = scratch;
  const double yp1 = slope(first_slope_, y, true);
  const double ypn = slope(last_slope_, y, false);
  double d_prev = (y[1] - y[0]) * inv_h_[0];
  m[0] = 3.0 * inv_h_[0] * (d_prev - yp1);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double d = (y[i + 1] - y[i]) * inv_h_[i];
    m[i] = (six_inv_w_[i] * (d - d_prev) - sig_[i] * m[i - 1]) * inv_p_[i];
    d_prev = d;
  }
  const double un = 3.0 * inv_h_[n - 2] * (ypn - d_prev);
  m[n - 1] = (un - 0.5 * m[n - 2]) * inv_last_pivot_;
  for (std::size_t k = n - 1; k-- > 0;) m[k] = c_[k] * m[k + 1] + m[k];

  if (ascending_) {
    if (out_of_range_) std::fill(v.begin(), v.end(), 0.0);
    for (const Run& run : runs_) {
      const double yk = y[run.k];
      const double yk1 = y[run.k + 1];
      const double mk = m[run.k];
      const double mk1 = m[run.k + 1];
      for (std::size_t i = run.begin; i < run.end; ++i) {
        v[i] = wa_[i] * yk + wb_[i] * yk1 + wca_[i] * mk + wcb_[i] * mk1;
      }
    }
    return;
  }
  for (std::size_t i = 0; i < v.size(); ++i) {
    const Target& t = targets_[i];
    if (t.k == kOutside) {
      v[i] = 0.0;
      continue;
    }
    v[i] = t.a * y[t.k] + t.b * y[t.k + 1] + t.ca * m[t.k] + t.cb * m[t.k + 1];
  }
}

std::vector<double> SplineInterpolator::operator()(std::span<const double> y) const {
  std::vector<double> v(targets_.size());
  apply(y, v);
  return v;
}

}  // namespace tessel
