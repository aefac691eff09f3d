// Grid search of the solvent parameters and the final evaluation of the fitted model.
#include "core/fit.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

#include "core/bounded_lsq.hpp"
#include "core/kernels/worker_pool.hpp"
#include "core/locate.hpp"
#include "core/respline.hpp"

namespace tessel {
namespace {

constexpr double kFourPi = 4.0 * std::numbers::pi;
constexpr double kFourPiThirds = 4.0 * std::numbers::pi / 3.0;

// Regridded rows evaluated over the grid (points × rows) that make a thread worth its start.
constexpr double kSearchRowsPerThread = 2.0e5;

// −((4π/3)·Ra³)^two_thirds: the exponent factor of the Gaussian for atoms of radius Ra.
double gaussian_exponent(double radius, double two_thirds) {
  const double atomic_volume = kFourPiThirds * radius * radius * radius;
  return -std::pow(atomic_volume, two_thirds);
}

// The radius-dependent part of the excluded-volume scale on a stretch: the Gaussian factors
// exp(s²·e/(4π)) and the peak k* of the high-angle continuation (kNone: no continuation).
struct RadiusShape {
  std::vector<double> gauss;  // over the whole grid; written on lo..last
  std::size_t k_star = kNone;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
};

void fill_exponent_shape(const FitModel& model, double e, std::size_t first, std::size_t last,
                         RadiusShape& shape) {
  const std::span<const double> s = model.s;
  shape.k_star = RadiusShape::kNone;
  std::size_t lo = first;
  std::size_t k0 = 0;
  const bool continued = s[last] > kHighAngleLimit;
  if (continued) {
    // The last point below 1 (s[0] = 0 is always below).
    k0 = std::max<std::size_t>(locate(s.first(last + 1), kHighAngleLimit), 1) - 1;
    lo = std::min(lo, k0);
  }
  for (std::size_t k = lo; k <= last; ++k) shape.gauss[k] = std::exp(s[k] * s[k] * e / kFourPi);
  if (!continued) return;
  const auto amplitude = [&](std::size_t k) { return s[k] * s[k] * std::sqrt(model.solvent[k]) * shape.gauss[k]; };
  double peak = std::max(amplitude(k0), 0.0);
  std::size_t k_star = k0;
  for (std::size_t k = k0 + 1; k <= last; ++k) {
    const double p = amplitude(k);
    if (p >= peak) {
      peak = p;
      k_star = k;
    }
  }
  shape.k_star = k_star;
}

void fill_radius_shape(const FitModel& model, double radius, double two_thirds, std::size_t first,
                       std::size_t last, RadiusShape& shape) {
  fill_exponent_shape(model, gaussian_exponent(radius, two_thirds), first, last, shape);
}

// Ĉ on first..last from the radius shape and the forward value c0.
void apply_forward_value(const FitModel& model, const RadiusShape& shape, double c0, std::size_t first,
                         std::size_t last, std::span<double> out) {
  const std::span<const double> s = model.s;
  if (shape.k_star == RadiusShape::kNone) {
    for (std::size_t k = first; k <= last; ++k) out[k] = c0 * shape.gauss[k];
    return;
  }
  const std::size_t ks = shape.k_star;
  const double peak = c0 * shape.gauss[ks] * std::sqrt(model.solvent[ks]) * (s[ks] * s[ks]);
  for (std::size_t k = first; k <= last; ++k) {
    if (k <= ks) {
      out[k] = c0 * shape.gauss[k];
    } else {
      out[k] = peak / (std::max(std::sqrt(model.solvent[k]), kHighAngleRootFloor) * (s[k] * s[k]));
    }
  }
}

// Ĉ on first..last from the radius shape and the volume.
void apply_volume(const FitModel& model, const RadiusShape& shape, double volume, std::size_t first,
                  std::size_t last, std::span<double> out) {
  // A model without atoms has no excluded volume to scale.
  const double c0 = model.n_atoms > 0 ? model.rho0 * (volume / static_cast<double>(model.n_atoms)) : 0.0;
  apply_forward_value(model, shape, c0, first, last, out);
}

double model_point(const FitModel& m, std::size_t k, double c, double d) {
  return m.atoms[k] + c * c * m.solvent[k] + d * d * m.shell[k] - c * m.atoms_solvent[k] +
         d * m.atoms_shell[k] - c * d * m.solvent_shell[k];
}

}  // namespace

double grid_value(double low, double high, int count, int index) {
  if (count <= 1) return low;
  const double step = (high - low) / static_cast<double>(count - 1);
  return low + static_cast<double>(index) * step;
}

SearchLimits default_search_limits(const FitModel& model, const FitData& data,
                                   bool use_default_parameters) {
  SearchLimits limits;
  limits.background_low = data.background_low;
  limits.background_high = data.background_high;
  limits.s_max_fit = data.s_r.empty() ? 0.0 : data.s_r.back();
  if (use_default_parameters) {
    limits.volume_low = limits.volume_high = model.displaced_volume;
    limits.radius_low = limits.radius_high = model.atomic_radius;
    limits.contrast_low = limits.contrast_high = kFitDefaultContrast;
    limits.volume_count = limits.radius_count = limits.contrast_count = 1;
  } else {
    limits.volume_low = kFitVolumeLowFactor * model.displaced_volume;
    limits.volume_high = kFitVolumeHighFactor * model.displaced_volume;
  }
  return limits;
}

FitRange fit_range(std::span<const double> s_c, std::span<const double> s_r, double s_max_fit) {
  FitRange range;
  range.s_max_fit = s_max_fit;
  if (s_r.empty() || s_c.size() < 2) return range;
  if (s_max_fit >= s_r.back()) {
    range.n_fit = s_r.size();
    range.s_max_fit = s_r.back();
  } else {
    range.n_fit = locate(s_r, s_max_fit);
  }
  if (range.n_fit == 0) return range;
  // 1-based j1 = the number of s_c below the first datum, j2 = the number below s_max_fit;
  // the stretch is j1..j2+1, kept inside the grid.
  const std::size_t j1 = locate(s_c, s_r.front());
  const std::size_t j2 = locate(s_c, range.s_max_fit);
  // Data at or below s = 0 or past the grid's end still get a stretch of two points at least.
  const std::size_t top = s_c.size() - 1;
  range.first = std::min(std::max<std::size_t>(j1, 1) - 1, top - 1);
  range.last = std::clamp(j2, range.first + 1, top);
  return range;
}

void fit_excluded_volume_scale(const FitModel& model, double volume, double radius, double two_thirds,
                           std::size_t first, std::size_t last, std::span<double> out) {
  RadiusShape shape;
  shape.gauss.assign(model.s.size(), 0.0);
  fill_radius_shape(model, radius, two_thirds, first, last, shape);
  apply_volume(model, shape, volume, first, last, out);
}

void fit_excluded_volume_shape(const FitModel& model, double exponent, std::size_t first,
                               std::size_t last, std::span<double> out) {
  RadiusShape shape;
  shape.gauss.assign(model.s.size(), 0.0);
  fill_exponent_shape(model, exponent, first, last, shape);
  apply_forward_value(model, shape, 1.0, first, last, out);
}

double log_intensity(double intensity) {
  const double a = std::fabs(intensity);
  return a > kFitLogFloor ? std::log10(a) : kFitLogFloorValue;
}

double measured_chi2(const FitData& data, std::span<const double> fitted, std::size_t n) {
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = data.i_e[i] - fitted[i];
    sum += r * r * data.w_e[i];
  }
  return n > 0 ? sum / static_cast<double>(n) : 0.0;
}

