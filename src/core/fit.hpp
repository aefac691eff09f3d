// Fit of the solvent parameters to a measured curve: grid search over the excluded volume V_ex,
// the atomic radius Ra and the shell contrast δρ, with the scale factor and the constant
// background solved by bounded least squares at every grid point, and the final evaluation of
// the best model on the measured points. s in 1/Å, volumes in Å³, densities in e/Å³.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "core/bounded_lsq.hpp"
#include "core/data_preparation.hpp"
#include "core/guinier.hpp"
#include "core/intensity.hpp"
#include "core/kernels/powers_of_ten.hpp"
#include "core/kernels/worker_pool.hpp"

namespace tessel {

// Default search ranges. The volume factors are single-precision constants widened to double.
inline constexpr double kFitVolumeLowFactor = static_cast<double>(0.925f);   // 0.925000011920929
inline constexpr double kFitVolumeHighFactor = static_cast<double>(1.075f);  // 1.0750000476837158
inline constexpr double kFitRadiusLow = 1.4;     // Å
inline constexpr double kFitRadiusHigh = 1.8;    // Å
inline constexpr double kFitContrastLow = 0.0;   // e/Å³
inline constexpr double kFitContrastHigh = 0.075;
inline constexpr int kFitVolumeCount = 31;
inline constexpr int kFitRadiusCount = 21;
inline constexpr int kFitContrastCount = 31;
// Shell contrast held fixed when the default parameters are used, e/Å³.
inline constexpr double kFitDefaultContrast = 0.03;
// Bounds of the scale factor.
inline constexpr double kFitScaleLow = 1e-20;
inline constexpr double kFitScaleHigh = 1e20;
// χ² of the best record before a search finds anything.
inline constexpr double kFitNoChi2 = 1e20;
// Exponent of the mean atomic volume in the Gaussian of the excluded-volume scale: the search
// has always used the double constant 0.6666666, the final evaluation 2/3 in single precision.
inline constexpr double kSearchTwoThirds = 0.6666666;
inline constexpr double kFinalTwoThirds = kTwoThirdsSingle;  // 0.6666666269302368
// Model intensities at most this large in magnitude are carried as log10 = −10.
inline constexpr double kFitLogFloor = 1e-10;
inline constexpr double kFitLogFloorValue = -10.0;
// Beyond this s (1/Å) the excluded-volume amplitude is continued as 1/s² past its peak.
inline constexpr double kHighAngleLimit = 1.0;
// Floor of √I_C in that continuation.
inline constexpr double kHighAngleRootFloor = 1e-8;

// The model on the computed grid: the six partial intensities (orientational averages of the
// atoms A, the unit excluded volume C and the shell B, and their cross terms) and the model
// quantities the fit needs. The spans must outlive the fit.
struct FitModel {
  std::span<const double> s;              // computed grid s_c, ascending, s[0] = 0
  std::span<const double> atoms;          // I_A
  std::span<const double> solvent;        // I_C
  std::span<const double> shell;          // I_B
  std::span<const double> atoms_solvent;  // I_AC
  std::span<const double> atoms_shell;    // I_AB
  std::span<const double> solvent_shell;  // I_CB
  int n_atoms = 1;                // N, dummy residues counted as atoms
  int n_dummy_residues = 0;       // N_d
  double displaced_volume = 0.0;  // V_d of the atoms, without the 220 Å³ per dummy residue
  double atomic_radius = 0.0;     // r0, Å
  double shell_volume = 0.0;      // V_sh, Å³
  double molecular_weight = 0.0;  // M, Da
  double rho0 = 0.334;            // solvent electron density, e/Å³
};

// One set of solvent parameters.
struct SolventParameters {
  double volume = 0.0;    // V_ex, without the 220 Å³ per dummy residue
  double radius = 0.0;    // Ra, Å
  double contrast = 0.0;  // δρ, e/Å³
};

// The search grid: each range is walked from its lower value in count values, step
// (upper − lower)/(count − 1); a count of 1 means the lower value only.
struct SearchLimits {
  double contrast_low = kFitContrastLow, contrast_high = kFitContrastHigh;
  double radius_low = kFitRadiusLow, radius_high = kFitRadiusHigh;
  double volume_low = 0.0, volume_high = 0.0;   // without the 220 Å³ per dummy residue
  int contrast_count = kFitContrastCount;
  int radius_count = kFitRadiusCount;
  int volume_count = kFitVolumeCount;
  double background_low = kBackgroundLow;       // bounds of the relative background x2
  double background_high = kBackgroundHigh;
  double s_max_fit = 0.0;                       // 1/Å
};

// The default grid: V_ex over 0.925..1.075 V_d, Ra over 1.4..1.8 Å, δρ over 0..0.075 e/Å³; with
// use_default_parameters the single point V_d, r0, 0.03. s_max_fit is the last regridded s.
SearchLimits default_search_limits(const FitModel& model, const FitData& data,
                                   bool use_default_parameters);

// The index-th value (0-based) of a range walked in count values.
double grid_value(double low, double high, int count, int index);

// The points a search fits and the stretch of the computed grid that brackets them.
struct FitRange {
  double s_max_fit = 0.0;   // after the rule that a value at or past the last point takes it
  std::size_t n_fit = 0;    // regridded points fitted, from the first
  std::size_t first = 0;    // 0-based stretch first..last of the computed grid: the last point
  std::size_t last = 0;     // below the first datum .. the first point at or past s_max_fit
  bool empty() const { return n_fit == 0; }
};

// With s_max_fit at or past the last regridded point every regridded point is fitted and
// s_max_fit becomes that point's s; otherwise the points strictly below s_max_fit. No point
// (an s_max_fit at or below the first datum, or no regridded point at all) gives an empty range.
FitRange fit_range(std::span<const double> s_c, std::span<const double> s_r, double s_max_fit);

// The excluded-volume scale Ĉ on the stretch first..last (0-based, inclusive) of the computed
// grid: ρ0·(V_ex/N)·exp(s²·e/(4π)), e = −((4π/3)·Ra³)^two_thirds; when s[last] > 1 the
// amplitude s²·√I_C·exp(s²·e/(4π)) is followed from the last point below 1 to its last
// running maximum k* and beyond k* Ĉ = K/(max(√I_C, 1e-8)·s²), K = Ĉ(k*)·√I_C(k*)·s(k*)².
// out has the size of the grid; only the stretch is written.
void fit_excluded_volume_scale(const FitModel& model, double volume, double radius, double two_thirds,
                           std::size_t first, std::size_t last, std::span<double> out);

// The shape of that scale for a Gaussian exponent e given directly (for a radius Ra,
// e = −((4π/3)·Ra³)^two_thirds): Ĉ/c0 with c0 = ρ0·V_ex/N, the same rule on the same stretch, so
// that Ĉ = c0·shape for every volume.
void fit_excluded_volume_shape(const FitModel& model, double exponent, std::size_t first,
                               std::size_t last, std::span<double> out);

// log10|I| when |I| > 1e-10, else −10.
double log_intensity(double intensity);

// The measured side of a fit of the scale x1 ∈ [1e-20, 1e20] and the background
// x2 ∈ [background_low, background_high] in I ≈ x1·model + x2·a_out, by bounded least squares on
// the rows weighted by √w: set up once for the many model curves fitted to the same points.
struct ScaleBackgroundRows {
  ScaleBackgroundRows(std::span<const double> intensity, std::span<const double> weight,
                      double a_out, double background_low, double background_high);
  std::size_t size() const { return root_weight.size(); }

