// The fixed texts of a job's log and console.
#include "io/run_log.hpp"

#include "io/fortran_format.hpp"

namespace tessel {

namespace {

// One line through the "( A )" format: trailing blanks go.
std::string line(std::string_view text) {
  static const Format format("(A)");
  return format(text);
}

}  // namespace

std::string log_header(std::string_view time_stamp) {
  std::string text = line(kLogTitle);
  text += "\n\n";
  text += line(" -- Program  started  at " + std::string(time_stamp) + "--");
  text += "\n";
  text += line(" --------  Real space resolution and grid  -------- ");
  text += "\n";
  return text;
}

std::string restored_log_header(std::string_view time_stamp) {
  std::string text = line(kLogTitle);
  text += "\n";
  text += line("  Intensity and fit from the multipole amplitudes of a save file");
  text += "\n";
  text += line(" --  Program  started  at " + std::string(time_stamp) + " --");
  return text;
}

std::string reciprocal_grid_console_heading() {
  return line(" ----------  Reciprocal space grid  -------------") +
         line("  ( in s = 4*pi*sin(theta)/lambda [1/angstrom] ) ") + "\n";
}

std::string reciprocal_grid_log_heading() {
  return line(" ------------  Reciprocal space grid  -------------") + "\n" +
         line("   in s = 4*pi*sin(theta)/lambda [1/angstrom] ");
}

std::string structural_log_heading() {
  std::string text = "\n";
  text += line(kStructuralHeading);
  text += "\n";
  return text;
}

std::string envelope_job_end(std::string_view time_stamp) {
  std::string text = "\n";
  text += line(" -- TESSEL terminated at " + std::string(time_stamp) + "--");
  return text;
}

std::string log_closing(std::string_view time_stamp) {
  std::string text = "\n";
  text += line(std::string(kLogTitle) + " ----  terminated at " + std::string(time_stamp) + "--");
  return text;
}

void close_run_log(std::ostream& log, std::string_view time_stamp) {
  log << log_closing(time_stamp);
  log.flush();
}

std::string structural_report(const StructuralParameters& p, Destination where) {
  static const Format pair("( A, G10.4, A, G10.4)");
  const std::string_view electron =
      where == Destination::console ? " Electron   rg   :" : " Electron   Rg   :";
  std::string text = pair(electron, p.rg_electron, "   Envelope   Rg      :", p.envelope_rg);
  text += pair(" Shape      Rg   :", p.rg_shape, "   Envelope  volume   :", p.envelope_volume);
  text += pair(" Shell    volume :", p.shell_volume, "   Envelope  surface  :", p.envelope_surface);
  text += pair(" Shell      Rg   :", p.shell_rg, "   Envelope  radius   :", p.envelope_radius);
  text += pair(" Shell    width  :", p.shell_width, "   Envelope  diameter :", p.envelope_diameter);
  return text;
}

std::string sampling_warning() {
  return line(" --WARNING: Recompute the intensity with larger number of points");
}

std::string molecular_report(const MolecularReport& q) {
  static const Format pair("( A, G10.4, A, G10.4)");
  static const Format count("( A, I5)");
  std::string text = pair(" Molecular weight:", q.molecular_weight, "   Dry volume         :",
                          q.dry_volume);
  text += pair(" Displaced volume:", q.displaced_volume, "   Average atomic rad.:",
               q.atomic_radius);
  if (q.residues > 0) text += count(" Number of residuals :", q.residues);
  if (q.dummy_residues > 0) text += count(" Number of dummy residuals : ", q.dummy_residues);
  if (q.bases > 0) text += count(" Number of bases :", q.bases);
  return text;
}

std::string prediction_note() {
  return line(" -- No data fitting, parameters entered manually --");
}

std::string output_files_heading() {
  std::string text = "\n";
  text += line(" ----------------  Output files  ------------------");
  text += "\n";
  return text;
}

std::string saved_line(std::string_view what, std::string_view file, Destination where) {
  const std::string lead = where == Destination::log ? " " : "";
  return line(lead + std::string(what) + std::string(file));
}

std::string saving_error(std::string_view file) {
  static const Format format("(' Warning: error saving data to the file ', A)");
  return format(file);
}

}  // namespace tessel
