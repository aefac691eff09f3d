// Bounded least squares on the normal equations of a few columns: min ‖A·x − b‖² subject to
// bl ≤ x ≤ bu from G = AᵀA, h = Aᵀb and bᵀb alone, so that a subset of precomputed curves costs
// O(n³) on an n × n matrix instead of a pass over all the rows of A.
#pragma once

#include <cstddef>
#include <span>

namespace tessel {

// Columns a solve may have.
inline constexpr std::size_t kMaxNormalColumns = 8;

struct NormalSolve {
  double residual = 0.0;  // ‖A·x − b‖² at the solution (≥ 0)
  int dependent = 0;      // columns found dependent on those before them, held at clamp(0, bl, bu)
  bool bounded = false;   // the unconstrained solution broke a bound: the bounded solver ran
};

// G row-major n × n (symmetric), h and the bounds n values, 1 ≤ n ≤ kMaxNormalColumns, finite
// bounds bl ≤ bu. The columns are factorised in order, G = RᵀR (Cholesky); a column whose
// remaining pivot is at most 1e-10 of its own G_jj (or whose G_jj is not positive) lies in the
// span of the columns before it and is held at clamp(0, bl, bu). With d from Rᵀ·d = h,
// ‖A·x − b‖² = bᵀb − dᵀd + ‖R·x − d‖² for every x, so the bounded problem on the square system
// (R, d) is the original one: when the unconstrained solution R⁻¹d keeps the bounds it is the
// answer, else the program's bounded least squares (bvls_solve) solves (R, d). With
// stop_at_bound the solve ends there instead, `bounded` set and x holding the unconstrained
// solution, for callers that can decide from that alone (the residual is then its residual, a
// lower bound of the bounded one).
NormalSolve solve_normal_bounded(std::span<const double> g, std::span<const double> h, double bb,
                                 std::span<const double> bl, std::span<const double> bu,
                                 std::span<double> x, bool stop_at_bound = false);

}  // namespace tessel
