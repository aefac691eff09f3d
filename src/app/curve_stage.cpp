// The experimental curve of a fitting job, from the data file to the prepared fit data.
#include "app/curve_stage.hpp"

#include <optional>
#include <sstream>
#include <string_view>

#include "core/errors.hpp"
#include "io/curve_warnings.hpp"
#include "io/data_preparation_report.hpp"
#include "io/exp_curve_input.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

constexpr std::string_view kDataFilter = "DATA files(*.dat),*.dat;";
constexpr std::string_view kDataChooserTitle = "***  PLEASE SELECT THE DATA FILE NAME  ***";
constexpr std::string_view kDataExtension = "dat";

struct CurveRead {
  std::string file;
  bool subtract_constant = false;
  ExpCurve curve;
};

// Interactive mode: the file and the constant subtraction are asked until a file reads.
CurveRead ask_and_read(const CurveRequest& request, Dialogue& dialogue, std::ostream& warnings,
                       const Report& report) {
  CurveRead out;
  out.subtract_constant = request.subtract_constant;
  for (;;) {
    std::string name = dialogue.choose_file(kDataFilter, kDataChooserTitle, kDataExtension);
    if (name.empty()) name = dialogue.ask_file_name("Enter data file", kDataExtension);
    if (name.empty()) continue;
    out.subtract_constant =
        dialogue.ask_yes_no("Subtract constant", out.subtract_constant ? 'Y' : 'N') == 'Y';
    ReadCurveResult read = read_exp_curve(name, warnings);
    if (curve_accepted(read)) {
      out.file = std::move(name);
      out.curve = std::move(read.curve);
      write_curve_heading(out.subtract_constant, report);
      return out;
    }
    report.to_error(std::string(kErrorReadingDataFile) + '\n');
  }
}

// Batch mode: the job's file, read once.
CurveRead read_given(const CurveRequest& request, std::ostream& warnings, const Report& report) {
  CurveRead out;
  out.file = request.data_file;
  out.subtract_constant = request.subtract_constant;
  write_curve_heading(out.subtract_constant, report);
  ReadCurveResult read = read_exp_curve(out.file, warnings);
  if (!curve_accepted(read)) throw Error(std::string(kErrorReadingDataFile), 1);
  out.curve = std::move(read.curve);
  return out;
}

}  // namespace

PreparedCurve prepare_experimental_curve(const CurveRequest& request, Dialogue* dialogue,
                                         const Report& report) {
  std::ostringstream no_error_stream;
  std::ostream& warnings = report.error ? *report.error : no_error_stream;
  CurveRead read = dialogue ? ask_and_read(request, *dialogue, warnings, report)
                            : read_given(request, warnings, report);
  ExpCurve& curve = read.curve;

  PreparedCurve out;
  out.data_file = read.file;
  out.subtract_constant = read.subtract_constant;
  if (request.keep_read_errors) out.read_errors = curve.error;
  apply_error_floor(curve);
  report_curve_read(curve, out.data_file, report);

  UnitsQuestion ask_units;
  if (dialogue) {
    ask_units = [dialogue](double factor) { return dialogue->ask_angular_units({}, factor); };
  }
  out.points_read = curve.size();
  if (!curve.s.empty()) out.max_s_in_file = curve.s.back();
  out.unit_factor = choose_unit_factor(request.angular_units, curve, ask_units);
  convert_units(curve, out.unit_factor, report);
  out.units_code = unit_code_of_factor(out.unit_factor);
  const double model_s_max = request.model_s.back();
  for (const std::optional<std::string>& warning :
       {units_range_warning(curve, model_s_max, out.data_file, out.units_code),
        points_beyond_warning(curve, model_s_max, out.data_file)}) {
    if (!warning) continue;
    report.to_both(*warning + '\n');
    out.warnings.push_back(*warning);
  }
  cut_to_model_range(curve, model_s_max, report);
  if (request.keep_read_errors) out.read_errors.resize(curve.size());
  out.points_kept = curve.size();

  const RegridStage stage = regrid_curve(curve);
  write_regrid_report(stage, report);
  out.regridded = stage.regridded_flag;
  out.points_after_regridding = stage.regridded.size();
  out.rho0 = request.rho0;
  if (dialogue) out.rho0 = dialogue->ask_real("Electron density of the solvent, e/A**3", out.rho0);
  report.to_log(labelled_line("Solvent density", out.rho0));

  out.data = finish_preparation(stage, model_s_max, request.rg_atoms, out.subtract_constant);
  write_fit_data_report(out.data, report);
  return out;
}

}  // namespace tessel
