// Angular envelope: search, completion, statistics and harmonic expansion.
#include "core/envelope.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <numbers>
#include <mutex>
#include <numeric>

#include "core/kernels/envelope_scans.hpp"

namespace tessel {

namespace {

constexpr double kPi = std::numbers::pi;

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// Rounding slack of the diameter search's pruning bound |p_a − p_b| ≤ F_a + F_b: the grid's unit
// vectors are unit only to rounding.
constexpr double kBoundSlack = 1e-12;

// The diameter search measures the pairs of this many outermost points alone before it decides
// on threads, which then take runs of kDiameterRun points; a thread is worth it for
// kPairsPerThread pairs.
constexpr std::size_t kDiameterLeadPoints = 16;
constexpr std::size_t kDiameterRun = 32;
constexpr double kPairsPerThread = 4.0e5;

}  // namespace

EnvelopeSearch::EnvelopeSearch(const FibonacciGrid& grid)
    : grid_(&grid),
      radius_(as_size(grid.size()), 0.0),
      runner_radius_(as_size(grid.size()), 0.0),
      lateral_(as_size(grid.size()), 0.0),
      runner_lateral_(as_size(grid.size()), 0.0),
      atom_(as_size(grid.size()), 0),
      runner_atom_(as_size(grid.size()), 0) {}

void EnvelopeSearch::add_atom(double x, double y, double z, double r, double theta,
                              double atom_radius, int sequence) {
  assert(r > 0.0);
  const int n = grid_->size();
  const double reach = atom_radius + kAtomReachMargin;
  const double alpha = std::asin(std::min(reach, r) / r);
  // The grid runs by decreasing cos θ, so the directions with polar angles between θ − α and
  // θ + α form one run of indices; the 1-based bounds below are widened by one at the top.
  int lower = 1;
  if (theta - alpha > 0.0) {
    lower = static_cast<int>(std::floor((1.0 - std::cos(theta - alpha)) * (n - 1) / 2.0)) + 1;
  }
  int upper = n;
  if (theta + alpha < kPi) {
    upper = static_cast<int>(std::floor((1.0 - std::cos(theta + alpha)) * (n - 1) / 2.0)) + 1;
  }
  const int first = std::max(lower, 1) - 1;    // 0-based
  const int last = std::min(upper + 1, n) - 1;  // 0-based, inclusive
  const AtomReach a{x, y, z, r * r, reach * reach, atom_radius / 2.0};
  const double* ux = grid_->x().data();
  const double* uy = grid_->y().data();
  const double* uz = grid_->z().data();
  if (last < first) return;
  // The directions reached are found first; each update then touches its own direction only.
  reached_.resize(as_size(last - first + 1));
  const int found = find_reached(ux, uy, uz, radius_.data(), first, last, a, reached_.data());
  for (int k = 0; k < found; ++k) {
    const auto i = as_size(reached_[as_size(k)]);
    const double p = ux[i] * x + uy[i] * y + uz[i] * z;
    runner_radius_[i] = radius_[i];
    runner_atom_[i] = atom_[i];
    runner_lateral_[i] = lateral_[i];
    radius_[i] = p + a.half_radius;
    atom_[i] = sequence;
    lateral_[i] = a.r2 - p * p;
  }
}

Envelope EnvelopeSearch::complete(double zero_radius) const {
  Envelope e;
  e.radius = radius_;
  // Atoms that are outermost somewhere, for the membership test of the runner-up rule.
  std::vector<int> outermost = atom_;
  std::sort(outermost.begin(), outermost.end());
  for (std::size_t j = 0; j < e.radius.size(); ++j) {
    if (!std::binary_search(outermost.begin(), outermost.end(), runner_atom_[j])) continue;
    if (lateral_[j] < runner_lateral_[j]) continue;
    if (runner_radius_[j] > 0.0) e.radius[j] = runner_radius_[j];
  }
  for (double& f : e.radius) {
    if (f == 0.0) {
      f = zero_radius;
      ++e.zero_directions;
    }
  }
  e.zero_radius = zero_radius;
  e.max_radius = e.radius.empty() ? 0.0 : *std::max_element(e.radius.begin(), e.radius.end());
  return e;
}

double zero_direction_radius(double electron_rg, double largest_atom_radius) {
  const double r = electron_rg / 10.0;
  if (r > 0.0) return r;
  return largest_atom_radius / 2.0;
}

EnvelopeStatistics envelope_statistics(const FibonacciGrid& grid, std::span<const double> radius) {
  return envelope_statistics(grid, radius, LoopSettings{});
}

EnvelopeStatistics envelope_statistics(const FibonacciGrid& grid, std::span<const double> radius,
                                       const LoopSettings& loops) {
  assert(radius.size() == as_size(grid.size()));
  EnvelopeStatistics st = envelope_sums(radius);
  st.diameter = envelope_diameter(grid, radius, loops);
  return st;
}

EnvelopeStatistics envelope_sums(std::span<const double> radius) {
  EnvelopeStatistics st;
  if (radius.empty()) return st;
  double f2 = 0.0, f3 = 0.0, f5 = 0.0, shell3 = 0.0, shell5 = 0.0;
  for (const double f : radius) {
    const double g = f + kShellWidth;
    const double fcube = f * f * f;
    const double gcube = g * g * g;
    f2 += f * f;
    f3 += fcube;
    f5 += fcube * f * f;
    shell3 += gcube - fcube;
    shell5 += gcube * g * g - fcube * f * f;
  }
  const double n = static_cast<double>(radius.size());
  st.volume = kEnvelopeVolumeFactor * f3 / n;
  st.shell_volume = kEnvelopeVolumeFactor * shell3 / n;
  st.surface = 4.0 * kPi * f2 / n;
  st.rg = f3 > 0.0 ? std::sqrt(0.6 * f5 / f3) : 0.0;
  st.shell_rg = shell3 > 0.0 ? std::sqrt(0.6 * shell5 / shell3) : 0.0;
  st.radius = std::cbrt(3.0 * st.volume / (4.0 * kPi));
  return st;
}

double envelope_diameter(const FibonacciGrid& grid, std::span<const double> radius) {
  return envelope_diameter(grid, radius, LoopSettings{});
}

double envelope_diameter(const FibonacciGrid& grid, std::span<const double> radius,
                         const LoopSettings& loops) {
  assert(radius.size() == as_size(grid.size()));
  const std::size_t n = radius.size();
  if (n < 2) return 0.0;
  // Points in order of decreasing radius: a pair (a, b) with b after a is no longer than
  // F_a + F_b, so each point only meets the run of later points that can still beat the best.
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return radius[a] > radius[b]; });
  std::vector<double> f(n), px(n), py(n), pz(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = order[i];
    f[i] = radius[j];
    px[i] = radius[j] * grid.x()[j];
    py[i] = radius[j] * grid.y()[j];
    pz[i] = radius[j] * grid.z()[j];
  }
  // The later points that point a still has to meet when the best so far is √best2 (none when
  // even its nearest partner in radius cannot reach the best).
  const auto candidates_end = [&](std::size_t a, double best2) {
    const double best = std::sqrt(best2) * (1.0 - kBoundSlack);
    if (f[a] + f[a + 1] < best) return a + 1;
    // Later points with F_b ≥ best − F_a; F is descending, so they form a prefix of the rest.
    const double need = best - f[a];
    return static_cast<std::size_t>(
        std::partition_point(f.begin() + static_cast<std::ptrdiff_t>(a) + 1, f.end(),
                             [need](double v) { return v >= need; }) -
        f.begin());
  };
  // The outermost points first, alone: they set a best that prunes most of the remaining pairs.
  double best2 = 0.0;
  std::size_t a = 0;
  for (; a + 1 < n && a < kDiameterLeadPoints; ++a) {
    const std::size_t stop = candidates_end(a, best2);
    if (stop == a + 1) return std::sqrt(best2);
    best2 = farthest_squared(px.data(), py.data(), pz.data(), a, stop, best2);
  }
  // Every pair is measured the same way in any order, and no pair that could be the longest is
  // ever pruned, so the threads find the same largest distance as one loop.
  double pairs = 0.0;
  for (std::size_t i = a; i + 1 < n; ++i) {
    const std::size_t stop = candidates_end(i, best2);
    if (stop == i + 1) break;
    pairs += static_cast<double>(stop - i - 1);
  }
  const int threads = threads_for_work(pairs, kPairsPerThread, resolve_thread_count(loops.threads));
  if (threads <= 1) {
    for (; a + 1 < n; ++a) {
      const std::size_t stop = candidates_end(a, best2);
      if (stop == a + 1) break;
      best2 = farthest_squared(px.data(), py.data(), pz.data(), a, stop, best2);
    }
    return std::sqrt(best2);
  }
  // Runs of points handed out in order; each run starts from the best found so far.
  const std::size_t start = a;
  const auto runs = static_cast<int>((n - 1 - start + kDiameterRun - 1) / kDiameterRun);
  std::mutex mutex;
  double shared_best2 = best2;
  bool done = false;  // a run reached the point from which no pair can beat the best
  std::optional<WorkerPool> own_pool;
  WorkerPool& pool = loop_pool(loops, threads, own_pool);
  pool.run(runs, [&](int run, int) {
    double local2;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (done) return;
      local2 = shared_best2;
    }
    const std::size_t begin = start + as_size(run) * kDiameterRun;
    const std::size_t end = std::min(begin + kDiameterRun, n - 1);
    bool finished = false;
    for (std::size_t i = begin; i < end; ++i) {
      const std::size_t stop = candidates_end(i, local2);
      if (stop == i + 1) {
        finished = true;
        break;
      }
      local2 = farthest_squared(px.data(), py.data(), pz.data(), i, stop, local2);
    }
    const std::lock_guard<std::mutex> lock(mutex);
    shared_best2 = std::max(shared_best2, local2);
    if (finished) done = true;
  });
  return std::sqrt(shared_best2);
}

EnvelopeFunction envelope_function(const HarmonicTables& tables, std::span<const double> radius,
                                   double envelope_radius) {
  EnvelopeFunction ef;
  ef.l_max = std::min(tables.l_max(), kEnvelopeFunctionMaxOrder);
  ef.coefficients = project_on_grid(tables, radius, ef.l_max);
  if (envelope_radius > 0.0) {
    for (auto& c : ef.coefficients) c /= envelope_radius;
  }
  ef.present.assign(ef.coefficients.size(), 1);
  return ef;
}

}  // namespace tessel
