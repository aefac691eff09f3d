// Mixture fit: subsets on a coarse solvent grid from precomputed state curves and their normal
// equations, refinement of the best subsets on the full grid, final evaluation and criteria.
#include "core/mixture_fit.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>

#include "core/bounded_lsq.hpp"
#include "core/form_factors.hpp"
#include "core/locate.hpp"
#include "core/respline.hpp"
#include "core/subset_least_squares.hpp"

namespace tessel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Smallest χ² taken into a logarithm of the criteria.
constexpr double kMinCriterionChi2 = 1e-300;
// Refinement grid points × fitted rows × candidate pairs that make a thread worth its start.
constexpr double kRefineWorkPerThread = 2.0e6;

// What every model evaluation on the fitted points shares: the stretch of the computed grid,
// the spline onto the regridded points, the weighted data and the background column.
struct FitRows {
  FitRange range;
  std::size_t m = 0;  // computed points of the stretch
  std::optional<SplineInterpolator> spline;
  std::vector<double> root_w;  // √w
  std::vector<double> b;       // √w·I
  std::vector<double> a;       // √w·A_out; empty without background
  double bb = 0.0, ab = 0.0, aa = 0.0;
  bool background() const { return !a.empty(); }
};

double dot(std::span<const double> x, std::span<const double> y) {
  double sum = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) sum += x[i] * y[i];
  return sum;
}

FitRows fit_rows(std::span<const double> s, const FitData& data, double s_max_fit, double a_out) {
  FitRows rows;
  rows.range = fit_range(s, data.s_r, s_max_fit);
  if (rows.range.empty()) return rows;
  const std::size_t n = rows.range.n_fit;
  rows.m = rows.range.last - rows.range.first + 1;
  rows.spline.emplace(s.subspan(rows.range.first, rows.m), std::span<const double>(data.s_r).first(n));
  rows.root_w.resize(n);
  rows.b.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    rows.root_w[i] = std::sqrt(data.w_r[i]);
    rows.b[i] = rows.root_w[i] * data.i_r[i];
  }
  rows.bb = dot(rows.b, rows.b);
  if (a_out != 0.0) {
    rows.a.resize(n);
    for (std::size_t i = 0; i < n; ++i) rows.a[i] = rows.root_w[i] * a_out;
    rows.ab = dot(rows.a, rows.b);
    rows.aa = dot(rows.a, rows.a);
  }
  return rows;
}

double intensity_point(const FitModel& m, std::size_t k, double c, double d) {
  return m.atoms[k] + c * c * m.solvent[k] + d * d * m.shell[k] - c * m.atoms_solvent[k] +
         d * m.atoms_shell[k] - c * d * m.solvent_shell[k];
}

// Ĉ of a state at (f, Ra) on the fit's stretch of the grid (out has the grid's size).
void state_scale(const FitModel& state, const FitRows& rows, double factor, double radius,
                 std::span<double> out) {
  fit_excluded_volume_scale(state, factor * state.displaced_volume, radius, kSearchTwoThirds,
                            rows.range.first, rows.range.last, out);
}

// One state's weighted model √w·I on the fitted points, formed as the single fit forms it.
class CurveMaker {
 public:
  explicit CurveMaker(const FitRows& rows)
      : rows_(rows), log_(rows.m), scratch_(rows.m), carried_(rows.range.n_fit),
        model_(rows.range.n_fit) {}

  void weighted_curve(const FitModel& state, std::span<const double> scale, double contrast,
                      std::span<double> u) {
    const std::size_t first = rows_.range.first;
    for (std::size_t k = 0; k < rows_.m; ++k) {
      log_[k] = log_intensity(intensity_point(state, first + k, scale[first + k], contrast));
    }
    rows_.spline->apply(log_, carried_, scratch_);
    powers_of_ten(carried_, model_);
    for (std::size_t i = 0; i < model_.size(); ++i) u[i] = rows_.root_w[i] * model_[i];
  }

