// The bounded Nelder–Mead simplex search.
#include "core/simplex_search.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numeric>

namespace tessel {
namespace {

// Reflection, expansion, contraction and shrink coefficients of the classic method.
constexpr double kReflect = 1.0;
constexpr double kExpand = 2.0;
constexpr double kContract = 0.5;
constexpr double kShrink = 0.5;
// A run ends when the simplex's edges are below this share of the first steps.
constexpr double kEdgeShare = 1.0 / 64.0;

}  // namespace

SimplexResult simplex_minimise(const std::function<double(std::span<const double>)>& f,
                               std::span<const double> start, std::span<const double> step,
                               std::span<const double> low, std::span<const double> high,
                               std::size_t max_evaluations, int restarts, double tolerance) {
  const std::size_t n = start.size();
  assert(step.size() == n && low.size() == n && high.size() == n);
  SimplexResult best;
  best.x.assign(start.begin(), start.end());
  const auto evaluate = [&](std::vector<double>& x) {
    for (std::size_t d = 0; d < n; ++d) x[d] = std::clamp(x[d], low[d], high[d]);
    ++best.evaluations;
    return f(x);
  };
  best.value = evaluate(best.x);
  std::vector<std::size_t> free;  // the parameters that move
  for (std::size_t d = 0; d < n; ++d) {
    if (step[d] != 0.0) free.push_back(d);
  }
  if (free.empty()) return best;
  const std::size_t m = free.size();
  std::vector<double> edge(step.begin(), step.end());
  for (int run = 0; run <= restarts && best.evaluations < max_evaluations; ++run) {
    // The simplex: the best point and one vertex along each free parameter (inwards at a bound).
    std::vector<std::vector<double>> v(m + 1, best.x);
    std::vector<double> value(m + 1, best.value);
    for (std::size_t i = 0; i < m && best.evaluations < max_evaluations; ++i) {
      const std::size_t d = free[i];
      v[i + 1][d] += best.x[d] + edge[d] <= high[d] ? edge[d] : -edge[d];
      value[i + 1] = evaluate(v[i + 1]);
    }
    std::vector<std::size_t> order(m + 1);
    std::vector<double> centroid(n), trial(n), other(n);
    const auto point = [&](double t, const std::vector<double>& from, std::vector<double>& out) {
      for (std::size_t d = 0; d < n; ++d) out[d] = centroid[d] + t * (from[d] - centroid[d]);
    };
    while (best.evaluations < max_evaluations) {
      std::iota(order.begin(), order.end(), 0);
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t a, std::size_t b) { return value[a] < value[b]; });
      const std::size_t lo = order.front(), hi = order.back(), next = order[m - 1];
      double spread = 0.0;
      for (const std::size_t d : free) {
        for (std::size_t i = 0; i <= m; ++i)
          spread = std::max(spread, std::fabs(v[i][d] - v[lo][d]) / step[d]);
      }
      if (value[hi] - value[lo] <= tolerance && spread < kEdgeShare) break;
      std::fill(centroid.begin(), centroid.end(), 0.0);
      for (const std::size_t i : order) {
        if (i == hi) continue;
        for (std::size_t d = 0; d < n; ++d) centroid[d] += v[i][d] / static_cast<double>(m);
      }
      point(-kReflect, v[hi], trial);
      const double reflected = evaluate(trial);
      if (reflected < value[lo]) {
        point(-kExpand, v[hi], other);
        const double expanded = best.evaluations < max_evaluations ? evaluate(other) : reflected;
        if (expanded < reflected) {
          v[hi] = other;
          value[hi] = expanded;
        } else {
          v[hi] = trial;
          value[hi] = reflected;
        }
        continue;
      }
      if (reflected < value[next]) {
        v[hi] = trial;
        value[hi] = reflected;
        continue;
      }
      // Contraction, outside the simplex if the reflection improved on the worst, else inside.
      const bool outside = reflected < value[hi];
      point(outside ? -kContract : kContract, v[hi], other);
      const double contracted = evaluate(other);
      if (contracted < std::min(reflected, value[hi])) {
        v[hi] = other;
        value[hi] = contracted;
        continue;
      }
      for (std::size_t i = 0; i <= m && best.evaluations < max_evaluations; ++i) {
        if (i == lo) continue;
        for (std::size_t d = 0; d < n; ++d) v[i][d] = v[lo][d] + kShrink * (v[i][d] - v[lo][d]);
        value[i] = evaluate(v[i]);
      }
    }
    for (std::size_t i = 0; i <= m; ++i) {
      if (value[i] < best.value) {
        best.value = value[i];
        best.x = v[i];
      }
    }
    for (double& e : edge) e /= 2.0;
  }
  return best;
}

}  // namespace tessel
