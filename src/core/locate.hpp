// Bisection search in an ascending table.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

namespace tessel {

// The number of entries of the ascending table x that lie strictly below v (0..x.size()),
// found by bisection. Entries equal to v are not counted; a NaN v gives 0.
inline std::size_t locate(std::span<const double> x, double v) {
  return static_cast<std::size_t>(std::lower_bound(x.begin(), x.end(), v) - x.begin());
}

}  // namespace tessel
