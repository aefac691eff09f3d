// Completeness of a structure's chains: the residues of each chain's sequence record that have
// no atoms in the model (found by aligning the residues present to the sequence), or, for a
// chain without a sequence, the gaps in its residue numbering where consecutive amino acids or
// nucleotides are not joined; with counts, ranges and an estimate of the share of atoms missing.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/chain_sequence.hpp"

namespace tessel {

// The atoms that join a residue to its neighbours in a chain, where the model has them, Å.
struct ResidueLinkAtoms {
  using Position = std::optional<std::array<double, 3>>;
  Position n, ca, c;     // amino acid: peptide N, alpha carbon, carbonyl C
  Position p, o3, c4;    // nucleotide: phosphorus, O3' and C4' of the sugar
};

// One residue of the model as it appears in the chain (first model only).
struct ObservedResidue {
  int number = 0;
  char insertion_code = ' ';
  std::string name;        // without blanks
  int atoms = 0;           // atoms of the residue that the job reads
  bool hetero = false;     // written as HETATM
  ResidueLinkAtoms links;
};

// One chain as the completeness check sees it. An empty sequence means the file has none for
// the chain; no residues means the chain has a sequence but no atom in the model.
struct ChainResidues {
  std::string chain_id;
  std::vector<std::string> sequence;
  std::vector<ObservedResidue> residues;  // in file order
};

// Missing residues next to each other in the sequence (or in the numbering).
struct MissingRange {
  int first_position = 0;  // 1-based positions in the sequence; 0 for a numbering gap
  int last_position = 0;
  // The residue numbers the neighbours imply; empty when they cannot be told (insertion codes,
  // numbering that disagrees with the sequence, a chain without any residue).
  std::optional<int> first_number;
  std::optional<int> last_number;
  int count = 0;
};

struct ChainCompleteness {
  std::string chain_id;
  bool from_sequence = false;  // false: gaps in the numbering (no sequence, or one too long)
  int sequence_length = 0;     // residues of the sequence; 0 without one
  int missing = 0;             // residues missing
  // Missing residues times the mean atoms of the chain's residues present, over that plus the
  // atoms present; empty when no residue of the structure tells the mean.
  std::optional<double> missing_atom_share;
  std::vector<MissingRange> ranges;
};

// The chains with missing residues, in the order of the input.
struct CompletenessReport {
  std::string sequence_record;  // "SEQRES" or "_entity_poly_seq": where the sequences came from
  std::vector<ChainCompleteness> chains;
};

// Largest alignment (residues present + 1 times sequence length + 1) and longest sequence or
// chain aligned (the longest real chains have some 35,000 residues); a chain beyond these is
// checked by its numbering alone.
inline constexpr std::size_t kMaxAlignmentCells = 40'000'000;
inline constexpr std::size_t kMaxAlignedSequence = 100'000;

// Peptide C-N and O3'-P bonds are shorter than this, Å; atoms farther apart join no residues.
inline constexpr double kMaxLinkBond = 2.0;
// Alpha carbons of neighbouring residues (trans 3.8 Å, cis 2.9 Å) are closer than this, Å:
// the test for models without N and C.
inline constexpr double kMaxAlphaCarbonStep = 4.2;

// The chains of the model with their sequences attached by chain identifier, in the order the
// chains appear; with `add_unobserved`, chains that have a sequence but no atom follow.
std::vector<ChainResidues> attach_sequences(std::vector<ChainResidues> observed,
                                            std::span<const ChainSequence> sequences,
                                            bool add_unobserved);

// Aligns each chain's residues present to its sequence (global alignment; missing runs open
// cheaply at the ends and where the numbering jumps, dearly between residues that are joined)
// and reports the sequence positions left without a residue. A chain without a sequence has
// its numbering gaps reported: consecutive amino acids or nucleotides whose numbers jump by
// more than one and that no bond joins. Residues that are no amino acid or nucleotide
// (ligands, ions) and are named nowhere in the sequence take no part.
CompletenessReport assess_completeness(std::span<const ChainResidues> chains,
                                       std::string sequence_record);

// Whether two residues following each other in a chain are bonded: carbonyl C to N or O3' to
// P within kMaxLinkBond, or, when neither pair is there, alpha carbons of two amino acids
// within kMaxAlphaCarbonStep.
bool residues_joined(const ObservedResidue& a, const ObservedResidue& b);

}  // namespace tessel
