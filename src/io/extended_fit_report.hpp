// The lines an extended fit adds after the usual fit lines: each parameter with the range it was
// searched in and whether it sits on a bound, the effective excluded volume against the displaced
// volume, the shell, the background relative to the forward intensity, and the plausibility
// verdict (with the refused fit, if the best one broke the rule).
#pragma once

#include <string>

#include "core/extended_fit.hpp"

namespace tessel {

// The lines, each ending with '\n', for the log and the console.
std::string extended_fit_lines(const ExtendedFitResult& r);

}  // namespace tessel
