// The further outputs of a job: the sections of its JSON record taken from the stages' results,
// and the writing of a picture or a record to its file.
#pragma once

#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "app/curve_stage.hpp"
#include "app/fit_stage.hpp"
#include "app/model_stage.hpp"
#include "app/platform.hpp"
#include "core/intensity.hpp"
#include "core/run_settings.hpp"
#include "io/job_record.hpp"
#include "io/report.hpp"

namespace tessel {

// The structural report: counts, centres, sizes of the particle and its envelope, and the
// molecular quantities when given (an envelope-only job has none). The pass facts (atoms read,
// centres, composition) only when known.
RecordStructure structure_record(const ScatteringModel& model, const MolecularQuantities* molecular);

// The measured curve as read and prepared.
RecordData data_record(const PreparedCurve& curve);

// The last search's limits and the fitted values of a fit at solvent density rho0.
RecordSearch search_record(const FitResult& fit);
RecordFit fit_record(const FitResult& fit, double rho0);

// The columns of the intensity file: s (1/Å), the net intensity, the atoms in vacuum, the
// excluded volume (G²·E) and the shell (δρ²·B).
RecordCurve intensity_curve_record(std::span<const double> s, std::span<const double> net,
                                   std::span<const double> atoms, std::span<const double> excluded,
                                   std::span<const double> shell);

// The measured rows of the fit file with the weighted residual: s (1/Å), I_exp, σ, I_fit and
// (I_exp − I_fit)/σ (null where σ is not positive).
RecordCurve fit_curve_record(std::span<const double> s, std::span<const double> i_exp,
                             std::span<const double> sigma, std::span<const double> i_fit);

// Writes a file through `write` (which returns false when it failed). A file that could not be
// written whole is removed, so that no part of a file passes for a whole one. False on failure.
bool write_whole_file(const std::string& file, const std::function<bool(std::ostream&)>& write,
                      Platform& platform);

// The excluded-volume and shell columns of the intensity file: G(s)²·E(s) and δρ²·B(s).
struct ScaledPartials {
  std::vector<double> excluded;
  std::vector<double> shell;
};
ScaledPartials scaled_partials(std::span<const double> scale, std::span<const double> solvent,
                               std::span<const double> shell, double delta_rho);

// The picture and the record of a job: the record is filled as the stages go (the job writes
// into record()), and at the end of the job write() draws the picture from it and writes both.
class JobExtras {
 public:
  JobExtras(const RunSettings& settings, std::vector<std::string> command_line, bool interactive);

  JobRecord& record() { return record_; }
  // A file the job wrote, in the order written.
  void add_output(std::string file, std::string kind);

  // Draws the picture of the fit or the prediction (when a picture is wanted and the job has
  // one) and writes the record (when wanted), to base + extension, each announced on the
  // console and in the log like the other files, or its saving warning given. The record takes
  // the grid and the settings from `settings` as they are at the end of the job. False when a
  // file could not be written.
  bool write(const std::string& base_name, const RunSettings& settings, int directions,
             const Report& report, Platform& platform);

 private:
  bool write_picture(const std::string& file, const RunSettings& settings, const Report& report,
                     Platform& platform);

  bool picture_wanted_ = false;
  bool record_wanted_ = false;
  JobRecord record_;
};

}  // namespace tessel
