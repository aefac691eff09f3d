// Angular envelope of a particle: one radius per direction of the Fibonacci grid, the outer
// boundary of the atoms as seen from the centre, with its statistics and its expansion in
// spherical harmonics. Lengths in Å, volumes in Å³, areas in Å².
#pragma once

#include <complex>
#include <span>
#include <vector>

#include "core/fibonacci_grid.hpp"
#include "core/harmonic_tables.hpp"
#include "core/kernels/worker_pool.hpp"

namespace tessel {

inline constexpr double kShellWidth = 3.0;        // Å, hydration shell outside the envelope
inline constexpr double kAtomReachMargin = 1.55;  // Å, added to an atom's radius in the search
// Volume of a sphere per unit radius cubed as the program has always used it (not quite 4π/3).
inline constexpr double kEnvelopeVolumeFactor = 4.188748316884343;
// The envelope function is expanded up to this order at most.
inline constexpr int kEnvelopeFunctionMaxOrder = 20;

// The completed envelope.
struct Envelope {
  std::vector<double> radius;  // F_j per grid direction (0-based, grid order)
  double max_radius = 0.0;     // R_env = max F_j
  int zero_directions = 0;     // directions that no atom reached
  double zero_radius = 0.0;    // the radius those directions were given
};

// The search for the outermost atom along every direction, fed one atom at a time in file
// order (ties go to the later atom, so the order matters). Per direction it keeps the radius,
// the number of the atom that set it and that atom's squared distance from the ray, and the same
// three for the runner-up, the value the radius had before the last atom that raised it.
class EnvelopeSearch {
 public:
  explicit EnvelopeSearch(const FibonacciGrid& grid);

  // An atom at position (x, y, z) from the centre, at distance r > 0 with polar angle θ, type
  // radius R and 1-based sequence number. Its reach R + 1.55 subtends a cone about its direction;
  // the directions of the band of the grid that can meet the cone are tested, and each whose ray
  // passes within the reach (projection p > 0, r² − p² ≤ (R + 1.55)²) takes the candidate radius
  // p + R/2 when it is not smaller than the current one.
  void add_atom(double x, double y, double z, double r, double theta, double atom_radius,
                int sequence);

  // Completion: per direction, the runner-up replaces the radius when the runner-up's atom is the
  // outermost atom of some direction of the grid, the outermost atom of this direction lies no
  // closer to the ray than the runner-up's, and the runner-up radius is positive. Directions left
  // at 0 then get zero_radius (see zero_direction_radius).
  Envelope complete(double zero_radius) const;

  // The search state of direction j, for inspection.
  double radius(int j) const { return radius_[static_cast<std::size_t>(j)]; }
  int atom(int j) const { return atom_[static_cast<std::size_t>(j)]; }
  double runner_up_radius(int j) const { return runner_radius_[static_cast<std::size_t>(j)]; }
  int runner_up_atom(int j) const { return runner_atom_[static_cast<std::size_t>(j)]; }

 private:
  const FibonacciGrid* grid_;
  std::vector<double> radius_, runner_radius_;
  std::vector<double> lateral_, runner_lateral_;  // squared distances from the ray, Å²
  std::vector<int> atom_, runner_atom_;           // sequence numbers, 0 = none
  std::vector<int> reached_;                      // scratch: directions an atom reaches
};

// The radius given to directions that no atom reached: a tenth of the electron radius of
// gyration. A model whose atoms all sit at the centre has Rg_e = 0 and no atom reaches any
// direction; its envelope then takes half the largest atomic radius, the radius p + R/2 that
// the search gives an atom at p = 0, so that the envelope and the shell keep a finite size.
double zero_direction_radius(double electron_rg, double largest_atom_radius);

// Statistics of an envelope with a shell of kShellWidth (sums over the N directions).
struct EnvelopeStatistics {
  double volume = 0.0;        // 4.188748316884343·Σ F³/N
  double shell_volume = 0.0;  // 4.188748316884343·Σ ((F+3)³ − F³)/N
  double surface = 0.0;       // 4π·Σ F²/N
  double rg = 0.0;            // √(0.6·Σ F⁵/Σ F³); 0 for an envelope of zero size
  double shell_rg = 0.0;      // √(0.6·Σ ((F+3)⁵ − F⁵)/Σ ((F+3)³ − F³))
  double radius = 0.0;        // (3·volume/(4π))^(1/3), the sphere of equal volume
  double diameter = 0.0;      // largest distance between two envelope points F_j·u_j
};
EnvelopeStatistics envelope_statistics(const FibonacciGrid& grid, std::span<const double> radius);
// The same but the diameter (left 0): the sums over the directions alone.
EnvelopeStatistics envelope_sums(std::span<const double> radius);
EnvelopeStatistics envelope_statistics(const FibonacciGrid& grid, std::span<const double> radius,
                                       const LoopSettings& loops);

// The largest distance between two points F_j·u_j of the envelope (0 for fewer than two). The
// threads of `loops` share the pairs when there are many; the result does not depend on them.
double envelope_diameter(const FibonacciGrid& grid, std::span<const double> radius);
double envelope_diameter(const FibonacciGrid& grid, std::span<const double> radius,
                         const LoopSettings& loops);

// Expansion of the envelope function for the coefficient file: for l = 0..min(L, 20),
// f_lm = (4π/N)·Σ_j F_j·conj(Y_lm(ω_j)) divided by the envelope radius (the radius of the sphere
// of equal volume). An envelope radius of 0 belongs to an envelope of zero size, whose
// coefficients are all 0; they are then left undivided.
struct EnvelopeFunction {
  int l_max = 0;                                   // min(L, 20)
  std::vector<std::complex<double>> coefficients;  // harmonic-index order, harmonic_count(l_max)
  std::vector<int> present;                        // 1 for every coefficient computed
};
EnvelopeFunction envelope_function(const HarmonicTables& tables, std::span<const double> radius,
                                   double envelope_radius);

}  // namespace tessel
