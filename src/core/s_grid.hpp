// The grid of momentum-transfer values s = 4π·sin(θ)/λ on which curves are computed.
#pragma once

#include <vector>

namespace tessel {

// n points from 0 to s_max (1/Å), ascending, the first exactly 0: s(i) = i·s_max/(n−1).
// A single point is the curve at s = 0 alone.
std::vector<double> make_s_grid(int n_points, double s_max);

}  // namespace tessel
