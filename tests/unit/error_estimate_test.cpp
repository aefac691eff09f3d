// Error estimates of a measured curve: the smoothing fit and its window, the runs test, and the
// noise estimate with its fallback.
#include "core/error_estimate.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace tessel {
namespace {

// Deterministic standard normal numbers (Box–Muller over a 64-bit LCG), the same on every platform.
class Gauss {
 public:
  explicit Gauss(std::uint64_t seed) : state_(seed) {}
  double operator()() {
    const double u1 = (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0;
    const double u2 = (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
  }

 private:
  std::uint64_t next() { return state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL; }
  std::uint64_t state_;
};

TEST(Smoerr, ReproducesACubicAndItsLeverages) {
  std::vector<double> x, y;
  for (int j = 0; j < 9; ++j) {
    x.push_back(0.1 * j + 0.01 * j * j);
    y.push_back(2.0 - x.back() + 3.0 * x.back() * x.back() * x.back());
  }
  const std::vector<double> unit(9, 1.0);
  const SmoothResult one_window = SMOERR(x, y, unit, 4);  // one window holds all 9 points
  ASSERT_EQ(one_window.status, 0);
  double leverage_sum = 0.0;
  for (std::size_t j = 0; j < 9; ++j) {
    EXPECT_NEAR(one_window.value[j], y[j], 1e-12);
    leverage_sum += one_window.error[j] * one_window.error[j];
  }
  // With unit weights pᵀM⁻¹p is the leverage of the point; in a single window the leverages
  // of a 4-parameter fit add up to 4.
  EXPECT_NEAR(leverage_sum, 4.0, 1e-12);

  // Errors scale with σ; sliding windows still reproduce a cubic.
  const std::vector<double> two(9, 2.0);
  const SmoothResult scaled = SMOERR(x, y, two, 2);
  const SmoothResult plain = SMOERR(x, y, unit, 2);
  for (std::size_t j = 0; j < 9; ++j) {
    EXPECT_NEAR(scaled.value[j], y[j], 1e-12);
    EXPECT_NEAR(scaled.error[j], 2.0 * plain.error[j], 1e-12);
  }
}

TEST(Smoerr, WindowLimits) {
  std::vector<double> x, y;
  for (int j = 0; j < 600; ++j) {
    x.push_back(j);
    y.push_back(1.0);
  }
  const std::vector<double> unit(600, 1.0);
  const SmoothResult big = SMOERR(x, y, unit, 300);
  EXPECT_TRUE(big.neighbours_reduced);  // 256 used, 513 points per window
  EXPECT_EQ(big.status, 0);
  EXPECT_NEAR(big.value[599], 1.0, 1e-9);
  const std::span<const double> xs(x.data(), 4), ys(y.data(), 4), us(unit.data(), 4);
  EXPECT_EQ(SMOERR(xs, ys, us, 2).status, -1);  // 5-point window, 4 points
  EXPECT_EQ(SMOERR(x, y, unit, 1).status, -1);  // 3 points cannot fix a cubic
}

std::vector<double> signs(const std::string& pattern) {
  std::vector<double> r;
  for (char c : pattern) r.push_back(c == '+' ? 1.0 : -1.0);
  return r;
}

TEST(RunsTest, RejectsTooFewAndTooManyRuns) {
  // With n1 = n2 = 10 there are C(20,10) = 184756 orders; 2 runs arise in 2 of them and 20
  // runs in 2 of them, so each has the two-sided p = 2·2/184756.
  const RunsTestResult blocks = G02WALD2(signs("++++++++++----------"));
  EXPECT_EQ(blocks.runs, 2);
  EXPECT_FALSE(blocks.random);
  EXPECT_NEAR(blocks.p_value, 4.0 / 184756.0, 1e-15);
  const RunsTestResult alternating = G02WALD2(signs("+-+-+-+-+-+-+-+-+-+-"));
  EXPECT_EQ(alternating.runs, 20);
  EXPECT_FALSE(alternating.random);
  EXPECT_NEAR(alternating.p_value, 4.0 / 184756.0, 1e-15);
  // A mixed order of 10 + 10 with 12 runs. Counting the runs of all 184756 orders (a short
  // enumeration) gives 76502 orders with 12 runs or more and 140006 with 12 or fewer, so the
  // two-sided p = 2·76502/184756.
  const RunsTestResult middle = G02WALD2(signs("++-+--+++-+--++---+-"));
  EXPECT_EQ(middle.runs, 12);
  EXPECT_TRUE(middle.random);
  EXPECT_NEAR(middle.p_value, 2.0 * 76502.0 / 184756.0, 1e-12);

  // Normal approximation above 50 of one sign: 120 alternating signs, z far beyond 2.58.
  std::string many;
  for (int i = 0; i < 60; ++i) many += "+-";
  EXPECT_FALSE(G02WALD2(signs(many)).random);

  const RunsTestResult few = G02WALD2(signs("+-+-+-+-+-+-+-+-+-+"));
  EXPECT_EQ(few.status, -1);
  EXPECT_TRUE(few.random);
  EXPECT_TRUE(G02WALD2(std::vector<double>(30, 1.0)).random);  // no signs about the mean

  // Independent normal deviates: randomness is kept.
  Gauss g(42);
  std::vector<double> noise(400);
  for (double& v : noise) v = g();
  EXPECT_TRUE(G02WALD2(noise).random);
}

TEST(Errest, EstimatesTheSizeOfKnownNoise) {
  // I = 100 (1 − s) on 500 points with Gaussian noise of σ = 1 % of I. The smoothed |r| of
  // a Gaussian residual estimates E|r| = σ·√(2/π) ≈ 0.80 σ; the local averages over 45
  // points scatter by about 0.76/√45 ≈ 0.11 of that, so the median ratio to σ must lie
  // within 0.80 ± 0.1.
  Gauss g(2024);
  std::vector<double> s, intensity, sigma;
  for (int j = 1; j <= 500; ++j) {
    s.push_back(0.001 * j);
    sigma.push_back(0.01 * 100.0 * (1.0 - s.back()));
    intensity.push_back(100.0 * (1.0 - s.back()) + sigma.back() * g());
  }
  const ErrestResult out = ERREST(s, intensity);
  ASSERT_EQ(out.messages, std::vector<std::string>{" ERREST ----- Errors estimated by polynomial smoothing"});
  std::vector<double> ratio;
  for (std::size_t j = 0; j < s.size(); ++j) ratio.push_back(out.error[j] / sigma[j]);
  std::nth_element(ratio.begin(), ratio.begin() + 250, ratio.end());
  EXPECT_NEAR(ratio[250], std::sqrt(2.0 / std::numbers::pi), 0.1);
}

TEST(Errest, FallsBackToThreePercent) {
  const std::string three_percent = "              Relative errors of 3 percent are assigned";
  // Residuals of a smooth curve that a cubic cannot follow over the window come in long runs.
  std::vector<double> s, intensity;
  for (int j = 1; j <= 200; ++j) {
    s.push_back(0.01 * j);
    intensity.push_back(10.0 + 5.0 * std::sin(12.0 * s.back()));
  }
  const ErrestResult wavy = ERREST(s, intensity);
  EXPECT_EQ(wavy.messages,
            (std::vector<std::string>{" ERREST ---W- Nonrandom residuals after smoothing!", three_percent}));
  for (std::size_t j = 0; j < s.size(); ++j) EXPECT_DOUBLE_EQ(wavy.error[j], 0.03 * intensity[j] + 1e-20);

  // Curves too short for the smoothing windows (fewer than 6 points).
  for (std::size_t n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    const std::span<const double> ss(s.data(), n), is(intensity.data(), n);
    const ErrestResult out = ERREST(ss, is);
    EXPECT_EQ(out.messages,
              (std::vector<std::string>{" ERREST ---W- Too few points for smoothing!", three_percent}));
    ASSERT_EQ(out.error.size(), n);
    for (std::size_t j = 0; j < n; ++j) EXPECT_DOUBLE_EQ(out.error[j], 0.03 * intensity[j] + 1e-20);
  }
  EXPECT_TRUE(ERREST(std::vector<double>{}, std::vector<double>{}).error.empty());

  // From 6 to 19 points the runs test cannot judge and says so; the residuals count as random.
  const std::span<const double> s10(s.data(), 10), i10(intensity.data(), 10);
  const ErrestResult ten = ERREST(s10, i10);
  ASSERT_EQ(ten.messages.size(), 2u);
  EXPECT_EQ(ten.messages[0], " G02WALD1 -E- Number of data points less than 20");
  EXPECT_EQ(ten.messages[1], " ERREST ----- Errors estimated by polynomial smoothing");
  for (double e : ten.error) EXPECT_GT(e, 0.0);
}

}  // namespace
}  // namespace tessel
