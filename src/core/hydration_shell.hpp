// Scattering amplitude of the hydration shell: a layer of unit density between 1 Å and 4 Å
// outside the angular envelope, expanded in spherical harmonics like the atomic amplitudes.
#pragma once

#include <span>

#include "core/bessel.hpp"
#include "core/harmonic_tables.hpp"
#include "core/kernels/progress_marks.hpp"
#include "core/kernels/worker_pool.hpp"
#include "core/partial_amplitudes.hpp"

namespace tessel {

// The shell lies between F_j + 1 Å and F_j + 4 Å along direction j.
inline constexpr double kShellInnerGap = 1.0;  // Å
inline constexpr double kShellOuterGap = 4.0;  // Å

// Cumulative radial integrals J_l(x) = ∫₀ˣ j_l(t)·t² dt for l = 0..l_max as a straight-line
// table over x_k = k·Δx, k = 0..2000, with Δx = 1.0001·s_max·(R_env + 3 + 2)/2000: J_l(0) = 0 and
// each node adds the midpoint value j_l(t)·t²·Δx, t = (k − ½)·Δx. s_max in 1/Å, R_env in Å.
LineTable make_shell_integral_table(int l_max, double s_max, double max_envelope_radius,
                                    BesselRecurrence recurrence = BesselRecurrence::per_order);

// B_lm(s_k) of the shell at unit density in the normalisation of PartialAmplitudes:
//   B_lm(s) = i^l·4π·√(2/π)/N·Σ_j conj(Y_lm(ω_j))·∫ j_l(s·r)·r² dr over [F_j + 1, F_j + 4],
// with the radial integral from the table, (J_l(x_out) − J_l(x_in))/s³, when x_out = s·(F_j + 4)
// exceeds 0.4, and from the first three terms of the power series of j_l below. Terms with
// x_out ≤ 0.75·l − 2.7 are skipped. At s = 0 only B_00 = V_B/(π√2) remains, V_B the shell volume.
// s ascending and ≥ 0; radius holds F_j for every grid direction; the table comes from
// make_shell_integral_table for the same orders. `progress` advances once per direction.
PartialAmplitudes shell_amplitude(const HarmonicTables& tables, std::span<const double> s,
                                  std::span<const double> radius, const LineTable& integrals,
                                  ProgressMarks* progress = nullptr);
// The same with the threads and the instruction set of `loops`; the result does not depend on
// them. The directions go in blocks whose sums over each point are added in grid order, and each
// point is formed by one thread; progress advances after each pass of blocks.
PartialAmplitudes shell_amplitude(const HarmonicTables& tables, std::span<const double> s,
                                  std::span<const double> radius, const LineTable& integrals,
                                  ProgressMarks* progress, const LoopSettings& loops);

}  // namespace tessel
