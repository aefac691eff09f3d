// Log lines, spread file and record section of an ensemble job.
#include "io/ensemble_report.hpp"

#include <cstdio>

#include "io/fortran_format.hpp"

namespace tessel {

namespace {

std::string spread_line(const char* label, const ValueSpread& v) {
  char text[160];
  std::snprintf(text, sizeof text, " %-31s: mean %12.4f  sd %10.4f  min %12.4f  max %12.4f\n",
                label, v.mean, v.deviation, v.min, v.max);
  return text;
}

nlohmann::ordered_json spread_json(const ValueSpread& v) {
  return {{"mean", v.mean}, {"deviation", v.deviation}, {"min", v.min}, {"max", v.max}};
}

}  // namespace

std::string ensemble_lines(std::size_t members, const MemberSpread& spread) {
  std::string text = labelled_line("Ensemble members", static_cast<long long>(members));
  text += spread_line("Ensemble Rg (electron density), A", spread.electron_rg);
  text += spread_line("Ensemble Rg (atom centres), A", spread.shape_rg);
  text += spread_line("Ensemble envelope volume, A^3", spread.envelope_volume);
  text += spread_line("Ensemble displaced volume, A^3", spread.displaced_volume);
  return text;
}

std::string single_member_note(const std::string& file) {
  return " Warning: " + file + " holds one model: the ensemble has one member";
}

bool write_spread_file(std::ostream& out, std::size_t members, std::span<const double> s,
                       std::span<const double> mean, std::span<const double> deviation) {
  out << " Ensemble of " << members
      << " members: s, mean intensity, standard deviation over the members\n";
  static const Format row("(3E14.6)");
  for (std::size_t i = 0; i < s.size(); ++i) out << row(s[i], mean[i], deviation[i]);
  return static_cast<bool>(out);
}

nlohmann::ordered_json ensemble_section(std::span<const std::string> labels,
                                        const MemberSpread& spread) {
  nlohmann::ordered_json section;
  section["members"] = labels.size();
  section["member_labels"] = labels;
  section["electron_rg"] = spread_json(spread.electron_rg);
  section["shape_rg"] = spread_json(spread.shape_rg);
  section["envelope_volume"] = spread_json(spread.envelope_volume);
  section["displaced_volume"] = spread_json(spread.displaced_volume);
  return section;
}

}  // namespace tessel