 private:
  const FitRows& rows_;
  std::vector<double> log_, scratch_, carried_, model_;
};

// The normal equations of a subset (background first when fitted, then the states) and their
// bounded solution; +∞ when a state's weight ends at 0 (the subset is a smaller one).
struct SubsetSystem {
  std::size_t p = 0;
  double g[kMaxNormalColumns * kMaxNormalColumns] = {};
  double h[kMaxNormalColumns] = {};
  double bl[kMaxNormalColumns] = {};
  double bu[kMaxNormalColumns] = {};
  double x[kMaxNormalColumns] = {};

  void start(const FitRows& rows, const MixtureGrid& grid, int states) {
    p = static_cast<std::size_t>(states) + (rows.background() ? 1 : 0);
    const std::size_t first_state = p - static_cast<std::size_t>(states);
    for (std::size_t j = 0; j < p; ++j) {
      bl[j] = j < first_state ? grid.background_low : kMixtureWeightLow;
      bu[j] = j < first_state ? grid.background_high : kMixtureWeightHigh;
    }
    if (rows.background()) {
      g[0] = rows.aa;
      h[0] = rows.ab;
    }
  }
  void set(std::size_t i, std::size_t j, double v) {
    g[i * p + j] = v;
    g[j * p + i] = v;
  }

  // χ² per fitted point, or +∞.
  double chi2(double bb, std::size_t n_fit, int states) {
    const std::span<const double> gs(g, p * p), hs(h, p), los(bl, p), his(bu, p);
    const std::span<double> xs(x, p);
    const std::size_t first_state = p - static_cast<std::size_t>(states);
    // Without the background only the weights have bounds: an unconstrained solution below
    // zero means that the bounded one holds a weight at zero (a convex problem whose free
    // minimum is infeasible has an active bound at its minimum), so the subset does not count.
    NormalSolve r = solve_normal_bounded(gs, hs, bb, los, his, xs, first_state == 0);
    if (r.bounded && first_state == 0) {
      bool only_low = true;
      for (std::size_t j = 0; j < p; ++j) only_low = only_low && x[j] <= bu[j];
      if (only_low) return kInfinity;
      r = solve_normal_bounded(gs, hs, bb, los, his, xs);
    }
    for (std::size_t j = first_state; j < p; ++j) {
      if (!(x[j] > kMixtureWeightLow)) return kInfinity;
    }
    return r.residual / static_cast<double>(n_fit);
  }
};

// One coarse point: every state's weighted curve, the sums against the data and the background,
// and Gram rows on demand.
class CoarseScorer {
 public:
  CoarseScorer(const std::vector<FitModel>& models, const FitRows& rows, const MixtureGrid& grid,
               const MixtureParameters& point)
      : rows_(rows), grid_(grid), k_(models.size()), n_(rows.range.n_fit),
        transposed_(k_ * n_), ub_(k_), ua_(k_), uu_(k_), gram_rows_(k_) {
    CurveMaker maker(rows);
    std::vector<double> u(n_);
    std::vector<double> scale(models.empty() ? 0 : models.front().s.size());
    for (std::size_t j = 0; j < k_; ++j) {
      state_scale(models[j], rows, point.volume_factor, point.radius, scale);
      maker.weighted_curve(models[j], scale, point.contrast, u);
      ub_[j] = dot(u, rows.b);
      ua_[j] = rows.background() ? dot(u, rows.a) : 0.0;
      uu_[j] = dot(u, u);
      for (std::size_t i = 0; i < n_; ++i) transposed_[i * k_ + j] = u[i];
    }
  }

