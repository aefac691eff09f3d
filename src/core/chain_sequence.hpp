// The sequence record of one chain: its residue names in order. Plain C++17, so that the readers
// built on the CIF library (whose headers need C++17 with some compilers) can include it.
#pragma once

#include <string>
#include <vector>

namespace tessel {

// The residue names of one chain's sequence record (SEQRES, _entity_poly_seq) in order.
struct ChainSequence {
  std::string chain_id;
  std::vector<std::string> residues;  // names without blanks ("LYS", "DA", "G")
};

}  // namespace tessel
