// Hydration-shell amplitudes for several shell widths at once: along every envelope direction a
// layer of unit density from F_j + 1 Å out to F_j + 1 Å + w, one amplitude per width w, from one
// pass over the directions (each direction's harmonics and its inner radial integral serve every
// width). With w = 3 Å the layer is the shell of hydration_shell.hpp.
#pragma once

#include <span>
#include <vector>

#include "core/bessel.hpp"
#include "core/harmonic_tables.hpp"
#include "core/partial_amplitudes.hpp"
#include "core/kernels/worker_pool.hpp"

namespace tessel {

// The shells of several widths: amplitudes B_w at unit density in the normalisation of
// PartialAmplitudes, and the width's shell statistics over the layer from F_j to F_j + w (as the
// envelope statistics take the 3 Å shell).
struct ShellWidthAmplitudes {
  std::vector<double> widths;                 // Å, as given
  std::vector<PartialAmplitudes> amplitudes;  // one per width
  std::vector<double> volumes;                // 4.188748316884343·Σ ((F+w)³ − F³)/N, Å³
  std::vector<double> rgs;                    // √(0.6·Σ ((F+w)⁵ − F⁵)/Σ ((F+w)³ − F³)), Å
};

// The outer reach a radial integral table needs for these widths: pass it as the envelope radius
// to make_shell_integral_table (whose table reaches R + 5 Å).
double shell_table_radius(double max_envelope_radius, double widest);

// B_lm(s) for every width w > 0:
//   i^l·4π·√(2/π)/N·Σ_j conj(Y_lm(ω_j))·∫ j_l(s·r)·r² dr over [F_j + 1, F_j + 1 + w],
// the integral (J_l(x_out) − J_l(x_in))/s³ from the table when x_out = s·(F_j + 1 + w) exceeds
// 0.4, else from the three-term power series; orders with x_out ≤ 0.75·l − 2.7 are left out, as
// in the single shell. The table must come from make_shell_integral_table for the tables' orders
// and reach shell_table_radius. The directions go in fixed blocks whose sums are added in a fixed
// order, so the result depends neither on the threads nor on the instruction set of `loops`.
ShellWidthAmplitudes shell_amplitudes_for_widths(const HarmonicTables& tables, std::span<const double> s,
                                                 std::span<const double> radius, const LineTable& integrals,
                                                 std::span<const double> widths,
                                                 const LoopSettings& loops = {});

}  // namespace tessel