  double operator()(const Subset& subset, int added) {
    const int n = subset.size;
    SubsetSystem& sys = system_;
    sys.start(rows_, grid_, n);
    const std::size_t off = sys.p - static_cast<std::size_t>(n);
    for (int i = 0; i < n; ++i) {
      const std::size_t si = subset.items[static_cast<std::size_t>(i)];
      const std::size_t ci = off + static_cast<std::size_t>(i);
      sys.h[ci] = ub_[si];
      sys.set(ci, ci, uu_[si]);
      if (off == 1) sys.set(0, ci, ua_[si]);
      for (int j = 0; j < i; ++j) {
        const std::size_t sj = subset.items[static_cast<std::size_t>(j)];
        // The row of a state other than the one just added.
        const std::vector<double>& row = i == added ? gram_row(sj) : gram_row(si);
        sys.set(off + static_cast<std::size_t>(j), ci, row[i == added ? si : sj]);
      }
    }
    return sys.chi2(rows_.bb, n_, n);
  }

 private:
  // u_jᵀ·u_t for every state t, accumulated point by point (a run over contiguous states).
  const std::vector<double>& gram_row(std::size_t j) {
    std::vector<double>& row = gram_rows_[j];
    if (!row.empty()) return row;
    row.assign(k_, 0.0);
    for (std::size_t i = 0; i < n_; ++i) {
      const double* col = transposed_.data() + i * k_;
      const double uj = col[j];
      for (std::size_t t = 0; t < k_; ++t) row[t] += uj * col[t];
    }
    return row;
  }

  const FitRows& rows_;
  const MixtureGrid& grid_;
  std::size_t k_, n_;
  std::vector<double> transposed_;  // point-major: value i of state t at i·K + t
  std::vector<double> ub_, ua_, uu_;
  std::vector<std::vector<double>> gram_rows_;
  SubsetSystem system_;
};

// A subset chosen in the coarse stage and its best point of the full grid.
struct Candidate {
  Subset subset;
  double coarse_chi2 = kInfinity;
  bool found = false;
  double chi2 = kInfinity;
  MixtureParameters parameters;
};

std::vector<double> coarse_values(double low, double high, int count, int coarse) {
  if (count <= 1) return {low};
  const int n = std::clamp(coarse, 1, count);
  if (n == 1) return {grid_value(low, high, count, (count - 1) / 2)};
  // Points of the full grid, spread evenly over it.
  std::vector<double> out;
  for (int i = 0; i < n; ++i) out.push_back(grid_value(low, high, count, static_cast<int>(std::lround(
                                                                  static_cast<double>(i) * (count - 1) / (n - 1)))));
  return out;
}

// ln C(k, n) = ln Γ(k + 1) − ln Γ(n + 1) − ln Γ(k − n + 1).
double log_combinations(std::size_t k, int n) {
  const double kk = static_cast<double>(k), nn = n;
  return std::lgamma(kk + 1.0) - std::lgamma(nn + 1.0) - std::lgamma(kk - nn + 1.0);
}

int searched_parameters(const MixtureGrid& g) {
  return (g.factor_count > 1) + (g.radius_count > 1) + (g.contrast_count > 1);
}

std::vector<std::size_t> subset_states(const Subset& s) {
  return std::vector<std::size_t>(s.items.begin(), s.items.begin() + s.size);
}

