// Linear interpolation of a tabulated curve onto new abscissae.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace tessel {

// The warning the caller writes once for each interpolation that found an abscissa out of range.
inline constexpr std::string_view kRegridOutOfRangeMessage = " REGRID ---W- Out of abscissa range.";

struct RegridResult {
  std::vector<double> values;
  bool out_of_range = false;  // some target lay more than 1 % of the table's span outside it
};

// Interpolates y(x) at each u. x must be ascending. Each u is located by bisection and y is taken
// on the straight line through the two neighbouring table points (the end segment for a u just
// outside the table). A u more than 1 % of (x_n − x_1) outside [x_1, x_n] gets 0 and sets
// out_of_range; an empty table does the same for every u. A one-point table gives y_1 at x_1.
RegridResult regrid(std::span<const double> x, std::span<const double> y, std::span<const double> u);

}  // namespace tessel
