// Bounded least squares from the normal equations, checked against the bounded solver on the
// full tall system: free and bound solutions, a dependent column.
#include "core/subset_least_squares.hpp"

#include <gtest/gtest.h>

#include <random>

#include "core/bounded_lsq.hpp"

namespace {

struct Tall {
  int m, n;
  std::vector<double> a, b;  // A by columns
  std::vector<double> g, h;
  double bb = 0;
  Tall(int rows, int cols, unsigned seed) : m(rows), n(cols), a(static_cast<std::size_t>(rows * cols)), b(static_cast<std::size_t>(rows)) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (double& v : a) v = u(random);
    for (double& v : b) v = u(random);
    normal();
  }
  void normal() {
    g.assign(static_cast<std::size_t>(n * n), 0.0);
    h.assign(static_cast<std::size_t>(n), 0.0);
    bb = 0;
    for (int i = 0; i < m; ++i) {
      bb += b[static_cast<std::size_t>(i)] * b[static_cast<std::size_t>(i)];
      for (int j = 0; j < n; ++j) {
        h[static_cast<std::size_t>(j)] += col(j)[i] * b[static_cast<std::size_t>(i)];
        for (int k = 0; k < n; ++k) g[static_cast<std::size_t>(j * n + k)] += col(j)[i] * col(k)[i];
      }
    }
  }
  const double* col(int j) const { return a.data() + j * m; }
  double residual(const std::vector<double>& x) const {
    double sum = 0;
    for (int i = 0; i < m; ++i) {
      double r = b[static_cast<std::size_t>(i)];
      for (int j = 0; j < n; ++j) r -= col(j)[i] * x[static_cast<std::size_t>(j)];
      sum += r * r;
    }
    return sum;
  }
};

void expect_same_as_tall(const Tall& t, const std::vector<double>& lo, const std::vector<double>& hi,
                         bool bounded) {
  std::vector<double> x(static_cast<std::size_t>(t.n)), ref(static_cast<std::size_t>(t.n), 0.0);
  const tessel::NormalSolve r = tessel::solve_normal_bounded(t.g, t.h, t.bb, lo, hi, x);
  tessel::BvlsWorkspace w(t.m, t.n);
  ASSERT_TRUE(tessel::bvls_solve(0, t.m, t.m, t.n, t.a, t.b, lo, hi, ref, w.view()).ok());
  EXPECT_EQ(r.bounded, bounded);
  EXPECT_EQ(r.dependent, 0);
  for (int j = 0; j < t.n; ++j) EXPECT_NEAR(x[static_cast<std::size_t>(j)], ref[static_cast<std::size_t>(j)], 1e-9) << j;
  EXPECT_NEAR(r.residual, t.residual(ref), 1e-10 * t.bb);
}

TEST(SubsetLeastSquares, MatchesTheBoundedSolverOnTheTallSystem) {
  const Tall t(60, 4, 7);
  // Wide bounds: the unconstrained solution.
  expect_same_as_tall(t, std::vector<double>(4, -1e20), std::vector<double>(4, 1e20), false);
  // Non-negative weights and a tight band on the first variable: some bounds are active.
  expect_same_as_tall(t, {-0.05, 0, 0, 0}, {0.05, 1e20, 1e20, 1e20}, true);
}

TEST(SubsetLeastSquares, DependentColumnIsHeldAtZero) {
  Tall t(40, 3, 11);
  std::copy_n(t.col(1), t.m, t.a.begin() + 2 * t.m);  // column 3 = column 2
  t.normal();
  std::vector<double> x(3);
  const std::vector<double> lo(3, 0.0), hi(3, 1e20);
  const tessel::NormalSolve r = tessel::solve_normal_bounded(t.g, t.h, t.bb, lo, hi, x);
  EXPECT_EQ(r.dependent, 1);
  EXPECT_EQ(x[2], 0.0);
  // The same as the problem of the first two columns alone.
  Tall two = t;
  two.n = 2;
  two.a.resize(static_cast<std::size_t>(2 * t.m));
  two.normal();
  std::vector<double> ref(2, 0.0);
  tessel::BvlsWorkspace w(two.m, 2);
  ASSERT_TRUE(tessel::bvls_solve(0, two.m, two.m, 2, two.a, two.b, std::vector<double>(2, 0.0),
                                 std::vector<double>(2, 1e20), ref, w.view()).ok());
  EXPECT_NEAR(x[0], ref[0], 1e-9);
  EXPECT_NEAR(x[1], ref[1], 1e-9);
  EXPECT_NEAR(r.residual, two.residual(ref), 1e-10 * t.bb);
}

}  // namespace
