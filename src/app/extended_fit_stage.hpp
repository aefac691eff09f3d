// The extended fit stage of a job (option --fit extended): shells of several widths from the
// envelope, the extended search, the shell of the fitted width computed exactly, the final
// evaluation, and the usual fit lines followed by the extended fit's own lines.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "app/fit_stage.hpp"
#include "core/extended_fit.hpp"
#include "core/harmonic_tables.hpp"
#include "core/partial_amplitudes.hpp"

namespace tessel {

struct ExtendedFitInputs {
  FitModel model;  // the six curves (the shell ones are replaced per width)
  FitData data;    // the prepared curve, with constant subtraction
  std::string structure_name;
  bool use_default_parameters = false;
  const HarmonicTables* tables = nullptr;
  std::span<const double> envelope;            // F_j of every grid direction
  const PartialAmplitudes* atoms = nullptr;    // A
  const PartialAmplitudes* solvent = nullptr;  // C, normalised
};

struct ExtendedFitOutcome {
  FitResult fit;             // what the default stage gives, for the result files
  ExtendedFitResult result;  // the extended quantities
  PartialAmplitudes shell;   // B of the fitted width
  std::vector<double> shell_curve, atoms_shell_curve, solvent_shell_curve;  // its I_B, I_AB, I_CB
  double shell_rg = 0.0;                                                    // of the fitted width
  double shell_volume = 0.0;
};

// Runs the stage; the console and log lines are those of the default stage (points used, the
// fitting note, headings, result line, background line, title) followed by extended_fit_lines.
ExtendedFitOutcome run_extended_fit(const ExtendedFitInputs& in, const Report& report,
                                    const LoopSettings& loops);

}  // namespace tessel
