// Storage of partial amplitudes (the save file's order) and the phase turn of each order.
#include "core/partial_amplitudes.hpp"

#include <gtest/gtest.h>

#include <complex>
#include <vector>

namespace tessel {

TEST(PartialAmplitudes, StorageRunsPointByPointWithTheHarmonicIndexFastest) {
  // The save file's order: all (L+1)(L+2)/2 coefficients of s(1), then those of s(2), ...
  const int pairs = harmonic_count(2);  // 6
  std::vector<std::complex<double>> v;
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < pairs; ++i) v.emplace_back(100.0 * k + i, -1.0);
  }
  PartialAmplitudes x(2, 3, v);
  EXPECT_EQ(x.at(0, 0, 0), std::complex<double>(0.0, -1.0));
  EXPECT_EQ(x.at(2, 1, 1), std::complex<double>(104.0, -1.0));  // 1-based position 5 at s(2)
  EXPECT_EQ(x(5, 2), std::complex<double>(205.0, -1.0));
  EXPECT_EQ(x.point(1)[3], std::complex<double>(103.0, -1.0));
  EXPECT_EQ(x.release(), v);
  EXPECT_TRUE(x.empty());
}

TEST(PartialAmplitudes, PhaseTurnsEachOrderByAPowerOfI) {
  // factor·i^l: 1, i, −1, −i for l = 0..3, exactly.
  PartialAmplitudes x(4, 1);
  for (auto& v : x.values()) v = {1.0, 2.0};
  x.scale_with_phase(0.5);
  const std::complex<double> want[] = {{0.5, 1.0}, {-1.0, 0.5}, {-0.5, -1.0}, {1.0, -0.5},
                                       {0.5, 1.0}};
  for (int l = 0; l <= 4; ++l) {
    for (int m = 0; m <= l; ++m) EXPECT_EQ(x.at(l, m, 0), want[l]) << l << " " << m;
  }
}

}  // namespace tessel
