// The fixed texts of a job's log and console: header and closing lines, section headings, the
// structural report, the molecular quantities and the lines announcing saved files. Each
// function returns whole lines ending with '\n'.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "io/version_texts.hpp"

namespace tessel {

// The title, two empty lines, " -- Program  started  at " with the time stamp, an empty line,
// the real-space grid heading and an empty line.
std::string log_header(std::string_view time_stamp);

// The head of the log of a job on a save file: the title, an empty line, a credit line, an empty
// line and " --  Program  started  at " with the time stamp and " --". The report of the save
// file read follows it.
std::string restored_log_header(std::string_view time_stamp);

// Headings of the reciprocal-space grid: the console's and the log's differ.
std::string reciprocal_grid_console_heading();
std::string reciprocal_grid_log_heading();

// The heading of the structural parameters. The log has it between empty lines.
inline constexpr std::string_view kStructuralHeading =
    " --- Structural parameters (sizes in angstroms) --- ";
std::string structural_log_heading();

// The closing lines of an envelope-only job: an empty line and " -- TESSEL terminated at ".
std::string envelope_job_end(std::string_view time_stamp);

// The last lines of every other job: an empty line and the title with "terminated at" and the
// time stamp (90 characters).
std::string log_closing(std::string_view time_stamp);
void close_run_log(std::ostream& log, std::string_view time_stamp);

// Sizes of the particle and its envelope, Å, Å², Å³.
struct StructuralParameters {
  double rg_electron = 0;    // radius of gyration of the electrons
  double rg_shape = 0;       // radius of gyration of the atom centres
  double shell_volume = 0;   // between the envelope and 3 Å outside it
  double shell_rg = 0;
  double shell_width = 0;
  double envelope_rg = 0;
  double envelope_volume = 0;
  double envelope_surface = 0;
  double envelope_radius = 0;  // radius of the sphere of equal volume
  double envelope_diameter = 0;
};

// Five lines of two label/value pairs ( A, G10.4, A, G10.4). The console spells the first
// label " Electron   rg   :", the log " Electron   Rg   :".
enum class Destination { console, log };
std::string structural_report(const StructuralParameters& p, Destination where);

// The line asking for a finer s grid.
std::string sampling_warning();

// Molecular weight (Da) and dry volume, displaced volume and average atomic radius, then the
// counts of residues, dummy residues and bases that are positive ( A, I5).
struct MolecularReport {
  double molecular_weight = 0;
  double dry_volume = 0;        // Å³
  double displaced_volume = 0;  // Å³, 220 Å³ per dummy residue included
  double atomic_radius = 0;     // Å
  int residues = 0;
  int dummy_residues = 0;
  int bases = 0;
};
std::string molecular_report(const MolecularReport& q);

// " -- No data fitting, parameters entered manually --".
std::string prediction_note();

// An empty line, " ----------------  Output files  ------------------" and an empty line.
std::string output_files_heading();

// The announcement of a saved file. The console's text has no leading blank, the log's has.
// `what` is one of the kSaved... texts.
inline constexpr std::string_view kSavedCoefficients = "Coefficients   saved to file ";
inline constexpr std::string_view kSavedData = "TESSEL data    saved to file ";
inline constexpr std::string_view kSavedEnvelope = "Envelope       saved to file ";
inline constexpr std::string_view kSavedIntensities = "Intensities    saved to file ";
inline constexpr std::string_view kSavedFit = "Data fit       saved to file ";
inline constexpr std::string_view kSavedAmplitudes = "Net amplitudes saved to file ";
inline constexpr std::string_view kSavedPicture = "Picture        saved to file ";
inline constexpr std::string_view kSavedRecord = "Job record     saved to file ";
std::string saved_line(std::string_view what, std::string_view file, Destination where);

// " Warning: error saving data to the file " and the name.
std::string saving_error(std::string_view file);

}  // namespace tessel
