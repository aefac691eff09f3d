// Which files hold a structure, and in which format: the file-name endings .pdb, .ent, .cif and
// .mmcif, each also followed by .gz (gzip-compressed), compared without regard to case.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessel {

enum class StructureFormat { Pdb, Mmcif };

struct StructureFileKind {
  StructureFormat format = StructureFormat::Pdb;
  bool gzip = false;
  std::size_t ending_length = 0;  // characters of the whole ending, dots included (".cif.gz": 7)
};

// The kind of a structure file named by `name`; empty for any other ending.
std::optional<StructureFileKind> structure_file_kind(std::string_view name);

// Whether the file is read as plain PDB text from disk: a .pdb or .ent file, or one of no known
// structure ending (not compressed, not mmCIF).
bool plain_pdb_file(std::string_view name);

// The name without its extension: without the whole structure ending for a structure file
// ("1abc.cif.gz" -> "1abc"), otherwise without the part from the last '.' of the file part on
// ("run.dat" -> "run", "dir.v2/run" unchanged). The directory part is kept.
std::string strip_extension(std::string_view name);

}  // namespace tessel
