// The completeness check of a structure held in memory, as check_pdb_completeness() makes it for
// a PDB file on disk.
#pragma once

#include "core/sequence_completeness.hpp"
#include "io/atom_source.hpp"

namespace tessel {

// The chains' sequences against the residues of the first model the job reads: for a
// decompressed PDB text the SEQRES records of the whole file (reported as "SEQRES"), for an
// mmCIF file its sequence tables (reported as "_entity_poly_seq") and its rows with their whole
// chain ids. Chains with a sequence and no atom are reported only without `chain_selection`.
// Nothing to check (an empty report) for a structure that is not in memory.
CompletenessReport check_completeness(const StructureInMemory& memory, bool chain_selection,
                                      bool explicit_hydrogens);

}  // namespace tessel
