// The console and log lines of the data preparation and of the Guinier-range estimate.
#pragma once

#include <string>

#include "core/data_preparation.hpp"
#include "core/guinier.hpp"
#include "io/report.hpp"

namespace tessel {

// " Number of points after regridding" (console and log), or " No regridding. Number of exp
// points kept" (log).
void write_regrid_report(const RegridStage& stage, const Report& report);

// The Guinier-range warnings (console), " Number of experimental points used" after a cut and,
// with constant subtraction, "Average intensity in the outer part" (log).
void write_fit_data_report(const FitData& data, const Report& report);

// The console lines of one ESTRG call: the range warning when the count was clamped, or the
// unsupported-type error. Empty when there is nothing to say.
std::string estrg_messages(const EstrgResult& result);

}  // namespace tessel
