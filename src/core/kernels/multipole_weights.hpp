// Weights of the multipole sums at a tile of s points, laid out as the tiled sums read them: for
// the atoms j_l(s_k·r)·f(s_k) (atoms in vacuum) and j_l(s_k·r)·g(s_k) (displaced solvent), for the
// shell the radial integral of j_l over the shell of each envelope direction, from their
// straight-line tables.
#pragma once

#include <cstddef>
#include <vector>

#include "core/bessel.hpp"
#include "core/kernels/multipole_tiles.hpp"
#include "core/kernels/simd_level.hpp"

namespace tessel {

struct AtomWeightsJob {
  const LineTable* bessel = nullptr;
  int points = 0;                          // 1..multipole::kTilePoints
  int orders = 0;                          // orders written: l = 0..orders−1
  int atoms = 0;                           // atoms of the block that get weights
  const double* s = nullptr;               // the points' s, 1/Å
  int first_point = 0;                     // index of the first point in the form-factor columns
  const double* radius = nullptr;          // r per atom, Å
  const double* const* vacuum = nullptr;   // f column per atom
  const double* const* solvent = nullptr;  // g column per atom, nullptr: g = 0 (dummy residue)
  const int* counts = nullptr;             // orders counted, [point·count_stride + atom]
  std::size_t count_stride = 0;
  // w[b·per_atom + l·2·kTilePoints + o·kTilePoints + p]: o = 0 the atoms, o = 1 the solvent;
  // 0 for orders an atom does not count at a point and for points beyond `points`.
  double* out = nullptr;
  std::size_t per_atom = 0;
};

// Fills the weights. j = a·x + b from the table's line of the interval of x = s·r, then j·f and
// j·g, rounded alike on every level.
void atom_weights(const AtomWeightsJob& job, SimdLevel level);

// A line table's slopes and intercepts apart, for loops over eight orders at a time: interval i
// holds the slopes of orders 0..orders−1 from planar[i·stride], the intercepts from
// planar[i·stride + half], each run padded with zeros to a multiple of eight.
struct PlanarLines {
  std::vector<double> values;
  std::size_t half = 0;
  std::size_t stride = 0;
};
PlanarLines make_planar_lines(const LineTable& table);

struct BesselWeightsJob {
  const LineTable* bessel = nullptr;
  const PlanarLines* planar = nullptr;     // the same table apart; needed on the widest level
  int points = 0;                          // 1..multipole::kTilePoints
  int orders = 0;                          // orders written: l = 0..orders−1
  int atoms = 0;                           // atoms of the block that get weights
  const double* s = nullptr;               // the points' s, 1/Å
  const double* radius = nullptr;          // r per atom, Å
  const int* counts = nullptr;             // orders counted, [point·count_stride + atom]
  std::size_t count_stride = 0;
  // w[b·per_atom + l·order_stride + p] for p < kTilePoints; 0 for orders an atom does not count
  // at a point and for points beyond `points`.
  double* out = nullptr;
  std::size_t per_atom = 0;
  std::size_t order_stride = multipole::kTilePoints;
};

// Fills the weights j_l(s_p·r_b) alone, for sums over atoms that share one form factor: j = a·x + b
// from the table's line of the interval of x = s·r, rounded alike on every level.
void bessel_weights(const BesselWeightsJob& job, SimdLevel level);

struct ShellWeightsJob {
  const LineTable* integrals = nullptr;    // J_l(x) = ∫₀ˣ j_l(t)·t² dt
  const PlanarLines* planar = nullptr;     // the same table apart; needed on the widest level
  int points = 0;                          // 1..multipole::kTilePoints
  int orders = 0;                          // orders written: l = 0..orders−1
  int directions = 0;                      // directions of the block that get weights
  const double* s = nullptr;               // the points' s, 1/Å
  const double* inv_s3 = nullptr;          // the points' 1/s³
  const double* radius = nullptr;          // F per direction, Å
  const int* counts = nullptr;             // orders counted, [point·count_stride + direction]
  std::size_t count_stride = 0;
  // w[d·per_direction + l·order_stride + p] for p < kTilePoints; 0 for orders a direction does
  // not count at a point and for points beyond `points`.
  double* out = nullptr;
  std::size_t per_direction = 0;
  std::size_t order_stride = multipole::kTilePoints;
};

// The shell weights (J_l(x_out) − J_l(x_in))/s³ from the table, with x_out = s·(F + 4) and
// x_in = max(x_out − 3·s, 0), for every direction of the job (finite everywhere, 0 at s = 0; the
// caller replaces those of small x_out by the series); rounded alike on every level.
void shell_weights(const ShellWeightsJob& job, SimdLevel level);

}  // namespace tessel
