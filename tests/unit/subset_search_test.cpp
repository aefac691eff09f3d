// Subset search: combination counts, the exhaustive enumeration against brute force, and the
// beam, which must skip subsets that do not count and extend only those that do.
#include "core/subset_search.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <set>

namespace {

TEST(SubsetSearch, CombinationCounts) {
  EXPECT_EQ(tessel::combination_count(1000, 3), 166167000u);  // 1000·999·998/6
  EXPECT_EQ(tessel::combination_count(632, 2), 199396u);      // the last K exhaustive for pairs
  EXPECT_EQ(tessel::combination_count(633, 2), 200028u);
  EXPECT_EQ(tessel::combination_count(5, 0), 1u);
  EXPECT_EQ(tessel::combination_count(4, 5), 0u);
  EXPECT_EQ(tessel::combination_count(1000000000, 5), std::numeric_limits<std::uint64_t>::max());
  int at = -1;
  const tessel::Subset s = tessel::with_item(tessel::Subset{{2, 7}, 2}, 5, &at);
  EXPECT_EQ(s, (tessel::Subset{{2, 5, 7}, 3}));
  EXPECT_EQ(at, 1);
}

// A score with a unique best subset of each size: Σ (item − target)² over the items plus a
// penalty on the size, with items 3 and 4 forbidden together (+∞).
double toy_score(const tessel::Subset& s) {
  double sum = 0;
  bool three = false, four = false;
  for (int i = 0; i < s.size; ++i) {
    const double v = s.items[static_cast<std::size_t>(i)];
    sum += (v - 3.2) * (v - 3.2) + 0.01 * v;
    three = three || v == 3;
    four = four || v == 4;
  }
  return three && four ? std::numeric_limits<double>::infinity() : sum;
}

TEST(SubsetSearch, ExhaustiveAndBeamFindTheBruteForceBest) {
  const std::size_t k = 9;
  tessel::SubsetSearchSettings settings;
  settings.max_size = 4;
  settings.keep = 3;
  const auto score = [](const tessel::Subset& s, int added) {
    EXPECT_TRUE(added >= 0 && added < s.size);
    return toy_score(s);
  };
  const std::vector<tessel::SizeSearch> exhaustive = tessel::search_subsets(k, settings, score);
  settings.exhaustive_limit = 0;
  settings.beam_width = 4;
  const std::vector<tessel::SizeSearch> beam = tessel::search_subsets(k, settings, score);
  ASSERT_EQ(exhaustive.size(), 4u);
  ASSERT_EQ(beam.size(), 4u);
  for (int n = 1; n <= 4; ++n) {
    const auto& e = exhaustive[static_cast<std::size_t>(n - 1)];
    EXPECT_TRUE(e.exhaustive);
    EXPECT_EQ(e.scored, tessel::combination_count(k, n));
    // Brute force over all 2^9 subsets of this size.
    double best = std::numeric_limits<double>::infinity();
    for (unsigned mask = 0; mask < 512; ++mask) {
      if (std::popcount(mask) != n) continue;  // a subset holds at most five items
      tessel::Subset s;
      for (std::uint32_t i = 0; i < k; ++i)
        if (mask & (1u << i)) s.items[static_cast<std::size_t>(s.size++)] = i;
      if (s.size == n) best = std::min(best, toy_score(s));
    }
    EXPECT_DOUBLE_EQ(e.best.front().score, best);
    for (const tessel::ScoredSubset& b : e.best) EXPECT_TRUE(std::isfinite(b.score));
    const auto& b = beam[static_cast<std::size_t>(n - 1)];
    EXPECT_EQ(b.exhaustive, n == 1);
    EXPECT_EQ(b.best.front().subset, e.best.front().subset) << n;
    // Each kept subset of size n − 1 (at most 4) is extended by the k − n + 1 others, once each.
    if (n > 1) {
      EXPECT_LE(b.scored, 4 * (k - static_cast<std::size_t>(n) + 1));
    }
  }
  // Costs per item: 3 → 0.07, 4 → 0.68, 2 → 1.46: the best pair is {2, 3}, not the forbidden {3, 4}.
  EXPECT_EQ(exhaustive[1].best.front().subset, (tessel::Subset{{2, 3}, 2}));
}

}  // namespace
