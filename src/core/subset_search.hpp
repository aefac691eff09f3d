// The search over subsets of at most five of K candidates for the least score: every subset of
// a size while their number is at most a limit, else a beam that keeps the best subsets of one
// size and extends each of them by every other candidate.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tessel {

// States a mixture may hold.
inline constexpr int kMaxMixtureStates = 5;

// A subset as ascending candidate indices.
struct Subset {
  std::array<std::uint32_t, kMaxMixtureStates> items{};
  int size = 0;
  bool operator==(const Subset& other) const = default;
};

// The subset with `item` added in its place (item not in it, size < kMaxMixtureStates); *position
// receives the index at which it went.
Subset with_item(const Subset& subset, std::uint32_t item, int* position = nullptr);

// C(k, n), saturated at UINT64_MAX.
std::uint64_t combination_count(std::size_t k, int n);

struct ScoredSubset {
  Subset subset;
  double score = 0.0;
};
// Ascending score, ties by the items in lexicographic order: a fixed order whatever the order
// in which the subsets were scored.
bool better(const ScoredSubset& a, const ScoredSubset& b);

struct SubsetSearchSettings {
  int max_size = 1;                      // 1..kMaxMixtureStates
  std::uint64_t exhaustive_limit = 200000;  // a size with more subsets goes to the beam
  std::size_t beam_width = 300;          // subsets of each size kept for the next size
  std::size_t keep = 10;                 // subsets of each size returned
};

struct SizeSearch {
  int size = 0;
  bool exhaustive = false;          // every subset of the size was scored
  std::uint64_t scored = 0;         // subsets scored
  std::vector<ScoredSubset> best;   // the best `keep` finite scores, best first
};

// The score of a subset; a subset that does not count (for a mixture: a weight at zero, which
// makes it a smaller subset) scores +∞ and is neither kept nor extended. `added` is the position
// of the item the search added last: the scorer may rely on its work for the other items having
// been asked before (for the beam, those items form a kept subset of the size below; exhaustive
// enumeration passes the last position).
using SubsetScorer = std::function<double(const Subset& subset, int added)>;

// Sizes 1..max_size over the candidates 0..k−1. A size whose number of subsets C(k, n) is at
// most exhaustive_limit scores them all; a larger one extends each of the max(beam_width, keep)
// best subsets of the size below by every candidate not in it, scoring each distinct result
// once. Size 1 is always exhaustive.
std::vector<SizeSearch> search_subsets(std::size_t k, const SubsetSearchSettings& settings,
                                       const SubsetScorer& score);

}  // namespace tessel
