// Bounded least squares: hand-solved problems, every status code, and random small problems
// checked against an exhaustive search over the active sets.
#include "core/bounded_lsq.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace tessel {
namespace {

constexpr double kBig = 1e20;  // the fit's stand-in for an open bound

// A problem stored by columns with leading dimension mm, plus its own work storage.
struct Case {
  int mm = 0, m = 0, n = 0;
  std::vector<double> a, b, bl, bu, x;
  BvlsWorkspace work{1, 1};

  Case(int rows, int vars, int lead = 0)
      : mm(lead > 0 ? lead : rows), m(rows), n(vars),
        a(static_cast<std::size_t>(mm) * vars), b(rows), bl(vars), bu(vars), x(vars, 0.0),
        work(mm, vars) {}
  double& at(int i, int j) { return a[static_cast<std::size_t>(j) * mm + i]; }
  long double get(int i, int j) const { return a[static_cast<std::size_t>(j) * mm + i]; }
  BvlsStatus solve(int key = 0) { return bvls_solve(key, mm, m, n, a, b, bl, bu, x, work.view()); }
  BvlsStatus solve_general(int key = 0, int max_loops = -1) {
    return detail::bvls_solve_general(key, mm, m, n, a, b, bl, bu, x, work.view(), max_loops);
  }
  // ‖b − A·v‖² in long double.
  long double objective(const std::vector<double>& v) const {
    long double s = 0;
    for (int i = 0; i < m; ++i) {
      long double r = b[i];
      for (int j = 0; j < n; ++j) r -= get(i, j) * v[j];
      s += r * r;
    }
    return s;
  }
};

// Exhaustive search: every variable free, at its lower or at its upper bound; the free
// subproblem by normal equations in long double (Gauss-Jordan, partial pivoting); feasible
// candidates only; the lowest residual wins.
struct Best {
  bool found = false;
  long double obj = 0;
  std::vector<double> x;
};

Best exhaustive(const Case& c) {
  Best best;
  int total = 1;
  for (int j = 0; j < c.n; ++j) total *= 3;
  for (int code = 0; code < total; ++code) {
    std::vector<int> state(c.n);  // 0 free, 1 lower, 2 upper
    std::vector<int> free;
    for (int j = 0, k = code; j < c.n; ++j, k /= 3) {
      state[j] = k % 3;
      if (state[j] == 0) free.push_back(j);
    }
    const int f = static_cast<int>(free.size());
    if (f > c.m) continue;
    std::vector<double> v(c.n);
    for (int j = 0; j < c.n; ++j) v[j] = state[j] == 2 ? c.bu[j] : c.bl[j];
    std::vector<long double> y(c.m);
    for (int i = 0; i < c.m; ++i) {
      y[i] = c.b[i];
      for (int j = 0; j < c.n; ++j) y[i] -= state[j] != 0 ? c.get(i, j) * v[j] : 0.0L;
    }
    // Normal equations [AᵀA | Aᵀy] on the free columns.
    std::vector<std::vector<long double>> g(f, std::vector<long double>(f + 1, 0));
    long double scale = 0;
    for (int p = 0; p < f; ++p) {
      for (int q = 0; q <= f; ++q) {
        for (int i = 0; i < c.m; ++i) g[p][q] += c.get(i, free[p]) * (q < f ? c.get(i, free[q]) : y[i]);
      }
      scale = std::max(scale, g[p][p]);
    }
    bool singular = false;
    for (int p = 0; p < f && !singular; ++p) {
      int piv = p;
      for (int r = p + 1; r < f; ++r) piv = std::fabs(g[r][p]) > std::fabs(g[piv][p]) ? r : piv;
      std::swap(g[p], g[piv]);
      singular = std::fabs(g[p][p]) <= 1e-13L * scale;  // rank-deficient free set: not a candidate
      for (int r = 0; r < f && !singular; ++r) {
        if (r == p) continue;
        const long double t = g[r][p] / g[p][p];
        for (int q = p; q <= f; ++q) g[r][q] -= t * g[p][q];
      }
    }
    if (singular) continue;
    bool feasible = true;
    for (int p = 0; p < f; ++p) {
      const int j = free[p];
      const long double z = g[p][f] / g[p][p];
      const double slack = 1e-9 * (1 + std::fabs(z));
      if (z < c.bl[j] - slack || z > c.bu[j] + slack) feasible = false;
      v[j] = std::clamp(static_cast<double>(z), c.bl[j], c.bu[j]);
    }
    if (!feasible) continue;
    const long double obj = c.objective(v);
    if (!best.found || obj < best.obj) best = {true, obj, v};
  }
  return best;
}

void expect_same_solve(Case& c, int key = 0) {
  Case g = c;
  const BvlsStatus fast = c.solve(key);
  const BvlsStatus general = g.solve_general(key);
  EXPECT_EQ(fast.ierr, general.ierr);
  EXPECT_EQ(fast.loop, general.loop);
  // Bit for bit: both kernels evaluate the same expressions in the same order.
  for (int j = 0; j < c.n; ++j) {
    EXPECT_EQ(c.x[j], g.x[j]) << "x" << j + 1;
    EXPECT_EQ(c.work.w[j], g.work.w[j]) << "w" << j + 1;
  }
  for (int k = 0; k <= c.n; ++k) EXPECT_EQ(c.work.istate[k], g.work.istate[k]) << "istate " << k;
}

TEST(BoundedLsq, ZeroColumnStaysAtItsBoundAndLeavesTheOtherAlone) {
  // Background column zero, as without constant subtraction. Scale alone: x1 = a·b / a·a with
  // a = (1, 2, 3), b = (2, 4, 7): (2 + 8 + 21) / 14 = 31/14.
  for (const bool general : {false, true}) {
    SCOPED_TRACE(general ? "general" : "automatic");
    Case c(3, 2);
    const double col[] = {1, 2, 3}, rhs[] = {2, 4, 7};
    for (int i = 0; i < 3; ++i) c.at(i, 0) = col[i], c.at(i, 1) = 0.0, c.b[i] = rhs[i];
    c.bl = {1e-20, -0.5};
    c.bu = {kBig, 0.5};
    const BvlsStatus st = general ? c.solve_general() : c.solve();
    ASSERT_EQ(st.ierr, kBvlsOk) << st.message;
    EXPECT_TRUE(st.message.empty());
    EXPECT_EQ(c.x[1], -0.5);
    EXPECT_NEAR(c.x[0], 31.0 / 14.0, 1e-15);
    EXPECT_EQ(c.work.istate[2], 1);   // one variable at a bound ...
    EXPECT_EQ(c.work.istate[0], -2);  // ... the second, at its lower bound
    EXPECT_EQ(c.work.istate[1], 1);   // the first is free
    EXPECT_EQ(c.work.w[1], 0.0);
  }
}

TEST(BoundedLsq, InteriorSolutionIsTheUnconstrainedOne) {
  // A = [[1,0],[0,1],[1,1]], b = (1, 2, 3.3): AᵀA = [[2,1],[1,2]], Aᵀb = (4.3, 5.3), so
  // x = ((2·4.3 − 5.3)/3, (2·5.3 − 4.3)/3) = (1.1, 2.1). A lower bound of −1e20 must not wipe out
  // b by cancellation when its variable leaves the bound.
  const double lows[][2] = {{-10, -10}, {-kBig, -kBig}, {0, 0}, {-kBig, 2.0}};
  for (const auto& low : lows) {
    SCOPED_TRACE(testing::Message() << "lower bounds " << low[0] << ", " << low[1]);
    Case c(3, 2);
    c.at(0, 0) = 1, c.at(1, 0) = 0, c.at(2, 0) = 1;
    c.at(0, 1) = 0, c.at(1, 1) = 1, c.at(2, 1) = 1;
    c.b = {1, 2, 3.3};
    c.bl = {low[0], low[1]};
    c.bu = {kBig, 10};
    ASSERT_EQ(c.solve().ierr, kBvlsOk);
    EXPECT_NEAR(c.x[0], 1.1, 1e-14);
    EXPECT_NEAR(c.x[1], 2.1, 1e-14);
    EXPECT_EQ(c.work.istate[2], 0);
    expect_same_solve(c);
  }
}

TEST(BoundedLsq, StepFromWideBoundsFindsTheVariableThatLimitsIt) {
  // A = [[1, −0.5], [0, 1]], b = (−1, −2): unconstrained optimum (−2, −2); lower bounds −1e20.
  // From (−1e20, −1e20) x2 enters first, at about −0.4e20, then x1: both head for (−2, −2) from
  // ~1e20 away, and the step fractions to the two upper bounds differ only near 1e-20, far below
  // the rounding of alpha ≈ 1. Taking the wrong variable as the limit, or landing at x ≈ 0,
  // binds both and returns (−2.5, −4) for the first row. Hand solutions (one variable bound,
  // the other by one column):
  //   bu = (−2.5, −4): x2 limits; x2 = −4, x1 = argmin ‖(−3 − x1, 2)‖ = −3; ‖r‖² = 4 (vs 4.25
  //   with both bound).
  //   bu = (−4, −2.5): x1 limits; x1 = −4, x2 = a2·(3, −2)/‖a2‖² = −3.5/1.25 = −2.8; ‖r‖² = 3.2.
  struct Row { double bu1, bu2, x1, x2; };
  const Row rows[] = {{-2.5, -4.0, -3.0, -4.0}, {-4.0, -2.5, -4.0, -2.8}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "upper bounds " << r.bu1 << ", " << r.bu2);
    Case c(2, 2);
    c.at(0, 0) = 1, c.at(1, 0) = 0, c.at(0, 1) = -0.5, c.at(1, 1) = 1;
    c.b = {-1, -2};
    c.bl = {-kBig, -kBig};
    c.bu = {r.bu1, r.bu2};
    ASSERT_EQ(c.solve().ierr, kBvlsOk);
    EXPECT_NEAR(c.x[0], r.x1, 1e-14);
    EXPECT_NEAR(c.x[1], r.x2, 1e-14);
    expect_same_solve(c);
  }
}