// Stage 3: every candidate on every point of the full grid.
void refine(const std::vector<FitModel>& models, const FitRows& rows, const MixtureGrid& grid,
            std::vector<Candidate>& candidates, const LoopSettings& loops) {
  // The distinct states and the state pairs the candidates need.
  std::map<std::uint32_t, std::size_t> slot;
  for (const Candidate& c : candidates) {
    for (int i = 0; i < c.subset.size; ++i) slot.emplace(c.subset.items[static_cast<std::size_t>(i)], 0);
  }
  std::vector<std::size_t> distinct;
  for (auto& [state, index] : slot) {
    index = distinct.size();
    distinct.push_back(state);
  }
  std::map<std::pair<std::size_t, std::size_t>, std::size_t> pair_slot;
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (const Candidate& c : candidates) {
    for (int i = 0; i < c.subset.size; ++i) {
      for (int j = 0; j < i; ++j) {
        const std::pair<std::size_t, std::size_t> key{slot[c.subset.items[static_cast<std::size_t>(j)]],
                                                      slot[c.subset.items[static_cast<std::size_t>(i)]]};
        if (pair_slot.emplace(key, pairs.size()).second) pairs.push_back(key);
      }
    }
  }
  // Per candidate the slots of its states and of its pairs.
  struct Layout {
    std::vector<std::size_t> states;
    std::vector<std::size_t> pairs;  // (i, j), j < i, row by row
  };
  std::vector<Layout> layouts;
  for (const Candidate& c : candidates) {
    Layout l;
    for (int i = 0; i < c.subset.size; ++i) {
      l.states.push_back(slot[c.subset.items[static_cast<std::size_t>(i)]]);
      for (int j = 0; j < i; ++j) l.pairs.push_back(pair_slot[{l.states[static_cast<std::size_t>(j)], l.states.back()}]);
    }
    layouts.push_back(std::move(l));
  }

  const std::size_t n = rows.range.n_fit;
  const std::size_t d = distinct.size();
  const int nf = std::max(grid.factor_count, 1);
  const int nr = std::max(grid.radius_count, 1);
  const int nd = std::max(grid.contrast_count, 1);
  struct Best {
    bool found = false;
    double chi2 = kInfinity;
    MixtureParameters parameters;
  };
  // Per factor value, per candidate: the first point of least χ² in loop order.
  std::vector<std::vector<Best>> per_factor(static_cast<std::size_t>(nf), std::vector<Best>(candidates.size()));
  const double work = static_cast<double>(nf) * nr * nd * static_cast<double>(n) * static_cast<double>(pairs.size() + d);
  std::optional<WorkerPool> own;
  WorkerPool& pool = loop_pool(loops, threads_for_work(work, kRefineWorkPerThread, resolve_thread_count(loops.threads)), own);
  const std::size_t grid_size = models.front().s.size();
  pool.run(nf, [&](int iv, int) {
    CurveMaker maker(rows);
    std::vector<double> u(d * n), ub(d), ua(d), uu(d), gp(pairs.size());
    std::vector<std::vector<double>> scales(d, std::vector<double>(grid_size));
    std::vector<Best>& best = per_factor[static_cast<std::size_t>(iv)];
    SubsetSystem sys;
    MixtureParameters point;
    point.volume_factor = grid_value(grid.factor_low, grid.factor_high, nf, iv);
    for (int ir = 0; ir < nr; ++ir) {
      point.radius = grid_value(grid.radius_low, grid.radius_high, nr, ir);
      for (std::size_t q = 0; q < d; ++q) {
        state_scale(models[distinct[q]], rows, point.volume_factor, point.radius, scales[q]);
      }
      for (int id = 0; id < nd; ++id) {
        point.contrast = grid_value(grid.contrast_low, grid.contrast_high, nd, id);
        for (std::size_t q = 0; q < d; ++q) {
          const FitModel& model = models[distinct[q]];
          const std::span<double> uq(u.data() + q * n, n);
          maker.weighted_curve(model, scales[q], point.contrast, uq);
          ub[q] = dot(uq, rows.b);
          ua[q] = rows.background() ? dot(uq, rows.a) : 0.0;
          uu[q] = dot(uq, uq);
        }
        for (std::size_t e = 0; e < pairs.size(); ++e) {
          gp[e] = dot(std::span<const double>(u.data() + pairs[e].first * n, n),
                      std::span<const double>(u.data() + pairs[e].second * n, n));
        }
        for (std::size_t c = 0; c < candidates.size(); ++c) {
          const Layout& l = layouts[c];
          const int size = static_cast<int>(l.states.size());
          sys.start(rows, grid, size);
          const std::size_t off = sys.p - l.states.size();
          std::size_t e = 0;
          for (std::size_t i = 0; i < l.states.size(); ++i) {
            const std::size_t qi = l.states[i];
            sys.h[off + i] = ub[qi];
            sys.set(off + i, off + i, uu[qi]);
            if (off == 1) sys.set(0, off + i, ua[qi]);
            for (std::size_t j = 0; j < i; ++j) sys.set(off + j, off + i, gp[l.pairs[e++]]);
          }
          const double chi2 = sys.chi2(rows.bb, n, size);
          if (chi2 < best[c].chi2) best[c] = {true, chi2, point};
        }
      }
    }
  });
  for (const std::vector<Best>& row : per_factor) {
    for (std::size_t c = 0; c < candidates.size(); ++c) {
      if (row[c].found && row[c].chi2 < candidates[c].chi2) {
        candidates[c].found = true;
        candidates[c].chi2 = row[c].chi2;
        candidates[c].parameters = row[c].parameters;
      }
    }
  }
}

}  // namespace

