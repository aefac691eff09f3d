// The hydration shell: the radial integral table, the forward amplitude as the shell volume, a
// spherical shell from a constant envelope, and the progress marks.
#include "core/hydration_shell.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/s_grid.hpp"
#include "scattering_models.hpp"

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;

// ∫₀ˣ j_l(t)·t² dt by Simpson's rule on 20,000 intervals, with the library's j_l.
double radial_integral(int l, double x) {
  const int n = 20000;
  const double h = x / n;
  auto f = [l](double t) { return std::sph_bessel(static_cast<unsigned>(l), t) * t * t; };
  double sum = f(0.0) + f(x);
  for (int i = 1; i < n; ++i) sum += (i % 2 == 1 ? 4.0 : 2.0) * f(i * h);
  return sum * h / 3.0;
}

// ∫ j_0(s·r)·r² dr over [a, b] = (J_0(s·b) − J_0(s·a))/s³ with J_0(x) = sin x − x·cos x.
double shell_j0_integral(double s, double a, double b) {
  auto j0 = [](double x) { return std::sin(x) - x * std::cos(x); };
  return (j0(s * b) - j0(s * a)) / (s * s * s);
}

}  // namespace

TEST(HydrationShell, IntegralTableFollowsTheRadialIntegrals) {
  // Envelope of 20 Å at s_max = 0.5: the table reaches x = 1.0001·0.5·25 and Δx ≈ 0.00625. The
  // running midpoint sum errs by at most Δx²/24·∫|f''| and the straight line between nodes by
  // Δx²/8·max|f''|, where f = j_l(t)·t² has |f''| ≤ 3 + t.
  const LineTable t = make_shell_integral_table(10, 0.5, 20.0);
  const double dx = t.step();
  EXPECT_DOUBLE_EQ(dx, 1.0001 * 0.5 * 25.0 / 2000.0);
  auto bound = [dx](double x) { return dx * dx * ((3.0 * x + x * x / 2.0) / 24.0 + (3.0 + x) / 8.0); };
  for (const double x : {0.0, 0.3, 1.0, 2.71, 6.0, 9.99, 12.3}) {
    SCOPED_TRACE(testing::Message() << "x=" << x);
    // J_0 = sin x − x·cos x and J_1 = 2 − 2·cos x − x·sin x in closed form.
    EXPECT_NEAR(t(0, x), std::sin(x) - x * std::cos(x), bound(x));
    EXPECT_NEAR(t(1, x), 2.0 - 2.0 * std::cos(x) - x * std::sin(x), bound(x));
    for (const int l : {2, 5, 10}) EXPECT_NEAR(t(l, x), radial_integral(l, x), bound(x)) << "l=" << l;
  }
}

TEST(HydrationShell, ForwardAmplitudeIsTheShellVolume) {
  // B_00(0) = V_B/(π√2), V_B = (4π/(3N))·Σ ((F_j + 4)³ − (F_j + 1)³); nothing else at s = 0.
  const HarmonicTables& tables = testing_models::tables(15);
  const int n = tables.grid().size();
  std::mt19937 gen(6);
  std::uniform_real_distribution<double> u(8.0, 30.0);
  std::vector<double> f(static_cast<std::size_t>(n));
  for (double& v : f) v = u(gen);
  double sum = 0.0;
  for (const double v : f) sum += std::pow(v + 4.0, 3) - std::pow(v + 1.0, 3);
  const double v_b = 4.0 * kPi / (3.0 * n) * sum;
  const std::vector<double> s = make_s_grid(21, 0.5);
  const PartialAmplitudes b = shell_amplitude(tables, s, f, make_shell_integral_table(15, 0.5, 30.0));
  EXPECT_NEAR(b.at(0, 0, 0).real(), v_b / (kPi * std::sqrt(2.0)), 1e-12 * v_b);
  EXPECT_EQ(b.at(0, 0, 0).imag(), 0.0);
  for (int i = 1; i < b.pair_count(); ++i) EXPECT_EQ(std::abs(b(i, 0)), 0.0) << "index " << i;
}

TEST(HydrationShell, ConstantEnvelopeGivesASphericalShell) {
  // F = 12 Å everywhere: a spherical shell between 13 and 16 Å, whose only multipole is
  // B_00(s) = √(2/π)·√(4π)·∫ j_0(s·r)·r² dr = 2√2·∫ j_0(s·r)·r² dr.
  // Up to x_out = s·16 = 0.4 the integral is the series of j_0 to x⁴; the first term left out,
  // x⁶·r³/(48·7!!·9) for the outer radius, bounds its error. Above, the table difference
  // (J_0(x_out) − J_0(x_in))/s³ errs by twice the table error of J_0: Δx²/8·max|J_0''| for the
  // straight lines plus Δx²/24·∫|J_0'''| for the midpoint sums, with |J_0''| = |sin t + t·cos t|
  // ≤ 1 + t and |J_0'''| ≤ 2 + t, all over s³: large just above the limit, where s is small.
  const HarmonicTables& tables = testing_models::tables(15);
  const std::vector<double> f(static_cast<std::size_t>(tables.grid().size()), 12.0);
  const double edge = 0.4 / 16.0;  // s where x_out = 0.4
  const std::vector<double> s = {0.0, 0.001, 0.01, edge * (1 - 1e-9), edge * (1 + 1e-9), 0.05,
                                 0.1, 0.2, 0.3, 0.5};
  const LineTable integrals = make_shell_integral_table(15, 0.5, 12.0);
  const double dx = integrals.step();
  const PartialAmplitudes b = shell_amplitude(tables, s, f, integrals);
  const double forward = 2.0 * std::sqrt(2.0) * (16.0 * 16.0 * 16.0 - 13.0 * 13.0 * 13.0) / 3.0;
  EXPECT_NEAR(b.at(0, 0, 0).real(), forward, 1e-12 * forward);
  for (std::size_t k = 1; k < s.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "s=" << s[k]);
    const double want = 2.0 * std::sqrt(2.0) * shell_j0_integral(s[k], 13.0, 16.0);
    const double x = s[k] * 16.0;
    // sin x − x·cos x cancels to x³/3 at small x: the reference itself holds ~1e-12.
    double tolerance = 1e-11 * forward;
    if (x <= 0.4) {
      tolerance += 2.0 * std::sqrt(2.0) * std::pow(x, 6) * 16.0 * 16.0 * 16.0 / (48.0 * 105.0 * 9.0);
    } else {
      const double table = dx * dx * ((1.0 + x) / 8.0 + (2.0 * x + x * x / 2.0) / 24.0);
      tolerance += 2.0 * std::sqrt(2.0) * 2.0 * table / (s[k] * s[k] * s[k]);
    }
    EXPECT_NEAR(b.at(0, 0, static_cast<int>(k)).real(), want, tolerance);
  }
}

TEST(HydrationShell, ProgressMarksFollowTheDirections) {
  const HarmonicTables& tables = testing_models::tables(15);
  const std::vector<double> f(static_cast<std::size_t>(tables.grid().size()), 5.0);
  const std::vector<double> s = make_s_grid(3, 0.5);
  int marks = 0;
  ProgressMarks progress(tables.grid().size(), [&marks] { ++marks; });
  (void)shell_amplitude(tables, s, f, make_shell_integral_table(15, 0.5, 5.0), &progress);
  EXPECT_EQ(marks, 40);  // 2584 directions, a mark every 64
}

}  // namespace tessel
