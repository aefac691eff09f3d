// Error estimation for curves given without errors.
#include "core/error_estimate.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>

namespace tessel {
namespace {

using Vec4 = std::array<double, 4>;
using Mat4 = std::array<Vec4, 4>;

constexpr double kTiny = 1e-20;          // keeps logarithms and errors away from 0
constexpr double kFallbackRelative = 0.03;
constexpr int kMaxWindowHalf = 51;        // largest k of the error estimation

Vec4 powers(double t) { return {t * t * t, t * t, t, 1.0}; }

// Cholesky factor L of a symmetric 4×4 matrix (lower triangle); false when not positive definite.
bool cholesky(const Mat4& m, Mat4& l) {
  l = {};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j <= i; ++j) {
      double sum = m[i][j];
      for (int p = 0; p < j; ++p) sum -= l[i][p] * l[j][p];
      if (i == j) {
        if (!(sum > 0.0)) return false;
        l[i][i] = std::sqrt(sum);
      } else {
        l[i][j] = sum / l[j][j];
      }
    }
  }
  return true;
}

// Solves L z = b.
Vec4 forward(const Mat4& l, const Vec4& b) {
  Vec4 z{};
  for (int i = 0; i < 4; ++i) {
    double sum = b[i];
    for (int p = 0; p < i; ++p) sum -= l[i][p] * z[p];
    z[i] = sum / l[i][i];
  }
  return z;
}

// Solves Lᵀ a = z.
Vec4 backward(const Mat4& l, const Vec4& z) {
  Vec4 a{};
  for (int i = 3; i >= 0; --i) {
    double sum = z[i];
    for (int p = i + 1; p < 4; ++p) sum -= l[p][i] * a[p];
    a[i] = sum / l[i][i];
  }
  return a;
}

double dot(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }

// Number of ways to choose k of n; 0 outside 0 <= k <= n. Exact enough for n <= 100.
double binomial(int n, int k) {
  if (k < 0 || k > n) return 0.0;
  k = std::min(k, n - k);
  double c = 1.0;
  for (int i = 1; i <= k; ++i) c = c * (n - k + i) / i;
  return c;
}

// Probability of exactly r runs among n1 + n2 signs in random order.
double runs_probability(int n1, int n2, int r) {
  const double total = binomial(n1 + n2, n1);
  if (r % 2 == 0) {
    const int k = r / 2;
    return 2.0 * binomial(n1 - 1, k - 1) * binomial(n2 - 1, k - 1) / total;
  }
  const int k = (r - 1) / 2;
  return (binomial(n1 - 1, k) * binomial(n2 - 1, k - 1) + binomial(n1 - 1, k - 1) * binomial(n2 - 1, k)) / total;
}

std::vector<double> relative_errors(std::span<const double> intensity) {
  std::vector<double> e(intensity.size());
  for (std::size_t j = 0; j < e.size(); ++j) e[j] = std::fabs(kFallbackRelative * intensity[j]) + kTiny;
  return e;
}

constexpr std::string_view kThreePercentLine = "              Relative errors of 3 percent are assigned";

}  // namespace

SmoothResult SMOERR(std::span<const double> x, std::span<const double> y,
                    std::span<const double> sigma, int k) {
  const std::size_t n = x.size();
  assert(y.size() == n && sigma.size() == n);
  SmoothResult out;
  if (k > kMaxSmoothingNeighbours) {
    k = kMaxSmoothingNeighbours;
    out.neighbours_reduced = true;
  }
  const std::size_t half = k < 0 ? 0 : static_cast<std::size_t>(k);
  if (k < 2 || 2 * half + 1 > n) {
    out.status = -1;
    return out;
  }
  out.value.assign(n, 0.0);
  out.error.assign(n, 0.0);

  // Fits the window centred on point c and evaluates it at points [from, to].
  auto fit_window = [&](std::size_t c, std::size_t from, std::size_t to) {
    const double width = x[c + half] - x[c - half];
    Mat4 m{};
    Vec4 rhs{};
    for (std::size_t j = c - half; j <= c + half; ++j) {
      const Vec4 p = powers((x[j] - x[c]) / width);
      const double w = 1.0 / (sigma[j] * sigma[j]);
      for (int a = 0; a < 4; ++a) {
        rhs[a] += w * y[j] * p[a];
        for (int b = 0; b <= a; ++b) m[a][b] += w * p[a] * p[b];
      }
    }
    for (int a = 0; a < 4; ++a)
      for (int b = a + 1; b < 4; ++b) m[a][b] = m[b][a];
    Mat4 l;
    if (!cholesky(m, l)) return false;
    const Vec4 coef = backward(l, forward(l, rhs));
    for (std::size_t j = from; j <= to; ++j) {
      const Vec4 p = powers((x[j] - x[c]) / width);
      const Vec4 z = forward(l, p);  // pᵀ M⁻¹ p = |L⁻¹ p|²
      out.value[j] = dot(coef, p);
      out.error[j] = std::sqrt(dot(z, z));
    }
    return true;
  };

  bool ok = fit_window(half, 0, half);
  for (std::size_t c = half + 1; ok && c + half + 1 < n; ++c) ok = fit_window(c, c, c);
  if (ok) ok = fit_window(n - 1 - half, n - 1 - half, n - 1);
  if (!ok) {
    out.status = -2;
    out.value.clear();
    out.error.clear();
  }
  return out;
}

