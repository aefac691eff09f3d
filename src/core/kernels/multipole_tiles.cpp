// Tiled inner loop of the multipole sums, compiled once per instruction set.
#include "core/kernels/multipole_tiles.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "core/bessel.hpp"
#include "core/kernels/simd_target.hpp"
#include "core/kernels/wide_vectors.hpp"

namespace tessel::multipole {

namespace {

std::size_t as_size(int n) { return static_cast<std::size_t>(n); }

constexpr int row_begin(int l) { return l * (l + 1); }
constexpr int row_end(int l) { return (l + 1) * (l + 2); }

// The largest number of vectors per chunk on any level.
[[maybe_unused]] constexpr int kMaxChunkVectors = 2;

// N doubles in one vector register (two, four or eight).
template <int N>
struct VectorOf;
template <>
struct VectorOf<2> {
  typedef double type __attribute__((vector_size(16)));
};
template <>
struct VectorOf<4> {
  typedef double type __attribute__((vector_size(32)));
};
template <>
struct VectorOf<8> {
  typedef double type __attribute__((vector_size(64)));
};
template <int N>
using Vec = typename VectorOf<N>::type;

// The sums over the first n sources of one chunk of C vectors for P points and O outputs,
// formed in registers in source order and then added to the coefficients (`width` doubles).
// w points at the weight of source 0, output 0 and the first point of this call.
template <int N, int P, int C, int O>
[[gnu::always_inline]] inline void chunk_sums(const double* y, int n, const double* w,
                                              std::size_t stride, std::size_t output_stride,
                                              double* const* out, int width) {
  using V = Vec<N>;
  V acc[O][P][C];
  for (int o = 0; o < O; ++o)
    for (int p = 0; p < P; ++p)
      for (int c = 0; c < C; ++c) acc[o][p][c] = V{};
  for (int b = 0; b < n; ++b) {
    V yv[C];
    for (int c = 0; c < C; ++c) std::memcpy(&yv[c], y + (b * C + c) * N, sizeof(V));
    const double* wb = w + static_cast<std::size_t>(b) * stride;
    for (int o = 0; o < O; ++o) {
      for (int p = 0; p < P; ++p) {
        const double v = wb[as_size(o) * output_stride + as_size(p)];  // broadcast to every lane
        for (int c = 0; c < C; ++c) acc[o][p][c] += v * yv[c];
      }
    }
  }
  for (int o = 0; o < O; ++o) {
    for (int p = 0; p < P; ++p) {
      double* dst = out[o * P + p];
      for (int c = 0; c < C; ++c) {
        if ((c + 1) * N <= width) {
          V d;
          std::memcpy(&d, dst + c * N, sizeof(V));
          d += acc[o][p][c];
          std::memcpy(dst + c * N, &d, sizeof(V));
        } else {
          // The padded tail: only the chunk's own doubles are written, so that a neighbouring
          // point's coefficients are never touched.
          for (int i = 0; c * N + i < width; ++i) dst[c * N + i] += acc[o][p][c][i];
        }
      }
    }
  }
}

// The rows of points p0..p0+P−1 of a tile.
template <int N, int P>
[[gnu::always_inline]] inline void tile_rows(const Tile& t, int p0) {
  const RowBlock& block = *t.y;
  double* out[2 * P];
  for (int l = 0; l < t.orders; ++l) {
    int n = 0;
    for (int p = 0; p < P; ++p) n = std::max(n, t.sources[p0 + p][l]);
    if (n == 0) break;
    const double* w = t.weights + as_size(l) * t.order_stride + as_size(p0);
    for (const RowBlock::Chunk& ch : block.row_chunks(l)) {
      for (int o = 0; o < t.outputs; ++o) {
        for (int p = 0; p < P; ++p) out[o * P + p] = t.out[o][p0 + p] + ch.first;
      }
      const double* y = block.data() + ch.offset;
      if (t.outputs == 2) {
        if (ch.vectors == 1) {
          chunk_sums<N, P, 1, 2>(y, n, w, t.stride, t.output_stride, out, ch.width);
        } else {
          chunk_sums<N, P, 2, 2>(y, n, w, t.stride, t.output_stride, out, ch.width);
        }
      } else {
        if (ch.vectors == 1) {
          chunk_sums<N, P, 1, 1>(y, n, w, t.stride, t.output_stride, out, ch.width);
        } else {
          chunk_sums<N, P, 2, 1>(y, n, w, t.stride, t.output_stride, out, ch.width);
        }
      }
    }
  }
}

// Points MaxP2 at a time for two outputs, MaxP1 for one.
template <int N, int MaxP2, int MaxP1>
[[gnu::always_inline]] inline void add_tile_on(const Tile& t) {
  const int most = t.outputs == 2 ? MaxP2 : MaxP1;
  int p0 = 0;
  while (p0 < t.points) {
    const int left = std::min(t.points - p0, most);
    switch (left) {
      case 1: tile_rows<N, 1>(t, p0); break;
      case 2: tile_rows<N, 2>(t, p0); break;
      case 3: if constexpr (MaxP1 >= 3) tile_rows<N, 3>(t, p0); break;
      case 4: if constexpr (MaxP1 >= 4) tile_rows<N, 4>(t, p0); break;
      case 5: if constexpr (MaxP1 >= 5) tile_rows<N, 5>(t, p0); break;
      case 6: if constexpr (MaxP1 >= 6) tile_rows<N, 6>(t, p0); break;
      case 7: if constexpr (MaxP1 >= 7) tile_rows<N, 7>(t, p0); break;
      default: if constexpr (MaxP1 >= 8) tile_rows<N, 8>(t, p0); break;
    }
    p0 += left;
  }
}

// One entry per instruction set. Multiplies and adds are kept apart (no fused multiply-add),
// so that every level rounds exactly as the baseline does.

void add_tile_baseline(const Tile& t) { add_tile_on<2, 2, 4>(t); }

#if defined(__x86_64__)
TESSEL_TARGET_AVX2 void add_tile_avx2(const Tile& t) { add_tile_on<4, 2, 4>(t); }
TESSEL_TARGET_AVX512 void add_tile_avx512(const Tile& t) { add_tile_on<8, 4, 8>(t); }
#endif


}  // namespace

TileShape tile_shape(SimdLevel level) {
  switch (resolve_simd_level(level)) {
    case SimdLevel::avx512: return {8, 2, 4, 8};
    case SimdLevel::avx2: return {4, 2, 2, 4};
    default: return {2, 2, 2, 4};
  }
}

void RowBlock::reset(int l_max, int size, TileShape shape) {
  assert(l_max >= 0 && size >= 0);
  assert(shape.chunk_vectors >= 1 && shape.chunk_vectors <= kMaxChunkVectors);
  l_max_ = l_max;
  size_ = size;
  shape_ = shape;
  const int chunk_doubles = shape.lanes * shape.chunk_vectors;
  chunks_.clear();
  row_first_.assign(as_size(l_max + 2), 0);
  std::size_t offset = 0;
  for (int l = 0; l <= l_max; ++l) {
    row_first_[as_size(l)] = static_cast<int>(chunks_.size());
    for (int first = row_begin(l); first < row_end(l); first += chunk_doubles) {
      Chunk ch;
      ch.first = first;
      ch.first_m = (first - row_begin(l)) / 2;
      ch.width = std::min(chunk_doubles, row_end(l) - first);
      ch.vectors = (ch.width + shape.lanes - 1) / shape.lanes;
      ch.offset = offset;
      offset += as_size(ch.vectors * shape.lanes) * as_size(size);
      chunks_.push_back(ch);
    }
  }
  row_first_[as_size(l_max + 1)] = static_cast<int>(chunks_.size());
  // Every double, the padding included, is written by store().
  values_.resize(offset);
}

void RowBlock::store(int b, std::span<const std::complex<double>> y) {
  assert(b >= 0 && b < size_);
  assert(y.size() >= as_size((l_max_ + 1) * (l_max_ + 2) / 2));
  const std::size_t bb = as_size(b);
  for (const Chunk& ch : chunks_) {
    const int padded = ch.vectors * shape_.lanes;
    double* dst = values_.data() + ch.offset + bb * as_size(padded);
    // Chunks start on a pair and hold whole pairs: (re, im) doubles, im negated.
    const double* src = reinterpret_cast<const double*>(y.data()) + ch.first;
    for (int q = 0; q < ch.width; q += 2) {
      dst[q] = src[q];
      dst[q + 1] = -src[q + 1];
    }
    for (int q = ch.width; q < padded; ++q) dst[q] = 0.0;
  }
}

#if defined(__x86_64__)
namespace {

using wide::I8;
using wide::V8;

// store_factors on the eight-lane layout: per chunk the r of up to eight pairs, each taken for
// both doubles of its pair, times the phases, the imaginary parts negated (a product with −1)
// and the padding set to zero. r and e are read up to eight pairs past the chunk; the lanes
// beyond the chunk's width are dropped.
TESSEL_TARGET_AVX512 void store_factors_wide(
    std::span<const RowBlock::Chunk> chunks, double* values, std::size_t b, const double* r,
    const double* e) {
  const I8 lane = {0, 1, 2, 3, 4, 5, 6, 7};
  const V8 sign = {1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0, -1.0};
  const V8 zero = {};
  for (const RowBlock::Chunk& ch : chunks) {
    double* dst = values + ch.offset + b * as_size(8 * ch.vectors);
    V8 rv, e0;
    std::memcpy(&rv, r + ch.first / 2, sizeof rv);
    std::memcpy(&e0, e + 2 * ch.first_m, sizeof e0);
    const V8 low = (__builtin_shufflevector(rv, rv, 0, 0, 1, 1, 2, 2, 3, 3) * e0) * sign;
    const V8 v0 = lane < static_cast<long long>(ch.width) ? low : zero;
    std::memcpy(dst, &v0, sizeof v0);
    if (ch.vectors == 2) {
      V8 e1;
      std::memcpy(&e1, e + 2 * ch.first_m + 8, sizeof e1);
      const V8 high = (__builtin_shufflevector(rv, rv, 4, 4, 5, 5, 6, 6, 7, 7) * e1) * sign;
      const V8 v1 = lane + 8 < static_cast<long long>(ch.width) ? high : zero;
      std::memcpy(dst + 8, &v1, sizeof v1);
    }
  }
}

}  // namespace
#endif

void RowBlock::store_factors(int b, std::span<const double> r,
                             std::span<const std::complex<double>> phases) {
  assert(b >= 0 && b < size_);
  assert(r.size() >= as_size((l_max_ + 1) * (l_max_ + 2) / 2));
  assert(phases.size() >= as_size(l_max_ + 1));
  const std::size_t bb = as_size(b);
  const double* e = reinterpret_cast<const double*>(phases.data());
#if defined(__x86_64__)
  if (shape_.lanes == 8 && shape_.chunk_vectors == 2) {
    // Only the widest level lays blocks out in eight lanes.
    store_factors_wide(chunks_, values_.data(), bb, r.data(), e);
    return;
  }
#endif
  for (const Chunk& ch : chunks_) {
    const int padded = ch.vectors * shape_.lanes;
    double* dst = values_.data() + ch.offset + bb * as_size(padded);
    const double* rc = r.data() + ch.first / 2;
    const double* ec = e + 2 * ch.first_m;
    for (int q = 0; q < ch.width / 2; ++q) {
      dst[2 * q] = rc[q] * ec[2 * q];
      dst[2 * q + 1] = -(rc[q] * ec[2 * q + 1]);
    }
    for (int q = ch.width; q < padded; ++q) dst[q] = 0.0;
  }
}

int count_block_orders(const double* s, int points, std::span<const double> radius, double offset,
                       int l_max, std::vector<int>& counts, std::size_t& active) {
  const std::size_t n = radius.size();
  const auto count = as_size(points);
  counts.resize(count * n);
  for (std::size_t p = 0; p < count; ++p) {
    counted_orders_at(s[p], radius.data(), n, offset, l_max, &counts[p * n]);
  }
  active = 0;
  if (n == 0 || count == 0) return 0;
  const int* last = &counts[(count - 1) * n];
  active = n;
  while (active > 0 && last[active - 1] == 0) --active;
  return last[0];
}

void set_tile_sources(Tile& tile, const std::vector<int>& counts, std::size_t active, int used,
                      std::vector<int>& sources, std::size_t orders) {
  const auto points = as_size(tile.points);
  const std::size_t n = points == 0 ? 0 : counts.size() / points;
  sources.resize(points * orders);
  for (std::size_t p = 0; p < points; ++p) {
    // The counts do not increase along the block: the sources counting l are a prefix.
    const int* c = &counts[p * n];
    int* out = &sources[p * orders];
    auto m = active;
    for (int l = 0; l < used; ++l) {
      while (m > 0 && c[m - 1] <= l) --m;
      out[l] = static_cast<int>(m);
    }
    tile.sources[p] = out;
  }
}

std::span<const RowBlock::Chunk> RowBlock::row_chunks(int l) const {
  assert(l >= 0 && l <= l_max_);
  const auto first = as_size(row_first_[as_size(l)]);
  const auto last = as_size(row_first_[as_size(l) + 1]);
  return std::span<const Chunk>(chunks_).subspan(first, last - first);
}

void add_tile(const Tile& tile, SimdLevel level) {
  assert(tile.y != nullptr);
  assert(tile.points >= 1 && tile.points <= kMaxTilePoints);
  assert(tile.outputs == 1 || tile.outputs == 2);
  assert(tile.outputs == 1 || tile.output_stride >= as_size(tile.points));
  assert(tile.orders <= tile.y->l_max() + 1);
  const SimdLevel resolved = resolve_simd_level(level);
  // The block's layout must be the one of the level that sums it.
  assert(tile.y->lanes() == tile_shape(resolved).lanes);
#if defined(__x86_64__)
  if (resolved == SimdLevel::avx512) return add_tile_avx512(tile);
  if (resolved == SimdLevel::avx2) return add_tile_avx2(tile);
#endif
  add_tile_baseline(tile);
}

}  // namespace tessel::multipole
