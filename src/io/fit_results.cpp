// The text of a fit: log lines, title, closing log sections, .fit file and summary line.
#include "io/fit_results.hpp"

#include "core/fit_extrapolation.hpp"
#include "core/respline.hpp"
#include "core/trim.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

constexpr double kHydrationFactor = static_cast<double>(1.8f);  // 1.7999999523162842
constexpr std::size_t kTitleLength = 90;

// A name as the fixed-width name field holds it: blank-padded, so that Aw takes its first w
// characters.
std::string padded(std::string_view name, std::size_t width) {
  std::string s(name);
  if (s.size() < width) s.resize(width, ' ');
  return s;
}

}  // namespace

std::string fit_search_headings() {
  return " -------  Search limits ---------------   ---  Fitting parameters -------\n"
         "  DroMin/Max   Ra(Mn/Mx)  ExVol(Min/max) Semax| Dro   Ra     Vol    Chi^2 Hydra\n";
}

double hydration_ratio(double shell_volume, double rho0, double contrast, double molecular_weight) {
  return shell_volume * kHydrationFactor * (rho0 + contrast) / molecular_weight;
}

std::string fit_result_line(const FitLogValues& v) {
  static const Format format("( 2F6.3,'  ',2F5.2,2F8.0,F6.3,'|',F5.3,F6.3,F8.0,F7.3,F6.3)");
  return format(v.contrast_low, v.contrast_high, v.radius_low, v.radius_high, v.volume_low,
                v.volume_high, v.s_max_fit, v.contrast, v.radius, v.volume, v.chi2, v.hydration);
}

std::string background_line(double low, double high, double relative, double absolute) {
  static const Format format(
      "( '  -- RelBCK limits:', 2F6.3,                                     "
      "'; BCK0 (rel/abs) : ', F6.3,' /', E11.3)");
  return format(low, high, relative, absolute);
}

std::string fit_title(std::string_view structure_name, double contrast, double radius, double volume,
                      double chi2) {
  static const Format format(
      "( A8, '  Dro:', F5.3,'  Ra:', F5.3,                         "
      "'  Vol:',F7.0,  '  Chi^2:',F6.3)");
  const std::string name = padded(structure_name, 8);
  const FormatValue values[] = {std::string_view(name), contrast, radius, volume, chi2};
  return format.write_internal(kTitleLength, values);
}

void finish_fit_log(const Report& report, double combined_rg, double slope_rg, double electron_density) {
  static const Format blank_line("( A )");
  const std::string two_blanks = blank_line("  ");
  report.to_log(two_blanks);
  report.to_log(" --------  Radii of gyration  [angstroms] ----------\n");
  report.to_log(two_blanks);
  report.to_log(labelled_line("Rg ( Atoms - Excluded volume + Shell )", combined_rg));
  report.to_both(labelled_line("Rg from the slope of net intensity", slope_rg));
  report.to_both(labelled_line("Average electron density", electron_density));
  report.to_log(two_blanks);
  report.to_log(" ----------------  Output files  ------------------\n");
  report.to_log(two_blanks);
}

std::string fit_file_header(const FitFileContent& c) {
  static const Format format(
      "( A8, '  Dro:', F5.3,'  Ra:', F5.3,                         "
      "'  RGT:',F5.2,'  Vol:',F7.0,  '  Chi^2:',F6.3)");
  const std::string name = padded(c.structure_name, 8);
  const FormatValue values[] = {std::string_view(name), c.contrast, c.radius, c.slope_rg, c.volume, c.chi2};
  return std::string(trim_right(format.write_internal(kTitleLength, values))) + '\n';
}

void write_fit_file(std::ostream& out, const FitFileContent& c, const Report& report) {
  static const Format row("(5E14.6)");
  out << fit_file_header(c);
  const ExtrapolatedRows model_rows = extrapolate_to_zero(c.s_model, c.model, c.s);
  if (model_rows.out_of_range) report.to_console(std::string(kResplineOutOfRangeMessage) + '\n');
  for (std::size_t k = 0; k < model_rows.s.size(); ++k) {
    const double value = c.scale * model_rows.model[k] + c.background;
    out << (c.with_errors ? row(model_rows.s[k], 0.0, 0.0, value) : row(model_rows.s[k], 0.0, value));
  }
  for (std::size_t j = 0; j < c.s.size(); ++j) {
    const double s = (j == 0 && model_rows.zero_start) ? 0.0 : c.s[j];
    out << (c.with_errors ? row(s, c.intensity[j], c.error[j], c.fitted[j]) : row(s, c.intensity[j], c.fitted[j]));
  }
}

std::string fit_summary_line(std::string_view structure_name, double slope_rg, std::string_view run,
                             double chi2) {
  static const Format format("(A,A,A,f7.2,A,A3,A,F8.2)");
  const std::string name = padded(structure_name, 20).substr(0, 20);
  return format(" Model: ", name, "  Rg:", slope_rg, "  Run:", run, "  Chi^2:", chi2);
}

}  // namespace tessel
