// Averaging of a measured curve onto a coarser grid of scattering vectors.
#pragma once

#include <span>
#include <vector>

namespace tessel {

struct RebinnedCurve {
  std::vector<double> intensity;
  std::vector<double> error;
};

// Averages the curve (s, I, σ) onto the grid s_new (strictly ascending, at least 2 points).
// Grid point k owns the bin between the midpoints to its neighbours; the first and last
// bins reach half a step outwards. The data are read as a piecewise-linear curve: point j
// carries a hat function that is 1 at s_j and 0 at its neighbours (at the ends at
// max(0, 2 s_1 − s_2) and at 2 s_n − s_n−1), and w_jk is the fraction of that hat's area
// lying in bin k, so each point spreads at most a total weight of 1. Per bin, with W = Σ_j w_jk:
// I_new = Σ w_jk I_j / W and σ_new = √|Σ w_jk σ_j²| / W; a bin with W = 0 gets 0 and 0.
// s must be strictly ascending with at least 2 points.
RebinnedCurve rebin_curve(std::span<const double> s, std::span<const double> intensity,
                          std::span<const double> error, std::span<const double> s_new);

}  // namespace tessel
