// Hydration-shell amplitude: radial integral table and the sum over envelope directions.
#include "core/hydration_shell.hpp"

#include <algorithm>
#include <cassert>
#include <complex>
#include <vector>

#include "core/envelope.hpp"
#include "core/kernels/multipole_tiles.hpp"
#include "core/kernels/multipole_weights.hpp"

namespace tessel {

namespace {

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

// Below this outer argument the radial integral comes from the power series of j_l.
constexpr double kSeriesLimit = 0.4;

// 4π·√(2/π), the factor of the sum over directions before the division by their number.
constexpr double kShellFactor = 10.026513098524001;

// Extra reach of the integral table beyond the envelope and its shell, Å.
constexpr double kTableMargin = 2.0;

// Byte budget of the harmonics of one block of directions. Each tile of s points reads the whole block
// once, its sums running over every source of the block in registers; a block of many sources
// keeps the sums long, and a tile's reads stream from the outer caches fast enough.
constexpr std::size_t kBlockBytes = 4 * 1024 * 1024;
constexpr int kMaxBlock = 128;
// Byte budget of the harmonics of the blocks that one pass holds.
constexpr std::size_t kPassBytes = 1024 * 1024;
// Terms (directions × pairs × points) that make a thread worth its start and hand-overs.
constexpr double kTermsPerThread = 2.0e6;
// Partial sums the blocks of small shell amplitudes are dealt out to, and the bytes they may take.
constexpr int kMaxShellPartials = 4;
constexpr std::size_t kShellPartialBytes = 4 * 1024 * 1024;

// The partial sums for shell amplitudes of this shape: 1 (one sum whose points the threads
// share) when two would not fit the byte budget.
int shell_partial_sums(int pairs, int n_points) {
  const std::size_t bytes = static_cast<std::size_t>(pairs) * static_cast<std::size_t>(n_points) *
                            sizeof(std::complex<double>);
  if (bytes == 0) return 1;
  const std::size_t fit = kShellPartialBytes / bytes;
  return fit < 2 ? 1 : static_cast<int>(std::min<std::size_t>(fit, kMaxShellPartials));
}

// The series part of ∫ j_l(s·r)·r² dr from 0 to r, with x = s·r and x^l given:
// x^l·r³·(1/((2l+1)!!·(l+3)) − x²/(2·(2l+3)!!·(l+5)) + x⁴/(8·(2l+5)!!·(l+7))), one term each.
struct SeriesTerms {
  double t0, t1, t2;
};
SeriesTerms series_terms(int l, double x, double x_to_l, double r, std::span<const double> odd) {
  const double lead = x_to_l * r * r * r;
  const auto i = as_size(l);
  return {lead / (odd[i] * (l + 3)), lead * x * x / (2.0 * odd[i + 1] * (l + 5)),
          lead * x * x * x * x / (8.0 * odd[i + 2] * (l + 7))};
}

}  // namespace

LineTable make_shell_integral_table(int l_max, double s_max, double max_envelope_radius,
                                    BesselRecurrence recurrence) {
  assert(l_max >= 0);
  const double x_max = 1.0001 * s_max * (max_envelope_radius + kShellWidth + kTableMargin);
  const double dx = x_max / LineTable::kIntervals;
  const auto orders = as_size(l_max + 1);
  std::vector<double> nodes(as_size(LineTable::kNodes) * orders, 0.0);
  if (dx > 0.0) {
    // j_l at the midpoints t = (k − ½)·Δx, k = 1..2000, then the running sums.
    std::vector<double> t(as_size(LineTable::kIntervals));
    for (int k = 1; k < LineTable::kNodes; ++k) t[as_size(k - 1)] = (k - 0.5) * dx;
    std::vector<double> j(t.size() * orders);
    spherical_bessel_orders(l_max, t, j, recurrence);
    for (int k = 1; k < LineTable::kNodes; ++k) {
      const double tk = t[as_size(k - 1)];
      const double* jk = &j[as_size(k - 1) * orders];
      const double* previous = &nodes[as_size(k - 1) * orders];
      double* current = &nodes[as_size(k) * orders];
      for (std::size_t l = 0; l < orders; ++l) current[l] = previous[l] + jk[l] * tk * tk * dx;
    }
  }
  return make_line_table(l_max + 1, dx, nodes);
}

namespace {

// Directions of one block, made ready for the sums: conj(Y) and F by decreasing F (ties in grid
// order).
struct DirectionBlock {
  multipole::RowBlock conj_y;
  std::vector<double> radius;  // F_j, Å
};

// Scratch space of one thread.
struct ShellWorkspace {
  std::vector<double> legendre;  // r_lm of one direction's harmonics
  std::vector<int> order;
  std::vector<int> counts;      // orders counted, per point of a tile and direction
  std::vector<int> sources;     // directions counting order l, per point and l
  std::vector<double> weights;  // radial integrals, per point, direction and l
};

class ShellSums {
 public:
  ShellSums(const HarmonicTables& tables, std::span<const double> s, std::span<const double> radius,
            const LineTable& integrals, SimdLevel simd)
      : tables_(tables), s_(s), radius_(radius), integrals_(integrals), simd_(simd) {
    if (simd_ == SimdLevel::avx512) planar_integrals_ = make_planar_lines(integrals);
    inv_s3_.resize(s.size());
    for (std::size_t k = 0; k < s.size(); ++k) {
      inv_s3_[k] = s[k] > 0.0 ? 1.0 / (s[k] * s[k] * s[k]) : 0.0;
    }
  }

