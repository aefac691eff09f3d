// Averaging of a measured curve onto a coarser grid of scattering vectors.
#include "core/rebin.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "core/locate.hpp"

namespace tessel {
namespace {

// Integral over [lo, hi] of the hat that rises linearly from 0 at `left` to 1 at `peak` and
// falls back to 0 at `right`.
double hat_integral(double left, double peak, double right, double lo, double hi) {
  double sum = 0.0;
  // Rising flank: (t − left) / (peak − left).
  if (peak > left) {
    const double a = std::max(lo, left);
    const double b = std::min(hi, peak);
    if (b > a) sum += ((b - left) * (b - left) - (a - left) * (a - left)) / (2.0 * (peak - left));
  }
  // Falling flank: (right − t) / (right − peak).
  if (right > peak) {
    const double a = std::max(lo, peak);
    const double b = std::min(hi, right);
    if (b > a) sum += ((right - a) * (right - a) - (right - b) * (right - b)) / (2.0 * (right - peak));
  }
  return sum;
}

}  // namespace

RebinnedCurve rebin_curve(std::span<const double> s, std::span<const double> intensity,
                          std::span<const double> error, std::span<const double> s_new) {
  const std::size_t n = s.size();
  const std::size_t m = s_new.size();
  assert(intensity.size() == n && error.size() == n);
  assert(n >= 2 && m >= 2);

  // Bin edges: midpoints between grid points, half a step outside the two end points.
  std::vector<double> edges(m + 1);
  edges[0] = s_new[0] - 0.5 * (s_new[1] - s_new[0]);
  for (std::size_t k = 1; k < m; ++k) edges[k] = 0.5 * (s_new[k - 1] + s_new[k]);
  edges[m] = s_new[m - 1] + 0.5 * (s_new[m - 1] - s_new[m - 2]);

  std::vector<double> weight(m, 0.0);
  std::vector<double> weighted_i(m, 0.0);
  std::vector<double> weighted_var(m, 0.0);
  for (std::size_t j = 0; j < n; ++j) {
    const double left = j == 0 ? std::max(0.0, 2.0 * s[0] - s[1]) : s[j - 1];
    const double right = j + 1 == n ? 2.0 * s[n - 1] - s[n - 2] : s[j + 1];
    const double area = 0.5 * (right - left);
    if (!(area > 0.0)) continue;
    // Bins that overlap [left, right]: from the one holding `left` to the one holding `right`.
    const std::size_t first = locate(edges, left);
    const std::size_t last = std::min(locate(edges, right), m);
    for (std::size_t k = first == 0 ? 0 : first - 1; k < last; ++k) {
      const double w = hat_integral(left, s[j], right, edges[k], edges[k + 1]) / area;
      if (w <= 0.0) continue;
      weight[k] += w;
      weighted_i[k] += w * intensity[j];
      weighted_var[k] += w * error[j] * error[j];
    }
  }

  RebinnedCurve out;
  out.intensity.assign(m, 0.0);
  out.error.assign(m, 0.0);
  for (std::size_t k = 0; k < m; ++k) {
    if (weight[k] == 0.0) continue;
    out.intensity[k] = weighted_i[k] / weight[k];
    out.error[k] = std::sqrt(std::fabs(weighted_var[k])) / weight[k];
  }
  return out;
}

}  // namespace tessel
