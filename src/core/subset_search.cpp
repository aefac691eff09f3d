// Exhaustive and beam search over subsets of candidates.
#include "core/subset_search.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace tessel {

namespace {

struct SubsetHash {
  std::size_t operator()(const Subset& s) const {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (int i = 0; i < s.size; ++i) {
      h ^= s.items[static_cast<std::size_t>(i)] + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    }
    return static_cast<std::size_t>(h);
  }
};

// The best `capacity` scored subsets seen so far (a heap with the worst on top).
class BestList {
 public:
  explicit BestList(std::size_t capacity) : capacity_(capacity) {}

  void offer(const Subset& subset, double score) {
    if (!std::isfinite(score) || capacity_ == 0) return;
    const ScoredSubset entry{subset, score};
    if (heap_.size() < capacity_) {
      heap_.push_back(entry);
      std::push_heap(heap_.begin(), heap_.end(), better);
    } else if (better(entry, heap_.front())) {
      std::pop_heap(heap_.begin(), heap_.end(), better);
      heap_.back() = entry;
      std::push_heap(heap_.begin(), heap_.end(), better);
    }
  }

  std::vector<ScoredSubset> sorted() const {
    std::vector<ScoredSubset> out = heap_;
    std::sort(out.begin(), out.end(), better);
    return out;
  }

 private:
  std::size_t capacity_;
  std::vector<ScoredSubset> heap_;
};

// Whether t without one of its items other than the one at `added` is a kept subset ranked
// before `base`.
bool found_earlier(const Subset& t, int added, std::size_t base,
                   const std::unordered_map<Subset, std::size_t, SubsetHash>& rank) {
  for (int drop = 0; drop < t.size; ++drop) {
    if (drop == added) continue;
    Subset other;
    other.size = t.size - 1;
    for (int i = 0, j = 0; i < t.size; ++i) {
      if (i != drop) other.items[static_cast<std::size_t>(j++)] = t.items[static_cast<std::size_t>(i)];
    }
    const auto it = rank.find(other);
    if (it != rank.end() && it->second < base) return true;
  }
  return false;
}

// Every subset of n of the candidates 0..k−1 in lexicographic order.
void score_all(std::size_t k, int n, const SubsetScorer& score, BestList& best, SizeSearch& out) {
  Subset s;
  s.size = n;
  for (int i = 0; i < n; ++i) s.items[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i);
  const auto top = [&](int i) { return static_cast<std::uint32_t>(k - static_cast<std::size_t>(n - i)); };
  for (;;) {
    best.offer(s, score(s, n - 1));
    ++out.scored;
    // The next combination: raise the last item that can still rise, reset those after it.
    int i = n - 1;
    while (i >= 0 && s.items[static_cast<std::size_t>(i)] == top(i)) --i;
    if (i < 0) return;
    ++s.items[static_cast<std::size_t>(i)];
    for (int j = i + 1; j < n; ++j) s.items[static_cast<std::size_t>(j)] = s.items[static_cast<std::size_t>(j - 1)] + 1;
  }
}

// Each kept subset of size n − 1 extended by every candidate not in it. A result is scored only
// from the best-ranked kept subset it contains, so each distinct one once: when the added
// candidate c belongs to some kept subset, the others of the result's subsets that contain c
// are looked up among the kept ones.
void extend_beam(std::size_t k, const std::vector<ScoredSubset>& beam, const SubsetScorer& score,
                 BestList& best, SizeSearch& out) {
  std::unordered_map<Subset, std::size_t, SubsetHash> rank;
  std::vector<bool> in_beam(k, false);
  for (std::size_t r = 0; r < beam.size(); ++r) {
    rank.emplace(beam[r].subset, r);
    for (int i = 0; i < beam[r].subset.size; ++i) in_beam[beam[r].subset.items[static_cast<std::size_t>(i)]] = true;
  }
  for (std::size_t r = 0; r < beam.size(); ++r) {
    const Subset& s = beam[r].subset;
    int next = 0;  // s.items[next] is the next item of s at or above c
    for (std::uint32_t c = 0; c < k; ++c) {
      if (next < s.size && s.items[static_cast<std::size_t>(next)] == c) {
        ++next;
        continue;
      }
      int added = 0;
      const Subset t = with_item(s, c, &added);
      if (in_beam[c] && found_earlier(t, added, r, rank)) continue;
      best.offer(t, score(t, added));
      ++out.scored;
    }
  }
}

}  // namespace

Subset with_item(const Subset& subset, std::uint32_t item, int* position) {
  assert(subset.size < kMaxMixtureStates);
  Subset out;
  out.size = subset.size + 1;
  int j = 0;
  int at = subset.size;
  for (int i = 0; i < subset.size; ++i) {
    if (at == subset.size && item < subset.items[static_cast<std::size_t>(i)]) at = j++;
    out.items[static_cast<std::size_t>(j++)] = subset.items[static_cast<std::size_t>(i)];
  }
  out.items[static_cast<std::size_t>(at)] = item;
  if (position != nullptr) *position = at;
  return out;
}

std::uint64_t combination_count(std::size_t k, int n) {
  if (n < 0 || static_cast<std::size_t>(n) > k) return 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t c = 1;
  for (int i = 1; i <= n; ++i) {
    // c·(k − n + i)/i stays whole at every step; it is divided first where that is exact.
    const std::uint64_t factor = static_cast<std::uint64_t>(k) - static_cast<std::uint64_t>(n) + static_cast<std::uint64_t>(i);
    const std::uint64_t d = static_cast<std::uint64_t>(i);
    if (c > kMax / factor) {
      // c·factor overflows; c·factor/d might not, but such counts are far past any limit.
      return kMax;
    }
    c = c * factor / d;
  }
  return c;
}

bool better(const ScoredSubset& a, const ScoredSubset& b) {
  if (a.score != b.score) return a.score < b.score;
  return std::lexicographical_compare(a.subset.items.begin(), a.subset.items.begin() + a.subset.size,
                                      b.subset.items.begin(), b.subset.items.begin() + b.subset.size);
}

std::vector<SizeSearch> search_subsets(std::size_t k, const SubsetSearchSettings& settings,
                                       const SubsetScorer& score) {
  assert(settings.max_size >= 1 && settings.max_size <= kMaxMixtureStates);
  std::vector<SizeSearch> out;
  const std::size_t kept = std::max(settings.beam_width, settings.keep);
  std::vector<ScoredSubset> beam;
  for (int n = 1; n <= settings.max_size && static_cast<std::size_t>(n) <= k; ++n) {
    SizeSearch size;
    size.size = n;
    BestList best(kept);
    size.exhaustive = n == 1 || combination_count(k, n) <= settings.exhaustive_limit;
    if (size.exhaustive) {
      score_all(k, n, score, best, size);
    } else {
      extend_beam(k, beam, score, best, size);
    }
    beam = best.sorted();
    size.best.assign(beam.begin(), beam.begin() + static_cast<std::ptrdiff_t>(std::min(settings.keep, beam.size())));
    out.push_back(std::move(size));
  }
  return out;
}

}  // namespace tessel
