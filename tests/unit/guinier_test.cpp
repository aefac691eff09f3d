// The Guinier-range estimate of the radius of gyration on exact Guinier curves, and its range
// limits.
#include "core/guinier.hpp"
#include "io/data_preparation_report.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tessel {
namespace {

// s_k = 0.0055 + 0.001 (k − 1), k = 1..296: no s falls on a range limit used below.
std::vector<double> grid() {
  std::vector<double> s;
  for (int k = 0; k < 296; ++k) s.push_back(0.0055 + 0.001 * k);
  return s;
}

TEST(Estrg, FindsTheRadiusOfExactGuinierCurves) {
  // Exact laws: type 0 I = I0 exp(−R² s²/3), type 1 I = I0/s exp(−R² s²/2), type 2
  // I = I0/s² exp(−R² s²). Range: the points below 1.3/R, counted by hand on the grid:
  // R = 20 → s < 0.065 → 60 points; R = 8.5 → s < 0.15294 → 148; R = 5 → s < 0.26 → 255.
  // The fit of exact data is exact up to rounding in the logarithms: 1e-9 relative.
  struct Row {
    int type;
    double radius, forward;
    std::size_t nrg;
  };
  const Row rows[] = {{0, 20.0, 1000.0, 60}, {1, 8.5, 50.0, 148}, {2, 5.0, 10.0, 255}};
  const std::vector<double> s = grid();
  for (const Row& r : rows) {
    for (bool weighted : {false, true}) {
      SCOPED_TRACE(testing::Message() << "type " << r.type << (weighted ? " weighted" : " unweighted"));
      const double factor = r.type == 0 ? 3.0 : (r.type == 1 ? 2.0 : 1.0);
      std::vector<double> intensity, error;
      for (double v : s) {
        intensity.push_back(r.forward / std::pow(v, r.type) * std::exp(-r.radius * r.radius * v * v / factor));
        error.push_back(weighted ? 0.01 * intensity.back() : 0.0);
      }
      const EstrgResult out = ESTRG(s, intensity, error, 0, r.type);
      EXPECT_EQ(out.status, 0);
      EXPECT_EQ(out.nrg, r.nrg);
      EXPECT_FALSE(out.clamped);
      EXPECT_NEAR(out.radius, r.radius, 1e-9 * r.radius);
      EXPECT_NEAR(out.forward, r.forward, 1e-9 * r.forward);
      EXPECT_NEAR(out.s_radius_max, s[r.nrg - 1] * r.radius, 1e-9);
      // Without errors the scatter of exact data is nil; with errors they set the uncertainty.
      if (weighted) {
        EXPECT_GT(out.radius_error, 0.0);
      } else {
        EXPECT_LT(out.radius_error, 1e-6);
      }
      EXPECT_EQ(estrg_messages(out), "");
    }
  }
}

TEST(Estrg, ClampsTheRangeAndSaysSo) {
  const std::vector<double> s = grid();
  std::vector<double> intensity, zero(s.size(), 0.0);
  for (double v : s) intensity.push_back(std::exp(-500.0 * 500.0 * v * v / 3.0) + 1e-300);
  // Rg = 500: 1.3/500 lies below the first s, so no point is in range; 5 are taken.
  const EstrgResult big = ESTRG(s, intensity, zero, 0, 0);
  EXPECT_EQ(big.nrg_estimated, 0u);
  EXPECT_EQ(big.nrg, 5u);
  EXPECT_TRUE(big.clamped);
  EXPECT_EQ(estrg_messages(big), " ESTRG -W- : Nrg =   0 estimated,   5  taken\n");

  // A given count is used as it is, within 5..n; 1000 does not fit the I3 field.
  const EstrgResult given = ESTRG(s, intensity, zero, 30, 0);
  EXPECT_EQ(given.nrg, 30u);
  EXPECT_FALSE(given.clamped);
  const EstrgResult too_many = ESTRG(s, intensity, zero, 1000, 0);
  EXPECT_EQ(too_many.nrg, 296u);
  EXPECT_EQ(estrg_messages(too_many), " ESTRG -W- : Nrg = *** estimated, 296  taken\n");

  const std::vector<double> s3 = {0.01, 0.02, 0.03}, i3 = {3.0, 2.0, 1.0}, e3 = {0.0, 0.0, 0.0};
  const EstrgResult short_curve = ESTRG(s3, i3, e3, 4, 0);
  EXPECT_EQ(short_curve.nrg, 3u);
  EXPECT_TRUE(short_curve.clamped);

  const EstrgResult bad_type = ESTRG(s, intensity, zero, 0, 3);
  EXPECT_EQ(bad_type.status, -1);
  EXPECT_EQ(estrg_messages(bad_type), " ESTRG -E- : iType = 3 not supported\n");
}

}  // namespace
}  // namespace tessel
