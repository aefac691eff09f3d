// Weights of the atom sums at a tile of s points: j_l(s_k·r)·f(s_k) for the atoms in vacuum and
// j_l(s_k·r)·g(s_k) for the displaced solvent, with j_l from the straight-line table, for every
// atom of a block and every order it counts; laid out as the tiled sums read them.
#pragma once

#include <cstddef>

#include "core/bessel.hpp"
#include "core/multipole_tiles.hpp"
#include "core/simd_level.hpp"

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

}  // namespace tessel
