// Completeness of structures held in memory: decompressed PDB text and mmCIF atom tables.
#include "io/structure_completeness.hpp"

#include <string>
#include <vector>

#include "io/memory_stream.hpp"
#include "io/mmcif_records.hpp"
#include "io/pdb_completeness.hpp"

namespace tessel {

namespace {

// The residues of the rows of the first model block that the job reads, by whole chain id.
std::vector<ChainResidues> mmcif_model_residues(const MmcifStructure& s, bool explicit_hydrogens) {
  ModelResidues residues;
  for (const MmcifAtom& a : s.atoms) {
    if (a.model != s.atoms.front().model) break;
    const std::string record = pdb_record_text(a, s);
    if (classify_atom_line(record, explicit_hydrogens) != AtomLineClass::kAccepted) continue;
    const std::array<double, 3> position{a.x, a.y, a.z};
    residues.add(record, s.name(a.chain), residue_key(a), a.residue_number, &position);
  }
  return residues.take();
}

}  // namespace

CompletenessReport check_completeness(const StructureInMemory& memory, bool chain_selection,
                                      bool explicit_hydrogens) {
  if (const auto* pdb = std::get_if<PdbText>(&memory)) {
    MemoryStream in(pdb->text);
    return assess_completeness(attach_sequences(read_model_residues(in, explicit_hydrogens),
                                                pdb->sequences, !chain_selection),
                               "SEQRES");
  }
  if (const auto* cif = std::get_if<MmcifStructure>(&memory)) {
    return assess_completeness(attach_sequences(mmcif_model_residues(*cif, explicit_hydrogens),
                                                cif->sequences, !chain_selection),
                               "_entity_poly_seq");
  }
  return {};
}

}  // namespace tessel
