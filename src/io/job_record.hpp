// The job record (base + .json): every setting and every number of one job, the names of its
// output files and its curves, for programs that read results without scraping the log.
//
// The job fills a JobRecord as it goes; job_record_json() turns it into the document. Keys carry
// their units (rg_A, volume_A3, density_e_per_A3, s_per_A). A section that a job did not reach
// (no fit in a prediction, no structure in an envelope-only job without amplitudes) is left out.
// Later features add their own named section to `extra`, and their messages to `warnings`.
#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessel {

// Raised when the layout of the document changes so that a reader of the old one would misread it.
inline constexpr int kJobRecordSchemaVersion = 1;

struct RecordGrid {
  int harmonic_order = 0;
  int fibonacci_order = 0;
  int directions = 0;
  double s_max = 0.0;  // 1/Å
  int points = 0;
};

// The settings a job used (after the questions of an interactive job).
struct RecordSettings {
  int angular_units = 0;        // 0 = not given, 1 to 4
  double solvent_density = 0.0;  // e/Å³
  double shell_contrast = 0.0;   // e/Å³, as set (a fit reports its own)
  bool keep = false;
  bool subtract_constant = false;
  bool explicit_hydrogens = false;
  bool write_errors = true;
  bool new_atom_naming = true;
  bool use_default_parameters = false;
  bool no_summary = false;
  int model_number = 0;          // 0 = all models
  std::string chain_ids;         // "0" = all chains
  std::string prefix;
  std::string plot_format;       // "" when no picture is drawn
};

// The structural report of the log.
struct RecordStructure {
  std::optional<long long> atoms_read;                    // not known for a job on a save file
  std::optional<long long> skipped_rotamers;              // likewise
  std::optional<long long> discarded_waters;              // likewise
  std::optional<long long> discarded_hydrogens;           // likewise
  std::optional<std::array<double, 3>> geometric_centre;  // Å, likewise
  std::optional<std::array<double, 3>> excess_density_centre;  // Å, likewise
  int atoms = 0;
  int dummy_residues = 0;
  int residues = 0;
  int bases = 0;
  int unknown_atoms = 0;
  std::vector<std::pair<std::string, int>> atoms_per_element;  // symbol, count (> 0); empty: unknown
  double rg_electron = 0, rg_shape = 0;                         // Å
  double shell_volume = 0, shell_rg = 0, shell_width = 0;       // Å³, Å, Å
  double envelope_rg = 0, envelope_volume = 0, envelope_surface = 0;  // Å, Å³, Å²
  double envelope_radius = 0, envelope_diameter = 0;            // Å
  bool molecular_known = false;  // the four below are known (not in an envelope-only job)
  double molecular_weight = 0;                                  // Da
  double dry_volume = 0, displaced_volume = 0;                  // Å³ (displaced as reported)
  double average_atomic_radius = 0;                             // Å
};

// The measured curve and its preparation.
struct RecordData {
  std::string file;
  bool constant_subtraction = false;
  double max_s_in_file = 0.0;        // the last s as read, in the file's units
  long long points_read = 0;
  double unit_factor = 1.0;          // multiplies the file's s to 1/Å
  long long points_kept = 0;         // below the model's largest s
  bool regridded = false;
  long long points_after_regridding = 0;
  long long points_for_fit = 0;      // regridded points below the model's largest s
  long long guinier_points = 0;      // the Guinier range count
  std::optional<double> outer_average_intensity;  // with constant subtraction
};

// The limits of the last search. Volumes as reported (220 Å³ per dummy residue included).
struct RecordSearch {
  bool searched = false;  // false when no point lay in the fitting range
  double contrast_low = 0, contrast_high = 0;  // e/Å³
  double radius_low = 0, radius_high = 0;      // Å
  double volume_low = 0, volume_high = 0;      // Å³
  double s_max_fit = 0;                        // 1/Å
  std::optional<std::array<double, 2>> background_relative;  // with constant subtraction
};

struct RecordFit {
  double solvent_density = 0;   // e/Å³
  double shell_contrast = 0;    // e/Å³
  double atomic_radius = 0;     // Å
  double excluded_volume = 0;   // Å³, as reported
  double scale = 0;             // c: I_fit = c·I_model + constant
  double constant = 0;          // absolute background (0 without constant subtraction)
  double constant_relative = 0; // in units of the outer average intensity
  bool constant_fitted = false;
  double chi2 = 0;
  long long points_used = 0;
  double hydration = 0;         // V_shell·1.8·(ρ0 + δρ)/M, the log's "Hydra"
};

// The parameters of a prediction (no fit).
struct RecordPrediction {
  double solvent_density = 0;   // e/Å³
  double shell_contrast = 0;    // e/Å³
  double atomic_radius = 0;     // Å
  double excluded_volume = 0;   // Å³, as reported
  double average_atomic_volume = 0;  // Å³
};

// The closing radii of gyration and the density.
struct RecordDerived {
  double rg_combined = 0;       // Å, "Rg ( Atoms - Excluded volume + Shell )"
  double rg_slope = 0;          // Å, "Rg from the slope of net intensity"
  double electron_density = 0;  // e/Å³, "Average electron density"
};

// Named columns of equal length.
struct RecordCurve {
  std::vector<std::pair<std::string, std::vector<double>>> columns;
};

struct RecordOutput {
  std::string file;
  std::string kind;  // "log", "fit", "intensity", "amplitudes", "coefficients", "save", "picture", "record"
};

struct JobRecord {
  std::string program;
  std::string version;
  std::vector<std::string> command_line;  // as the program got it; just the program when interactive
  bool interactive = false;
  std::string mode;                       // "fit", "prediction" or "envelope"
  std::string structure_file;             // as given ("" for none)
  std::string save_file;                  // the save file a job started from ("" for none)
  RecordGrid grid;
  RecordSettings settings;
  std::optional<RecordStructure> structure;
  std::optional<RecordData> data;
  std::optional<RecordSearch> search;
  std::optional<RecordFit> fit;
  std::optional<RecordPrediction> prediction;
  std::optional<RecordDerived> derived;
  std::optional<RecordCurve> intensity_curve;  // s_per_A, intensity, atoms, excluded_volume, shell
  std::optional<RecordCurve> fit_curve;        // s_per_A, i_exp, sigma, i_fit, residual
  std::vector<RecordOutput> outputs;
  std::vector<std::string> warnings;
  nlohmann::ordered_json extra = nlohmann::ordered_json::object();  // further sections by key
};

// The document: the sections above under their keys in this order, then those of `extra`.
nlohmann::ordered_json job_record_json(const JobRecord& record);

// Writes the document: objects indented, arrays of numbers on one line, numbers at full
// precision (they read back to the same double), a number that is not finite as null. False when
// the stream fails.
bool write_job_record(std::ostream& out, const JobRecord& record);

}  // namespace tessel
