// Tiled inner loop of the multipole sums over a block of sources (atoms or envelope directions):
// for several s points at once, each source b adds w_b,l(s)·conj(Y_lm(ω_b)) to every coefficient
// (l, m) of the orders it counts, for one or two sets of weights (two amplitudes over the same
// harmonics). The harmonics of a source are loaded once for all the points and weights of a
// tile, and the sums are formed in vector registers.
//
// Every coefficient of every point gets, as in the plain loop, the sum over the sources in block
// order started from zero and then added to the coefficient; terms of sources that do not count
// an order at a point carry the weight 0, which leaves the sum's bits unchanged. So the result
// is the same whatever the tile size or the instruction set.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "core/kernels/simd_level.hpp"

namespace tessel::multipole {

// Points a caller prepares weights for at a time, and points per tile at most (a tile of one
// output may hold two such groups).
inline constexpr int kTilePoints = 4;
inline constexpr int kMaxTilePoints = 8;

// The vector shape of the sums on an instruction set.
struct TileShape {
  int lanes = 2;          // doubles per vector
  int chunk_vectors = 2;  // vectors per chunk of a row: a row is summed chunk after chunk
  int points = 2;         // s points summed together for two outputs, at most kTilePoints
  int single_points = 4;  // the same for one output, at most kMaxTilePoints
};
TileShape tile_shape(SimdLevel level);

// conj(Y) of a block of sources for the tiled sums. The coefficients of one s point are doubles
// (re, im) in harmonic-index order: row l, the pairs m = 0..l, occupies doubles l(l+1) up to
// (l+1)(l+2) − 1. Each row is cut into chunks of at most lanes·chunk_vectors doubles, the last
// one padded with zeros to whole vectors, and a chunk stores its padded doubles source after
// source, so that the sum over the sources reads one run of memory.
class RowBlock {
 public:
  struct Chunk {
    int first = 0;            // first double of the chunk within a point's coefficients
    int first_m = 0;          // m of the chunk's first pair
    int width = 0;            // doubles of the chunk
    int vectors = 0;          // vectors of the padded chunk
    std::size_t offset = 0;   // where source 0 of the chunk starts in data()
  };

  // Space for `size` sources with rows 0..l_max; the previous contents are dropped.
  void reset(int l_max, int size, TileShape shape);
  int size() const { return size_; }
  int l_max() const { return l_max_; }
  int lanes() const { return shape_.lanes; }
  const TileShape& shape() const { return shape_; }

  // Stores conj(y) as source b; y holds the (l_max+1)(l_max+2)/2 harmonics in index order.
  void store(int b, std::span<const std::complex<double>> y);
  // The same for harmonics given as factors y_lm = r_lm·e^{imφ} (see harmonic_factors): stores
  // (r·cos mφ, −(r·sin mφ)), the same bits as store() of the products. Both spans are read up to
  // eight values past the pairs and orders they hold, which must be readable.
  void store_factors(int b, std::span<const double> r, std::span<const std::complex<double>> phases);

  std::span<const Chunk> row_chunks(int l) const;
  const double* data() const { return values_.data(); }

 private:
  int l_max_ = -1;
  int size_ = 0;
  TileShape shape_;
  std::vector<Chunk> chunks_;
  std::vector<int> row_first_;  // first chunk of row l; row_first_[l_max + 1] = chunks_.size()
  std::vector<double> values_;
};

// Where a tile's weights lie (see Tile::weights): the number of outputs and the strides of a
// source, an order and an output.
struct WeightLayout {
  int outputs = 1;
  std::size_t stride = 0;
  std::size_t order_stride = 0;
  std::size_t output_stride = 0;
};

// One tile of sums over the sources of a RowBlock.
struct Tile {
  Tile() = default;
  // A tile of `count` points summing orders 0..used−1 of `block` with the given weights; its
  // sources and outputs are set afterwards.
  Tile(const RowBlock& block, int count, int used, const double* weight_values,
       const WeightLayout& layout)
      : y(&block),
        points(count),
        outputs(layout.outputs),
        orders(used),
        weights(weight_values),
        stride(layout.stride),
        order_stride(layout.order_stride),
        output_stride(layout.output_stride) {}

  const RowBlock* y = nullptr;
  int points = 0;   // s points of the tile, 1..kMaxTilePoints
  int outputs = 1;  // 1 or 2 sets of weights and coefficients
  int orders = 0;   // rows l = 0..orders−1 are summed (at most y->l_max() + 1)
  // Per point and row l: the sources that count order l there, always the first ones of the
  // block; the counts do not increase with l.
  const int* sources[kMaxTilePoints] = {};
  // The weights: source b, order l, output o and point p at
  //   weights[b·stride + l·order_stride + o·output_stride + p]
  // for b below the largest count of row 0 and l < orders, 0 where source b does not count
  // order l at that point. The weights the sums read together for one source and order lie
  // next to each other (one cache line).
  const double* weights = nullptr;
  std::size_t stride = 0;
  std::size_t order_stride = 0;   // at least outputs·output_stride
  std::size_t output_stride = 0;  // at least points (when there are two outputs)
  // Per output and point: the coefficients the sums are added to.
  double* out[2][kMaxTilePoints] = {};
};

// The orders counted by the sources of a block (in falling radius) at `points` points s[p]:
// counts[p·n + b] for x = s_p·(r_b + offset), n = radius.size(). They grow along the points, as x
// does, and fall along the block. Returns the most orders any source counts (those of source 0
// at the last point; 0 for an empty block) and sets `active` to the sources that count at least
// order 0 at the last point (the others add nothing at these points).
int count_block_orders(const double* s, int points, std::span<const double> radius, double offset,
                       int l_max, std::vector<int>& counts, std::size_t& active);

// Sets tile.sources for every point of the tile from the counts count_block_orders left for its
// points: the sources are ordered so that, at every point, those counting order l come first,
// and sources[p·orders + l] is how many of the first `active` count it at point p.
void set_tile_sources(Tile& tile, const std::vector<int>& counts, std::size_t active, int used,
                      std::vector<int>& sources, std::size_t orders);

// Adds the sums of a tile to its coefficients on the given level (automatic: the widest the
// processor has). The tile's points are taken tile_shape(level).points (one output:
// single_points) at a time.
void add_tile(const Tile& tile, SimdLevel level);

}  // namespace tessel::multipole
