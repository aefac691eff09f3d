// What an ensemble job reports besides the usual lines: the member count and the spread of the
// members' Rg and volumes (log lines and the record's section), and the spread file (.sdv) with
// the per-point standard deviation of the members' intensities.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <ostream>
#include <span>
#include <string>

#include "core/ensemble.hpp"

namespace tessel {

// " Ensemble members ...: K" and one line per spread (electron-density Rg, shape Rg, envelope
// volume, displaced volume) with mean, standard deviation, least and largest value.
std::string ensemble_lines(std::size_t members, const MemberSpread& spread);

// The note of an ensemble of one member (a file with one model), without its line end.
std::string single_member_note(const std::string& file);

// The spread file: a header line, then per point s (1/Å), the mean intensity of the members
// and its population standard deviation over them, (3E14.6). False when the stream fails.
bool write_spread_file(std::ostream& out, std::size_t members, std::span<const double> s,
                       std::span<const double> mean, std::span<const double> deviation);

// The record's "ensemble" section: the member count and labels and the spreads.
nlohmann::ordered_json ensemble_section(std::span<const std::string> labels,
                                        const MemberSpread& spread);

}  // namespace tessel
