// The error-weighted residuals of a fit: (I_exp − I_fit)/σ at every measured point.
#pragma once

#include <span>
#include <vector>

namespace tessel {

// (i_exp − i_fit)/σ per point; NaN where σ is not a positive finite number (a point without an
// error has no weighted residual). The spans have one value per point (the shortest decides).
std::vector<double> weighted_residuals(std::span<const double> i_exp, std::span<const double> i_fit,
                                       std::span<const double> sigma);

}  // namespace tessel
