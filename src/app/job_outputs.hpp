// The further outputs of a job: the sections of its JSON record taken from the stages' results,
// and the writing of a picture or a record to its file.
#pragma once

#include <functional>
#include <ostream>
#include <span>
#include <string>

#include "app/curve_stage.hpp"
#include "app/fit_stage.hpp"
#include "app/model_stage.hpp"
#include "app/platform.hpp"
#include "core/intensity.hpp"
#include "io/job_record.hpp"

namespace tessel {

// The structural report: counts, centres, sizes of the particle and its envelope, and the
// molecular quantities. The pass facts (atoms read, centres, composition) only when known.
RecordStructure structure_record(const ScatteringModel& model, const MolecularQuantities& molecular);

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

}  // namespace tessel
