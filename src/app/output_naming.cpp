// The names of a job's output files.
#include "app/output_naming.hpp"

#include "app/banner.hpp"
#include "core/trim.hpp"
#include "io/fortran_format.hpp"
#include "io/structure_format.hpp"

namespace tessel {

std::string output_stem(std::string_view file_name, bool keep_directory) {
  const auto slash = file_name.find_last_of('/');
  const std::size_t file_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string stem = strip_extension(file_name);
  return keep_directory ? stem : stem.substr(file_start);
}

std::string run_number_text(int run) {
  std::string text = std::to_string(run);
  if (text.size() < 2) text.insert(0, 2 - text.size(), '0');
  return text;
}

OutputName choose_output_name(std::string_view stem, std::string_view prefix, Platform& platform) {
  const std::string_view given = trim_right(prefix);
  if (!given.empty()) return {std::string(given), "  "};

  const std::string base(stem);
  int run = 0;
  for (int nn = 99; nn >= 0; --nn) {
    if (platform.exists(base + run_number_text(nn) + ".log")) {
      run = nn + 1;
      break;
    }
  }
  // Claim the log file; a number taken in the meantime moves us to the next one.
  for (;;) {
    const std::string log = base + run_number_text(run) + ".log";
    if (platform.create_exclusive(log) != Platform::CreateResult::already_exists) break;
    ++run;
  }
  return {base + run_number_text(run), run_number_text(run)};
}

std::string output_file_list(std::string_view base, const OutputFileSet& f,
                             const FurtherOutputs& further) {
  static const Format line("(A)");
  static const Format entry("( ' ', A, A4, ' -- ', A )");
  const std::string name(base);
  std::string text = line(kRuleLine);
  if (f.mode == RunMode::from_save_file) {
    text += line("       Following file names will be used: ");
    text += entry(name, ".log", " TESSEL log-file          (ASCII)");
    if (writes_intensity_files(f)) text += entry(name, ".int", " scattering intensities   (ASCII)");
    if (f.fit_wanted) text += entry(name, ".fit", " fit to experimental data (ASCII)");
    if (writes_intensity_files(f)) text += entry(name, ".alm", " net partial amplitudes  (binary)");
  } else {
    text += line("         Following file names will be used: ");
    text += entry(name, ".log", "TESSEL log-file          (ASCII) ");
    if (f.keep && f.mode == RunMode::amplitudes_and_envelope)
      text += entry(name, ".sav", "save TESSEL information  (binary)");
    if (f.keep) text += entry(name, ".flm", "multipole coefficients   (ASCII) ");
    if (writes_intensity_files(f)) text += entry(name, ".int", "scattering intensities   (ASCII) ");
    if (f.fit_wanted) text += entry(name, ".fit", "fit to experimental data (ASCII) ");
    if (writes_intensity_files(f)) text += entry(name, ".alm", "net partial amplitudes   (binary)");
  }
  // The newer outputs: ".json" is one character wider than the column of the others.
  const std::string lead = f.mode == RunMode::from_save_file ? " " : "";
  if (!further.picture_format.empty() && f.mode != RunMode::envelope_only) {
    std::string format = further.picture_format;
    for (char& c : format) c = static_cast<char>(c - 'a' + 'A');
    const std::string what = f.fit_wanted ? "picture of the fit       (" : "picture of the intensity (";
    text += entry(name, "." + further.picture_format, lead + what + format + ")");
  }
  if (further.json_record) text += line(" " + name + ".json -- " + lead + "job record               (JSON)");
  text += line(kRuleLine);
  return text;
}

}  // namespace tessel