MixtureGrid default_mixture_grid(const FitData& data, double default_radius,
                                 bool use_default_parameters) {
  MixtureGrid g;
  g.background_low = data.background_low;
  g.background_high = data.background_high;
  g.s_max_fit = data.s_r.empty() ? 0.0 : data.s_r.back();
  if (use_default_parameters) {
    g.factor_low = g.factor_high = 1.0;
    g.radius_low = g.radius_high = default_radius;
    g.contrast_low = g.contrast_high = kFitDefaultContrast;
    g.factor_count = g.radius_count = g.contrast_count = 1;
  }
  return g;
}

FitModel state_fit_model(const Ensemble& states, std::size_t state, std::span<const double> s,
                         double rho0) {
  const MemberScalars& m = states.scalars(state);
  FitModel f;
  f.s = s;
  f.atoms = states.curve(state, PartialCurve::atoms);
  f.solvent = states.curve(state, PartialCurve::solvent);
  f.shell = states.curve(state, PartialCurve::shell);
  f.atoms_solvent = states.curve(state, PartialCurve::atoms_solvent);
  f.atoms_shell = states.curve(state, PartialCurve::atoms_shell);
  f.solvent_shell = states.curve(state, PartialCurve::solvent_shell);
  f.n_atoms = m.n_atoms;
  f.n_dummy_residues = m.n_dummy_residues;
  f.displaced_volume = m.displaced_volume;
  f.atomic_radius = average_atom(m.displaced_volume, m.n_atoms, m.n_dummy_residues).radius;
  f.shell_volume = m.shell_volume;
  f.molecular_weight = m.molecular_weight;
  f.rho0 = rho0;
  return f;
}

