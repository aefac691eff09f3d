// The warning lines of an incomplete structure.
#include "io/completeness_warning.hpp"

#include <cmath>

#include "core/trim.hpp"

namespace tessel {

namespace {

constexpr std::string_view kRangesHead = "          missing: ";

std::string chain_name(const std::string& id) {
  return trim(id).empty() ? "(blank)" : id;
}

// A share as a percentage with one decimal.
std::string percent(double share) {
  const long long tenths = std::llround(share * 1000.0);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

std::string span_text(int first, int last) {
  return first == last ? std::to_string(first) : std::to_string(first) + "-" + std::to_string(last);
}

std::string range_text(const MissingRange& r) {
  if (r.first_number && r.last_number) return span_text(*r.first_number, *r.last_number);
  return "sequence " + span_text(r.first_position, r.last_position);
}

std::string residues(int count) {
  return std::to_string(count) + (count == 1 ? " residue" : " residues");
}

std::string headline(const ChainCompleteness& c, const std::string& record) {
  std::string line = " Warning: chain " + chain_name(c.chain_id);
  if (c.from_sequence) {
    line += " lacks " + std::to_string(c.missing) + " of its " + residues(c.sequence_length) +
            " (" + record + ")";
  } else {
    line += " has gaps in its numbering: " + residues(c.missing) + " missing";
  }
  if (c.missing_atom_share) line += ", about " + percent(*c.missing_atom_share) + " of its atoms";
  return line;
}

}  // namespace

std::vector<std::string> completeness_warning_lines(const CompletenessReport& report) {
  std::vector<std::string> lines;
  for (const ChainCompleteness& c : report.chains) {
    lines.push_back(headline(c, report.sequence_record));
    std::string line(kRangesHead);
    bool first = true;
    for (const MissingRange& r : c.ranges) {
      const std::string text = range_text(r) + (&r == &c.ranges.back() ? "" : ",");
      if (!first && line.size() + 1 + text.size() > kWarningLineWidth) {
        lines.push_back(line);
        line = std::string(kRangesHead.size(), ' ');
        first = true;
      }
      if (!first) line += ' ';
      line += text;
      first = false;
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace tessel