RunsTestResult G02WALD2(std::span<const double> residuals, double significance) {
  constexpr std::size_t kMinPoints = 20;
  constexpr int kExactLimit = 50;  // larger sign counts use the normal approximation
  RunsTestResult out;
  if (residuals.size() < kMinPoints) {
    out.status = -1;
    return out;
  }
  double mean = 0.0;
  for (double r : residuals) mean += r;
  mean /= static_cast<double>(residuals.size());
  int previous = 0;
  for (double r : residuals) {
    const int sign = r > mean ? 1 : (r < mean ? -1 : 0);
    if (sign == 0) continue;
    (sign > 0 ? out.n_plus : out.n_minus) += 1;
    if (sign != previous) ++out.runs;
    previous = sign;
  }
  const int n1 = out.n_plus;
  const int n2 = out.n_minus;
  if (n1 == 0 || n2 == 0) return out;  // one sign only: nothing to test

  if (std::max(n1, n2) > kExactLimit) {
    const double nn = n1 + n2;
    const double prod = 2.0 * n1 * n2;
    const double mu = prod / nn + 1.0;
    const double var = prod * (prod - nn) / (nn * nn * (nn - 1.0));
    const double z = (out.runs - mu) / std::sqrt(var);
    out.p_value = std::erfc(std::fabs(z) / std::sqrt(2.0));
  } else {
    double below = 0.0;  // P(R <= observed)
    double above = 0.0;  // P(R >= observed)
    for (int r = 2; r <= n1 + n2; ++r) {
      const double p = runs_probability(n1, n2, r);
      if (r <= out.runs) below += p;
      if (r >= out.runs) above += p;
    }
    out.p_value = std::min(1.0, 2.0 * std::min(below, above));
  }
  out.random = out.p_value > significance;
  return out;
}

ErrestResult ERREST(std::span<const double> s, std::span<const double> intensity) {
  const std::size_t n = s.size();
  assert(intensity.size() == n);
  ErrestResult out;
  if (n == 0) return out;

  const int half_n = static_cast<int>(n / 2) - 1;
  int k1 = std::max(2, static_cast<int>(std::floor(std::sqrt(static_cast<double>(n)))));
  k1 = std::min(k1, std::min(kMaxWindowHalf, half_n));
  const int k2 = std::max(2, k1 / 2);

  auto fall_back = [&](std::string_view why) {
    out.messages.emplace_back(why);
    out.messages.emplace_back(kThreePercentLine);
    out.error = relative_errors(intensity);
    return out;
  };
  // Fewer than 6 points leave no room for a cubic in the smoothing windows.
  if (k1 < 2) return fall_back(" ERREST ---W- Too few points for smoothing!");

  const std::vector<double> unit(n, 1.0);
  std::vector<double> log_i(n);
  for (std::size_t j = 0; j < n; ++j) log_i[j] = std::log(std::fabs(intensity[j]) + kTiny);
  const SmoothResult first = SMOERR(s, log_i, unit, k1);
  if (first.status != 0) return fall_back(" ERREST ---W- Too few points for smoothing!");
  const SmoothResult second = SMOERR(s, first.value, first.error, k2);
  if (second.status != 0) return fall_back(" ERREST ---W- Too few points for smoothing!");
  std::vector<double> residual(n);
  for (std::size_t j = 0; j < n; ++j) residual[j] = std::exp(second.value[j]) - intensity[j];

  const RunsTestResult runs = G02WALD2(residual);
  if (runs.status != 0) out.messages.emplace_back(kRunsTestTooFewMessage);
  if (!runs.random) return fall_back(" ERREST ---W- Nonrandom residuals after smoothing!");

  for (double& r : residual) r = std::fabs(r);
  const SmoothResult spread = SMOERR(s, residual, unit, k1);
  if (spread.status != 0) return fall_back(" ERREST ---W- Too few points for smoothing!");
  out.error.resize(n);
  for (std::size_t j = 0; j < n; ++j) out.error[j] = std::fabs(spread.value[j]) + kTiny;
  // Intensities near the top of the double range overflow exp() in the residuals.
  if (!std::all_of(out.error.begin(), out.error.end(), [](double e) { return std::isfinite(e); })) {
    return fall_back(" ERREST ---W- Smoothed errors are not finite!");
  }
  out.messages.emplace_back(" ERREST ----- Errors estimated by polynomial smoothing");
  return out;
}

}  // namespace tessel
