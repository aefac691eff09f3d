// The fit stage of a job: the search of the solvent parameters, the final evaluation, the fit's
// log and console lines and, in interactive mode, the plot and the dialogue that searches again
// with new limits or evaluates parameters given by hand. Also the removal of the intermediate
// files after the re-runs for several data files.
#pragma once

#include <string>
#include <vector>

#include "app/fit_display.hpp"
#include "core/data_preparation.hpp"
#include "core/fit.hpp"
#include "core/intensity.hpp"
#include "core/kernels/worker_pool.hpp"
#include "dialogue/dialogue.hpp"
#include "io/fit_results.hpp"
#include "io/report.hpp"

namespace tessel {

struct FitInputs {
  // The partial intensities on the computed grid and the model quantities (see FitModel; the
  // spans must outlive the stage). fit_model() below fills it from the intensity stage's curves.
  FitModel model;
  FitData data;                         // the prepared curve (its subtract_constant, a_out, nrg)
  std::string structure_name;           // as typed; the title shows its first 8 characters
  bool use_default_parameters = false;  // hold V_d, r0 and δρ = 0.03 instead of searching
  bool interactive = false;             // plot and continuation dialogue
};

// The view of the intensity stage's six curves on the grid s with the model quantities.
FitModel fit_model(std::span<const double> s, const PartialIntensities& p, int n_atoms,
                   int n_dummy_residues, double displaced_volume, double atomic_radius,
                   double shell_volume, double molecular_weight, double rho0);

struct FitResult {
  bool searched = false;            // some search had points to fit (else the starting values stand)
  SolventParameters parameters;     // V_best (without the 220 Å³ per dummy residue), Ra_best, δρ_best
  double reported_volume = 0.0;     // V_best + 220·N_d
  double scale = 0.0;               // x1
  double background = 0.0;          // x2, relative to a_out
  double a_out = 0.0;               // background unit (0 without constant subtraction)
  double chi2 = 0.0;                // the final χ²
  bool subtract_constant = false;   // as last set (the dialogue may change it)
  double s_max_fit = 0.0;
  std::vector<double> fitted;       // I_fit on the measured points s_e
  std::vector<double> intensity;    // the model I on the computed grid, not scaled
  std::vector<double> scale_curve;  // Ĉ on the computed grid
  std::string title;                // the 90-character title line
  std::size_t nrg = 0;              // the Guinier range count after the fit
  double absolute_background() const { return background * a_out; }  // bck of the fit file
  // The log's result line (limits and volumes as reported), the limits of the relative
  // background and the points inside the fitting range.
  FitLogValues log_values{};
  double background_low = 0.0, background_high = 0.0;
  std::size_t points_used = 0;
};

struct FitEnvironment {
  Report report;                  // console, log
  Dialogue* dialogue = nullptr;   // needed in interactive mode
  ViewerSetup viewer;             // the plot's viewer and directory
  LoopSettings loops;             // threads of the search
};

// Runs the stage: " Number of experimental points used" and the fitting note on the console,
// the search headings (first search only) and the result line (and with constant subtraction the
// background line) in the log, the title on the console; in interactive mode then the plot and
// the questions "Another set of parameters" and "Minimize again with new limits". A fitting limit
// that leaves no point to fit is reported and not searched; the evaluation then uses the
// parameters held so far (at first V_d, r0 and 0.03).
FitResult run_fit(const FitInputs& inputs, const FitEnvironment& env);

// Deletes <base>.sav, .alm, .flm, .int and .env, in that order; missing files are skipped.
void remove_kept_files(const std::string& base_name);

}  // namespace tessel
