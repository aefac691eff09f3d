// The inner sums of the shell amplitudes of several widths: for one harmonic order at one s
// point, the weighted sums over a block of directions of their conj(Y) rows, one sum per width,
// on the widest instruction set the processor has.
#pragma once

#include <cstddef>

#include "core/kernels/simd_level.hpp"

namespace tessel {

// Doubles the sums take at once; every row must be padded with zeros to a multiple of them.
inline constexpr std::size_t kWidthRowChunk = 8;

struct WidthRowJob {
  const double* y = nullptr;  // direction d's padded row at y[d·y_stride], `row` doubles
  std::size_t y_stride = 0;
  int directions = 0;
  int widths = 0;
  std::size_t row = 0;              // a multiple of kWidthRowChunk
  const double* weights = nullptr;  // width w, direction d at weights[w·width_stride + d·direction_stride]
  std::size_t width_stride = 0;
  std::size_t direction_stride = 0;
  double* sums = nullptr;  // out: width w's row at sums[w·row]
};

// sums[w·row + j] = Σ_d weight(w, d)·y(d, j), over the directions in order, with separate
// multiplies and adds: every level gives the same bits. Two widths share each load of a row.
void sum_width_rows(const WidthRowJob& job, SimdLevel level);

}  // namespace tessel
