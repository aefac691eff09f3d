// Guinier-range estimation.
#include "core/guinier.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <vector>

#include "core/locate.hpp"

namespace tessel {
namespace {

constexpr std::size_t kFirstRange = 10;   // points of the first trial fit
constexpr int kMaxRefinements = 20;

struct LineFit {
  bool ok = false;
  double slope = 0.0, intercept = 0.0, slope_var = 0.0, intercept_var = 0.0;
};

// Factor c of R² = −c · slope for each type.
double radius_factor(int type) { return type == 0 ? 3.0 : (type == 1 ? 2.0 : 1.0); }

// Straight-line fit of ln(s^type · I) against s² over the first `count` points. Weights
// (I/σ)² when every σ used is positive, else equal weights with the variances scaled by the
// scatter of the residuals.
LineFit guinier_fit(std::span<const double> s, std::span<const double> intensity,
                    std::span<const double> error, std::size_t count, int type) {
  std::vector<double> xs, ys, ws;
  bool weighted = true;
  for (std::size_t j = 0; j < count; ++j) {
    const double arg = std::pow(s[j], type) * intensity[j];
    if (!(arg > 0.0) || !std::isfinite(arg)) continue;
    xs.push_back(s[j] * s[j]);
    ys.push_back(std::log(arg));
    const double rel = error[j] / intensity[j];
    if (!(error[j] > 0.0)) weighted = false;
    ws.push_back(weighted ? 1.0 / (rel * rel) : 1.0);
  }
  LineFit fit;
  const std::size_t m = xs.size();
  if (m < 2) return fit;
  if (!weighted) std::fill(ws.begin(), ws.end(), 1.0);
  double sw = 0, sx = 0, sy = 0;
  for (std::size_t j = 0; j < m; ++j) {
    sw += ws[j];
    sx += ws[j] * xs[j];
    sy += ws[j] * ys[j];
  }
  const double xm = sx / sw;
  const double ym = sy / sw;
  double sxx = 0, sxy = 0;
  for (std::size_t j = 0; j < m; ++j) {
    sxx += ws[j] * (xs[j] - xm) * (xs[j] - xm);
    sxy += ws[j] * (xs[j] - xm) * (ys[j] - ym);
  }
  if (!(sxx > 0.0)) return fit;
  fit.ok = true;
  fit.slope = sxy / sxx;
  fit.intercept = ym - fit.slope * xm;
  fit.slope_var = 1.0 / sxx;
  fit.intercept_var = 1.0 / sw + xm * xm / sxx;
  if (!weighted) {
    double chi2 = 0;
    for (std::size_t j = 0; j < m; ++j) {
      const double r = ys[j] - fit.intercept - fit.slope * xs[j];
      chi2 += r * r;
    }
    const double scale = m > 2 ? chi2 / static_cast<double>(m - 2) : 0.0;
    fit.slope_var *= scale;
    fit.intercept_var *= scale;
  }
  return fit;
}

double radius_of(const LineFit& fit, int type) {
  const double r2 = -radius_factor(type) * fit.slope;
  return fit.ok && r2 > 0.0 ? std::sqrt(r2) : 0.0;
}

// Points below kGuinierRangeLimit / R; all points when there is no radius.
std::size_t range_for(std::span<const double> s, double radius) {
  if (!(radius > 0.0)) return s.size();
  return locate(s, kGuinierRangeLimit / radius);
}

}  // namespace

EstrgResult ESTRG(std::span<const double> s, std::span<const double> intensity,
                  std::span<const double> error, std::size_t nrg, int type) {
  const std::size_t n = s.size();
  assert(intensity.size() == n && error.size() == n);
  EstrgResult out;
  out.nrg = nrg;
  out.type = type;
  if (type < 0 || type > 2) {
    out.status = -1;
    return out;
  }

  if (nrg == 0) {
    // Refine the range until the fit over it ends at s·R = 1.3 (or stops moving).
    std::size_t k = std::min(n, kFirstRange);
    double radius = 0.0;
    for (int i = 0; i < kMaxRefinements; ++i) {
      radius = radius_of(guinier_fit(s, intensity, error, k, type), type);
      const std::size_t next = std::clamp(range_for(s, radius), std::min(n, kMinGuinierPoints), n);
      if (next == k) break;
      k = next;
    }
    nrg = range_for(s, radius);
  }
  out.nrg_estimated = nrg;
  out.nrg = std::min(std::max(nrg, kMinGuinierPoints), n);
  out.clamped = out.nrg != out.nrg_estimated;

  const LineFit fit = guinier_fit(s, intensity, error, out.nrg, type);
  if (!fit.ok) {
    out.status = -2;
    return out;
  }
  out.radius = radius_of(fit, type);
  if (out.radius > 0.0) {
    out.radius_error = radius_factor(type) * std::sqrt(fit.slope_var) / (2.0 * out.radius);
  }
  out.forward = std::exp(fit.intercept);
  out.forward_error = out.forward * std::sqrt(fit.intercept_var);
  out.s_radius_max = out.nrg > 0 ? s[out.nrg - 1] * out.radius : 0.0;
  return out;
}

}  // namespace tessel
