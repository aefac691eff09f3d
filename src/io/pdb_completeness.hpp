// What the completeness check needs from a PDB file: the chains' sequences from the SEQRES
// records and the residues of the first model with their atom counts and linking atoms.
#pragma once

#include <array>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "core/sequence_completeness.hpp"

namespace tessel {

// The residue names of the SEQRES records per chain (column 12), in file order; residue names
// in columns 20-22, 24-26, ... 68-70.
std::vector<ChainSequence> read_seqres(std::istream& in);

// The residues of a model, taken one accepted atom record at a time in file order: a residue
// begins where `key` (what tells it apart) changes; the atoms that link residues give their
// positions (`position`, or the record's columns 31-54 without it).
class ModelResidues {
 public:
  void add(std::string_view record, const std::string& chain_id, std::string_view key, int number,
           const std::array<double, 3>* position = nullptr);
  // The chains in the order they first appeared.
  std::vector<ChainResidues> take();

 private:
  std::vector<ChainResidues> chains_;
  std::string last_key_;
  ObservedResidue* residue_ = nullptr;
};

// The residues of the first model (up to the first "ENDMDL") per chain (column 22), chains in
// the order they first appear. Only the atoms the job reads count (no alternate conformer
// other than 'A', no water, no hydrogen unless `explicit_hydrogens`); a line whose residue
// number cannot be read is passed over (the amplitude stage stops on it).
std::vector<ChainResidues> read_model_residues(std::istream& in, bool explicit_hydrogens);

// The check of a structure: sequences from `sequence_file` (the file as given), residues from
// `atom_file` (the file the job reads, possibly a filtered copy). Chains with a sequence and no
// atom are reported only without `chain_selection`, when the job reads every chain.
CompletenessReport check_pdb_completeness(const std::filesystem::path& sequence_file,
                                          const std::filesystem::path& atom_file,
                                          bool chain_selection, bool explicit_hydrogens);

}  // namespace tessel
