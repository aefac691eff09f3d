// Preparation of a measured curve for the fit: regridding of long curves, error floors,
// weights, Guinier range, cut to the model's range and the mean intensity of the tail.
#pragma once

#include <cstddef>
#include <vector>

#include "core/exp_curve.hpp"
#include "core/guinier.hpp"

namespace tessel {

inline constexpr std::size_t kRegridThreshold = 202;    // curves this long or longer are regridded
inline constexpr std::size_t kMinRegriddedPoints = 201;
inline constexpr std::size_t kRegridReduction = 10;     // about one regridded point per 10 measured
inline constexpr double kErrorFloor = 1e-20;            // added to every σ before |σ| is taken
inline constexpr double kFirstPointShift = static_cast<double>(1e-8f);  // 9.99999993922529e-09, 1/Å
inline constexpr double kMinVariance = 1e-30;           // σ² below this (or NaN) gets the capped weight
inline constexpr double kMaxWeight = 1e30;
inline constexpr double kGuinierModelLimit = 1.5;       // s·Rg of the atoms the Guinier range reaches
inline constexpr std::size_t kMinTailPoints = 5;
inline constexpr double kTailFraction = 0.1;
inline constexpr double kBackgroundLow = -0.5;          // limits of the background relative to the
inline constexpr double kBackgroundHigh = 0.5;          // outer average

// Points of the regridded curve for a measured curve of n points: n (no regridding) below
// 202, else max(201, ⌊n/10⌋).
std::size_t regridded_count(std::size_t n);

// The weight of a point of error σ: 1/σ², or 1e30 when σ² < 1e-30 or NaN.
double fit_weight(double sigma);

// |σ + 1e-20| for every error.
void floor_errors(std::vector<double>& error);

struct RegridStage {
  ExpCurve measured;      // the unregridded curve, errors floored
  ExpCurve regridded;     // the regular grid from the first to the last s (or a copy), errors floored
  bool regridded_flag = false;  // false: the curve was kept as it is
};

// Regrids a curve of n >= 202 points onto max(201, ⌊n/10⌋) regular points from its first to
// its last s (rebin_curve), or copies a shorter one; floors both curves' errors and moves a
// first regridded s of 0 to 1e-8 so that the model grid has a point below it.
// s must be strictly ascending (as filter_IofS leaves it); an empty curve gives empty curves.
RegridStage regrid_curve(const ExpCurve& measured);

// What the fit needs from the prepared data.
struct FitData {
  std::vector<double> s_r, i_r, w_r;  // regridded points below the model's s_max (n_r), weights
  std::vector<double> s_e, i_e, w_e;  // all unregridded points (n_e), weights
  std::size_t regridded_before_cut = 0;
  bool cut = false;                   // regridded points at or beyond s_max were dropped
  std::size_t guinier_min = 0;        // regridded points below 1.5 / Rg of the atoms
  EstrgResult guinier;                // the estimate on the regridded curve
  bool guinier_repeated = false;      // its range was below guinier_min: run again with it
  EstrgResult guinier_again;          // that second run
  std::size_t nrg = 0;                // Guinier range count carried to the fit
  std::size_t tail_points = 0;        // points averaged for the outer intensity
  double outer_average = 0.0;         // A: mean intensity of the last tail_points regridded points
  bool subtract_constant = false;
  double a_out = 0.0;                 // A with constant subtraction, else 0: the background unit
  double background_low = kBackgroundLow;
  double background_high = kBackgroundHigh;
};

// Guinier range (ESTRG on the regridded curve, repeated with the count of points below
// 1.5 / rg_atoms when it came out shorter), weights, the cut of the regridded curve to the
// points strictly below model_s_max, and the outer average over the last max(5, nint(0.1·n_r))
// regridded points (all of them when there are fewer).
FitData finish_preparation(const RegridStage& stage, double model_s_max, double rg_atoms,
                           bool subtract_constant);

}  // namespace tessel
