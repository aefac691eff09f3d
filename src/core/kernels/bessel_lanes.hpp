// Miller's downward recurrence for the spherical Bessel function j_l on several arguments at a
// time, in vectors of the widest instruction set the processor has: the same operations as the
// scalar recurrence in every lane, so the same bits.
#pragma once

#include <cstddef>

namespace tessel {

// Values of the downward recurrence are scaled down by this factor when they pass it, so that
// neither they nor the sum of their squares can overflow.
inline constexpr double kBesselRescale = 1e100;

// The most arguments one call takes on any processor.
inline constexpr int kBesselMaxLanes = 16;

// Arguments one call of bessel_downward_lanes takes on this processor.
int bessel_downward_lane_count();

// j_l(x) by the downward recurrence from order l + 15√l, normalised by Σ(2k+1)·j_k² = 1, for
// the count (≤ bessel_downward_lane_count()) arguments xs; the i-th is written to
// out[i·stride].
void bessel_downward_lanes(int l, const double* xs, int count, double* out, std::size_t stride);

}  // namespace tessel
