// The grid of momentum-transfer values.
#include "core/s_grid.hpp"

#include <cassert>

namespace tessel {

std::vector<double> make_s_grid(int n_points, double s_max) {
  assert(n_points >= 1);
  std::vector<double> s(static_cast<std::size_t>(n_points), 0.0);
  if (n_points == 1) return s;  // no step: the forward point only
  for (int i = 0; i < n_points; ++i) s[static_cast<std::size_t>(i)] = i * s_max / (n_points - 1);
  return s;
}

}  // namespace tessel
