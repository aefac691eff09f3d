// The scale x1 and the relative background x2 of a fit I ≈ x1·m + x2·a from the weighted sums of
// the model curve m and the data (a normal-equation form of the two-variable least squares, for
// loops that form the sums without the rows), with the background optionally held to a share of
// the fitted forward intensity.
#pragma once

#include <span>

namespace tessel {

// The largest plausible background, as a share of the fitted forward intensity x1·I(0).
inline constexpr double kPlausibleBackgroundFraction = 0.05;

// Sums of a weighted fit of I ≈ x1·m + x2·a (a the background unit) over n points.
struct NormalSums {
  double mm = 0.0, m1 = 0.0, mi = 0.0;  // Σw·m², Σw·m, Σw·m·I
  double w = 0.0, i1 = 0.0, ii = 0.0;   // Σw, Σw·I, Σw·I²
};

// The scale x1 and relative background x2 that minimise Σw·(I − x1·m − x2·a)² within the bounds,
// from the sums (exact for a convex quadratic in two variables: the inner minimum if it lies
// within the bounds, else the best of the four edges). plausible_forward > 0 also asks
// |x2·a| ≤ 0.05·x1·plausible_forward; 0 asks nothing; a negative value allows no background.
struct ScaleBackground {
  double scale = 0.0;
  double background = 0.0;
  double sum = 0.0;  // Σw·(I − x1·m − x2·a)² from the sums
};
ScaleBackground solve_from_sums(const NormalSums& sums, double a, double scale_low, double scale_high,
                                double background_low, double background_high, double plausible_forward);

// The sums of a model curve m against measured intensities and weights of the same rows.
NormalSums row_sums(std::span<const double> intensity, std::span<const double> weight,
                    std::span<const double> m);

// Σw·(I − x1·m − x2·a)² from the sums.
double residual_sum(const NormalSums& s, double a, double x1, double x2);

}  // namespace tessel
