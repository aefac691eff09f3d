// Minimisation of a function of a few parameters within a box by the simplex method of Nelder and
// Mead (reflection, expansion, contraction and shrinking), started again from its best point
// with a fresh simplex a fixed number of times. Deterministic: the same function and start give
// the same steps.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

namespace tessel {

struct SimplexResult {
  std::vector<double> x;        // the best point found
  double value = 0.0;           // f there
  std::size_t evaluations = 0;  // calls of f
};

// f is called with points within [low, high]; points the simplex steps past a bound are put back
// on it. The first simplex has edges `step` along each parameter (a step of 0 holds that
// parameter); a run ends when its values agree to `tolerance` (absolute) and its edges have
// shrunk below 1/64 of the steps, or when `max_evaluations` are spent in all. Each restart
// builds the simplex anew around the best point with edges half as long as before.
SimplexResult simplex_minimise(const std::function<double(std::span<const double>)>& f,
                               std::span<const double> start, std::span<const double> step,
                               std::span<const double> low, std::span<const double> high,
                               std::size_t max_evaluations, int restarts, double tolerance);

}  // namespace tessel
