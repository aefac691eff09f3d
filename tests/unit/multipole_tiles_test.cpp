// Tiled multipole sums against the plain definition: for every point, coefficient and set of
// weights, the sum over the counting sources in block order, started from zero and then added to
// the coefficient, to the bit, on every instruction set the processor has.
#include "core/kernels/multipole_tiles.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/harmonic_tables.hpp"

namespace tessel::multipole {
namespace {

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

std::vector<SimdLevel> available_levels() {
  std::vector<SimdLevel> levels{SimdLevel::baseline};
  for (const SimdLevel l : {SimdLevel::avx2, SimdLevel::avx512}) {
    if (resolve_simd_level(l) == l) levels.push_back(l);
  }
  return levels;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// One random case: sources with harmonics, per point the orders each source counts (not
// increasing along the block), weights 0 where a source does not count, coefficients to add to.
struct Case {
  int l_max, size, points, outputs;
  std::vector<std::vector<std::complex<double>>> y;  // per source, harmonic-index order
  std::vector<std::vector<int>> counts;              // per point and source
  std::vector<int> sources;                          // per point and l
  std::vector<double> weights;                       // per source, l, output (2) and point (4)
  std::vector<double> out;                           // per output, point (+1 guard point), double
  int used = 0;
};

// Where the weight of source b, order l, output o and point p lies.
std::size_t weight_at(const Case& c, int b, int l, int o, int p) {
  return (as_size(b) * as_size(c.l_max + 1) + as_size(l)) * 2 * kTilePoints + as_size(o * kTilePoints + p);
}

Case make_case(int l_max, int size, int points, int outputs, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Case c{l_max, size, points, outputs, {}, {}, {}, {}, {}, 0};
  const int pairs = harmonic_count(l_max);
  c.y.assign(as_size(size), std::vector<std::complex<double>>(as_size(pairs)));
  for (auto& v : c.y)
    for (auto& z : v) z = {u(gen), u(gen)};
  // Counts fall along the block and grow with the point, as for sources by decreasing radius at
  // ascending s.
  c.counts.assign(as_size(points), std::vector<int>(as_size(size)));
  for (int b = 0; b < size; ++b) {
    int count = std::uniform_int_distribution<int>(0, l_max + 1)(gen);
    for (int p = 0; p < points; ++p) {
      count = std::min(l_max + 1, count + std::uniform_int_distribution<int>(0, 1)(gen));
      c.counts[as_size(p)][as_size(b)] = count;
    }
  }
  for (auto& row : c.counts) std::sort(row.begin(), row.end(), std::greater<int>());
  for (int p = 1; p < points; ++p)
    for (int b = 0; b < size; ++b)
      c.counts[as_size(p)][as_size(b)] =
          std::max(c.counts[as_size(p)][as_size(b)], c.counts[as_size(p - 1)][as_size(b)]);
  const auto orders = as_size(l_max + 1);
  c.used = size > 0 ? c.counts[as_size(points - 1)][0] : 0;
  c.sources.assign(as_size(points) * orders, 0);
  c.weights.assign(as_size(size) * orders * 2 * kTilePoints, 0.0);
  for (int p = 0; p < points; ++p) {
    for (int l = 0; l <= l_max; ++l) {
      int n = 0;
      for (int b = 0; b < size; ++b) n += c.counts[as_size(p)][as_size(b)] > l ? 1 : 0;
      c.sources[as_size(p) * orders + as_size(l)] = n;
    }
    for (int o = 0; o < outputs; ++o) {
      for (int b = 0; b < size; ++b) {
        for (int l = 0; l < c.counts[as_size(p)][as_size(b)]; ++l) {
          c.weights[weight_at(c, b, l, o, p)] = 100.0 * u(gen);
        }
      }
    }
  }
  c.out.resize(as_size(outputs * (points + 1) * 2 * pairs));
  for (double& v : c.out) v = u(gen);
  return c;
}

// The definition, one coefficient at a time.
std::vector<double> reference(const Case& c) {
  std::vector<double> out = c.out;
  const int pairs = harmonic_count(c.l_max);
  const auto orders = as_size(c.l_max + 1);
  for (int o = 0; o < c.outputs; ++o) {
    for (int p = 0; p < c.points; ++p) {
      double* dst = &out[as_size(o * (c.points + 1) + p) * as_size(2 * pairs)];
      for (int l = 0; l < c.used; ++l) {
        const int n = c.sources[as_size(p) * orders + as_size(l)];
        for (int m = 0; m <= l; ++m) {
          const auto i = as_size(harmonic_index(l, m));
          double re = 0.0, im = 0.0;
          for (int b = 0; b < n; ++b) {
            const double w = c.weights[weight_at(c, b, l, o, p)];
            re += w * c.y[as_size(b)][i].real();
            im += w * -c.y[as_size(b)][i].imag();
          }
          if (n > 0) {
            dst[2 * i] += re;
            dst[2 * i + 1] += im;
          }
        }
      }
    }
  }
  return out;
}

std::vector<double> tiled(const Case& c, SimdLevel level) {
  RowBlock block;
  block.reset(c.l_max, c.size, tile_shape(level));
  for (int b = 0; b < c.size; ++b) block.store(b, c.y[as_size(b)]);
  std::vector<double> out = c.out;
  const int pairs = harmonic_count(c.l_max);
  const auto orders = as_size(c.l_max + 1);
  Tile t;
  t.y = &block;
  t.points = c.points;
  t.outputs = c.outputs;
  t.orders = c.used;
  t.weights = c.weights.data();
  t.stride = orders * 2 * kTilePoints;
  t.order_stride = 2 * kTilePoints;
  t.output_stride = kTilePoints;
  for (int p = 0; p < c.points; ++p) {
    t.sources[p] = &c.sources[as_size(p) * orders];
    for (int o = 0; o < c.outputs; ++o) {
      t.out[o][p] = &out[as_size(o * (c.points + 1) + p) * as_size(2 * pairs)];
    }
  }
  add_tile(t, level);
  return out;
}

TEST(MultipoleTiles, SumsMatchThePlainLoopToTheBitOnEveryLevel) {
  struct Shape {
    int l_max, size, points, outputs;
  };
  // Orders with rows of every tail width, blocks of one source up to more than a vector's worth,
  // one to four points, one and two outputs.
  const Shape shapes[] = {{0, 1, 1, 1},   {0, 5, 4, 2},  {1, 3, 2, 2},   {3, 9, 3, 1},
                          {4, 17, 4, 2},  {7, 33, 1, 2}, {8, 12, 4, 1},  {15, 64, 4, 2},
                          {15, 129, 3, 2}, {20, 7, 2, 1}, {50, 40, 4, 2}};
  for (const SimdLevel level : available_levels()) {
    for (const Shape& s : shapes) {
      SCOPED_TRACE(std::string(simd_level_name(level)) + " L " + std::to_string(s.l_max) + " size " +
                   std::to_string(s.size) + " points " + std::to_string(s.points) + " outputs " +
                   std::to_string(s.outputs));
      const Case c = make_case(s.l_max, s.size, s.points, s.outputs,
                               static_cast<unsigned>(17 * s.l_max + s.size));
      const std::vector<double> expected = reference(c);
      const std::vector<double> got = tiled(c, level);
      ASSERT_EQ(got.size(), expected.size());
      int differing = 0;
      for (std::size_t i = 0; i < got.size(); ++i) differing += same_bits(got[i], expected[i]) ? 0 : 1;
      // The guard point after each output's points is among the compared values: untouched.
      EXPECT_EQ(differing, 0);
    }
  }
}

TEST(MultipoleTiles, HarmonicsStoredAsFactorsMatchTheStoredProducts) {
  // Directions all over the sphere, the poles and the seam of φ included, on every level's
  // layout: the conj(Y) stored from r_lm and e^{imφ} are the bits stored from Y itself.
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (const int l_max : {0, 3, 15, 50}) {
    const HarmonicTables tables = make_harmonic_tables(l_max, 5);
    std::vector<std::pair<double, double>> directions = {{1.0, 0.0}, {-1.0, 0.0}, {0.0, 6.283}};
    for (int i = 0; i < 20; ++i) directions.emplace_back(2.0 * u(gen) - 1.0, 6.283185 * u(gen));
    for (const SimdLevel level : available_levels()) {
      SCOPED_TRACE(std::string(simd_level_name(level)) + " L " + std::to_string(l_max));
      RowBlock products, factors;
      products.reset(l_max, static_cast<int>(directions.size()), tile_shape(level));
      factors.reset(l_max, static_cast<int>(directions.size()), tile_shape(level));
      std::vector<std::complex<double>> y(as_size(tables.pair_count()));
      std::vector<double> r(as_size(tables.pair_count()) + kRowOverrun);  // read past the pairs
      for (std::size_t b = 0; b < directions.size(); ++b) {
        const auto [cos_theta, phi] = directions[b];
        harmonics_for_direction(tables, cos_theta, phi, y);
        products.store(static_cast<int>(b), y);
        factors.store_factors(static_cast<int>(b), r, harmonic_factors(tables, cos_theta, phi, r));
      }
      std::size_t doubles = 0;
      for (int l = 0; l <= l_max; ++l) {
        for (const RowBlock::Chunk& ch : products.row_chunks(l)) {
          doubles = std::max(doubles, ch.offset + as_size(ch.vectors * products.lanes()) * directions.size());
        }
      }
      EXPECT_EQ(std::memcmp(products.data(), factors.data(), doubles * sizeof(double)), 0);
    }
  }
}

TEST(MultipoleTiles, RowsAreCutIntoChunksOfWholeVectors) {
  for (const SimdLevel level : available_levels()) {
    SCOPED_TRACE(simd_level_name(level));
    const TileShape shape = tile_shape(level);
    EXPECT_EQ(shape.lanes, simd_lanes(level));
    EXPECT_LE(shape.points, kTilePoints);
    RowBlock block;
    block.reset(9, 3, shape);
    for (int l = 0; l <= 9; ++l) {
      int covered = l * (l + 1);
      for (const RowBlock::Chunk& ch : block.row_chunks(l)) {
        EXPECT_EQ(ch.first, covered);
        EXPECT_LE(ch.width, shape.lanes * shape.chunk_vectors);
        EXPECT_EQ(ch.vectors, (ch.width + shape.lanes - 1) / shape.lanes);
        covered += ch.width;
      }
      EXPECT_EQ(covered, (l + 1) * (l + 2)) << "row " << l;
    }
  }
}

TEST(SimdLevels, AutomaticIsTheDetectedLevelAndMissingLevelsFallBack) {
  const SimdLevel best = detected_simd_level();
  EXPECT_EQ(resolve_simd_level(SimdLevel::automatic), best);
  EXPECT_EQ(resolve_simd_level(SimdLevel::baseline), SimdLevel::baseline);
  for (const SimdLevel l : {SimdLevel::avx2, SimdLevel::avx512}) {
    const SimdLevel r = resolve_simd_level(l);
    EXPECT_TRUE(r == l || r == best) << simd_level_name(l);
  }
  EXPECT_EQ(simd_lanes(SimdLevel::baseline), 2);
}

}  // namespace
}  // namespace tessel::multipole
