// Sequences and residues of a PDB file for the completeness check.
#include "io/pdb_completeness.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "core/trim.hpp"
#include "io/pdb_line.hpp"
#include "io/pdb_reader.hpp"

namespace tessel {

namespace {

std::string trimmed(std::string_view text) { return std::string(trim(text)); }

// The linking atom an atom name stands for, if any.
ResidueLinkAtoms::Position* link_slot(ResidueLinkAtoms& links, std::string_view name) {
  if (name == "N") return &links.n;
  if (name == "CA") return &links.ca;
  if (name == "C") return &links.c;
  if (name == "P") return &links.p;
  if (name == "O3'" || name == "O3*") return &links.o3;
  if (name == "C4'" || name == "C4*") return &links.c4;
  return nullptr;
}

template <typename Chain>
Chain& chain_named(std::vector<Chain>& chains, const std::string& id) {
  auto it = std::find_if(chains.begin(), chains.end(),
                         [&id](const Chain& c) { return c.chain_id == id; });
  if (it != chains.end()) return *it;
  Chain chain;
  chain.chain_id = id;
  chains.push_back(std::move(chain));
  return chains.back();
}

}  // namespace

std::vector<ChainSequence> read_seqres(std::istream& in) {
  std::vector<ChainSequence> chains;
  LineReader reader(in);
  std::string line;
  while (reader.next(line)) {
    if (!record_is(line, "SEQRES")) continue;
    std::vector<std::string>& names =
        chain_named(chains, std::string(1, pdb_column(line, 12))).residues;
    for (std::size_t column = 20; column <= 68; column += 4) {
      std::string name = trimmed(pdb_columns(line, column, column + 2));
      if (!name.empty()) names.push_back(std::move(name));
    }
  }
  return chains;
}

void ModelResidues::add(std::string_view record, const std::string& chain_id, std::string_view key,
                        int number, const std::array<double, 3>* position) {
  if (!residue_ || key != last_key_) {
    ChainResidues& chain = chain_named(chains_, chain_id);
    ObservedResidue r;
    r.number = number;
    r.insertion_code = pdb_column(record, 27);
    r.name = trimmed(pdb_columns(record, 18, 20));
    r.hetero = record_is(record, "HETATM");
    chain.residues.push_back(std::move(r));
    residue_ = &chain.residues.back();
    last_key_ = std::string(key);
  }
  ++residue_->atoms;
  if (ResidueLinkAtoms::Position* slot =
          link_slot(residue_->links, trimmed(pdb_columns(record, 13, 16)));
      slot && !*slot) {
    *slot = position ? ResidueLinkAtoms::Position(*position) : read_atom_coordinates(record);
  }
}

std::vector<ChainResidues> ModelResidues::take() {
  residue_ = nullptr;
  return std::move(chains_);
}

std::vector<ChainResidues> read_model_residues(std::istream& in, bool explicit_hydrogens) {
  ModelResidues residues;
  LineReader reader(in);
  std::string line;
  while (reader.next(line)) {
    if (record_is(line, "ENDMDL")) break;
    if (classify_atom_line(line, explicit_hydrogens) != AtomLineClass::kAccepted) continue;
    const std::optional<int> number = read_residue_number(pdb_columns(line, 23, 26));
    if (!number) continue;
    // Chain, number, insertion code and name tell the residue.
    residues.add(line, std::string(1, pdb_column(line, 22)), pdb_columns(line, 18, 27), *number);
  }
  return residues.take();
}

CompletenessReport check_pdb_completeness(const std::filesystem::path& sequence_file,
                                          const std::filesystem::path& atom_file,
                                          bool chain_selection, bool explicit_hydrogens) {
  std::vector<ChainSequence> sequences;
  {
    std::ifstream in = open_structure(sequence_file);
    sequences = read_seqres(in);
  }
  std::ifstream in = open_structure(atom_file);
  const std::vector<ChainResidues> chains =
      attach_sequences(read_model_residues(in, explicit_hydrogens), sequences, !chain_selection);
  return assess_completeness(chains, "SEQRES");
}

}  // namespace tessel
