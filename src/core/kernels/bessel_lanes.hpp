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
inline constexpr int kBesselMaxLanes = 32;

// Arguments one call of bessel_downward_lanes takes on this processor.
int bessel_downward_lane_count();

// The order the downward recurrence for j_l starts from: l + 15√l.
int bessel_downward_start(int l);

// j_l(x) by the downward recurrence from order bessel_downward_start(l), normalised by
// Σ(2k+1)·j_k² = 1, for every order l_first..l_last (l_last ≤ kMaxCountedOrder) and the count
// (≤ bessel_downward_lane_count()) arguments xs: j_l(xs[i]) is written to
// out[(l − l_first)·kBesselMaxLanes + i]. The quotients (2k+1)/x of the recurrence are formed
// once for all orders.
void bessel_downward_lanes(int l_first, int l_last, const double* xs, int count, double* out);

// The same orders in the same layout from one downward recurrence per argument, started at
// bessel_downward_start(l_last) and normalised likewise: equal to the values above within
// rounding, in about a tenth of the steps when many orders are wanted.
void bessel_downward_shared_lanes(int l_first, int l_last, const double* xs, int count, double* out);

}  // namespace tessel
