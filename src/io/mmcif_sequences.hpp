// The sequences of the polymer chains of an mmCIF (PDBx) file, per author chain, for the
// completeness check: from _pdbx_poly_seq_scheme, or from _entity_poly_seq when the scheme is
// absent. This file and its source are plain C++17 (see fuzz/CMakeLists.txt).
#pragma once

#include <vector>

#include "core/chain_sequence.hpp"

namespace gemmi::cif {
struct Block;
}

namespace tessel {

// The chains in the order they first appear. With _pdbx_poly_seq_scheme: its mon_id per
// pdb_strand_id in the order of seq_id. Otherwise _entity_poly_seq (mon_id by num) for every
// chain that _entity_poly.pdbx_strand_id names for the entity ("A,B"). Where a position has
// more than one monomer (microheterogeneity) the first is taken. None when neither is there.
std::vector<ChainSequence> mmcif_sequences(gemmi::cif::Block& block);

}  // namespace tessel
