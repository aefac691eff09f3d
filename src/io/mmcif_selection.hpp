// Models and chains of an mmCIF structure: the scan that finds them and the selection that keeps
// the chosen ones, in memory, by the rules of a PDB file's scan and filtered copy.
#pragma once

#include <string>

#include "io/mmcif_reader.hpp"
#include "io/pdb_selection.hpp"

namespace tessel {

// The models and chains as the scan of a PDB file finds them. Model count: the model blocks when
// there are two or more; one block counts as none, like a PDB file without "MODEL" records (an
// X-ray structure). Chain list: the chain ids of the ATOM rows of the first block, one entry each
// time the id changes, without limit; in the comma-separated form when an id is longer than one
// character.
ScanResult scan_mmcif(const MmcifStructure& structure);

// The rows a selection keeps, as the filtered copy of a PDB file keeps its lines: those of the
// chosen model block (model selection, counted from 1) and of the chosen chains (chain
// selection), without waters, and without hydrogens unless `keep_hydrogens`. Throws
// ModelNotFoundError for a model beyond the last and the chain error when no row is kept.
MmcifStructure select_mmcif_atoms(const MmcifStructure& structure, const StructureSelection& selection,
                                  bool keep_hydrogens, const std::string& file_name);

}  // namespace tessel
