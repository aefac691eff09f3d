// The console and log lines of the data preparation and of the Guinier-range estimate.
#include "io/data_preparation_report.hpp"

#include "io/fortran_format.hpp"

namespace tessel {

void write_regrid_report(const RegridStage& stage, const Report& report) {
  const auto n = static_cast<long long>(stage.regridded.size());
  if (stage.regridded_flag) {
    report.to_both(labelled_line(" Number of points after regridding", n));
  } else {
    report.to_log(labelled_line(" No regridding. Number of exp points kept", n));
  }
}

std::string estrg_messages(const EstrgResult& result) {
  static const Format range_warning("( ' ESTRG -W- : Nrg = ',i3,' estimated, ',i3,'  taken' )");
  if (result.status == -1) {
    return " ESTRG -E- : iType = " + int_text(result.type) + " not supported\n";
  }
  if (result.clamped) {
    return range_warning(static_cast<long long>(result.nrg_estimated), static_cast<long long>(result.nrg));
  }
  return {};
}

void write_fit_data_report(const FitData& data, const Report& report) {
  report.to_console(estrg_messages(data.guinier));
  if (data.guinier_repeated) report.to_console(estrg_messages(data.guinier_again));
  if (data.cut) {
    report.to_log(labelled_line(" Number of experimental points used", static_cast<long long>(data.s_r.size())));
  }
  if (data.subtract_constant) report.to_log(labelled_line("Average intensity in the outer part", data.outer_average));
}

}  // namespace tessel