TEST(BoundedLsq, TallFitLikeProblemRecoversScaleAndBackground) {
  // b = 2.5·exp(−i/1000) + 0.1 exactly in the span of the two columns: x = (2.5, 0.1).
  for (const int m : {500, 5000}) {
    SCOPED_TRACE(m);
    Case c(m, 2, 5000);
    for (int i = 0; i < m; ++i) {
      c.at(i, 0) = std::exp(-i / 1000.0);
      c.at(i, 1) = 1.0;
      c.b[i] = 2.5 * c.at(i, 0) + 0.1;
    }
    c.bl = {1e-20, -0.5};
    c.bu = {kBig, 0.5};
    ASSERT_EQ(c.solve().ierr, kBvlsOk);
    EXPECT_NEAR(c.x[0], 2.5, 1e-12);
    EXPECT_NEAR(c.x[1], 0.1, 1e-12);
    expect_same_solve(c);
  }
}

TEST(BoundedLsq, OrthogonalColumnsClampEachVariable) {
  // With A = diag(d) each variable is independent: x_j = clamp(b_j / d_j, bl_j, bu_j).
  struct Row { double d, b, lo, hi, want; };
  const Row rows[] = {
      {1, 10, 0, 1, 1},        // a variable that passes right through its box ends at the far bound
      {-2, 4, -1, 3, -1},      // negative column: unconstrained −2, clamped to −1
      {3, -6, -1, 1, -1},      // wants −2
      {0.5, 0.25, 0, 1, 0.5},  // interior
      {4, 8, 2, 5, 2},         // optimum exactly on the lower bound
  };
  for (const int n : {1, 2, 3, 5}) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    Case c(n, n);
    for (int j = 0; j < n; ++j) {
      const Row& r = rows[j];
      c.at(j, j) = r.d;
      c.b[j] = r.b;
      c.bl[j] = r.lo;
      c.bu[j] = r.hi;
    }
    const BvlsStatus st = c.solve();
    ASSERT_EQ(st.ierr, kBvlsOk) << st.message;
    for (int j = 0; j < n; ++j) EXPECT_DOUBLE_EQ(c.x[j], rows[j].want) << "x" << j + 1;
  }
}