  std::span<const double> intensity;  // I, one value per row
  std::span<const double> weight;     // w
  double a_out = 0.0;                 // the background unit (0 without constant subtraction)
  std::vector<double> root_weight;    // √w
  std::vector<double> rhs;            // √w·I
  double lower[2];                    // bounds of x1, x2
  double upper[2];
};

// The room of one solve, allocated once and reused (one per thread).
struct ScaleBackgroundScratch {
  explicit ScaleBackgroundScratch(const ScaleBackgroundRows& rows);
  std::vector<double> columns;  // √w·model, then √w·a_out (filled here)
  BvlsWorkspace workspace;
};

struct ScaleBackgroundFit {
  double scale;       // x1
  double background;  // x2, relative to a_out
  double chi2;        // Σ w·(I − x2·a_out − x1·model)²/n over the rows
  int status;         // the solver's status (kBvlsOk or one of its negative codes)
};

// Solves scale and background for a model curve given on the rows (model has rows.size()
// values) from a cold start, and its χ².
ScaleBackgroundFit solve_scale_background(const ScaleBackgroundRows& rows,
                                          std::span<const double> model,
                                          ScaleBackgroundScratch& scratch);

struct SearchResult {
  FitRange range;
  bool searched = false;            // false: the range was empty and nothing was evaluated
  bool found = false;               // some grid point gave χ² below 1e20
  SolventParameters best;           // the grid point of least χ² (first on ties)
  double background = 0.0;          // x2 there
  double chi2 = kFitNoChi2;         // χ² there, Σ w·(I − x2·A_out − x1·model)²/n_fit
  std::size_t evaluations = 0;
  bool out_of_range = false;        // a fitted s lay outside the model grid (spline warning)
};

// The grid search on the regridded points of data. a_out is the background unit (0 without
// constant subtraction). Every grid point solves x1 ∈ [1e-20, 1e20] and x2 within the
// background bounds by bounded least squares on the weighted rows; ties keep the earlier point.
SearchResult search_solvent_parameters(const FitModel& model, const FitData& data,
                                       const SearchLimits& limits, double a_out);
// The same with the threads of `loops`: the excluded volumes are searched apart and their best
// points compared in loop order, so the result is that of the single loop.
SearchResult search_solvent_parameters(const FitModel& model, const FitData& data,
                                       const SearchLimits& limits, double a_out,
                                       const LoopSettings& loops);

// χ² of a fitted curve on the first n measured points, Σ w·(I − I_fit)²/n (0 when n is 0).
double measured_chi2(const FitData& data, std::span<const double> fitted, std::size_t n);

struct FinalFit {
  double scale = 0.0;                  // x1
  double background = 0.0;             // x2 (relative to a_out)
  std::vector<double> scale_curve;     // Ĉ on the computed grid
  std::vector<double> intensity;       // I on the computed grid (not scaled)
  std::vector<double> fitted;          // x2·a_out + x1·model on every measured s
  std::size_t n_fit = 0;               // measured points fitted: those below s_max_fit, plus one
  double chi2 = 0.0;                   // Σ w·(I − I_fit)²/n_fit over them
  bool out_of_range = false;           // a measured s lay outside the model grid
  EstrgResult guinier;                 // the Guinier-range estimate on the fitted curve
};

// The model at the given parameters on the whole computed grid, carried to the measured
// points; scale and background solved on the measured points below s_max_fit and one more.
// nrg is the Guinier range count of the job.
FinalFit evaluate_final_fit(const FitModel& model, const FitData& data,
                            const SolventParameters& parameters, double s_max_fit, double a_out,
                            double background_low, double background_high, std::size_t nrg);

// The same for a model whose excluded-volume scale Ĉ on the whole grid is given. `hold`, when
// given, sees the model on the fitted rows (the measured points below s_max_fit and one more)
// with the solved scale and background in `fit`, and may replace them before the fitted curve
// is formed.
using ScaleBackgroundHold = std::function<void(std::span<const double> model_rows, FinalFit& fit)>;
FinalFit evaluate_scaled_model(const FitModel& model, const FitData& data,
                               std::vector<double> scale_curve, double contrast, double s_max_fit,
                               double a_out, double background_low, double background_high,
                               std::size_t nrg, const ScaleBackgroundHold& hold = {});

}  // namespace tessel
