// Bounded-variable least squares, min ‖A·x − b‖₂ subject to bl ≤ x ≤ bu, by the active-set
// method of Stark and Parker (1995, Computational Statistics 10:129-141). It solves the scale
// factor and the constant background of the curve fit, tens of thousands of times per fit.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace tessel {

// Status codes of the solver; every failure also carries the routine's own message.
inline constexpr int kBvlsOk = 0;
inline constexpr int kBvlsBadDimensions = -1;     // "F04BVLLS -E- Check dimensions."
inline constexpr int kBvlsNoConvergence = -2;     // iteration limit (3 n outer iterations)
inline constexpr int kBvlsInconsistentBounds = -3;
inline constexpr int kBvlsNoFreeVariables = -4;   // every variable has bl = bu
inline constexpr int kBvlsTooManyActive = -5;     // malformed or oversized warm-start state
inline constexpr int kBvlsTooManyFree = -6;       // the free set would exceed min(m, n)
inline constexpr int kBvlsNonFiniteData = -7;     // A or b holds NaN or infinity

struct BvlsStatus {
  int ierr = kBvlsOk;         // 0 or one of the negative codes above
  int loop = 0;               // outer iterations performed
  std::string_view message;   // empty on success, else the routine's message (static text)
  bool ok() const { return ierr == kBvlsOk; }
};

// Caller-owned work storage (the solve itself never allocates).
//   w       n values: on return the negative gradient Aᵀ(b − A·x) at the returned x.
//   act     mm·(min(m, n) + 2) values: the free columns, their QR factors and the right-hand side.
//   zz      mm values: the solution of the latest free subproblem.
//   istate  n + 1 values: the first istate[n] entries are the variables held at a bound (−j at
//           the lower, +j at the upper bound; j is the 1-based variable number), the remaining
//           entries the free variables (+j). A cold start (key 0) sets −1, −2, …, −n.
struct BvlsWork {
  std::span<double> w;
  std::span<double> act;
  std::span<double> zz;
  std::span<int> istate;
};

// Storage for problems of up to mm rows (leading dimension mm) and n variables, allocated once
// and reused for every solve.
struct BvlsWorkspace {
  BvlsWorkspace(int mm, int n);
  BvlsWork view() { return {w, act, zz, istate}; }

  std::vector<double> w;
  std::vector<double> act;
  std::vector<double> zz;
  std::vector<int> istate;
};

// Solves min ‖A·x − b‖₂ with bl ≤ x ≤ bu.
//   key     0: start with every variable at its lower bound; otherwise start from the states
//           in work.istate (a warm start after an earlier call; its free variables begin at the
//           middle of their bounds).
//   a       A by columns with leading dimension mm ≥ m: a[i + j·mm] is row i of column j (0-based).
//   b       m values; bl, bu, x: n values. Bounds must be finite with bl ≤ bu; use wide finite
//           bounds such as ±1e20 for a variable that is in effect unbounded.
// Checks, in order: dimensions and storage sizes (−1), bounds (−3, then −4), the warm-start
// state (−5). Those failures return before anything is written to x. Otherwise x holds the
// solution (or, on −2, −6 and −7, the last feasible iterate) and work.istate the final states.
// Problems with one or two variables take a dedicated path that gives the same bits as the
// general one.
BvlsStatus bvls_solve(int key, int mm, int m, int n, std::span<const double> a,
                      std::span<const double> b, std::span<const double> bl,
                      std::span<const double> bu, std::span<double> x, BvlsWork work);

// The routine under its library name and argument order.
inline BvlsStatus F04BVLLS(int key, int mm, int m, int n, std::span<const double> a,
                           std::span<const double> b, std::span<const double> bl,
                           std::span<const double> bu, std::span<double> x, std::span<double> w,
                           std::span<double> act, std::span<double> zz, std::span<int> istate) {
  return bvls_solve(key, mm, m, n, a, b, bl, bu, x, BvlsWork{w, act, zz, istate});
}

namespace detail {

// The general path for any n: free subproblems by Householder QR stored in act. max_loops < 0
// means the normal limit of 3 n outer iterations.
BvlsStatus bvls_solve_general(int key, int mm, int m, int n, std::span<const double> a,
                              std::span<const double> b, std::span<const double> bl,
                              std::span<const double> bu, std::span<double> x, BvlsWork work,
                              int max_loops = -1);

}  // namespace detail
}  // namespace tessel
