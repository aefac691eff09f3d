// Warnings about an experimental curve that does not suit the job: points beyond the model's
// largest s that are not fitted, a scattering vector in other units than assumed, and a fit so
// poor that the units are the likely cause. Each returns one line without its line end, for
// the console, the log and the list of a job's warnings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/exp_curve.hpp"

namespace tessel {

// A small-angle curve of a macromolecule starts below this s, 1/Å.
inline constexpr double kFirstSLimit = 0.05;
// More than this share of the points beyond the model's largest s speaks for wrong units.
inline constexpr double kShareBeyondLimit = 0.9;
// Step to which the suggested maximum scattering vector is rounded up, 1/Å.
inline constexpr double kSuggestedSMaxStep = 0.01;

// The units code (1..4, as given with -un) whose factor is `factor`; 1 when none is.
int unit_code_of_factor(double factor);

// The text of a units code: "4*pi*sin(theta)/lambda in 1/nm (-un 2)".
std::string units_text(int code);

// The smallest multiple of kSuggestedSMaxStep above `last_s`: a maximum scattering vector that
// keeps every point below it.
double suggested_s_max(double last_s);

// The points at or beyond the model's largest s (curve in 1/Å) are not fitted: their number
// and the -sm value that would take them in. Nothing when there are none.
std::optional<std::string> points_beyond_warning(const ExpCurve& curve, double model_s_max,
                                                 std::string_view file);

// After the unit conversion (curve in 1/Å): more than 90 % of the points beyond the model's
// largest s, or no point below 0.05 1/Å, points to units other than `units_code`.
std::optional<std::string> units_range_warning(const ExpCurve& curve, double model_s_max,
                                               std::string_view file, int units_code);

// Whether a final χ² is no finite number or too wide for the F6.3 field of the fit header.
bool chi2_implausible(double chi2);

// The warning for such a χ², naming the units as the likely cause. Nothing for another χ².
std::optional<std::string> poor_fit_warning(double chi2, std::string_view file, int units_code);

}  // namespace tessel