  // Directions first..first+size−1 of the grid into `block`.
  void prepare(int first, int size, ShellWorkspace& ws, DirectionBlock& block) const {
    ws.legendre.resize(as_size(tables_.pair_count()) + kRowOverrun);
    ws.order.resize(as_size(size));
    for (int d = 0; d < size; ++d) ws.order[as_size(d)] = first + d;
    // Outer directions first (ties in grid order): at every s point those that count order l
    // then form a prefix.
    std::sort(ws.order.begin(), ws.order.end(), [&](int a, int c) {
      const double fa = radius_[as_size(a)], fc = radius_[as_size(c)];
      return fa > fc || (fa == fc && a < c);
    });
    block.conj_y.reset(tables_.l_max(), size, multipole::tile_shape(simd_));
    block.radius.resize(as_size(size));
    const FibonacciGrid& grid = tables_.grid();
    for (int d = 0; d < size; ++d) {
      const auto j = as_size(ws.order[as_size(d)]);
      const auto phases = harmonic_factors(tables_, grid.cos_theta()[j], grid.phi()[j], ws.legendre);
      block.conj_y.store_factors(d, ws.legendre, phases);
      block.radius[as_size(d)] = radius_[j];
    }
  }

  // Adds the block's terms at points first..first+count−1.
  void add_points(const DirectionBlock& block, int first, int count, ShellWorkspace& ws,
                  PartialAmplitudes& sums) const {
    const auto orders = as_size(tables_.l_max() + 1);
    const auto n = as_size(block.conj_y.size());
    const auto points = as_size(count);
    const std::span<const double> odd = tables_.odd_double_factorial();
    std::size_t active = 0;
    const int used = multipole::count_block_orders(s_.data() + first, count, block.radius,
                                                   kShellOuterGap, tables_.l_max(), ws.counts, active);
    if (used == 0) return;

    // Weights by direction, then order, then point: [d][l][p], the four or eight points of an
    // order in one cache line.
    const std::size_t per_order = count > multipole::kTilePoints ? multipole::kMaxTilePoints : multipole::kTilePoints;
    const std::size_t per_direction = orders * per_order;
    ws.weights.resize(active * per_direction);
    multipole::Tile tile(block.conj_y, count, used, ws.weights.data(),
                         {1, per_direction, per_order, per_order});
    const auto row = 2 * as_size(tables_.pair_count());
    auto* out = reinterpret_cast<double*>(sums.values().data());
    // The table path for every direction, four points at a time; then, at each point, the
    // directions of small s·(F + 4) (the last ones: F falls along the block) take the series.
    for (int p0 = 0; p0 < count; p0 += multipole::kTilePoints) {
      ShellWeightsJob job;
      job.integrals = &integrals_;
      job.planar = planar_integrals_.values.empty() ? nullptr : &planar_integrals_;
      job.points = std::min(multipole::kTilePoints, count - p0);
      job.orders = used;
      job.directions = static_cast<int>(active);
      job.s = s_.data() + first + p0;
      job.inv_s3 = inv_s3_.data() + first + p0;
      job.radius = block.radius.data();
      job.counts = ws.counts.data() + as_size(p0) * n;
      job.count_stride = n;
      job.out = ws.weights.data() + p0;
      job.per_direction = per_direction;
      job.order_stride = per_order;
      shell_weights(job, simd_);
    }
    for (std::size_t p = 0; p < points; ++p) {
      const auto k = as_size(first) + p;
      const double sk = s_[k];
      const int* counts = &ws.counts[p * n];
      std::size_t d = active;
      while (d > 0 && !(sk * (block.radius[d - 1] + kShellOuterGap) > kSeriesLimit)) --d;
      for (; d < active; ++d) {
        const double f = block.radius[d];
        const double r_out = f + kShellOuterGap;
        const double r_in = f + kShellInnerGap;
        const double x_out = sk * r_out;
        const double x_in = std::max(x_out - kShellWidth * sk, 0.0);
        const int c = counts[d];
        double* wd = ws.weights.data() + d * per_direction + p;
        double pow_out = 1.0;  // x_out^l
        double pow_in = 1.0;   // x_in^l
        // At x = 0 the powers, and with them the terms of l ≥ 1, are 0.
        const int series_orders = x_out == 0.0 ? std::min(c, 1) : c;
        for (int l = 0; l < series_orders; ++l) {
          const SeriesTerms o = series_terms(l, x_out, pow_out, r_out, odd);
          const SeriesTerms i = series_terms(l, x_in, pow_in, r_in, odd);
          wd[as_size(l) * per_order] = (o.t0 - i.t0) - (o.t1 - i.t1) + (o.t2 - i.t2);
          pow_out *= x_out;
          pow_in *= x_in;
        }
        for (int l = series_orders; l < c; ++l) wd[as_size(l) * per_order] = 0.0;
      }
      tile.out[0][p] = out + k * row;
    }
    multipole::set_tile_sources(tile, ws.counts, active, used, ws.sources, orders);
    multipole::add_tile(tile, simd_);
  }