MixtureEvaluation evaluate_mixture(const Ensemble& states, std::span<const std::size_t> subset,
                                   std::span<const double> s, const FitData& data,
                                   const MixtureParameters& parameters, double s_max_fit,
                                   double a_out, double background_low, double background_high,
                                   double rho0) {
  MixtureEvaluation out;
  const std::size_t nc = s.size();
  const std::size_t ne = data.s_e.size();
  const std::size_t k = subset.size();
  assert(nc >= 1 && k >= 1);
  std::vector<std::vector<double>> intensity(k), model(k);
  for (std::size_t j = 0; j < k; ++j) {
    const FitModel state = state_fit_model(states, subset[j], s, rho0);
    std::vector<double> scale(nc, 0.0);
    fit_excluded_volume_scale(state, parameters.volume_factor * state.displaced_volume,
                              parameters.radius, kFinalTwoThirds, 0, nc - 1, scale);
    intensity[j].resize(nc);
    std::vector<double> log_values(nc);
    for (std::size_t q = 0; q < nc; ++q) {
      intensity[j][q] = intensity_point(state, q, scale[q], parameters.contrast);
      log_values[q] = log_intensity(intensity[j][q]);
    }
    const ResplineResult carried = RESPLINE(s, log_values, data.s_e);
    out.out_of_range = out.out_of_range || carried.out_of_range;
    model[j].resize(ne);
    powers_of_ten(carried.values, model[j]);
  }

  out.weights.assign(k, 0.0);
  out.n_fit = std::min(locate(data.s_e, s_max_fit) + 1, ne);
  const std::size_t n = out.n_fit;
  const bool background = a_out != 0.0;
  const std::size_t columns = k + (background ? 1 : 0);
  if (n > 0) {
    // Columns: the states' weighted models, then the background; rows below the limit.
    std::vector<double> a(columns * n), b(n), bl(columns), bu(columns), x(columns, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      const double root_w = std::sqrt(data.w_e[i]);
      for (std::size_t j = 0; j < k; ++j) a[j * n + i] = root_w * model[j][i];
      if (background) a[k * n + i] = root_w * a_out;
      b[i] = root_w * data.i_e[i];
    }
    for (std::size_t j = 0; j < columns; ++j) {
      bl[j] = j < k ? kMixtureWeightLow : background_low;
      bu[j] = j < k ? kMixtureWeightHigh : background_high;
    }
    const int rows = static_cast<int>(n);
    BvlsWorkspace workspace(rows, static_cast<int>(columns));
    (void)bvls_solve(0, rows, rows, static_cast<int>(columns), a, b, bl, bu, x, workspace.view());
    for (std::size_t j = 0; j < k; ++j) out.weights[j] = x[j];
    out.background = background ? x[k] : 0.0;
  }
  out.intensity.assign(nc, 0.0);
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t q = 0; q < nc; ++q) out.intensity[q] += out.weights[j] * intensity[j][q];
  }
  out.fitted.assign(ne, out.background * a_out);
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t i = 0; i < ne; ++i) out.fitted[i] += out.weights[j] * model[j][i];
  }
  out.chi2 = measured_chi2(data, out.fitted, n);
  return out;
}

