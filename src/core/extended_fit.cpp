// The extended fit: grid search over V_ex, the signed damping radius, the shell width and δρ
// with a free background, simplex refinement, the plausibility rule and the final evaluation.
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
#include "core/scale_background_sums.hpp"
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
                     c * model.atoms_solvent[k] + contrast * wc.atoms_shell[k] -
                     c * contrast * wc.solvent_shell[k];
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
                                    std::span<const double> widths, std::span<const PartialAmplitudes> shells,
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

Plausibility plausibility(double reported_volume, double reported_displaced_volume,
                          double absolute_background, double forward_intensity) {
  Plausibility p;
  p.volume_departure =
      reported_displaced_volume != 0.0 ? reported_volume / reported_displaced_volume - 1.0 : 0.0;
  p.background_fraction = forward_intensity != 0.0     ? absolute_background / forward_intensity
                          : absolute_background == 0.0 ? 0.0
                                                       : HUGE_VAL;
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

namespace {

// The best point of a search, with what was solved there.
struct Best {
  bool found = false;
  ExtendedParameters at;
  double chi2 = kFitNoChi2;
  double background = 0.0;
  Plausibility plausibility;
};

// One extended search: the grid's values, the fitted points and the spline onto them, the sums of
// the grid, the grid pass and the refinement.
class ExtendedSearch {
 public:
  ExtendedSearch(const FitModel& model, const ShellWidthCurves& curves, const FitData& data,
                 const ExtendedLimits& limits, double a_out, const FitRange& range)
      : model_(model),
        curves_(curves),
        limits_(limits),
        base_(limits.base),
        a_out_(a_out),
        first_(range.first),
        last_(range.last),
        n_fit_(range.n_fit),
        spline_(model.s.subspan(range.first, range.last - range.first + 1),
                std::span<const double>(data.s_r.data(), range.n_fit)),
        w_(data.w_r.data(), range.n_fit),
        i_(data.i_r.data(), range.n_fit),
        displaced_(with_dummies(model, model.displaced_volume)),
        rows_(i_, w_, a_out, limits.base.background_low, limits.base.background_high),
        rows_scratch_(rows_) {
    for (std::size_t k = 0; k < n_fit_; ++k) {
      data_sums_.w += w_[k];
      data_sums_.i1 += w_[k] * i_[k];
      data_sums_.ii += w_[k] * i_[k] * i_[k];
    }
    const auto fill = [](std::vector<double>& v, double low, double high, int count) {
      const int n = std::max(count, 1);
      for (int i = 0; i < n; ++i) v.push_back(grid_value(low, high, n, i));
    };
    fill(volumes_, base_.volume_low, base_.volume_high, base_.volume_count);
    fill(radii_, limits.radius_low, limits.radius_high, limits.radius_count);
    fill(widths_, limits.width_low, limits.width_high, limits.width_count);
    fill(contrasts_, base_.contrast_low, base_.contrast_high, base_.contrast_count);
    for (const double w : widths_) width_curves_.push_back(curves_at_width(curves, w));
    const std::size_t m = last_ - first_ + 1;
    work_.shape.assign(model.s.size(), 0.0);
    work_.log_values.resize(m);
    work_.spline_values.resize(n_fit_);
    work_.model_values.resize(n_fit_);
    work_.scratch.resize(m);
  }

  bool out_of_range() const { return spline_.out_of_range(); }
  std::size_t grid_points() const {
    return volumes_.size() * radii_.size() * widths_.size() * contrasts_.size();
  }

  // The sums of the six interpolated curves for every (radius, width) pair: I_A once, I_B and
  // I_AB per width, g²·I_C and g·I_AC per radius, g·I_CB per pair.
  void prepare_sums(WorkerPool& pool) {
    const std::size_t m = last_ - first_ + 1;
    std::vector<double> values(m), scratch(m);
    const std::vector<double> y_atoms =
        interpolate([&](std::size_t k) { return model_.atoms[k]; }, values, scratch);
    std::vector<std::vector<double>> y_shell, y_atoms_shell;
    for (const WidthCurves& wc : width_curves_) {
      y_shell.push_back(interpolate([&](std::size_t k) { return wc.shell[k]; }, values, scratch));
      y_atoms_shell.push_back(interpolate([&](std::size_t k) { return wc.atoms_shell[k]; }, values, scratch));
    }
    sums_.assign(radii_.size() * widths_.size(), TermSums{});
    struct Space {
      std::vector<double> shape, values, scratch;
    };
    std::vector<Space> spaces(as_size(pool.threads()));
    pool.run(static_cast<int>(radii_.size()), [&](int ir, int thread) {
      Space& sp = spaces[as_size(thread)];
      sp.shape.assign(model_.s.size(), 0.0);
      sp.values.resize(m);
      sp.scratch.resize(m);
      fit_excluded_volume_shape(model_, signed_radius_exponent(radii_[as_size(ir)], kSearchTwoThirds), first_,
                                last_, sp.shape);
      const std::vector<double>& g = sp.shape;
      const auto y_solvent =
          interpolate([&](std::size_t k) { return g[k] * g[k] * model_.solvent[k]; }, sp.values, sp.scratch);
      const auto y_atoms_solvent =
          interpolate([&](std::size_t k) { return g[k] * model_.atoms_solvent[k]; }, sp.values, sp.scratch);
      for (std::size_t iw = 0; iw < widths_.size(); ++iw) {
        const WidthCurves& wc = width_curves_[iw];
        const auto y_solvent_shell =
            interpolate([&](std::size_t k) { return g[k] * wc.solvent_shell[k]; }, sp.values, sp.scratch);
        const std::array<const double*, kTerms> y = {y_atoms.data(),           y_solvent.data(),
                                                     y_shell[iw].data(),       y_atoms_solvent.data(),
                                                     y_atoms_shell[iw].data(), y_solvent_shell.data()};
        sums_[as_size(ir) * widths_.size() + iw] = term_sums(y);
      }
    });
  }

  // The grid, V_ex outermost, then Ra, the width and δρ; one excluded volume per task, their best
  // points then compared in that order, so that ties keep the first point.
  std::pair<Best, Best> grid(WorkerPool& pool) const {
    std::vector<std::pair<Best, Best>> per_volume(volumes_.size());
    pool.run(static_cast<int>(volumes_.size()),
             [&](int iv, int) { per_volume[as_size(iv)] = grid_volume(volumes_[as_size(iv)]); });
    Best any, plausible;
    for (const auto& [a, p] : per_volume) {
      if (a.found && a.chi2 < any.chi2) any = a;
      if (p.found && p.chi2 < plausible.chi2) plausible = p;
    }
    return {any, plausible};
  }

  // The simplex search from a point within the limits, its first edges one grid step long; never
  // worse than its start.
  Best refine(const Best& start, bool plausible_only, std::size_t& evaluations) {
    const std::array<double, 4> low = {base_.volume_low, limits_.radius_low, base_.contrast_low,
                                       limits_.width_low};
    const std::array<double, 4> high = {base_.volume_high, limits_.radius_high, base_.contrast_high,
                                        limits_.width_high};
    const std::array<std::size_t, 4> counts = {volumes_.size(), radii_.size(), contrasts_.size(),
                                               widths_.size()};
    std::array<double, 4> step{};
    for (std::size_t d = 0; d < 4; ++d) {
      step[d] = counts[d] > 1 ? (high[d] - low[d]) / static_cast<double>(counts[d] - 1) : 0.0;
    }
    const auto parameters = [](std::span<const double> x) {
      return ExtendedParameters{x[0], x[1], x[2], x[3]};
    };
    const std::array<double, 4> from = {start.at.volume, start.at.radius, start.at.contrast, start.at.width};
    const SimplexResult s = simplex_minimise(
        [&](std::span<const double> x) { return evaluate(parameters(x), plausible_only).chi2; }, from, step,
        low, high, kRefineEvaluations, kRefineRestarts, kRefineTolerance);
    evaluations += s.evaluations;
    if (!(s.value < start.chi2)) return start;
    return evaluate(parameters(s.x), plausible_only);
  }

 private:
  // A curve on the computed stretch carried to the fitted points by the spline.
  template <typename ValueAt>
  std::vector<double> interpolate(const ValueAt& value_at, std::vector<double>& values,
                                  std::vector<double>& scratch) const {
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = value_at(first_ + k);
    std::vector<double> out(n_fit_);
    spline_.apply(values, out, scratch);
    return out;
  }

  TermSums term_sums(const std::array<const double*, kTerms>& y) const {
    TermSums t;
    for (int j = 0; j < kTerms; ++j) {
      const double* yj = y[as_size(j)];
      for (int k = j; k < kTerms; ++k) {
        const double* yk = y[as_size(k)];
        double sum = 0.0;
        for (std::size_t i = 0; i < n_fit_; ++i) sum += w_[i] * yj[i] * yk[i];
        t.gram[as_size(j * kTerms + k)] = t.gram[as_size(k * kTerms + j)] = sum;
      }
      double ones = 0.0, data_term = 0.0;
      for (std::size_t i = 0; i < n_fit_; ++i) {
        ones += w_[i] * yj[i];
        data_term += w_[i] * yj[i] * i_[i];
      }
      t.ones[as_size(j)] = ones;
      t.data[as_size(j)] = data_term;
    }
    return t;
  }

  // The best point and the best plausible point of one excluded volume.
  std::pair<Best, Best> grid_volume(double volume) const {
    Best any, plausible;
    const double n = static_cast<double>(n_fit_);
    const double c0 = forward_scale(model_, volume);
    const double reported = with_dummies(model_, volume);
    const bool volume_ok = std::fabs(reported / displaced_ - 1.0) <= kPlausibleVolumeDeparture;
    // The background column's own sums do not change over the grid.
    const double m11 = a_out_ * a_out_ * data_sums_.w;
    const double r1 = a_out_ * data_sums_.i1;
    for (std::size_t ir = 0; ir < radii_.size(); ++ir) {
      for (std::size_t iw = 0; iw < widths_.size(); ++iw) {
        const ContrastPolynomial poly = contrast_polynomial(sums_[ir * widths_.size() + iw], c0);
        for (const double d : contrasts_) {
          NormalSums s = data_sums_;
          s.mm = poly.mm[0] + d * (poly.mm[1] + d * (poly.mm[2] + d * (poly.mm[3] + d * poly.mm[4])));
          s.m1 = poly.m1[0] + d * (poly.m1[1] + d * poly.m1[2]);
          s.mi = poly.mi[0] + d * (poly.mi[1] + d * poly.mi[2]);
          // The inner minimum first; the general solve only when it leaves the bounds.
          ScaleBackground free{0.0, 0.0, HUGE_VAL};
          const double m01 = a_out_ * s.m1;
          const double det = s.mm * m11 - m01 * m01;
          if (det > 0.0) {
            const double x1 = (s.mi * m11 - r1 * m01) / det;
            const double x2 = (r1 * s.mm - s.mi * m01) / det;
            if (x1 >= kFitScaleLow && x1 <= kFitScaleHigh && x2 >= base_.background_low &&
                x2 <= base_.background_high) {
              free = {x1, x2, residual_sum(s, a_out_, x1, x2)};
            }
          }
          if (!(free.sum < HUGE_VAL)) {
            free = solve_from_sums(s, a_out_, kFitScaleLow, kFitScaleHigh, base_.background_low,
                                   base_.background_high, 0.0);
          }
          const double chi2 = std::max(free.sum, 0.0) / n;
          // A point no better than both records changes neither (holding the background only
          // raises χ²).
          if (!(chi2 < any.chi2) && !(volume_ok && chi2 < plausible.chi2)) continue;
          const double forward = forward_value(model_, width_curves_[iw], c0, d);
          const ExtendedParameters at{volume, radii_[ir], d, widths_[iw]};
          const Plausibility p =
              plausibility(reported, displaced_, free.background * a_out_, free.scale * forward);
          if (chi2 < any.chi2) any = {true, at, chi2, free.background, p};
          if (!volume_ok) continue;
          if (p.background_ok) {
            if (chi2 < plausible.chi2) plausible = {true, at, chi2, free.background, p};
            continue;
          }
          const ScaleBackground held = solve_from_sums(s, a_out_, kFitScaleLow, kFitScaleHigh,
                                                       base_.background_low, base_.background_high, forward);
          const double held_chi2 = std::max(held.sum, 0.0) / n;
          if (held_chi2 < plausible.chi2) {
            plausible = {true, at, held_chi2, held.background,
                         plausibility(reported, displaced_, held.background * a_out_, held.scale * forward)};
          }
        }
      }
    }
    return {any, plausible};
  }

  // One point as the refinement sees it: the model carried to the fitted points as log10 by the
  // spline, the scale and background by the bounded solve (held to the rule when asked and
  // broken), χ² from the residuals. A point that breaks the rule on the volume gets 1e20.
  Best evaluate(const ExtendedParameters& p, bool plausible_only) {
    Best e{true, p, kFitNoChi2, 0.0, {}};
    const double c0 = forward_scale(model_, p.volume);
    const WidthCurves wc = curves_at_width(curves_, p.width);
    fill_model_logs(model_, wc, signed_radius_exponent(p.radius, kSearchTwoThirds), c0, p.contrast, first_,
                    last_, work_);
    spline_.apply(work_.log_values, work_.spline_values, work_.scratch);
    powers_of_ten(work_.spline_values, work_.model_values);
    const double forward = forward_value(model_, wc, c0, p.contrast);
    const double reported = with_dummies(model_, p.volume);
    const ScaleBackgroundFit x = solve_scale_background(rows_, work_.model_values, rows_scratch_);
    e.chi2 = x.chi2;
    e.background = x.background;
    e.plausibility = plausibility(reported, displaced_, x.background * a_out_, x.scale * forward);
    if (!plausible_only || e.plausibility.ok()) return e;
    e.chi2 = kFitNoChi2;
    if (!e.plausibility.volume_ok) return e;
    const ScaleBackground held =
        solve_from_sums(row_sums(i_, w_, work_.model_values), a_out_, kFitScaleLow, kFitScaleHigh,
                        base_.background_low, base_.background_high, forward);
    double sum = 0.0;
    for (std::size_t i = 0; i < n_fit_; ++i) {
      const double r = i_[i] - held.background * a_out_ - held.scale * work_.model_values[i];
      sum += r * r * w_[i];
    }
    e.chi2 = sum / static_cast<double>(n_fit_);
    e.background = held.background;
    e.plausibility = plausibility(reported, displaced_, held.background * a_out_, held.scale * forward);
    return e;
  }

  const FitModel& model_;
  const ShellWidthCurves& curves_;
  const ExtendedLimits& limits_;
  const SearchLimits& base_;
  double a_out_;
  std::size_t first_, last_, n_fit_;
  SplineInterpolator spline_;
  std::span<const double> w_, i_;  // the fitted points' weights and intensities
  double displaced_;               // V_d with the dummy residues' share
  NormalSums data_sums_;           // the data's own sums (Σw, Σw·I, Σw·I²)
  std::vector<double> volumes_, radii_, widths_, contrasts_;
  std::vector<WidthCurves> width_curves_;  // at the grid's widths
  std::vector<TermSums> sums_;             // radius-major, one per (radius, width)
  ScaleBackgroundRows rows_;
  ScaleBackgroundScratch rows_scratch_;
  ModelWork work_;
};

}  // namespace

ExtendedSearchResult search_extended(const FitModel& model, const ShellWidthCurves& curves,
                                     const FitData& data, const ExtendedLimits& limits, double a_out,
                                     const LoopSettings& loops) {
  ExtendedSearchResult result;
  result.range = fit_range(model.s, data.s_r, limits.base.s_max_fit);
  if (result.range.empty()) return result;
  assert(!curves.widths.empty() && curves.shell.front().size() > result.range.last);
  result.searched = true;

  ExtendedSearch search(model, curves, data, limits, a_out, result.range);
  result.out_of_range = search.out_of_range();
  result.grid_points = search.grid_points();
  std::optional<WorkerPool> own_pool;
  WorkerPool& pool = loop_pool(loops,
                               threads_for_work(static_cast<double>(result.grid_points), kGridPointsPerThread,
                                                resolve_thread_count(loops.threads)),
                               own_pool);
  search.prepare_sums(pool);
  auto [any, plausible] = search.grid(pool);
  if (any.found && limits.refine) any = search.refine(any, false, result.refinement_evaluations);
  if (any.found) {
    // The refined best fit, judged by the rule as it stands after the refinement.
    if (any.plausibility.ok()) {
      if (!(plausible.found && plausible.chi2 < any.chi2)) plausible = any;
    } else if (plausible.found && limits.refine) {
      plausible = search.refine(plausible, true, result.refinement_evaluations);
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
                                       const ExtendedParameters& parameters, double s_max_fit, double a_out,
                                       std::size_t nrg) {
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
  out.plausibility =
      plausibility(with_dummies(model, parameters.volume), with_dummies(model, model.displaced_volume),
                   out.fit.background * a_out, out.forward_intensity);
  return out;
}

}  // namespace tessel
