// The extended fit: grid search over V_ex, the signed damping radius, the shell width and δρ
// with a free background, compass refinement, the plausibility rule and the final evaluation.
#include "core/extended_fit.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <numbers>
#include <optional>

#include "core/bounded_lsq.hpp"
#include "core/envelope.hpp"
#include "core/intensity.hpp"
#include "core/locate.hpp"
#include "core/respline.hpp"
#include "core/simplex_search.hpp"

namespace tessel {
namespace {

constexpr double kFourPiThirds = 4.0 * std::numbers::pi / 3.0;
// The refinement: evaluations at most, fresh simplices after the first, and the spread of χ²
// over the simplex at which a run ends.
constexpr std::size_t kRefineEvaluations = 600;
constexpr int kRefineRestarts = 2;
constexpr double kRefineTolerance = 1e-9;
// A value this share of its range from a bound sits on it.
constexpr double kBoundShare = 1e-4;
// Grid points that make a thread worth its start.
constexpr double kGridPointsPerThread = 2.0e5;

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// The six curves whose weighted sum is the intensity for fixed damping and width, with their
// coefficients for a forward value c0 = ρ0·V_ex/N and a contrast δρ:
//   I_A·1 + (g²·I_C)·c0² + I_B·δρ² − (g·I_AC)·c0 + I_AB·δρ − (g·I_CB)·c0·δρ.
constexpr int kTerms = 6;
using Coefficients = std::array<double, kTerms>;

// Weighted sums of the six interpolated curves Y_j over the fitted points: the Gram matrix
// Σw·Y_j·Y_k, and Σw·Y_j, Σw·Y_j·I.
struct TermSums {
  std::array<double, kTerms * kTerms> gram{};
  Coefficients ones{}, data{};
};

// The normal sums of the model Σ_j c_j·Y_j, in the polynomial form of δρ for one c0:
// model = p0 + δρ·p1 + δρ²·p2 with p0 = Y0 + c0²·Y1 − c0·Y3, p1 = Y4 − c0·Y5, p2 = Y2.
struct ContrastPolynomial {
  double mm[5] = {};  // Σw·m² by powers of δρ
  double m1[3] = {};  // Σw·m
  double mi[3] = {};  // Σw·m·I
};
ContrastPolynomial contrast_polynomial(const TermSums& t, double c0) {
  const std::array<Coefficients, 3> p = {Coefficients{1.0, c0 * c0, 0.0, -c0, 0.0, 0.0},
                                         Coefficients{0.0, 0.0, 0.0, 0.0, 1.0, -c0},
                                         Coefficients{0.0, 0.0, 1.0, 0.0, 0.0, 0.0}};
  double h[3][3] = {};
  for (int a = 0; a < 3; ++a) {
    for (int b = a; b < 3; ++b) {
      double sum = 0.0;
      for (int j = 0; j < kTerms; ++j) {
        if (p[as_size(a)][as_size(j)] == 0.0) continue;
        for (int k = 0; k < kTerms; ++k) {
          sum += p[as_size(a)][as_size(j)] * p[as_size(b)][as_size(k)] * t.gram[as_size(j * kTerms + k)];
        }
      }
      h[a][b] = h[b][a] = sum;
    }
  }
  ContrastPolynomial c;
  c.mm[0] = h[0][0];
  c.mm[1] = 2.0 * h[0][1];
  c.mm[2] = 2.0 * h[0][2] + h[1][1];
  c.mm[3] = 2.0 * h[1][2];
  c.mm[4] = h[2][2];
  for (int a = 0; a < 3; ++a) {
    for (int j = 0; j < kTerms; ++j) {
      c.m1[a] += p[as_size(a)][as_size(j)] * t.ones[as_size(j)];
      c.mi[a] += p[as_size(a)][as_size(j)] * t.data[as_size(j)];
    }
  }
  return c;
}

// The sums of a model curve m against the measured intensities and weights of the same rows.
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

// Σw·(I − x1·m − x2·a)² from the sums.
double residual_sum(const NormalSums& s, double a, double x1, double x2) {
  const double b = x2 * a;
  return s.ii - 2.0 * (x1 * s.mi + b * s.i1) + x1 * x1 * s.mm + 2.0 * x1 * b * s.m1 + b * b * s.w;
}

// The curves of the model at one set of parameters on the computed stretch first..last.
struct ModelWork {
  std::vector<double> shape, log_values, spline_values, model_values, scratch;
};

void fill_model_logs(const FitModel& model, const WidthCurves& wc, double exponent, double c0,
                     double contrast, std::size_t first, std::size_t last, ModelWork& w) {
  fit_excluded_volume_shape(model, exponent, first, last, w.shape);
  for (std::size_t k = first; k <= last; ++k) {
    const double c = c0 * w.shape[k];
    const double v = model.atoms[k] + c * c * model.solvent[k] + contrast * contrast * wc.shell[k] -
                     c * model.atoms_solvent[k] + contrast * wc.atoms_shell[k] - c * contrast * wc.solvent_shell[k];
    w.log_values[k - first] = log_intensity(v);
  }
}

double forward_value(const FitModel& model, const WidthCurves& wc, double c0, double contrast) {
  return model.atoms[0] + c0 * c0 * model.solvent[0] + contrast * contrast * wc.shell[0] -
         c0 * model.atoms_solvent[0] + contrast * wc.atoms_shell[0] - c0 * contrast * wc.solvent_shell[0];
}

double forward_scale(const FitModel& model, double volume) {
  // A model without atoms has no excluded volume to scale.
  return model.n_atoms > 0 ? model.rho0 * (volume / static_cast<double>(model.n_atoms)) : 0.0;
}

double with_dummies(const FitModel& model, double volume) {
  return volume + kDummyResidueVolume * model.n_dummy_residues;
}

}  // namespace

double signed_radius_exponent(double radius, double two_thirds) {
  const double r = std::fabs(radius);
  const double kappa = std::pow(kFourPiThirds * r * r * r, two_thirds);
  return radius >= 0.0 ? -kappa : kappa;
}

ShellWidthCurves shell_width_curves(const PartialAmplitudes& atoms, const PartialAmplitudes& solvent,
                                    std::span<const double> widths,
                                    std::span<const PartialAmplitudes> shells,
                                    std::span<const double> volumes) {
  assert(widths.size() == shells.size() && widths.size() == volumes.size());
  ShellWidthCurves c;
  c.widths.assign(widths.begin(), widths.end());
  c.volumes.assign(volumes.begin(), volumes.end());
  for (const PartialAmplitudes& b : shells) {
    c.shell.push_back(partial_intensity(b));
    c.atoms_shell.push_back(cross_intensity(atoms, b));
    c.solvent_shell.push_back(cross_intensity(solvent, b));
  }
  return c;
}

WidthCurves curves_at_width(const ShellWidthCurves& curves, double width) {
  const std::vector<double>& x = curves.widths;
  const std::size_t n = x.size();
  assert(n > 0);
  // The four nodes around the width (all of them when there are fewer), Lagrange weights.
  const std::size_t nodes = std::min<std::size_t>(4, n);
  const std::size_t below = locate(x, width);  // nodes strictly below
  const std::size_t start = std::min(below > 1 ? below - 2 : 0, n - nodes);
  std::array<double, 4> weight{};
  for (std::size_t j = 0; j < nodes; ++j) {
    double l = 1.0;
    for (std::size_t k = 0; k < nodes; ++k) {
      if (k != j) l *= (width - x[start + k]) / (x[start + j] - x[start + k]);
    }
    weight[j] = l;
  }
  WidthCurves out;
  const std::size_t points = curves.shell.front().size();
  const auto mix = [&](const std::vector<std::vector<double>>& from, std::vector<double>& to) {
    to.assign(points, 0.0);
    for (std::size_t j = 0; j < nodes; ++j) {
      const std::vector<double>& f = from[start + j];
      for (std::size_t k = 0; k < points; ++k) to[k] += weight[j] * f[k];
    }
  };
  mix(curves.shell, out.shell);
  mix(curves.atoms_shell, out.atoms_shell);
  mix(curves.solvent_shell, out.solvent_shell);
  for (std::size_t j = 0; j < nodes; ++j) out.volume += weight[j] * curves.volumes[start + j];
  return out;
}

ExtendedLimits extended_search_limits(const FitModel& model, const FitData& data,
                                      bool use_default_parameters) {
  ExtendedLimits l;
  l.base = default_search_limits(model, data, use_default_parameters);
  l.base.background_low = kExtendedBackgroundLow;
  l.base.background_high = kExtendedBackgroundHigh;
  if (use_default_parameters) {
    l.radius_low = l.radius_high = model.atomic_radius;
    l.radius_count = 1;
    l.width_low = l.width_high = kShellWidth;
    l.width_count = 1;
    l.refine = false;
    return l;
  }
  // Down to the radius whose negative damping cancels the average atom's own Gaussian, and at
  // least down to 0 (no global damping).
  // The steps of the default search's radius (0.02 Å) from its upper bound down to the first
  // value at or below that radius.
  l.radius_high = kFitRadiusHigh;
  const double target = std::min(-model.atomic_radius, 0.0);
  const int steps = static_cast<int>(std::ceil((l.radius_high - target) / kExtendedRadiusStep - 1e-9));
  l.radius_count = steps + 1;
  l.radius_low = l.radius_high - steps * kExtendedRadiusStep;
  return l;
}

std::vector<double> grid_widths(const ExtendedLimits& limits) {
  std::vector<double> w;
  const int n = std::max(limits.width_count, 1);
  for (int i = 0; i < n; ++i) w.push_back(grid_value(limits.width_low, limits.width_high, n, i));
  return w;
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

Plausibility plausibility(double reported_volume, double reported_displaced_volume,
                          double absolute_background, double forward_intensity) {
  Plausibility p;
  p.volume_departure = reported_displaced_volume != 0.0 ? reported_volume / reported_displaced_volume - 1.0 : 0.0;
  p.background_fraction = forward_intensity != 0.0 ? absolute_background / forward_intensity
                          : absolute_background == 0.0 ? 0.0 : HUGE_VAL;
  p.volume_ok = std::fabs(p.volume_departure) <= kPlausibleVolumeDeparture;
  p.background_ok = std::fabs(p.background_fraction) <= kPlausibleBackgroundFraction;
  return p;
}

RangeSide range_side(double value, double low, double high) {
  const double near = kBoundShare * (high - low);
  if (value <= low + near) return RangeSide::lower;
  if (value >= high - near) return RangeSide::upper;
  return RangeSide::inside;
}

ExtendedSearchResult search_extended(const FitModel& model, const ShellWidthCurves& curves,
                                     const FitData& data, const ExtendedLimits& limits, double a_out,
                                     const LoopSettings& loops) {
  ExtendedSearchResult result;
  const SearchLimits& base = limits.base;
  result.range = fit_range(model.s, data.s_r, base.s_max_fit);
  const FitRange& range = result.range;
  if (range.empty()) return result;
  assert(!curves.widths.empty() && curves.shell.front().size() > range.last);
  result.searched = true;

  const std::size_t n_fit = range.n_fit;
  const std::size_t first = range.first;
  const std::size_t last = range.last;
  const std::size_t m = last - first + 1;
  const SplineInterpolator spline(model.s.subspan(first, m), std::span<const double>(data.s_r.data(), n_fit));
  result.out_of_range = spline.out_of_range();
  const std::span<const double> w_r(data.w_r.data(), n_fit);
  const std::span<const double> i_r(data.i_r.data(), n_fit);
  NormalSums data_sums;
  for (std::size_t i = 0; i < n_fit; ++i) {
    data_sums.w += w_r[i];
    data_sums.i1 += w_r[i] * i_r[i];
    data_sums.ii += w_r[i] * i_r[i] * i_r[i];
  }
  const double displaced = with_dummies(model, model.displaced_volume);

  const int n_volume = std::max(base.volume_count, 1);
  const int n_radius = std::max(limits.radius_count, 1);
  const int n_width = std::max(limits.width_count, 1);
  const int n_contrast = std::max(base.contrast_count, 1);
  const auto radius_at = [&](int i) { return grid_value(limits.radius_low, limits.radius_high, n_radius, i); };
  const auto width_at = [&](int i) { return grid_value(limits.width_low, limits.width_high, n_width, i); };
  const auto volume_at = [&](int i) { return grid_value(base.volume_low, base.volume_high, n_volume, i); };
  const auto contrast_at = [&](int i) { return grid_value(base.contrast_low, base.contrast_high, n_contrast, i); };

  std::vector<WidthCurves> width_curves;
  for (int iw = 0; iw < n_width; ++iw) width_curves.push_back(curves_at_width(curves, width_at(iw)));

  // The interpolated curves: I_A once, I_B and I_AB per width, g²·I_C and g·I_AC per radius, g·I_CB
  // per radius and width; then the sums of each (radius, width) pair.
  const auto interpolate = [&](const auto& value_at, std::vector<double>& out, std::vector<double>& values,
                               std::vector<double>& scratch) {
    for (std::size_t k = 0; k < m; ++k) values[k] = value_at(first + k);
    out.resize(n_fit);
    spline.apply(values, out, scratch);
  };
  std::vector<double> values(m), scratch(m);
  std::vector<double> y_atoms;
  interpolate([&](std::size_t k) { return model.atoms[k]; }, y_atoms, values, scratch);
  std::vector<std::vector<double>> y_shell(as_size(n_width)), y_atoms_shell(as_size(n_width));
  for (int iw = 0; iw < n_width; ++iw) {
    const WidthCurves& wc = width_curves[as_size(iw)];
    interpolate([&](std::size_t k) { return wc.shell[k]; }, y_shell[as_size(iw)], values, scratch);
    interpolate([&](std::size_t k) { return wc.atoms_shell[k]; }, y_atoms_shell[as_size(iw)], values, scratch);
  }
  std::vector<TermSums> sums(as_size(n_radius) * as_size(n_width));
  std::vector<double> exponents(as_size(n_radius));
  for (int ir = 0; ir < n_radius; ++ir) exponents[as_size(ir)] = signed_radius_exponent(radius_at(ir), kSearchTwoThirds);

  const double points = static_cast<double>(n_volume) * n_radius * n_width * n_contrast;
  std::optional<WorkerPool> own_pool;
  WorkerPool& pool =
      loop_pool(loops, threads_for_work(points, kGridPointsPerThread, resolve_thread_count(loops.threads)), own_pool);

  struct RadiusScratch {
    std::vector<double> shape, values, scratch, y_solvent, y_atoms_solvent, y_solvent_shell;
  };
  std::vector<RadiusScratch> radius_scratch(as_size(pool.threads()));
  pool.run(n_radius, [&](int ir, int thread) {
    RadiusScratch& rs = radius_scratch[as_size(thread)];
    rs.shape.assign(model.s.size(), 0.0);
    rs.values.resize(m);
    rs.scratch.resize(m);
    fit_excluded_volume_shape(model, exponents[as_size(ir)], first, last, rs.shape);
    const auto& g = rs.shape;
    interpolate([&](std::size_t k) { return g[k] * g[k] * model.solvent[k]; }, rs.y_solvent, rs.values, rs.scratch);
    interpolate([&](std::size_t k) { return g[k] * model.atoms_solvent[k]; }, rs.y_atoms_solvent, rs.values, rs.scratch);
    for (int iw = 0; iw < n_width; ++iw) {
      const WidthCurves& wc = width_curves[as_size(iw)];
      interpolate([&](std::size_t k) { return g[k] * wc.solvent_shell[k]; }, rs.y_solvent_shell, rs.values, rs.scratch);
      const std::array<const double*, kTerms> y = {y_atoms.data(), rs.y_solvent.data(), y_shell[as_size(iw)].data(),
                                                    rs.y_atoms_solvent.data(), y_atoms_shell[as_size(iw)].data(),
                                                    rs.y_solvent_shell.data()};
      TermSums& t = sums[as_size(ir) * as_size(n_width) + as_size(iw)];
      for (int j = 0; j < kTerms; ++j) {
        for (int k = j; k < kTerms; ++k) {
          double sum = 0.0;
          for (std::size_t i = 0; i < n_fit; ++i) sum += w_r[i] * y[as_size(j)][i] * y[as_size(k)][i];
          t.gram[as_size(j * kTerms + k)] = t.gram[as_size(k * kTerms + j)] = sum;
        }
        double ones = 0.0, data_term = 0.0;
        for (std::size_t i = 0; i < n_fit; ++i) {
          ones += w_r[i] * y[as_size(j)][i];
          data_term += w_r[i] * y[as_size(j)][i] * i_r[i];
        }
        t.ones[as_size(j)] = ones;
        t.data[as_size(j)] = data_term;
      }
    }
  });

  // The grid, one excluded volume per task; the volumes' best points are then compared in order.
  struct Best {
    bool found = false;
    ExtendedParameters at;
    double chi2 = kFitNoChi2;
    double background = 0.0;
    Plausibility plausibility;
  };
  struct VolumeBest {
    Best any, plausible;
  };
  const double n = static_cast<double>(n_fit);
  std::vector<VolumeBest> per_volume(as_size(n_volume));
  std::vector<double> radii(as_size(n_radius)), widths(as_size(n_width)), contrasts(as_size(n_contrast));
  for (int i = 0; i < n_radius; ++i) radii[as_size(i)] = radius_at(i);
  for (int i = 0; i < n_width; ++i) widths[as_size(i)] = width_at(i);
  for (int i = 0; i < n_contrast; ++i) contrasts[as_size(i)] = contrast_at(i);
  // The background column's own sums do not change over the grid.
  const double m11 = a_out * a_out * data_sums.w;
  const double r1 = a_out * data_sums.i1;
  pool.run(n_volume, [&](int iv, int) {
    VolumeBest vb;
    const double volume = volume_at(iv);
    const double c0 = forward_scale(model, volume);
    const bool volume_ok = std::fabs(with_dummies(model, volume) / displaced - 1.0) <= kPlausibleVolumeDeparture;
    for (int ir = 0; ir < n_radius; ++ir) {
      for (int iw = 0; iw < n_width; ++iw) {
        const ContrastPolynomial poly = contrast_polynomial(sums[as_size(ir) * as_size(n_width) + as_size(iw)], c0);
        const WidthCurves& wc = width_curves[as_size(iw)];
        for (int id = 0; id < n_contrast; ++id) {
          const double d = contrasts[as_size(id)];
          NormalSums s = data_sums;
          s.mm = poly.mm[0] + d * (poly.mm[1] + d * (poly.mm[2] + d * (poly.mm[3] + d * poly.mm[4])));
          s.m1 = poly.m1[0] + d * (poly.m1[1] + d * poly.m1[2]);
          s.mi = poly.mi[0] + d * (poly.mi[1] + d * poly.mi[2]);
          // The inner minimum first; the general solve only when it leaves the bounds.
          ScaleBackground free{0.0, 0.0, HUGE_VAL};
          const double m01 = a_out * s.m1;
          const double det = s.mm * m11 - m01 * m01;
          if (det > 0.0) {
            const double x1 = (s.mi * m11 - r1 * m01) / det;
            const double x2 = (r1 * s.mm - s.mi * m01) / det;
            if (x1 >= kFitScaleLow && x1 <= kFitScaleHigh && x2 >= base.background_low &&
                x2 <= base.background_high) {
              free = {x1, x2, residual_sum(s, a_out, x1, x2)};
            }
          }
          if (!(free.sum < HUGE_VAL)) {
            free = solve_from_sums(s, a_out, kFitScaleLow, kFitScaleHigh, base.background_low,
                                   base.background_high, 0.0);
          }
          const double chi2 = std::max(free.sum, 0.0) / n;
          // A point no better than both best records changes neither (holding the background
          // only raises χ²).
          if (!(chi2 < vb.any.chi2) && !(volume_ok && chi2 < vb.plausible.chi2)) continue;
          const double forward = forward_value(model, wc, c0, d);
          const ExtendedParameters at{volume, radii[as_size(ir)], d, widths[as_size(iw)]};
          const Plausibility p = plausibility(with_dummies(model, volume), displaced, free.background * a_out,
                                              free.scale * forward);
          if (chi2 < vb.any.chi2) vb.any = {true, at, chi2, free.background, p};
          if (!volume_ok) continue;
          if (p.background_ok) {
            if (chi2 < vb.plausible.chi2) vb.plausible = {true, at, chi2, free.background, p};
            continue;
          }
          const ScaleBackground held = solve_from_sums(s, a_out, kFitScaleLow, kFitScaleHigh, base.background_low,
                                                       base.background_high, forward);
          const double held_chi2 = std::max(held.sum, 0.0) / n;
          if (held_chi2 < vb.plausible.chi2) {
            vb.plausible = {true, at, held_chi2, held.background,
                            plausibility(with_dummies(model, volume), displaced, held.background * a_out,
                                         held.scale * forward)};
          }
        }
      }
    }
    per_volume[as_size(iv)] = vb;
  });
  Best any, plausible;
  for (const VolumeBest& vb : per_volume) {
    if (vb.any.found && vb.any.chi2 < any.chi2) any = vb.any;
    if (vb.plausible.found && vb.plausible.chi2 < plausible.chi2) plausible = vb.plausible;
  }
  result.grid_points = as_size(n_volume) * as_size(n_radius) * as_size(n_width) * as_size(n_contrast);

  // The refinement objective: the model carried to the regridded points as log10 by the spline, the
  // scale and background solved from its sums, χ² from the residuals.
  ModelWork work_space;
  work_space.shape.assign(model.s.size(), 0.0);
  work_space.log_values.resize(m);
  work_space.spline_values.resize(n_fit);
  work_space.model_values.resize(n_fit);
  work_space.scratch.resize(m);
  struct Evaluation {
    double chi2 = kFitNoChi2;
    double background = 0.0;
    Plausibility plausibility;
  };
  const ScaleBackgroundRows rows(i_r, w_r, a_out, base.background_low, base.background_high);
  ScaleBackgroundScratch rows_scratch(rows);
  const auto evaluate = [&](const ExtendedParameters& p, bool plausible_only) {
    Evaluation e;
    const double c0 = forward_scale(model, p.volume);
    const WidthCurves wc = curves_at_width(curves, p.width);
    fill_model_logs(model, wc, signed_radius_exponent(p.radius, kSearchTwoThirds), c0, p.contrast, first, last,
                    work_space);
    spline.apply(work_space.log_values, work_space.spline_values, work_space.scratch);
    powers_of_ten(work_space.spline_values, work_space.model_values);
    const double forward = forward_value(model, wc, c0, p.contrast);
    const double reported = with_dummies(model, p.volume);
    const ScaleBackgroundFit x = solve_scale_background(rows, work_space.model_values, rows_scratch);
    e.chi2 = x.chi2;
    e.background = x.background;
    e.plausibility = plausibility(reported, displaced, x.background * a_out, x.scale * forward);
    if (!plausible_only || e.plausibility.ok()) return e;
    e.chi2 = kFitNoChi2;
    if (!e.plausibility.volume_ok) return e;
    // The background held to the rule; χ² from the residuals of the held fit.
    const ScaleBackground held = solve_from_sums(row_sums(i_r, w_r, work_space.model_values), a_out, kFitScaleLow,
                                                 kFitScaleHigh, base.background_low, base.background_high, forward);
    double sum = 0.0;
    for (std::size_t i = 0; i < n_fit; ++i) {
      const double r = i_r[i] - held.background * a_out - held.scale * work_space.model_values[i];
      sum += r * r * w_r[i];
    }
    e.chi2 = sum / n;
    e.background = held.background;
    e.plausibility = plausibility(reported, displaced, held.background * a_out, held.scale * forward);
    return e;
  };
  const auto refine = [&](const Best& start, bool plausible_only) {
    const std::array<double, 4> low = {base.volume_low, limits.radius_low, base.contrast_low, limits.width_low};
    const std::array<double, 4> high = {base.volume_high, limits.radius_high, base.contrast_high, limits.width_high};
    const std::array<int, 4> counts = {n_volume, n_radius, n_contrast, n_width};
    std::array<double, 4> step{};
    for (std::size_t d = 0; d < 4; ++d) step[d] = counts[d] > 1 ? (high[d] - low[d]) / (counts[d] - 1) : 0.0;
    const auto parameters = [](std::span<const double> x) { return ExtendedParameters{x[0], x[1], x[2], x[3]}; };
    const std::array<double, 4> from = {start.at.volume, start.at.radius, start.at.contrast, start.at.width};
    const SimplexResult s = simplex_minimise(
        [&](std::span<const double> x) { return evaluate(parameters(x), plausible_only).chi2; }, from, step, low,
        high, kRefineEvaluations, kRefineRestarts, kRefineTolerance);
    result.refinement_evaluations += s.evaluations;
    // The refinement never leaves the grid's point for a worse one.
    if (!(s.value < start.chi2)) return start;
    const ExtendedParameters at = parameters(s.x);
    const Evaluation e = evaluate(at, plausible_only);
    return Best{true, at, e.chi2, e.background, e.plausibility};
  };
  if (any.found && limits.refine) any = refine(any, false);
  if (any.found) {
    // The refined best fit, judged by the rule as it stands after the refinement.
    if (any.plausibility.ok()) {
      if (!(plausible.found && plausible.chi2 < any.chi2)) plausible = any;
    } else if (plausible.found && limits.refine) {
      plausible = refine(plausible, true);
    }
  }
  result.found = any.found;
  result.best = any.at;
  result.chi2 = any.chi2;
  result.background = any.background;
  result.best_plausibility = any.plausibility;
  result.plausible_found = plausible.found;
  result.plausible = plausible.at;
  result.plausible_chi2 = plausible.chi2;
  return result;
}

ExtendedFinalFit evaluate_extended_fit(const FitModel& model, const FitData& data,
                                       const ExtendedParameters& parameters, double s_max_fit,
                                       double a_out, std::size_t nrg) {
  ExtendedFinalFit out;
  const std::size_t nc = model.s.size();
  assert(nc >= 1);
  const double c0 = forward_scale(model, parameters.volume);
  std::vector<double> scale_curve(nc, 0.0);
  fit_excluded_volume_shape(model, signed_radius_exponent(parameters.radius, kFinalTwoThirds), 0, nc - 1,
                            scale_curve);
  for (double& c : scale_curve) c *= c0;
  // The forward intensity of the model; the hold needs it before the fitted curve exists.
  const double d = parameters.contrast;
  const double forward = model.atoms[0] + scale_curve[0] * scale_curve[0] * model.solvent[0] +
                         d * d * model.shell[0] - scale_curve[0] * model.atoms_solvent[0] +
                         d * model.atoms_shell[0] - scale_curve[0] * d * model.solvent_shell[0];
  const auto hold = [&](std::span<const double> model_rows, FinalFit& f) {
    if (std::fabs(f.background * a_out) <= kPlausibleBackgroundFraction * f.scale * forward) return;
    out.background_held = true;
    const ScaleBackground held = solve_from_sums(
        row_sums(std::span<const double>(data.i_e).first(model_rows.size()),
                 std::span<const double>(data.w_e).first(model_rows.size()), model_rows),
        a_out, kFitScaleLow, kFitScaleHigh, kExtendedBackgroundLow, kExtendedBackgroundHigh, forward);
    f.scale = held.scale;
    f.background = held.background;
  };
  out.fit = evaluate_scaled_model(model, data, std::move(scale_curve), d, s_max_fit, a_out,
                                  kExtendedBackgroundLow, kExtendedBackgroundHigh, nrg, hold);
  out.forward_intensity = out.fit.scale * forward;
  out.plausibility = plausibility(with_dummies(model, parameters.volume), with_dummies(model, model.displaced_volume),
                                  out.fit.background * a_out, out.forward_intensity);
  return out;
}

}  // namespace tessel