 private:
  const HarmonicTables& tables_;
  std::span<const double> s_;
  std::span<const double> radius_;
  const LineTable& integrals_;
  SimdLevel simd_;
  std::vector<double> inv_s3_;
  PlanarLines planar_integrals_;  // the integrals' lines apart, for the widest level
};

}  // namespace

PartialAmplitudes shell_amplitude(const HarmonicTables& tables, std::span<const double> s,
                                  std::span<const double> radius, const LineTable& integrals,
                                  ProgressMarks* progress) {
  return shell_amplitude(tables, s, radius, integrals, progress, LoopSettings{});
}

PartialAmplitudes shell_amplitude(const HarmonicTables& tables, std::span<const double> s,
                                  std::span<const double> radius, const LineTable& integrals,
                                  ProgressMarks* progress, const LoopSettings& loops) {
  const int l_max = tables.l_max();
  const int n_dir = tables.grid().size();
  assert(radius.size() == as_size(n_dir));
  assert(integrals.orders() == l_max + 1);
  assert(std::is_sorted(s.begin(), s.end()));
  const int n_points = static_cast<int>(s.size());
  const int pairs = tables.pair_count();
  PartialAmplitudes b(l_max, n_points);
  const SimdLevel simd = resolve_simd_level(loops.simd);
  const ShellSums sums(tables, s, radius, integrals, simd);

  const std::size_t row_bytes = 2 * as_size(pairs) * sizeof(double);
  const int block = std::clamp(static_cast<int>(kBlockBytes / row_bytes), 1, kMaxBlock);
  const int pass_blocks = std::max(1, static_cast<int>(kPassBytes / (row_bytes * as_size(block))));
  const double terms = static_cast<double>(n_dir) * pairs * n_points;
  std::optional<WorkerPool> own_pool;
  WorkerPool& pool = loop_pool(loops, threads_for_work(terms, kTermsPerThread, resolve_thread_count(loops.threads)), own_pool);
  const int partials = shell_partial_sums(pairs, n_points);
  if (partials > 1) {
    // Small amplitudes: block i of the grid goes to partial sum i mod partials, each sum takes its
    // blocks in grid order and the sums are added in order, however many threads formed them.
    const int blocks_total = (n_dir + block - 1) / block;
    std::vector<PartialAmplitudes> parts(as_size(partials));
    for (PartialAmplitudes& part : parts) part = PartialAmplitudes(l_max, n_points);
    std::vector<ShellWorkspace> workspaces(as_size(pool.threads()));
    std::vector<DirectionBlock> blocks(as_size(pool.threads()));
    pool.run(partials, [&](int k, int thread) {
      ShellWorkspace& ws = workspaces[as_size(thread)];
      DirectionBlock& own = blocks[as_size(thread)];
      for (int i = k; i < blocks_total; i += partials) {
        const int at = i * block;
        sums.prepare(at, std::min(block, n_dir - at), ws, own);
        for (int first = 0; first < n_points; first += multipole::kMaxTilePoints) {
          sums.add_points(own, first, std::min(multipole::kMaxTilePoints, n_points - first), ws,
                          parts[as_size(k)]);
        }
      }
    });
    for (const PartialAmplitudes& part : parts) b.add(part);
    if (progress != nullptr) progress->advance(n_dir);
    if (n_dir > 0) b.scale_with_phase(kShellFactor / n_dir);
    return b;
  }
  // Points are summed in groups, a task each: eight make the longest sums, four enough tasks for
  // the threads to share evenly on a short grid. A point's sums are the same either way.
  const int wide_groups = (n_points + multipole::kMaxTilePoints - 1) / multipole::kMaxTilePoints;
  const int group_points = pool.threads() == 1 || wide_groups >= 4 * pool.threads()
                               ? multipole::kMaxTilePoints
                               : multipole::kTilePoints;
  const int groups = (n_points + group_points - 1) / group_points;
  std::vector<ShellWorkspace> workspaces(as_size(pool.threads()));
  // Two sets of blocks: while the threads sum the blocks of one pass, they prepare the next
  // pass's in the other set, so that each pass costs one hand-over.
  std::vector<DirectionBlock> blocks(2 * as_size(pass_blocks));
  const int pass = pass_blocks * block;
  const int passes = (n_dir + pass - 1) / pass;
  const auto blocks_in = [&](int p) { return (std::min(pass, n_dir - p * pass) + block - 1) / block; };
  const auto prepare = [&](int p, int i, int thread) {
    const int at = p * pass + i * block;
    sums.prepare(at, std::min(block, n_dir - at), workspaces[as_size(thread)],
                 blocks[as_size((p % 2) * pass_blocks + i)]);
  };
  if (passes > 0) pool.run(blocks_in(0), [&](int i, int thread) { prepare(0, i, thread); });
  for (int p = 0; p < passes; ++p) {
    // The next pass's blocks first, then the groups of points, the top of the grid (most orders
    // counted) first; every point takes this pass's blocks in grid order, as one thread would.
    const int next = p + 1 < passes ? blocks_in(p + 1) : 0;
    const int count = blocks_in(p);
    const auto set = as_size((p % 2) * pass_blocks);
    pool.run(next + groups, [&](int task, int thread) {
      if (task < next) {
        prepare(p + 1, task, thread);
        return;
      }
      const int k = (groups - 1 - (task - next)) * group_points;
      const int points = std::min(group_points, n_points - k);
      for (int i = 0; i < count; ++i) {
        sums.add_points(blocks[set + as_size(i)], k, points, workspaces[as_size(thread)], b);
      }
    });
    if (progress != nullptr) progress->advance(std::min(pass, n_dir - p * pass));
  }
  if (n_dir > 0) b.scale_with_phase(kShellFactor / n_dir);
  return b;
}

}  // namespace tessel
