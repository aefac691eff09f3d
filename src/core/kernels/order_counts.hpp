// The orders a multipole sum counts per source, eight sources at a time: for x = s·(r + offset),
// the number of thresholds t_l (l = 0..l_max, increasing) that x exceeds.
#pragma once

#include <cstddef>

namespace tessel {

// counts[i] = #{l ≤ l_max : s·(r[i] + offset) > t[l]} for i < n, in vectors of eight when the
// processor has them and l_max < 32; returns false (nothing written) otherwise. The thresholds
// must increase with l.
bool count_orders_wide(double s, const double* r, std::size_t n, double offset, const double* t,
                       int l_max, int* counts);

}  // namespace tessel
