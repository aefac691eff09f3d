// The extended fit of the solvent parameters: besides the excluded volume V_ex and the shell
// contrast δρ over their usual ranges, it searches the global damping of the excluded volume
// beyond the usual radius range (down to where it cancels the average atom's own Gaussian), the
// width of the hydration shell, and a constant background of free sign and size; then it refines
// the best grid point continuously. A fit is plausible when its excluded volume lies within 15 %
// of the displaced volume and its background within 5 % of the forward intensity; the search
// keeps the best plausible fit beside the best one. s in 1/Å, volumes in Å³, densities in e/Å³.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core/data_preparation.hpp"
#include "core/fit.hpp"
#include "core/guinier.hpp"
#include "core/partial_amplitudes.hpp"
#include "core/scale_background_sums.hpp"
#include "core/kernels/worker_pool.hpp"

namespace tessel {

// The shell widths searched, Å, and their grid.
inline constexpr double kExtendedWidthLow = 1.0;
inline constexpr double kExtendedWidthHigh = 6.0;
inline constexpr int kExtendedWidthCount = 11;       // 0.5 Å apart
inline constexpr double kExtendedRadiusStep = 0.02;  // Å, the default search's radius step
// Bounds of the relative background: in effect free, the plausibility rule limits it.
inline constexpr double kExtendedBackgroundLow = -1e20;
inline constexpr double kExtendedBackgroundHigh = 1e20;
// The plausibility rule (the background's share is in scale_background_sums.hpp).
inline constexpr double kPlausibleVolumeDeparture = 0.15;  // |V_ex/V_d − 1| at most

// The global damping of the excluded volume as a signed radius: exp(−s²·κ/(4π)) with
// κ = sign(Ra)·((4π/3)·|Ra|³)^two_thirds. Ra ≥ 0 is the usual atomic radius; a negative Ra undoes
// damping, and Ra = −r0 cancels the Gaussian of an atom of the average radius r0. Returns the
// exponent −κ as fit_excluded_volume_shape takes it.
double signed_radius_exponent(double radius, double two_thirds);

// The partial intensities that depend on the shell width, for each width of a grid: I_B, I_AB
// and I_CB on the first points of the computed grid (at least up to the fitted stretch), with
// each width's shell volume.
struct ShellWidthCurves {
  std::vector<double> widths;  // Å, ascending and equally spaced
  std::vector<std::vector<double>> shell, atoms_shell, solvent_shell;
  std::vector<double> volumes;  // Å³
};
// From the atoms' amplitude A, the normalised excluded-volume amplitude C and the shells B_w.
ShellWidthCurves shell_width_curves(const PartialAmplitudes& atoms, const PartialAmplitudes& solvent,
                                    std::span<const double> widths, std::span<const PartialAmplitudes> shells,
                                    std::span<const double> volumes);

// The curves at any width within the grid: cubic interpolation through the four nearest widths.
struct WidthCurves {
  std::vector<double> shell, atoms_shell, solvent_shell;
  double volume = 0.0;
};
WidthCurves curves_at_width(const ShellWidthCurves& curves, double width);

// One set of extended parameters.
struct ExtendedParameters {
  double volume = 0.0;    // V_ex, without the 220 Å³ per dummy residue
  double radius = 0.0;    // signed radius of the global damping, Å
  double contrast = 0.0;  // δρ, e/Å³
  double width = 3.0;     // shell width, Å
};

// The searched ranges: V_ex, δρ and the background as in `base` (whose radius range is not
// used), the signed radius and the width on their own grids.
struct ExtendedLimits {
  SearchLimits base;
  double radius_low = 0.0, radius_high = kFitRadiusHigh;
  int radius_count = 1;
  double width_low = kExtendedWidthLow, width_high = kExtendedWidthHigh;
  int width_count = kExtendedWidthCount;
  bool refine = true;
};

// The default ranges of V_ex and δρ, the signed radius from 1.8 Å down to −r0 (or just below) in
// steps of 0.02 Å, the widths 1 to 6 Å in steps of 0.5 Å, and a free background. With
// use_default_parameters every parameter is held (V_d, r0, 0.03, 3 Å) and only scale and
// background are solved.
ExtendedLimits extended_search_limits(const FitModel& model, const FitData& data,
                                      bool use_default_parameters);

// The widths of the limits' grid.
std::vector<double> grid_widths(const ExtendedLimits& limits);

// The plausibility rule for one fit. Volumes as reported (with the dummy residues' share).
struct Plausibility {
  double volume_departure = 0.0;     // V_ex/V_d − 1
  double background_fraction = 0.0;  // x2·a/(x1·I(0)), the background relative to the forward intensity
  bool volume_ok = true;
  bool background_ok = true;
  bool ok() const { return volume_ok && background_ok; }
};
Plausibility plausibility(double reported_volume, double reported_displaced_volume,
                          double absolute_background, double forward_intensity);

// The outcome of the extended search on the regridded points.
struct ExtendedSearchResult {
  FitRange range;
  bool searched = false;    // the range held points
  bool found = false;       // some point gave a χ² below 1e20
  ExtendedParameters best;  // least χ² of all
  double chi2 = kFitNoChi2;
  double background = 0.0;  // x2 there
  Plausibility best_plausibility;
  bool plausible_found = false;
  ExtendedParameters plausible;  // least χ² among the plausible fits
  double plausible_chi2 = kFitNoChi2;
  std::size_t grid_points = 0;  // parameter sets of the grid
  std::size_t refinement_evaluations = 0;
  bool out_of_range = false;  // a fitted s lay outside the model grid
};

// The grid search (V_ex outermost, then Ra, the width and δρ; the first point of least χ² on ties)
// and, when limits.refine, a simplex search (simplex_search.hpp) from the best grid point within
// the limits, its first edges one grid step long, with two restarts and at most 600 evaluations. The grid
// solves scale and background from the sums of the interpolated partial intensities; the refinement carries
// log10 I by the spline like the default search. The model's own shell curves are not used.
ExtendedSearchResult search_extended(const FitModel& model, const ShellWidthCurves& curves,
                                     const FitData& data, const ExtendedLimits& limits, double a_out,
                                     const LoopSettings& loops = {});

// The final evaluation of the extended model at the given parameters (the shell curves of
// `model` being those of the width), like evaluate_final_fit, with the scale and background
// held to the plausibility rule on the background.
struct ExtendedFinalFit {
  FinalFit fit;
  double forward_intensity = 0.0;  // x1·I(0), the fitted forward intensity without background
  bool background_held = false;    // the free background broke the rule and was held to 5 %
  Plausibility plausibility;
};
ExtendedFinalFit evaluate_extended_fit(const FitModel& model, const FitData& data,
                                       const ExtendedParameters& parameters, double s_max_fit, double a_out,
                                       std::size_t nrg);

// Where a value sits within its range: within 1e-4 of the range from a bound counts as on it.
enum class RangeSide { inside, lower, upper };
RangeSide range_side(double value, double low, double high);

// What an extended fit reports (log lines, and a record of the run): the parameters with the
// ranges they were searched in, the plausibility quantities and the fit it refused, if any.
struct ExtendedFitResult {
  ExtendedParameters parameters;  // the reported fit
  ExtendedLimits limits;
  RangeSide volume_side = RangeSide::inside, radius_side = RangeSide::inside;
  RangeSide contrast_side = RangeSide::inside, width_side = RangeSide::inside;
  bool background_at_limit = false;  // held to 5 % of I(0)
  double damping_exponent = 0.0;     // κ of the global damping exp(−s²·κ/(4π)), Å²
  double own_exponent = 0.0;         // κ of the average atom's own Gaussian, Å²
  double reported_volume = 0.0;      // the effective excluded volume, V_ex + 220·N_d
  double displaced_volume = 0.0;     // V_d + 220·N_d
  double shell_volume = 0.0;         // of the width, Å³
  double scale = 0.0;
  double background = 0.0;  // relative
  double absolute_background = 0.0;
  double forward_intensity = 0.0;  // x1·I(0)
  double chi2 = 0.0;
  Plausibility plausibility;   // of the reported fit
  bool best_refused = false;   // the best fit broke the rule
  ExtendedParameters refused;  // that fit
  double refused_chi2 = 0.0;   // its χ² on the regridded points
  Plausibility refused_plausibility;
  std::size_t grid_points = 0;
  std::size_t refinement_evaluations = 0;
};

}  // namespace tessel
