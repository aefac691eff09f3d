// The model curve carried from s = 0 to the first measured point.
#include "core/fit_extrapolation.hpp"

#include <cmath>

#include "core/fit.hpp"
#include "core/respline.hpp"

namespace tessel {

ExtrapolatedRows extrapolate_to_zero(std::span<const double> s_model, std::span<const double> intensity,
                                     std::span<const double> s_measured) {
  ExtrapolatedRows rows;
  if (s_measured.empty()) return rows;
  const double s1 = s_measured[0];
  if (s1 == kZeroStartS) {
    rows.zero_start = true;
    return rows;
  }
  double ds = s_measured.size() > 1 ? s_measured[1] - s1 : std::nan("");
  if (std::isnan(ds) || ds < kMinExtrapolationStep) ds = kMinExtrapolationStep;
  const double quotient = s1 / ds;
  if (!(quotient > -1.0)) return rows;  // m < 1 (or s_1 is not a number)
  std::size_t m = 0;
  if (quotient + 1.0 >= static_cast<double>(kMaxExtrapolatedRows)) {
    m = kMaxExtrapolatedRows;
    ds = s1 / static_cast<double>(kMaxExtrapolatedRows);
  } else {
    m = static_cast<std::size_t>(std::trunc(quotient)) + 1;
  }
  rows.s.resize(m);
  rows.s[0] = kZeroStartS;
  for (std::size_t k = 1; k < m; ++k) rows.s[k] = static_cast<double>(k) * ds;

  std::vector<double> logs(intensity.size());
  for (std::size_t i = 0; i < intensity.size(); ++i) logs[i] = log_intensity(intensity[i]);
  const ResplineResult carried = RESPLINE(s_model, logs, rows.s);
  rows.out_of_range = carried.out_of_range;
  rows.model.resize(m);
  for (std::size_t k = 0; k < m; ++k) rows.model[k] = power_of_ten(carried.values[k]);
  rows.s[0] = 0.0;
  return rows;
}

}  // namespace tessel
