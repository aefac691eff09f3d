// Inner loops of the multipole sums over atoms and envelope directions. At one s point each source
// b of a block adds w_b,l·conj(Y_lm(ω_b)) to every coefficient (l, m) of the orders l it counts.
// The sources of a block are ordered so that those counting order l come first; the sums over a
// block are formed in registers and then added to the coefficients.
#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstring>
#include <span>
#include <vector>

namespace tessel::multipole {

// The coefficients of one s point as doubles (re, im) in harmonic-index order: row l, the pairs
// m = 0..l, occupies doubles l(l+1) up to (l+1)(l+2) − 1.
constexpr int row_begin(int l) { return l * (l + 1); }
constexpr int row_end(int l) { return (l + 1) * (l + 2); }

// Rows are cut into chunks of at most this many doubles, the width of the register sums.
inline constexpr int kChunk = 8;

// conj(Y) of a block of sources, interleaved (re, −im), in chunk-transposed order: the doubles
// of one chunk are stored source after source, so that the sum over sources reads them in one
// run. A chunk starting at double i0 with width w holds source b at yt[size·i0 + b·w].
class HarmonicBlock {
 public:
  // Space for `size` sources of `pairs` coefficients; the previous contents are dropped.
  void reset(int pairs, int size) {
    pairs_ = pairs;
    size_ = size;
    values_.resize(2 * static_cast<std::size_t>(pairs) * static_cast<std::size_t>(size));
  }
  int size() const { return size_; }

  // Stores conj(y) as source b.
  void store(int b, std::span<const std::complex<double>> y) {
    const auto n = static_cast<std::size_t>(size_);
    const auto bb = static_cast<std::size_t>(b);
    for (int l = 0; row_end(l) <= 2 * pairs_; ++l) {
      for (int i0 = row_begin(l); i0 < row_end(l); i0 += kChunk) {
        const int w = std::min(kChunk, row_end(l) - i0);
        double* out = values_.data() + n * static_cast<std::size_t>(i0) +
                      bb * static_cast<std::size_t>(w);
        // Chunks start on a pair and hold whole pairs.
        const std::complex<double>* pairs = y.data() + i0 / 2;
        for (int q = 0; q < w / 2; ++q) {
          out[2 * q] = pairs[q].real();
          out[2 * q + 1] = -pairs[q].imag();
        }
      }
    }
  }

  const double* chunk(int i0) const {
    return values_.data() + static_cast<std::size_t>(size_) * static_cast<std::size_t>(i0);
  }

 private:
  int pairs_ = 0;
  int size_ = 0;
  std::vector<double> values_;
};

namespace detail {

// Two doubles in one register. Writing the chunk sums with it keeps the compiler from
// vectorising across sources, which it would otherwise do with shuffles and spills.
using Pack = double __attribute__((vector_size(16)));

inline Pack load(const double* p) {
  Pack v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void add_to(double* p, Pack v) {
  const Pack sum = load(p) + v;
  std::memcpy(p, &sum, sizeof sum);
}

// Sums over the first n sources of one chunk of W doubles in registers, in source order, and
// adds the sums to the output.
template <int W>
inline void chunk_sum(double* out, const double* y, const double* w, std::size_t stride, int n) {
  constexpr int P = W / 2;
  Pack acc[P] = {};
  for (int b = 0; b < n; ++b) {
    const double wb = w[static_cast<std::size_t>(b) * stride];
    const Pack wv = {wb, wb};
    for (int p = 0; p < P; ++p) acc[p] += wv * load(y + b * W + 2 * p);
  }
  for (int p = 0; p < P; ++p) add_to(out + 2 * p, acc[p]);
}

// The same for two outputs with their own weights over the same harmonics.
template <int W>
inline void chunk_sum2(double* out1, double* out2, const double* y, const double* w1,
                       const double* w2, std::size_t stride, int n) {
  constexpr int P = W / 2;
  Pack acc1[P] = {};
  Pack acc2[P] = {};
  for (int b = 0; b < n; ++b) {
    const double a = w1[static_cast<std::size_t>(b) * stride];
    const double c = w2[static_cast<std::size_t>(b) * stride];
    const Pack av = {a, a};
    const Pack cv = {c, c};
    for (int p = 0; p < P; ++p) {
      const Pack yv = load(y + b * W + 2 * p);
      acc1[p] += av * yv;
      acc2[p] += cv * yv;
    }
  }
  for (int p = 0; p < P; ++p) {
    add_to(out1 + 2 * p, acc1[p]);
    add_to(out2 + 2 * p, acc2[p]);
  }
}

}  // namespace detail

// out[row l] += Σ_{b < active[l]} w[b·stride + l]·conj(Y_b)[row l] for l = 0..orders−1; the
// counts active[l] do not increase with l.
inline void accumulate(double* out, const HarmonicBlock& y, const double* w, std::size_t stride,
                       const int* active, int orders) {
  for (int l = 0; l < orders; ++l) {
    const int n = active[l];
    if (n == 0) break;
    const double* wl = w + l;
    for (int i0 = row_begin(l); i0 < row_end(l); i0 += kChunk) {
      const double* yc = y.chunk(i0);
      switch (std::min(kChunk, row_end(l) - i0)) {
        case 2: detail::chunk_sum<2>(out + i0, yc, wl, stride, n); break;
        case 4: detail::chunk_sum<4>(out + i0, yc, wl, stride, n); break;
        case 6: detail::chunk_sum<6>(out + i0, yc, wl, stride, n); break;
        default: detail::chunk_sum<8>(out + i0, yc, wl, stride, n); break;
      }
    }
  }
}

// The same for two sums over the same harmonics with their own weights.
inline void accumulate2(double* out1, double* out2, const HarmonicBlock& y, const double* w1,
                        const double* w2, std::size_t stride, const int* active, int orders) {
  for (int l = 0; l < orders; ++l) {
    const int n = active[l];
    if (n == 0) break;
    const double* a = w1 + l;
    const double* c = w2 + l;
    for (int i0 = row_begin(l); i0 < row_end(l); i0 += kChunk) {
      const double* yc = y.chunk(i0);
      switch (std::min(kChunk, row_end(l) - i0)) {
        case 2: detail::chunk_sum2<2>(out1 + i0, out2 + i0, yc, a, c, stride, n); break;
        case 4: detail::chunk_sum2<4>(out1 + i0, out2 + i0, yc, a, c, stride, n); break;
        case 6: detail::chunk_sum2<6>(out1 + i0, out2 + i0, yc, a, c, stride, n); break;
        default: detail::chunk_sum2<8>(out1 + i0, out2 + i0, yc, a, c, stride, n); break;
      }
    }
  }
}

}  // namespace tessel::multipole
