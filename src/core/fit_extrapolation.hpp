// The model curve carried from s = 0 to the first measured point, for the rows that open the
// fit file.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tessel {

// A first measured s of exactly this value (1/Å) stands for s = 0: written as 0, nothing before it.
inline constexpr double kZeroStartS = 1e-8;
inline constexpr double kMinExtrapolationStep = 0.002;   // 1/Å
inline constexpr std::size_t kMaxExtrapolatedRows = 5000;

struct ExtrapolatedRows {
  bool zero_start = false;      // the first measured s is exactly 1e-8
  std::vector<double> s;        // 0, ds, 2·ds, …: the first point is evaluated at 1e-8, written as 0
  std::vector<double> model;    // the unscaled model there: 10^(spline of log10|I|)
  bool out_of_range = false;    // some s lay beyond the model grid (spline warning; value 1)
};

// ds = s_2 − s_1 of the measured points (0.002 when smaller, missing or not a number);
// m = ⌊s_1/ds⌋ + 1 rows at 1e-8, ds, 2·ds, …, (m − 1)·ds, at most 5000 (then ds = s_1/5000);
// no rows when m < 1 or when s_1 is exactly 1e-8. The model's log10|I| (−10 for |I| ≤ 1e-10)
// on s_model is carried there by the spline.
ExtrapolatedRows extrapolate_to_zero(std::span<const double> s_model, std::span<const double> intensity,
                                     std::span<const double> s_measured);

}  // namespace tessel
