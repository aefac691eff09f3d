// Error estimation for curves given without errors: local cubic smoothing, a runs test on
// the residuals and the error model built from them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

inline constexpr int kMaxSmoothingNeighbours = 256;
inline constexpr std::string_view kSmoothingReducedMessage = " SMOERR -W- Number of neighbours reduced to 256";
inline constexpr std::string_view kRunsTestTooFewMessage = " G02WALD1 -E- Number of data points less than 20";

struct SmoothResult {
  int status = 0;                   // 0; -1 window longer than the curve or k < 2; -2 singular fit
  bool neighbours_reduced = false;  // k was above 256 and 256 was used
  std::vector<double> value;        // smoothed y
  std::vector<double> error;        // error of the smoothed y
};

// Local cubic smoothing: for each point, a least-squares cubic with weights 1/σ² through the
// 2k + 1 points of the window centred on it, abscissae measured from the centre point and
// divided by the window's width (x_i+k − x_i−k), evaluated at the point. The first and last
// k points take their values from the cubic of the first and the last full window. The error
// is √(pᵀ M⁻¹ p), p = (t³, t², t, 1) at the point and M the fit's normal matrix.
// x strictly ascending; σ > 0.
SmoothResult SMOERR(std::span<const double> x, std::span<const double> y,
                    std::span<const double> sigma, int k);

struct RunsTestResult {
  int status = 0;       // 0, or -1 with fewer than 20 residuals (kRunsTestTooFewMessage)
  bool random = true;   // randomness not rejected (also for status -1 and for a single sign)
  int n_plus = 0;       // residuals above their mean
  int n_minus = 0;      // residuals below their mean (equal ones are not counted)
  int runs = 0;
  double p_value = 1.0; // two-sided
};

// Two-sided Wald–Wolfowitz runs test on the signs of the residuals about their mean. The
// normal approximation is used when the larger sign count exceeds 50, the exact run-count
// distribution otherwise.
RunsTestResult G02WALD2(std::span<const double> residuals, double significance = 0.01);

struct ErrestResult {
  std::vector<double> error;          // one σ per point
  std::vector<std::string> messages;  // lines for standard error, in order, without line ends
};

// Estimates the errors of a curve (s ascending, I finite): smooths ln(|I| + 1e-20) twice with
// SMOERR (k1 = ⌊√n⌋ at least 2, at most min(51, ⌊n/2⌋ − 1); then k2 = max(2, ⌊k1/2⌋) with the
// first pass's errors), tests the residuals exp(smoothed) − I for randomness at 1 %, and takes
// σ = |smoothed |r|| + 1e-20 when they are random, else 3 % of |I| (+ 1e-20). A curve of fewer
// than 6 points, too short for the smoothing windows, also gets 3 % of |I|, and so does a curve
// whose smoothed errors overflow (intensities near the top of the double range); an empty one
// gets nothing.
ErrestResult ERREST(std::span<const double> s, std::span<const double> intensity);

}  // namespace tessel
