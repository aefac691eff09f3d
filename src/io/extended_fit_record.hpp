// The extended fit's section of the job record: each searched parameter with its range and the
// side of the range it sits on, the plausibility quantities, and the fit that was refused.
#pragma once

#include <nlohmann/json.hpp>

#include "core/extended_fit.hpp"

namespace tessel {

nlohmann::ordered_json extended_fit_section(const ExtendedFitResult& result);

}  // namespace tessel
