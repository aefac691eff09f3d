// The settings of one run, as the user chose them.
// Defaults are the batch defaults; the interactive set-up changes a few of them.
#pragma once

#include <string>
#include <vector>

namespace tessel {

// Limits held throughout the program.
inline constexpr int kMaxHarmonicOrder = 99;
inline constexpr int kMinFibonacciOrder = 10;
inline constexpr int kMaxFibonacciOrder = 18;
inline constexpr int kMaxCurvePoints = 5000;
inline constexpr std::size_t kMaxFileName = 1024;
inline constexpr std::size_t kMaxPrefix = 255;
inline constexpr std::size_t kMaxChainIds = 20;

// What a run computes (the options of the program's menu).
enum class RunMode {
  amplitudes_and_envelope,  // 0: scattering amplitudes and envelope from a structure
  envelope_only,            // 1: only the envelope and its coefficients
  from_save_file,           // 2: the amplitudes read back from a save file
};

struct RunSettings {
  // Grids.
  int l_max = 15;             // maximum harmonic order L
  int fibonacci_order = 17;   // order of the Fibonacci direction grid
  int n_points = 51;          // points of the computed curve
  double s_max = 0.5;         // maximum scattering vector, 1/Å
  int angular_units = 0;      // 0 = not given, 1..4 (see the units question)

  // Solvent.
  double rho0 = 0.334;        // solvent electron density, e/Å³
  double delta_rho = 0.03;    // hydration-shell contrast, e/Å³

  // Flags.
  bool keep = false;               // keep intermediate files
  bool keep_as_set = false;        // the user's keep setting before the driver forces it on
  bool subtract_constant = false;
  bool explicit_hydrogens = false;
  bool write_errors = true;        // error column in the .fit file
  bool new_atom_naming = true;
  bool use_default_parameters = false;
  bool no_summary = false;
  bool extended_fit = false;       // --fit extended: the extended search of the solvent parameters

  // Structure selection.
  int model_number = 0;            // 0 = all models
  std::string chain_ids = "0";     // "0" = all chains
  bool model_selection = false;    // derived: model number >= 1
  bool chain_selection = false;    // derived: chain identifiers other than "0"
  bool chain_underscore = false;   // derived: chain identifiers given with a leading '_'

  // Output naming.
  std::string prefix;              // blank = stem + run number

  // Further outputs of every job.
  std::string plot_format;         // "png", "svg" or "pdf": a picture per fit and prediction
  bool json_record = false;        // a JSON record per job

  // Ensembles: every model of the structure files is a member of one job's ensemble.
  bool ensemble = false;           // --ensemble: the ensemble average and spread
  int mixture_states = 0;          // --mixture N: the best mixtures of 1..N members; 0 = none

  // Inputs, in command-line order.
  std::vector<std::string> input_files;
  std::vector<std::string> structure_files;
  std::vector<std::string> save_files;
  std::vector<std::string> data_files;

  // What the run does, set by the driver.
  RunMode mode = RunMode::amplitudes_and_envelope;
  bool fit_wanted = false;         // fit an experimental curve
  std::string data_file;           // the one data file to fit, if one
};

}  // namespace tessel