SearchResult search_solvent_parameters(const FitModel& model, const FitData& data,
                                       const SearchLimits& limits, double a_out) {
  return search_solvent_parameters(model, data, limits, a_out, LoopSettings{});
}

ScaleBackgroundRows::ScaleBackgroundRows(std::span<const double> intensity_values,
                                         std::span<const double> weight_values, double unit,
                                         double background_low, double background_high)
    : intensity(intensity_values),
      weight(weight_values),
      a_out(unit),
      root_weight(intensity_values.size()),
      rhs(intensity_values.size()),
      lower{kFitScaleLow, background_low},
      upper{kFitScaleHigh, background_high} {
  for (std::size_t i = 0; i < root_weight.size(); ++i) {
    root_weight[i] = std::sqrt(weight[i]);
    rhs[i] = root_weight[i] * intensity[i];
  }
}

ScaleBackgroundScratch::ScaleBackgroundScratch(const ScaleBackgroundRows& rows)
    : columns(2 * rows.size()),
      workspace(static_cast<int>(rows.size()), 2) {
  const std::size_t n = rows.size();
  for (std::size_t i = 0; i < n; ++i) columns[n + i] = rows.root_weight[i] * rows.a_out;
}

ScaleBackgroundFit solve_scale_background(const ScaleBackgroundRows& rows,
                                          std::span<const double> model,
                                          ScaleBackgroundScratch& scratch) {
  const std::size_t n = rows.size();
  const int m = static_cast<int>(n);
  for (std::size_t i = 0; i < n; ++i) scratch.columns[i] = rows.root_weight[i] * model[i];
  double x[2] = {0.0, 0.0};
  const BvlsStatus status = bvls_solve(0, m, m, 2, scratch.columns, rows.rhs, rows.lower,
                                       rows.upper, x, scratch.workspace.view());
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = rows.intensity[i] - x[1] * rows.a_out - x[0] * model[i];
    sum += r * r * rows.weight[i];
  }
  return {x[0], x[1], n > 0 ? sum / static_cast<double>(n) : 0.0, status.ierr};
}

