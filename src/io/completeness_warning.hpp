// The warning lines of an incomplete structure: per chain with missing residues, how many of
// its sequence (or of its numbering) are missing, the estimated share of its atoms, and the
// ranges.
#pragma once

#include <string>
#include <vector>

#include "core/sequence_completeness.hpp"

namespace tessel {

// Continuation lines of the ranges are at most this long.
inline constexpr std::size_t kWarningLineWidth = 80;

// The lines without line ends, none for a complete structure: " Warning: chain A lacks 75 of
// its 288 residues (SEQRES), about 26.1% of its atoms", then "          missing: 878-945,
// 1159-1165", further ranges on lines indented to the first range. A chain without a
// sequence reads " Warning: chain A has gaps in its numbering: 10 residues missing, ...".
// Ranges are residue numbers where the neighbours imply them, else sequence positions
// ("sequence 12-14"); a blank chain identifier is written "(blank)".
std::vector<std::string> completeness_warning_lines(const CompletenessReport& report);

}  // namespace tessel
