// What a mixture job (--mixture N) reports: per mixture size the best states with their
// fractions, the solvent parameters, χ² and the criteria against over-fitting, as log lines,
// summary lines (each starting " Mixture ", after the job's usual line) and the record's
// "mixture" section.
#pragma once

#include <nlohmann/json.hpp>
#include <span>
#include <string>

#include "core/mixture_fit.hpp"

namespace tessel {

// The log lines: a heading, per size a line with χ², BIC and EBIC (the preferred size marked)
// and one line per state with its fraction, then the preferred size.
std::string mixture_log_lines(const MixtureResult& result, std::span<const std::string> labels);

// One summary line per size found: " Mixture n=2  Chi^2: ...  EBIC: ...  states: A (0.300), B
// (0.700)", the preferred one ending in " preferred".
std::string mixture_summary_lines(const MixtureResult& result, std::span<const std::string> labels);

nlohmann::ordered_json mixture_section(const MixtureResult& result,
                                       std::span<const std::string> labels);

}  // namespace tessel
