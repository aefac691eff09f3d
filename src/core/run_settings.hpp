// The settings of one run and the names of the current job.
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

  // Structure selection.
  int model_number = 0;            // 0 = all models
  std::string chain_ids = "0";     // "0" = all chains
  bool model_selection = false;    // derived: model number >= 1
  bool chain_selection = false;    // derived: chain identifiers other than "0"
  bool chain_underscore = false;   // derived: chain identifiers given with a leading '_'
  int hydrogen_mode = 0;           // derived: -1 with explicit hydrogens, else 0
  bool units_given = false;        // derived: angular units 1..4 given

  // Output naming.
  std::string prefix;              // blank = stem + run number

  // Inputs, in command-line order.
  std::vector<std::string> input_files;
  std::vector<std::string> structure_files;
  std::vector<std::string> save_files;
  std::vector<std::string> data_files;

  // Run and job state owned by the driver.
  int mode = 0;                    // 0 amplitudes and envelope, 1 envelope only, 2 from a save file
  bool interactive = false;
  char fit_wanted = 'N';
  std::string data_file;
  std::string base_name;           // common stem of the job's output files
  std::string run_number;          // two digits, or blanks when a prefix is used
};

}  // namespace tessel