TEST(BoundedLsq, InteriorProblemTakesOneIterationPerVariable) {
  // Orthogonal columns, optimum inside the box: each outer iteration frees one variable at its
  // unconstrained value, and iteration n + 1 finds the free set complete.
  const int n = 4;
  Case c(6, n);
  for (int j = 0; j < n; ++j) c.at(j, j) = j + 1.0, c.b[j] = 0.5 * (j + 1.0);
  c.b[4] = 1.0;
  std::fill(c.bl.begin(), c.bl.end(), -1.0);
  std::fill(c.bu.begin(), c.bu.end(), 1.0);
  const BvlsStatus st = c.solve();
  ASSERT_EQ(st.ierr, kBvlsOk);
  EXPECT_EQ(st.loop, n + 1);
  for (int j = 0; j < n; ++j) EXPECT_NEAR(c.x[j], 0.5, 1e-15);
}

TEST(BoundedLsq, ChecksReportTheirCodeAndMessageBeforeAnyWork) {
  struct Row {
    const char* what;
    int mm, m, n;
    double bl1, bu1, bl2, bu2;
    int ierr;
    const char* message;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const char* dims = "F04BVLLS -E- Check dimensions.";
  const char* bounds = "F04BVLLS -E- Inconsistent bounds on X.";
  const Row rows[] = {
      {"mm < m", 2, 3, 2, 0, 1, 0, 1, kBvlsBadDimensions, dims},
      {"no rows", 3, 0, 2, 0, 1, 0, 1, kBvlsBadDimensions, dims},
      {"no variables", 3, 3, 0, 0, 1, 0, 1, kBvlsBadDimensions, dims},
      {"dimensions before bounds", 2, 3, 2, 1, 0, 0, 1, kBvlsBadDimensions, dims},
      {"bl > bu", 3, 3, 2, 0, 1, 2, 1, kBvlsInconsistentBounds, bounds},
      {"NaN bound", 3, 3, 2, 0, nan, 0, 1, kBvlsInconsistentBounds, bounds},
      {"infinite bound", 3, 3, 2, -inf, 1, 0, 1, kBvlsInconsistentBounds, bounds},
      {"inconsistent before pinned", 3, 3, 2, 1, 1, 2, 1, kBvlsInconsistentBounds, bounds},
      {"all pinned", 3, 3, 2, 1, 1, -2, -2, kBvlsNoFreeVariables,
       "F04BVLLS -E- No free variables - check input bounds."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Case c(3, 2);
    for (int i = 0; i < 3; ++i) c.at(i, 0) = 1.0 + i, c.at(i, 1) = 1.0, c.b[i] = i;
    c.bl = {r.bl1, r.bl2};
    c.bu = {r.bu1, r.bu2};
    c.x = {7.0, 8.0};
    const BvlsStatus st = bvls_solve(0, r.mm, r.m, r.n, c.a, c.b, c.bl, c.bu, c.x, c.work.view());
    EXPECT_EQ(st.ierr, r.ierr);
    EXPECT_EQ(st.message, r.message);
    EXPECT_EQ(st.loop, 0);
    EXPECT_EQ(c.x[0], 7.0);  // untouched
    EXPECT_EQ(c.x[1], 8.0);
  }
}

TEST(BoundedLsq, StorageTooSmallIsADimensionError) {
  Case c(4, 3);
  for (int i = 0; i < 4; ++i) c.at(i, i % 3) = 1.0, c.b[i] = 1.0;
  std::fill(c.bu.begin(), c.bu.end(), 1.0);
  auto w = c.work.view();
  const std::span<double> a(c.a);
  struct Row { const char* what; BvlsWork work; std::span<const double> a; };
  const Row rows[] = {
      {"a", w, a.first(a.size() - 1)},
      {"act", {w.w, w.act.first(4 * 5 - 1), w.zz, w.istate}, a},
      {"zz", {w.w, w.act, w.zz.first(3), w.istate}, a},
      {"istate", {w.w, w.act, w.zz, w.istate.first(3)}, a},
      {"w", {w.w.first(2), w.act, w.zz, w.istate}, a},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const BvlsStatus st = bvls_solve(0, 4, 4, 3, r.a, c.b, c.bl, c.bu, c.x, r.work);
    EXPECT_EQ(st.ierr, kBvlsBadDimensions);
  }
  EXPECT_EQ(c.solve().ierr, kBvlsOk);  // the full storage is enough
}

TEST(BoundedLsq, WarmStartStatesAreChecked) {
  // One row, two variables: at most min(m, n) = 1 variable may start free.
  struct Row { const char* what; std::vector<int> istate; int ierr; };
  const Row rows[] = {
      {"two free with one row", {1, 2, 0}, kBvlsTooManyActive},
      {"bound count above n", {-1, -2, 3}, kBvlsTooManyActive},
      {"bound count negative", {-1, -2, -1}, kBvlsTooManyActive},
      {"variable twice", {-1, 1, 1}, kBvlsTooManyActive},
      {"variable out of range", {-3, 1, 1}, kBvlsTooManyActive},
      {"free entry negative", {2, -1, 1}, kBvlsTooManyActive},
      {"valid: x2 at upper, x1 free", {2, 1, 1}, kBvlsOk},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Case c(1, 2);
    c.at(0, 0) = 1.0, c.at(0, 1) = 2.0, c.b[0] = 1.0;
    c.bl = {-5, -5};
    c.bu = {5, 5};
    c.x = {7.0, 8.0};
    std::copy(r.istate.begin(), r.istate.end(), c.work.istate.begin());
    const BvlsStatus st = c.solve(1);
    EXPECT_EQ(st.ierr, r.ierr);
    if (r.ierr == kBvlsTooManyActive) {
      EXPECT_EQ(st.message, "F04BVLLS -E- Too many active variables in starting solution!");
      EXPECT_EQ(c.x[0], 7.0);
    }
  }
}

TEST(BoundedLsq, WarmStartFromASolutionConvergesAtOnce) {
  // x1 free and x2 at its upper bound 5 solve 1·x1 + 2·x2 = 1 exactly: x1 = 1 − 10 = −9.
  Case c(1, 2);
  c.at(0, 0) = 1.0, c.at(0, 1) = 2.0, c.b[0] = 1.0;
  c.bl = {-20, -5};
  c.bu = {20, 5};
  c.work.istate = {2, 1, 1};
  const BvlsStatus st = c.solve(1);
  ASSERT_EQ(st.ierr, kBvlsOk);
  EXPECT_LE(st.loop, 2);
  EXPECT_EQ(c.x[1], 5.0);
  EXPECT_NEAR(c.x[0], -9.0, 1e-15);
}

TEST(BoundedLsq, IterationLimitLeavesAFeasibleIterate) {
  // The interior 3 x 2 problem needs three outer iterations; allow one.
  Case c(3, 2);
  c.at(0, 0) = 1, c.at(1, 0) = 0, c.at(2, 0) = 1;
  c.at(0, 1) = 0, c.at(1, 1) = 1, c.at(2, 1) = 1;
  c.b = {1, 2, 3.3};
  c.bl = {-10, -10};
  c.bu = {10, 10};
  const BvlsStatus st = c.solve_general(0, 1);
  EXPECT_EQ(st.ierr, kBvlsNoConvergence);
  EXPECT_EQ(st.message, "F04BVLLS -E- Fails to converge. Exit on iteration count.");
  EXPECT_EQ(st.loop, 1);
  EXPECT_EQ(c.work.istate[2], 1);  // one freed, one still at its bound
  for (int j = 0; j < 2; ++j) {
    EXPECT_GE(c.x[j], c.bl[j]);
    EXPECT_LE(c.x[j], c.bu[j]);
  }
}

TEST(BoundedLsq, FreeSetCannotOutgrowTheRows) {
  // One row 3·x1 + x2 = 1 with x2 held at −7.77e6: freeing x1 fits the row up to rounding at
  // the scale of 7.77e6, far above eps·|b|. The sign of that residual decides whether x2's
  // gradient points into its box: from its lower bound (cold start) it then wants to enter a
  // free set that already has min(m, n) = 1 member (−6); from its upper bound (warm start) the
  // optimality test passes. Either way x1 = (1 + 7.77e6)/3.
  const double hold = -7.77e6;
  Case lower(1, 2), upper(1, 2);
  for (Case* c : {&lower, &upper}) c->at(0, 0) = 3.0, c->at(0, 1) = 1.0, c->b[0] = 1.0;
  lower.bl = {-1e7, hold}, lower.bu = {1e7, 0.0};
  upper.bl = {-1e7, hold - 1e6}, upper.bu = {1e7, hold};
  upper.work.istate = {2, 1, 1};
  const BvlsStatus from_lower = lower.solve(0);
  const BvlsStatus from_upper = upper.solve(1);
  for (const Case* c : {&lower, &upper}) {
    EXPECT_EQ(c->x[1], hold);
    EXPECT_NEAR(c->x[0], (1.0 - hold) / 3.0, 1e-9);
  }
  const double r = 1.0 - 3.0 * lower.x[0] - hold;
  ASSERT_GT(std::fabs(r), std::numeric_limits<double>::epsilon());
  const BvlsStatus& refused = r > 0 ? from_lower : from_upper;
  const BvlsStatus& accepted = r > 0 ? from_upper : from_lower;
  EXPECT_EQ(refused.ierr, kBvlsTooManyFree);
  EXPECT_EQ(refused.message, "F04BVLLS -E- Too many free variables.");
  EXPECT_EQ(accepted.ierr, kBvlsOk);
}

TEST(BoundedLsq, NonFiniteDataIsReported) {
  for (const bool in_a : {true, false}) {
    SCOPED_TRACE(in_a ? "A" : "b");
    Case c(3, 2);
    for (int i = 0; i < 3; ++i) c.at(i, 0) = 1.0 + i, c.at(i, 1) = 1.0, c.b[i] = i;
    (in_a ? c.at(1, 1) : c.b[2]) = in_a ? std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::quiet_NaN();
    c.bu = {1, 1};
    const BvlsStatus st = c.solve();
    EXPECT_EQ(st.ierr, kBvlsNonFiniteData);
    EXPECT_EQ(st.message, "F04BVLLS -E- Non-finite value in A or b.");
  }
}

TEST(BoundedLsq, RandomProblemsMatchTheExhaustiveSearch) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> pick(0, 5);
  int checked = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const int m = 1 + trial % 8;
    const int n = 1 + (trial / 8) % 4;
    SCOPED_TRACE(testing::Message() << "trial " << trial << ", m = " << m << ", n = " << n);
    Case c(m, n, m + trial % 3);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) c.at(i, j) = unit(rng);
    for (int i = 0; i < m; ++i) c.b[i] = 3.0 * unit(rng);
    bool any_room = false;
    for (int j = 0; j < n; ++j) {
      const double lo = 2.0 * unit(rng), width = 0.1 + 2.0 * (unit(rng) + 1.0);
      switch (pick(rng)) {
        case 0: c.bl[j] = -kBig, c.bu[j] = lo; break;
        case 1: c.bl[j] = lo, c.bu[j] = kBig; break;
        case 2: c.bl[j] = -kBig, c.bu[j] = kBig; break;
        case 3: c.bl[j] = c.bu[j] = lo; break;  // pinned
        default: c.bl[j] = lo, c.bu[j] = lo + width; break;
      }
      any_room = any_room || c.bl[j] < c.bu[j];
    }
    Case general = c;
    const BvlsStatus st = c.solve();
    if (!any_room) {
      EXPECT_EQ(st.ierr, kBvlsNoFreeVariables);
      continue;
    }
    // With fewer rows than variables the last variable may find the free set full only
    // through rounding; x is then already optimal.
    if (m >= n) {
      ASSERT_EQ(st.ierr, kBvlsOk) << st.message;
    } else {
      ASSERT_TRUE(st.ierr == kBvlsOk || st.ierr == kBvlsTooManyFree) << st.message;
    }
    for (int j = 0; j < n; ++j) {
      ASSERT_GE(c.x[j], c.bl[j]);
      ASSERT_LE(c.x[j], c.bu[j]);
    }
    const Best best = exhaustive(c);
    ASSERT_TRUE(best.found);
    const long double obj = c.objective(c.x);
    // Rounding noise of the residual: a few eps times the largest term of a row of b − A·x
    // (large when a variable rests at ±1e20 while the rows are already fitted exactly).
    double scale = 0;
    for (int i = 0; i < m; ++i) {
      double row = std::fabs(c.b[i]);
      for (int j = 0; j < n; ++j) row += std::fabs(c.at(i, j) * c.x[j]);
      scale = std::max(scale, row);
    }
    const double noise = 64 * std::numeric_limits<double>::epsilon() * m * scale;
    EXPECT_LE(obj, best.obj * (1 + 1e-9L) + static_cast<long double>(noise) * noise + 1e-20L);
    if (m >= n) {
      // A random tall A has full column rank: the minimiser is unique.
      for (int j = 0; j < n; ++j) EXPECT_NEAR(c.x[j], best.x[j], 1e-7 * (1 + std::fabs(best.x[j])));
    }
    // The returned w is the negative gradient at x and satisfies the optimality conditions.
    for (int j = 0; j < n; ++j) {
      long double g = 0;
      for (int i = 0; i < m; ++i) {
        long double r = c.b[i];
        for (int k = 0; k < n; ++k) r -= c.get(i, k) * c.x[k];
        g += c.get(i, j) * r;
      }
      const double gtol = 1e-9 + noise;
      EXPECT_NEAR(c.work.w[j], static_cast<double>(g), gtol);
      if (st.ierr == kBvlsOk && c.bl[j] < c.bu[j]) {
        // At the lower bound the gradient may only push down, at the upper only up; inside, none.
        const double most = c.x[j] == c.bu[j] ? std::numeric_limits<double>::max() : gtol;
        const double least = c.x[j] == c.bl[j] ? -std::numeric_limits<double>::max() : -gtol;
        EXPECT_LE(c.work.w[j], most) << "w" << j + 1;
        EXPECT_GE(c.work.w[j], least) << "w" << j + 1;
      }
    }
    if (n <= 2) expect_same_solve(general);
    ++checked;
  }
  EXPECT_GT(checked, 2500);
}

TEST(BoundedLsq, StreamingPathRepeatsTheGeneralOneOnTallProblems) {
  // Lengths that exercise every remainder of the four-way sums, bounds that cut in.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (const int m : {1, 2, 3, 5, 6, 7, 9, 64, 501}) {
    for (int rep = 0; rep < 20; ++rep) {
      SCOPED_TRACE(testing::Message() << "m = " << m << ", rep " << rep);
      Case c(m, 2, m + 1);
      for (int i = 0; i < m; ++i) {
        c.at(i, 0) = std::exp(-0.01 * i) * (1 + 0.1 * unit(rng));
        c.at(i, 1) = rep % 4 == 0 ? 0.0 : 1.0 + 0.5 * unit(rng);
        c.b[i] = 2.0 * c.at(i, 0) + unit(rng);
      }
      c.bl = {1e-20, -0.5 + 0.4 * unit(rng)};
      c.bu = {rep % 3 == 0 ? 1.0 : kBig, 0.5};
      expect_same_solve(c);
    }
  }
}

}  // namespace
}  // namespace tessel
