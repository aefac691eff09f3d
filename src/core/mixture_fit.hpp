// Mixture fit: which few of K candidate states, with which non-negative weights, explain one
// measured curve, for every mixture size n = 1..N (N ≤ 5), with the solvent parameters shared
// by the states and searched as in the fit of one structure.
//
// Model. State j has its six partial curves (C normalised by its own V_d,j/N_j) and is scaled
// by its own weight c_j ≥ 0; the weights replace the scale factor of the single fit and the
// relative background x2 is fitted as there (only with constant subtraction):
//   I_mix(s) = Σ_j c_j·I_j(s; f, Ra, δρ) + x2·A_out.
// The shared excluded volume is a factor f of each state's own displaced volume
// (V_ex,j = f·V_d,j, the fraction the single fit searches from 0.925 to 1.075), so that states
// of different size share the solvent. Each I_j is carried to the fitted points as in the
// single fit (cubic spline of log10 I), so that a mixture of one state is that fit with the
// scale bounded below by 0 instead of 1e-20. For states of one molecule c_j/Σc are the number
// fractions of the states.
//
// Search (K states, n_fit regridded points):
// 1. Subsets on a coarse solvent grid. The grid of f, Ra and δρ is thinned to `coarse_count`
//    values per parameter (3: the ends and the middle of each range, which are points of the
//    full grid; one point with the default parameters). At each coarse point every state's
//    weighted curve u_j = √w·I_j on the fitted points is computed once (K·n_fit values) with
//    uᵀb, uᵀa (a = √w·A_out, b = √w·I) and uᵀu. The χ² of a subset then follows from its normal
//    equations alone: the (n+1)×(n+1) Gram matrix of its curves and the background, solved with
//    the bounds by solve_normal_bounded (O(n³), no pass over the points). Gram rows u_jᵀU are
//    computed for a state the first time a subset needs them against all others. Subsets whose
//    best weights leave a state at 0 are smaller subsets and do not count for their size.
//    Every subset of a size is scored while there are at most `exhaustive_limit` of them, else
//    a beam keeps the `beam_width` best subsets of the size below and extends each by every
//    other state (subset_search). The coarse points run in parallel.
// 2. Candidates. Per size, the `refine_count` subsets with the least χ² at any coarse point.
// 3. Refinement on the full grid (31 × 21 × 31 by default). At every grid point the curves of
//    the distinct candidate states are computed once and each candidate's χ² follows from its
//    normal equations as above. Per size the candidate and grid point of least χ² win (ties:
//    the earlier grid point, then the earlier candidate).
// 4. Final evaluation of each size's winner on the unregridded points, as the single fit's
//    final evaluation (the model carried to the measured points, weights and background by the
//    bounded least squares on the rows below the fitting limit and one more).
// 5. The guard against over-fitting: with χ² the final χ² (per point) on n_e points and k the
//    fitted parameters (n weights, the background with constant subtraction, and each solvent
//    parameter that was searched), BIC = n_e·ln χ² + k·ln n_e (the Gaussian likelihood with the
//    error scale free) and the extended criterion EBIC = BIC + 2·ln C(K, n), which also charges
//    for having picked the subset among C(K, n): among a thousand states some extra state
//    always fits a little noise, and BIC alone would take it. The preferred size has the least
//    EBIC.
// Cost: the subset stage is |coarse|·(K·n_fit·(rows used + 3) + subsets scored·n³); with
// K = 1,000, N = 3 and the beam, about 0.6 million subsets per coarse point.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core/data_preparation.hpp"
#include "core/ensemble.hpp"
#include "core/fit.hpp"
#include "core/subset_search.hpp"
#include "core/kernels/worker_pool.hpp"

