// The atoms of a job's structure as the amplitude stage reads them, whatever file they came from:
// a PDB file on disk (or its filtered copy), PDB text held in memory (a decompressed file or its
// selection), or the atom table of an mmCIF file. Each gives the pre-pass and then the accepted
// records in batches, as the passes over a PDB file do.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/chain_sequence.hpp"
#include "io/mmcif_reader.hpp"
#include "io/pdb_line.hpp"
#include "io/pdb_reader.hpp"

namespace tessel {

// PDB-format text held in memory.
struct PdbText {
  std::string text;
  std::vector<ChainSequence> sequences;  // the SEQRES records of the file as given
};

// A structure held in memory; nothing (monostate) when the atoms are read from a file.
using StructureInMemory = std::variant<std::monostate, PdbText, MmcifStructure>;

class AtomSource {
 public:
  virtual ~AtomSource() = default;
  // The counts and sums over all atoms (the results and stops of compute_prepass()); once, first.
  virtual PrepassResult prepass() = 0;
  // The next accepted records in file order, at most kAtomBatchSize of them, each with its next
  // line for the C-alpha-only look-ahead; false when none is left.
  virtual bool next_batch(std::vector<AtomRecord>& batch) = 0;
};

// The atoms of `memory`, or of the PDB file `file` when memory is null or holds none. The source
// refers to `memory`, which must outlive it. Throws StructureOpenError for a file that cannot be opened.
//
// Rows of an mmCIF table become the records of a PDB file (pdb_record_text()); the line after a
// row is the next row when that belongs to the same model block and chain, else a "TER" record
// (as a PDB file ends a chain), and nothing after the last row.
std::unique_ptr<AtomSource> open_atom_source(const std::filesystem::path& file,
                                             const StructureInMemory* memory,
                                             bool explicit_hydrogens);

}  // namespace tessel
