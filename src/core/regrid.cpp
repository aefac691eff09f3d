// Linear interpolation of a tabulated curve onto new abscissae.
#include "core/regrid.hpp"

#include <cassert>
#include <cstddef>

namespace tessel {
namespace {

// Fraction of the table's span by which a target may lie outside it and still be extrapolated.
constexpr double kRangeTolerance = 0.01;

// Index lo with x[lo] <= u < x[lo+1], clamped to the first and last segments.
std::size_t locate_segment(std::span<const double> x, double u) {
  std::size_t lo = 0;
  std::size_t hi = x.size() - 1;
  while (hi - lo > 1) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (u >= x[mid]) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace

RegridResult regrid(std::span<const double> x, std::span<const double> y, std::span<const double> u) {
  assert(x.size() == y.size());
  RegridResult result;
  result.values.assign(u.size(), 0.0);
  const std::size_t n = x.size();
  if (n == 0) {
    result.out_of_range = !u.empty();
    return result;
  }
  const double margin = kRangeTolerance * (x[n - 1] - x[0]);
  for (std::size_t k = 0; k < u.size(); ++k) {
    const double t = u[k];
    if (!(t >= x[0] - margin && t <= x[n - 1] + margin)) {  // NaN is out of range too
      result.out_of_range = true;
      continue;
    }
    if (n == 1) {
      result.values[k] = y[0];
      continue;
    }
    const std::size_t i = locate_segment(x, t);
    const double dx = x[i + 1] - x[i];
    result.values[k] = dx > 0.0 ? y[i] + (t - x[i]) / dx * (y[i + 1] - y[i]) : y[i];
  }
  return result;
}

}  // namespace tessel
