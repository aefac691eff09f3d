// The experimental curve of a fitting job: the data file and the constant-subtraction choice,
// the reading with its acceptance, the units, the cut to the model's s range and the
// preparation for the fit, with their console and log lines.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/data_preparation.hpp"
#include "dialogue/dialogue.hpp"
#include "io/report.hpp"

namespace tessel {

// What the stage starts from. In interactive mode the data file, the constant subtraction,
// the units and the solvent density are asked, with these values as the defaults where there
// is one.
struct CurveRequest {
  std::string data_file;              // batch mode: the job's data file
  bool subtract_constant = false;
  int angular_units = 0;              // 0 = not given, 1..4
  double rho0 = 0.334;                // solvent electron density, e/Å³
  bool keep_read_errors = true;       // copy the errors as read, for the fit file's column
  std::span<const double> model_s;    // the computed grid, 1/Å, ascending, not empty
  double rg_atoms = 0.0;              // radius of gyration of the atoms in vacuum, Å
};

struct PreparedCurve {
  std::string data_file;              // the file read
  bool subtract_constant = false;     // as chosen
  double rho0 = 0.0;                  // as given (asked again in interactive mode)
  std::vector<double> read_errors;    // the errors as read, one per point kept (empty unless kept)
  int units_code = 1;                 // the units the curve was read in (1..4, as -un gives them)
  std::vector<std::string> warnings;  // the warnings given about the curve, one line each
  FitData data;                       // the measured curve in 1/Å cut to the model's range, and
                                      // the regridded one, prepared for the fit
  // The figures the stage reported.
  double max_s_in_file = 0.0;         // the last s as read, in the file's units
  std::size_t points_read = 0;
  double unit_factor = 1.0;           // took the file's s to 1/Å
  std::size_t points_kept = 0;        // after the cut to the model's range
  bool regridded = false;
  std::size_t points_after_regridding = 0;
};

// Runs the stage. Points at or beyond the model's largest s, and an s range implausible for
// the units, are warned about on the console and in the log (and listed in `warnings`) before
// the cut. A data file that cannot be read or has fewer than two usable points writes
// " Error reading SAXS data file" to the error stream and asks again in interactive mode
// (`dialogue` given); in batch mode it throws Error with that text and status 1. A curve with no
// point below the model's largest s throws Error(" Error -- Increase maximum scattering vector ").
PreparedCurve prepare_experimental_curve(const CurveRequest& request, Dialogue* dialogue,
                                         const Report& report);

}  // namespace tessel
