// Structure file names and their formats.
#include "io/structure_format.hpp"

#include <array>
#include <cctype>

namespace tessel {

namespace {

struct Ending {
  std::string_view text;  // lower case
  StructureFormat format;
  bool gzip;
};

// Longer endings first, so that ".mmcif.gz" is not taken for ".cif.gz".
constexpr std::array<Ending, 8> kEndings{{
    {".mmcif.gz", StructureFormat::Mmcif, true},
    {".mmcif", StructureFormat::Mmcif, false},
    {".cif.gz", StructureFormat::Mmcif, true},
    {".cif", StructureFormat::Mmcif, false},
    {".pdb.gz", StructureFormat::Pdb, true},
    {".pdb", StructureFormat::Pdb, false},
    {".ent.gz", StructureFormat::Pdb, true},
    {".ent", StructureFormat::Pdb, false},
}};

bool ends_with_ignoring_case(std::string_view name, std::string_view lower_ending) {
  if (name.size() < lower_ending.size()) return false;
  const std::string_view tail = name.substr(name.size() - lower_ending.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) != lower_ending[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<StructureFileKind> structure_file_kind(std::string_view name) {
  for (const Ending& e : kEndings) {
    if (ends_with_ignoring_case(name, e.text)) return StructureFileKind{e.format, e.gzip, e.text.size()};
  }
  return std::nullopt;
}

bool plain_pdb_file(std::string_view name) {
  const auto kind = structure_file_kind(name);
  return !kind || (kind->format == StructureFormat::Pdb && !kind->gzip);
}

std::string strip_extension(std::string_view name) {
  const auto slash = name.find_last_of('/');
  const std::size_t file_start = slash == std::string_view::npos ? 0 : slash + 1;
  if (const auto kind = structure_file_kind(name); kind && name.size() - kind->ending_length >= file_start)
    return std::string(name.substr(0, name.size() - kind->ending_length));
  const auto dot = name.find_last_of('.');
  if (dot != std::string_view::npos && dot >= file_start) return std::string(name.substr(0, dot));
  return std::string(name);
}

}  // namespace tessel