namespace {

// What every excluded volume of the search reads.
struct SearchGrid {
  const FitModel& model;
  const SearchLimits& limits;
  const SplineInterpolator& spline;      // computed stretch first..last to the fitted points
  const ScaleBackgroundRows& rows;       // the fitted points
  const std::vector<RadiusShape>& shapes;  // one per radius
  std::size_t first = 0;
  std::size_t last = 0;
  int n_volume = 1;
  int n_radius = 1;
  int n_contrast = 1;
};

// Everything the loops of one thread touch, allocated before they start.
struct SearchScratch {
  explicit SearchScratch(const SearchGrid& g)
      : spline_values(g.rows.size()),
        model_values(g.rows.size()),
        log_values(g.last - g.first + 1),
        spline_scratch(g.last - g.first + 1),
        scale(g.model.s.size()),
        solve(g.rows) {}
  std::vector<double> spline_values;  // log10 of the model on the fitted points
  std::vector<double> model_values;
  std::vector<double> log_values;
  std::vector<double> spline_scratch;
  std::vector<double> scale;
  ScaleBackgroundScratch solve;
};

// The best point of one excluded volume: the first of least χ² in loop order.
struct VolumeBest {
  bool found = false;
  SolventParameters best;
  double background = 0.0;
  double chi2 = kFitNoChi2;
  std::size_t evaluations = 0;
};

VolumeBest search_volume(const SearchGrid& g, int iv, SearchScratch& sc) {
  const SearchLimits& limits = g.limits;
  VolumeBest vb;
  const double volume = grid_value(limits.volume_low, limits.volume_high, g.n_volume, iv);
  for (int ir = 0; ir < g.n_radius; ++ir) {
    apply_volume(g.model, g.shapes[static_cast<std::size_t>(ir)], volume, g.first, g.last,
                 sc.scale);
    for (int id = 0; id < g.n_contrast; ++id) {
      const double contrast =
          grid_value(limits.contrast_low, limits.contrast_high, g.n_contrast, id);
      for (std::size_t k = 0; k < sc.log_values.size(); ++k) {
        sc.log_values[k] =
            log_intensity(model_point(g.model, g.first + k, sc.scale[g.first + k], contrast));
      }
      g.spline.apply(sc.log_values, sc.spline_values, sc.spline_scratch);
      powers_of_ten(sc.spline_values, sc.model_values);
      // The search does not act on the solver's status: a point whose solve failed competes
      // with the χ² of the solver's last feasible iterate, as every point always has.
      const ScaleBackgroundFit fit = solve_scale_background(g.rows, sc.model_values, sc.solve);
      ++vb.evaluations;
      if (fit.chi2 < vb.chi2) {
        vb.chi2 = fit.chi2;
        vb.found = true;
        vb.best = {volume, grid_value(limits.radius_low, limits.radius_high, g.n_radius, ir),
                   contrast};
        vb.background = fit.background;
      }
    }
  }
  return vb;
}

}  // namespace