MixtureResult fit_mixture(const Ensemble& states, std::span<const double> s, const FitData& data,
                          const MixtureGrid& grid, const MixtureSettings& settings, double rho0,
                          double a_out, const LoopSettings& loops) {
  if (settings.max_states < 1 || settings.max_states > kMaxMixtureStates)
    throw std::invalid_argument("mixture size out of range");
  if (states.size() < static_cast<std::size_t>(settings.max_states))
    throw std::invalid_argument("fewer states than the mixture size");
  MixtureResult result;
  const FitRows rows = fit_rows(s, data, grid.s_max_fit, a_out);
  result.range = rows.range;
  if (rows.range.empty()) return result;
  result.out_of_range = rows.spline->out_of_range();

  std::vector<FitModel> models;
  models.reserve(states.size());
  for (std::size_t j = 0; j < states.size(); ++j) models.push_back(state_fit_model(states, j, s, rho0));

  // Stage 1: the subsets at every coarse point.
  const std::vector<double> factors = coarse_values(grid.factor_low, grid.factor_high, grid.factor_count, settings.coarse_count);
  const std::vector<double> radii = coarse_values(grid.radius_low, grid.radius_high, grid.radius_count, settings.coarse_count);
  const std::vector<double> contrasts = coarse_values(grid.contrast_low, grid.contrast_high, grid.contrast_count, settings.coarse_count);
  std::vector<MixtureParameters> coarse;
  for (const double f : factors)
    for (const double r : radii)
      for (const double c : contrasts) coarse.push_back({f, r, c});
  result.coarse_points = coarse.size();
  result.grid_points = static_cast<std::size_t>(std::max(grid.factor_count, 1)) *
                       static_cast<std::size_t>(std::max(grid.radius_count, 1)) *
                       static_cast<std::size_t>(std::max(grid.contrast_count, 1));

  SubsetSearchSettings search;
  search.max_size = settings.max_states;
  search.exhaustive_limit = settings.exhaustive_limit;
  search.beam_width = settings.beam_width;
  search.keep = std::max<std::size_t>(settings.refine_count, 1);
  std::vector<std::vector<SizeSearch>> per_point(coarse.size());
  std::optional<WorkerPool> own;
  WorkerPool& pool = loop_pool(loops, std::min(resolve_thread_count(loops.threads), static_cast<int>(coarse.size())), own);
  pool.run(static_cast<int>(coarse.size()), [&](int p, int) {
    CoarseScorer scorer(models, rows, grid, coarse[static_cast<std::size_t>(p)]);
    per_point[static_cast<std::size_t>(p)] =
        search_subsets(states.size(), search, [&scorer](const Subset& t, int added) { return scorer(t, added); });
  });

  // Stage 2: per size the best distinct subsets over the coarse points.
  std::vector<Candidate> candidates;
  std::vector<int> candidate_size;
  result.sizes.resize(static_cast<std::size_t>(settings.max_states));
  for (int n = 1; n <= settings.max_states; ++n) {
    MixtureSize& size = result.sizes[static_cast<std::size_t>(n - 1)];
    size.size = n;
    size.exhaustive = true;
    std::vector<ScoredSubset> pooled;
    for (const std::vector<SizeSearch>& point : per_point) {
      const SizeSearch& found = point[static_cast<std::size_t>(n - 1)];
      size.exhaustive = size.exhaustive && found.exhaustive;
      size.subsets_scored += found.scored;
      pooled.insert(pooled.end(), found.best.begin(), found.best.end());
    }
    std::sort(pooled.begin(), pooled.end(), better);
    std::vector<Subset> taken;
    for (const ScoredSubset& e : pooled) {
      if (taken.size() >= search.keep) break;
      if (std::find(taken.begin(), taken.end(), e.subset) != taken.end()) continue;
      taken.push_back(e.subset);
      candidates.push_back({e.subset, e.score, false, kInfinity, {}});
      candidate_size.push_back(n);
    }
  }

  // Stage 3: the candidates on the full grid.
  if (!candidates.empty()) refine(models, rows, grid, candidates, loops);

  // Stages 4 and 5: the winner of each size, its final evaluation and the criteria.
  const int searched = searched_parameters(grid);
  double best_ebic = kInfinity;
  for (int n = 1; n <= settings.max_states; ++n) {
    MixtureSize& size = result.sizes[static_cast<std::size_t>(n - 1)];
    const Candidate* winner = nullptr;
    for (std::size_t c = 0; c < candidates.size(); ++c) {
      if (candidate_size[c] != n || !candidates[c].found) continue;
      if (winner == nullptr || candidates[c].chi2 < winner->chi2) winner = &candidates[c];
    }
    if (winner == nullptr) continue;
    size.found = true;
    size.states = subset_states(winner->subset);
    size.parameters = winner->parameters;
    size.search_chi2 = winner->chi2;
    size.evaluation = evaluate_mixture(states, size.states, s, data, size.parameters, rows.range.s_max_fit,
                                       a_out, grid.background_low, grid.background_high, rho0);
    double total = 0.0;
    for (const double w : size.evaluation.weights) total += w;
    for (const double w : size.evaluation.weights) size.fractions.push_back(total > 0.0 ? w / total : 0.0);
    size.parameter_count = n + (a_out != 0.0 ? 1 : 0) + searched;
    const double points = static_cast<double>(size.evaluation.n_fit);
    const double fit_term = points * std::log(std::max(size.evaluation.chi2, kMinCriterionChi2));
    size.bic = fit_term + size.parameter_count * std::log(std::max(points, 1.0));
    size.ebic = size.bic + 2.0 * log_combinations(states.size(), n);
    if (size.ebic < best_ebic) {
      best_ebic = size.ebic;
      result.preferred_size = n;
    }
  }
  return result;
}

}  // namespace tessel