namespace tessel {

inline constexpr std::uint64_t kMixtureExhaustiveLimit = 200000;
inline constexpr std::size_t kMixtureBeamWidth = 300;
inline constexpr std::size_t kMixtureRefineCount = 10;
inline constexpr int kMixtureCoarseCount = 3;
// Bounds of a state's weight.
inline constexpr double kMixtureWeightLow = 0.0;
inline constexpr double kMixtureWeightHigh = 1e20;

struct MixtureSettings {
  int max_states = 1;                                   // N, 1..kMaxMixtureStates
  std::uint64_t exhaustive_limit = kMixtureExhaustiveLimit;
  std::size_t beam_width = kMixtureBeamWidth;
  std::size_t refine_count = kMixtureRefineCount;
  int coarse_count = kMixtureCoarseCount;               // values per solvent parameter, stage 1
};

// The full grid: the excluded volume as a factor of each state's displaced volume, the radius
// and the contrast as in SearchLimits; count 1 holds the lower value.
struct MixtureGrid {
  double factor_low = kFitVolumeLowFactor, factor_high = kFitVolumeHighFactor;
  double radius_low = kFitRadiusLow, radius_high = kFitRadiusHigh;
  double contrast_low = kFitContrastLow, contrast_high = kFitContrastHigh;
  int factor_count = kFitVolumeCount;
  int radius_count = kFitRadiusCount;
  int contrast_count = kFitContrastCount;
  double background_low = kBackgroundLow;
  double background_high = kBackgroundHigh;
  double s_max_fit = 0.0;  // 1/Å
};

// The default grid for the data; with use_default_parameters the single point f = 1,
// Ra = default_radius, δρ = 0.03.
MixtureGrid default_mixture_grid(const FitData& data, double default_radius,
                                 bool use_default_parameters);

struct MixtureParameters {
  double volume_factor = 1.0;  // f: V_ex,j = f·V_d,j
  double radius = 0.0;         // Ra, Å
  double contrast = 0.0;       // δρ, e/Å³
};

// A state as the fit sees it: its curves on the computed grid and its own quantities.
FitModel state_fit_model(const Ensemble& states, std::size_t state, std::span<const double> s,
                         double rho0);

// The final evaluation of a mixture at given parameters (step 4 above).
struct MixtureEvaluation {
  std::vector<double> weights;      // c_j, in the order of the states given
  double background = 0.0;          // x2 (relative to a_out)
  std::vector<double> intensity;    // Σ c_j·I_j on the computed grid (the weights applied)
  std::vector<double> fitted;       // x2·a_out + Σ c_j·model_j on every measured s
  std::size_t n_fit = 0;            // measured points fitted: those below s_max_fit, plus one
  double chi2 = 0.0;                // Σ w·(I − I_fit)²/n_fit over them
  bool out_of_range = false;        // a measured s lay outside the model grid
};
MixtureEvaluation evaluate_mixture(const Ensemble& states, std::span<const std::size_t> subset,
                                   std::span<const double> s, const FitData& data,
                                   const MixtureParameters& parameters, double s_max_fit,
                                   double a_out, double background_low, double background_high,
                                   double rho0);

// The best mixture of one size.
struct MixtureSize {
  int size = 0;
  bool found = false;                 // some subset of this size kept every weight above 0
  bool exhaustive = false;            // every subset was scored (else the beam)
  std::uint64_t subsets_scored = 0;   // over all coarse points
  std::vector<std::size_t> states;    // ascending
  std::vector<double> fractions;      // c_j/Σc
  MixtureParameters parameters;
  double search_chi2 = 0.0;           // on the regridded points at the winning grid point
  MixtureEvaluation evaluation;       // the final evaluation (its weights, χ², curves)
  int parameter_count = 0;            // k of the criteria
  double bic = 0.0;
  double ebic = 0.0;
};

struct MixtureResult {
  FitRange range;                     // empty: no point to fit, nothing searched
  bool out_of_range = false;          // a fitted s lay outside the model grid
  std::size_t coarse_points = 0;
  std::size_t grid_points = 0;        // of the full grid
  std::vector<MixtureSize> sizes;     // sizes 1..N
  int preferred_size = 0;             // least EBIC among the sizes found; 0 when none
};

// The whole search (steps 1 to 5). The states share the computed grid s; data is prepared as
// for the single fit; a_out is the background unit (0 without constant subtraction). Needs at
// least max_states states.
MixtureResult fit_mixture(const Ensemble& states, std::span<const double> s, const FitData& data,
                          const MixtureGrid& grid, const MixtureSettings& settings, double rho0,
                          double a_out, const LoopSettings& loops = {});

}  // namespace tessel