SearchResult search_solvent_parameters(const FitModel& model, const FitData& data,
                                       const SearchLimits& limits, double a_out,
                                       const LoopSettings& loops) {
  SearchResult result;
  result.range = fit_range(model.s, data.s_r, limits.s_max_fit);
  const FitRange& range = result.range;
  if (range.empty()) return result;
  result.searched = true;

  const std::size_t n_fit = range.n_fit;
  const std::size_t first = range.first;
  const std::size_t last = range.last;
  const std::span<const double> s_fit(data.s_r.data(), n_fit);
  const SplineInterpolator spline(model.s.subspan(first, last - first + 1), s_fit);
  result.out_of_range = spline.out_of_range();
  const ScaleBackgroundRows rows(std::span<const double>(data.i_r).first(n_fit),
                                 std::span<const double>(data.w_r).first(n_fit), a_out,
                                 limits.background_low, limits.background_high);

  // The Gaussian and the continuation's peak depend on Ra only: once per radius.
  const int n_radius = std::max(limits.radius_count, 1);
  std::vector<RadiusShape> shapes(static_cast<std::size_t>(n_radius));
  for (int ir = 0; ir < n_radius; ++ir) {
    RadiusShape& shape = shapes[static_cast<std::size_t>(ir)];
    shape.gauss.assign(model.s.size(), 0.0);
    const double radius = grid_value(limits.radius_low, limits.radius_high, n_radius, ir);
    fill_radius_shape(model, radius, kSearchTwoThirds, first, last, shape);
  }
  const SearchGrid grid{model, limits, spline, rows, shapes, first, last,
                        std::max(limits.volume_count, 1), n_radius,
                        std::max(limits.contrast_count, 1)};

  // The volumes are searched apart, by as many threads as the work is worth, and their best
  // points then compared in loop order: a later volume wins only with a strictly smaller χ²,
  // as in a single loop over the whole grid.
  const double work = static_cast<double>(grid.n_volume) * n_radius * grid.n_contrast *
                      static_cast<double>(n_fit);
  std::optional<WorkerPool> own_pool;
  WorkerPool& pool = loop_pool(
      loops,
      threads_for_work(work, kSearchRowsPerThread, resolve_thread_count(loops.threads)),
      own_pool);
  std::vector<SearchScratch> scratch;
  scratch.reserve(static_cast<std::size_t>(pool.threads()));
  for (int t = 0; t < pool.threads(); ++t) scratch.emplace_back(grid);
  std::vector<VolumeBest> per_volume(static_cast<std::size_t>(grid.n_volume));
  pool.run(grid.n_volume, [&](int iv, int thread) {
    per_volume[static_cast<std::size_t>(iv)] =
        search_volume(grid, iv, scratch[static_cast<std::size_t>(thread)]);
  });

  double best_chi2 = kFitNoChi2;
  for (const VolumeBest& vb : per_volume) {
    result.evaluations += vb.evaluations;
    if (vb.found && vb.chi2 < best_chi2) {
      best_chi2 = vb.chi2;
      result.found = true;
      result.best = vb.best;
      result.background = vb.background;
      result.chi2 = vb.chi2;
    }
  }
  return result;
}

FinalFit evaluate_final_fit(const FitModel& model, const FitData& data,
                            const SolventParameters& parameters, double s_max_fit, double a_out,
                            double background_low, double background_high, std::size_t nrg) {
  const std::size_t nc = model.s.size();
  assert(nc >= 1);
  std::vector<double> scale_curve(nc, 0.0);
  fit_excluded_volume_scale(model, parameters.volume, parameters.radius, kFinalTwoThirds, 0, nc - 1,
                            scale_curve);
  return evaluate_scaled_model(model, data, std::move(scale_curve), parameters.contrast, s_max_fit,
                               a_out, background_low, background_high, nrg);
}

FinalFit evaluate_scaled_model(const FitModel& model, const FitData& data,
                               std::vector<double> scale_curve, double contrast, double s_max_fit,
                               double a_out, double background_low, double background_high,
                               std::size_t nrg, const ScaleBackgroundHold& hold) {
  FinalFit out;
  const std::size_t nc = model.s.size();
  const std::size_t ne = data.s_e.size();
  assert(nc >= 1 && scale_curve.size() == nc);
  out.scale_curve = std::move(scale_curve);
  out.intensity.resize(nc);
  std::vector<double> log_values(nc);
  for (std::size_t k = 0; k < nc; ++k) {
    out.intensity[k] = model_point(model, k, out.scale_curve[k], contrast);
    log_values[k] = log_intensity(out.intensity[k]);
  }
  const ResplineResult carried = RESPLINE(model.s, log_values, data.s_e);
  out.out_of_range = carried.out_of_range;
  std::vector<double> model_values(ne);
  powers_of_ten(carried.values, model_values);

  out.n_fit = std::min(locate(data.s_e, s_max_fit) + 1, ne);
  const std::size_t n = out.n_fit;
  if (n > 0) {
    const ScaleBackgroundRows rows(std::span<const double>(data.i_e).first(n),
                                   std::span<const double>(data.w_e).first(n), a_out,
                                   background_low, background_high);
    ScaleBackgroundScratch scratch(rows);
    // As in the search, the solver's status is not acted on: its last feasible iterate is the
    // result.
    const ScaleBackgroundFit fit =
        solve_scale_background(rows, std::span<const double>(model_values).first(n), scratch);
    out.scale = fit.scale;
    out.background = fit.background;
    if (hold) hold(std::span<const double>(model_values).first(n), out);
  }
  out.fitted.resize(ne);
  for (std::size_t i = 0; i < ne; ++i) out.fitted[i] = out.background * a_out + out.scale * model_values[i];

  if (ne > 0) {
    const std::vector<double> no_errors(ne, 0.0);
    out.guinier = ESTRG(data.s_e, out.fitted, no_errors, nrg, 0);
  }

  // χ² of the fitted curve as written (its terms grouped as I − (x2·a_out + x1·model), which
  // may differ from the solve's χ² in the last bits when a_out is not 0).
  out.chi2 = measured_chi2(data, out.fitted, n);
  return out;
}

}  // namespace tessel
