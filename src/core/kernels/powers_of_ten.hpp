// Powers of ten of the fit's model curves (from their log10 after the spline): one value, and a
// run of values by a branch-free kernel on the widest instruction set the processor has.
#pragma once

#include <span>

namespace tessel {

// 10^v as exp(v·ln 10), within 3e-15 relative of the exact power for |v| ≤ 12. The bulk form
// runs a branch-free kernel of the same accuracy two values at a time (values beyond ±300 and
// NaN go through exp); out may be v itself, but is fastest apart from it.
double power_of_ten(double v);
void powers_of_ten(std::span<const double> v, std::span<double> out);

}  // namespace tessel
