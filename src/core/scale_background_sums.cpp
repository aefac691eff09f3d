// Scale and background from weighted sums, with the plausibility hold of the background.
#include "core/scale_background_sums.hpp"

#include <algorithm>
#include <cmath>

namespace tessel {

NormalSums row_sums(std::span<const double> intensity, std::span<const double> weight,
                    std::span<const double> m) {
  NormalSums s;
  for (std::size_t i = 0; i < m.size(); ++i) {
    const double w = weight[i], mv = m[i], iv = intensity[i];
    s.mm += w * mv * mv;
    s.m1 += w * mv;
    s.mi += w * mv * iv;
    s.w += w;
    s.i1 += w * iv;
    s.ii += w * iv * iv;
  }
  return s;
}

double residual_sum(const NormalSums& s, double a, double x1, double x2) {
  const double b = x2 * a;
  return s.ii - 2.0 * (x1 * s.mi + b * s.i1) + x1 * x1 * s.mm + 2.0 * x1 * b * s.m1 + b * b * s.w;
}

ScaleBackground solve_from_sums(const NormalSums& s, double a, double scale_low, double scale_high,
                                double background_low, double background_high, double plausible_forward) {
  // In x = (x1, x2): minimise ii − 2·x·r + xᵀ·M·x.
  const double m00 = s.mm, m01 = a * s.m1, m11 = a * a * s.w;
  const double r0 = s.mi, r1 = a * s.i1;
  const auto clamp1 = [&](double v) { return std::clamp(v, scale_low, scale_high); };
  const auto clamp2 = [&](double v) { return std::clamp(v, background_low, background_high); };
  ScaleBackground best{0.0, 0.0, HUGE_VAL};
  const auto consider = [&](double x1, double x2) {
    const double sum = residual_sum(s, a, x1, x2);
    if (sum < best.sum) best = {x1, x2, sum};
  };
  const bool background_free = m11 > 0.0;
  // A zero background column leaves the background at its value nearest 0.
  const double no_background = clamp2(0.0);
  if (!background_free) {
    consider(m00 > 0.0 ? clamp1(r0 / m00) : scale_low, no_background);
  } else {
    const double det = m00 * m11 - m01 * m01;
    bool inside = false;
    if (det > 0.0) {
      const double x1 = (r0 * m11 - r1 * m01) / det;
      const double x2 = (r1 * m00 - r0 * m01) / det;
      if (x1 >= scale_low && x1 <= scale_high && x2 >= background_low && x2 <= background_high) {
        consider(x1, x2);
        inside = true;
      }
    }
    if (!inside) {
      for (const double x1 : {scale_low, scale_high}) consider(x1, clamp2((r1 - m01 * x1) / m11));
      for (const double x2 : {background_low, background_high}) {
        consider(m00 > 0.0 ? clamp1((r0 - m01 * x2) / m00) : scale_low, x2);
      }
    }
  }
  if (plausible_forward == 0.0 || !background_free) return best;
  // The background held to |x2·a| ≤ q·x1·I(0): if the box's best breaks it, the best lies on one
  // of the rays x2·a = ±q·I(0)·x1 (or, for I(0) ≤ 0, on x2 = 0).
  const double limit = kPlausibleBackgroundFraction * plausible_forward;
  if (limit > 0.0 && std::fabs(best.background * a) <= limit * best.scale) return best;
  ScaleBackground held{0.0, 0.0, HUGE_VAL};
  const auto ray = [&](double t) {  // x2 = t·x1
    const double mm = m00 + 2.0 * t * m01 + t * t * m11;
    const double x1 = mm > 0.0 ? clamp1((r0 + t * r1) / mm) : scale_low;
    const double sum = residual_sum(s, a, x1, t * x1);
    if (sum < held.sum) held = {x1, t * x1, sum};
  };
  if (limit > 0.0) {
    ray(limit / a);
    ray(-limit / a);
  } else {
    ray(0.0);
  }
  return held;
}

}  // namespace tessel
