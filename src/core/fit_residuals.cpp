// The error-weighted residuals of a fit.
#include "core/fit_residuals.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessel {

std::vector<double> weighted_residuals(std::span<const double> i_exp, std::span<const double> i_fit,
                                       std::span<const double> sigma) {
  const std::size_t n = std::min({i_exp.size(), i_fit.size(), sigma.size()});
  std::vector<double> r(n, std::numeric_limits<double>::quiet_NaN());
  for (std::size_t i = 0; i < n; ++i)
    if (sigma[i] > 0.0 && std::isfinite(sigma[i])) r[i] = (i_exp[i] - i_fit[i]) / sigma[i];
  return r;
}

}  // namespace tessel
