// Shell amplitudes of several widths: the 3 Å width against the single shell, a spherical
// envelope against the closed-form integral of j_0, the forward values against the layer
// volumes, the statistics per width, and independence of threads and instruction sets.
#include "core/shell_widths.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "core/hydration_shell.hpp"
#include "core/s_grid.hpp"
#include "scattering_models.hpp"

namespace tessel {
namespace {

constexpr double kPi = std::numbers::pi;

std::vector<double> random_envelope(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(8.0, 26.0);
  std::vector<double> f(static_cast<std::size_t>(n));
  for (double& v : f) v = u(gen);
  return f;
}

}  // namespace

TEST(ShellWidths, ThreeAngstromsIsTheSingleShellAndForwardValuesAreLayerVolumes) {
  const HarmonicTables& tables = testing_models::tables(15);
  const int n = tables.grid().size();
  const std::vector<double> f = random_envelope(n, 11);
  const std::vector<double> s = make_s_grid(31, 0.5);
  const std::vector<double> widths = {1.0, 3.0, 6.0};
  const double reach = shell_table_radius(26.0, 6.0);
  EXPECT_DOUBLE_EQ(reach, 28.0);  // 26 + 1 + 6 must lie within R + 5
  const LineTable table = make_shell_integral_table(15, 0.5, reach);
  const ShellWidthAmplitudes b = shell_amplitudes_for_widths(tables, s, f, table, widths);
  ASSERT_EQ(b.amplitudes.size(), 3u);

  // The same sum as the single shell with the same table, in another order: equal to rounding.
  const PartialAmplitudes single = shell_amplitude(tables, s, f, table);
  double largest = 0.0;
  for (const auto& v : single.values()) largest = std::max(largest, std::abs(v));
  for (int k = 0; k < single.n_points(); ++k) {
    for (int i = 0; i < single.pair_count(); ++i) {
      ASSERT_NEAR(std::abs(b.amplitudes[1](i, k) - single(i, k)), 0.0, 1e-12 * largest)
          << "index " << i << " point " << k;
    }
  }

  // B_00(0) = V_w/(π√2), V_w = (4π/(3N))·Σ ((F + 1 + w)³ − (F + 1)³); statistics over F..F+w.
  for (std::size_t w = 0; w < widths.size(); ++w) {
    double layer = 0.0, shell3 = 0.0, shell5 = 0.0;
    for (const double v : f) {
      layer += std::pow(v + 1.0 + widths[w], 3) - std::pow(v + 1.0, 3);
      shell3 += std::pow(v + widths[w], 3) - std::pow(v, 3);
      shell5 += std::pow(v + widths[w], 5) - std::pow(v, 5);
    }
    const double v_w = 4.0 * kPi / (3.0 * n) * layer;
    EXPECT_NEAR(b.amplitudes[w].at(0, 0, 0).real(), v_w / (kPi * std::sqrt(2.0)), 1e-12 * v_w);
    EXPECT_NEAR(b.volumes[w], 4.188748316884343 * shell3 / n, 1e-12 * b.volumes[w]);
    EXPECT_NEAR(b.rgs[w], std::sqrt(0.6 * shell5 / shell3), 1e-12 * b.rgs[w]);
  }
  EXPECT_LT(b.amplitudes[0].at(0, 0, 0).real(), b.amplitudes[2].at(0, 0, 0).real());
}

TEST(ShellWidths, SphericalEnvelopeFollowsTheClosedForm) {
  // F = 15 Å everywhere: B_00(s) = 2√2·∫ j_0(s·r)·r² dr over [16, 16 + w], the integral
  // (J_0(s·b) − J_0(s·a))/s³ with J_0(x) = sin x − x·cos x; the table's straight lines and
  // midpoint sums err by about Δx² = (0.5·27/2000)² relative to J_0, so 1e-4 of the forward value
  // bounds them. Higher orders vanish up to the grid's quadrature error.
  const HarmonicTables& tables = testing_models::tables(15);
  const std::vector<double> f(static_cast<std::size_t>(tables.grid().size()), 15.0);
  const std::vector<double> s = make_s_grid(26, 0.5);
  const std::vector<double> widths = {1.5, 4.0, 6.0};
  const LineTable table = make_shell_integral_table(15, 0.5, shell_table_radius(15.0, 6.0));
  const ShellWidthAmplitudes b = shell_amplitudes_for_widths(tables, s, f, table, widths);
  auto j0 = [](double x) { return std::sin(x) - x * std::cos(x); };
  for (std::size_t w = 0; w < widths.size(); ++w) {
    const double a = 16.0, c = 16.0 + widths[w];
    const double forward = 2.0 * std::sqrt(2.0) * (c * c * c - a * a * a) / 3.0;
    for (int k = 1; k < static_cast<int>(s.size()); ++k) {
      const double sk = s[static_cast<std::size_t>(k)];
      const double expected = 2.0 * std::sqrt(2.0) * (j0(sk * c) - j0(sk * a)) / (sk * sk * sk);
      EXPECT_NEAR(b.amplitudes[w].at(0, 0, k).real(), expected, 1e-4 * forward)
          << "width " << widths[w] << " s " << sk;
      EXPECT_NEAR(std::abs(b.amplitudes[w].at(2, 1, k)), 0.0, 1e-3 * forward);
    }
  }
}

TEST(ShellWidths, ThreadsAndInstructionSetsGiveTheSameBits) {
  const HarmonicTables& tables = testing_models::tables(12);
  const std::vector<double> f = random_envelope(tables.grid().size(), 3);
  const std::vector<double> s = make_s_grid(40, 0.6);
  const std::vector<double> widths = {1.0, 2.5, 5.0};
  const LineTable table = make_shell_integral_table(12, 0.6, shell_table_radius(26.0, 5.0));
  const ShellWidthAmplitudes one =
      shell_amplitudes_for_widths(tables, s, f, table, widths, {1, SimdLevel::baseline, nullptr});
  for (const SimdLevel level : {SimdLevel::automatic, SimdLevel::avx2}) {
    const ShellWidthAmplitudes other =
        shell_amplitudes_for_widths(tables, s, f, table, widths, {2, level, nullptr});
    for (std::size_t w = 0; w < widths.size(); ++w) {
      const auto x = one.amplitudes[w].values();
      const auto y = other.amplitudes[w].values();
      ASSERT_TRUE(std::equal(x.begin(), x.end(), y.begin())) << "width " << widths[w];
    }
  }
}

}  // namespace tessel
