// The completeness check of chains: missing residues found by aligning the residues present to
// the sequence, numbering gaps without a sequence, the implied residue numbers and the
// estimated share of atoms missing.
#include "core/sequence_completeness.hpp"

#include <gtest/gtest.h>

namespace tessel {
namespace {

// An amino acid along x: N at 3.8·slot Å, CA 1.46 Å and C 2.47 Å further, so that residues in
// neighbouring slots have C-N = 1.33 Å (a peptide bond) and residues two slots apart 5.13 Å.
ObservedResidue amino(int number, const std::string& name, int slot, char insertion = ' ',
                      int atoms = 8) {
  ObservedResidue r;
  r.number = number;
  r.insertion_code = insertion;
  r.name = name;
  r.atoms = atoms;
  const double x = 3.8 * slot;
  r.links.n = std::array<double, 3>{x, 0, 0};
  r.links.ca = std::array<double, 3>{x + 1.46, 0, 0};
  r.links.c = std::array<double, 3>{x + 2.47, 0, 0};
  return r;
}

ChainResidues chain_of(std::vector<std::string> sequence, std::vector<ObservedResidue> present) {
  return ChainResidues{"A", std::move(sequence), std::move(present)};
}

CompletenessReport assess(const ChainResidues& chain) {
  return assess_completeness(std::span<const ChainResidues>(&chain, 1), "SEQRES");
}

void expect_range(const MissingRange& r, int first_position, int last_position,
                  std::optional<int> first_number, std::optional<int> last_number) {
  EXPECT_EQ(r.first_position, first_position);
  EXPECT_EQ(r.last_position, last_position);
  EXPECT_EQ(r.first_number, first_number);
  EXPECT_EQ(r.last_number, last_number);
  EXPECT_EQ(r.count, last_position - first_position + 1);
}

const std::vector<std::string> kTen = {"MET", "LYS", "VAL", "PHE", "GLY",
                                       "ARG", "CYS", "GLU", "LEU", "ALA"};

TEST(SequenceCompleteness, GapInTheMiddleAndMissingTermini) {
  // Positions 4-6 lost in the middle (numbering jumps from 3 to 7, no bond across).
  ChainResidues middle = chain_of(kTen, {});
  for (int p : {1, 2, 3, 7, 8, 9, 10}) middle.residues.push_back(amino(p, kTen[p - 1], p + (p > 3)));
  CompletenessReport r = assess(middle);
  ASSERT_EQ(r.chains.size(), 1u);
  EXPECT_TRUE(r.chains[0].from_sequence);
  EXPECT_EQ(r.chains[0].sequence_length, 10);
  EXPECT_EQ(r.chains[0].missing, 3);
  ASSERT_EQ(r.chains[0].ranges.size(), 1u);
  expect_range(r.chains[0].ranges[0], 4, 6, 4, 6);
  // 3 missing × 8 atoms over 7 × 8 present + 24.
  EXPECT_DOUBLE_EQ(*r.chains[0].missing_atom_share, 24.0 / 80.0);

  // Positions 1-2 and 9-10 lost; the residues present are numbered from 13 (position 3), so
  // the ends imply 11-12 and 19-20. Residues of 4 and 12 atoms: mean 8.
  ChainResidues ends = chain_of(kTen, {});
  for (int p = 3; p <= 8; ++p) ends.residues.push_back(amino(p + 10, kTen[p - 1], p, ' ', p % 2 ? 4 : 12));
  r = assess(ends);
  ASSERT_EQ(r.chains.size(), 1u);
  EXPECT_EQ(r.chains[0].missing, 4);
  ASSERT_EQ(r.chains[0].ranges.size(), 2u);
  expect_range(r.chains[0].ranges[0], 1, 2, 11, 12);
  expect_range(r.chains[0].ranges[1], 9, 10, 19, 20);
  EXPECT_DOUBLE_EQ(*r.chains[0].missing_atom_share, 32.0 / 80.0);

  // The whole sequence present: nothing to report.
  ChainResidues whole = chain_of(kTen, {});
  for (int p = 1; p <= 10; ++p) whole.residues.push_back(amino(p, kTen[p - 1], p));
  EXPECT_TRUE(assess(whole).chains.empty());
}

TEST(SequenceCompleteness, RepeatsAreResolvedByTheNumbering) {
  // Sequence G S S S S T: one S present. Numbered 2 it sits at position 2 (3-5 lost), numbered
  // 5 at position 5 (2-4 lost); a name alone could not tell.
  const std::vector<std::string> seq = {"GLY", "SER", "SER", "SER", "SER", "THR"};
  for (int s : {2, 5}) {
    SCOPED_TRACE(s);
    const ChainResidues c =
        chain_of(seq, {amino(1, "GLY", 1), amino(s, "SER", s), amino(6, "THR", 6)});
    const CompletenessReport r = assess(c);
    ASSERT_EQ(r.chains.size(), 1u);
    ASSERT_EQ(r.chains[0].ranges.size(), 1u);
    if (s == 2) expect_range(r.chains[0].ranges[0], 3, 5, 3, 5);
    else expect_range(r.chains[0].ranges[0], 2, 4, 2, 4);
  }
}

TEST(SequenceCompleteness, InsertionCodesAndOtherNames) {
  // Antibody-style numbering 50, 52, 52A, 52B, 53 (no bond between 50 and 52 only).
  const std::vector<std::string> seq = {"ALA", "GLY", "SER", "THR", "TYR", "TRP"};
  ChainResidues c = chain_of(seq, {amino(50, "ALA", 1), amino(51, "GLY", 2),
                                   amino(52, "SER", 3), amino(52, "THR", 4, 'A'),
                                   amino(52, "TYR", 5, 'B'), amino(53, "TRP", 6)});
  EXPECT_TRUE(assess(c).chains.empty());
  // 52A lost: its neighbour 52B carries an insertion code, so only the position is known.
  c.residues.erase(c.residues.begin() + 3);
  c.residues[3] = amino(52, "TYR", 6, 'B');
  c.residues[4] = amino(53, "TRP", 7);
  CompletenessReport r = assess(c);
  ASSERT_EQ(r.chains.size(), 1u);
  ASSERT_EQ(r.chains[0].ranges.size(), 1u);
  expect_range(r.chains[0].ranges[0], 4, 4, std::nullopt, std::nullopt);

  // A selenomethionine (HETATM, bonded) where the sequence says MET is that residue, not a
  // gap; an ion (no amino acid, named nowhere in the sequence) takes no part.
  ChainResidues mse = chain_of({"ALA", "MET", "GLY"}, {amino(1, "ALA", 1), amino(2, "MSE", 2),
                                                       amino(3, "GLY", 3)});
  mse.residues[1].hetero = true;
  ObservedResidue ion;
  ion.number = 101;
  ion.name = "ZN";
  ion.atoms = 1;
  ion.hetero = true;
  mse.residues.push_back(ion);
  EXPECT_TRUE(assess(mse).chains.empty());
}

TEST(SequenceCompleteness, NumberingGapsWithoutASequence) {
  // 1-2 bonded, 3 unnumbered jump to 5 without a bond: 3-4 missing; 5 to 9 bonded (a
  // numbering that skips, nothing missing); 9 to 12 apart: 10-11 missing.
  ChainResidues c = chain_of({}, {amino(1, "ALA", 1), amino(2, "GLY", 2), amino(5, "SER", 4),
                                  amino(9, "THR", 5), amino(12, "TYR", 8)});
  CompletenessReport r = assess(c);
  ASSERT_EQ(r.chains.size(), 1u);
  EXPECT_FALSE(r.chains[0].from_sequence);
  EXPECT_EQ(r.chains[0].missing, 4);
  ASSERT_EQ(r.chains[0].ranges.size(), 2u);
  EXPECT_EQ(r.chains[0].ranges[0].first_number, 3);
  EXPECT_EQ(r.chains[0].ranges[0].last_number, 4);
  EXPECT_EQ(r.chains[0].ranges[1].first_number, 10);
  EXPECT_EQ(r.chains[0].ranges[1].last_number, 11);
  EXPECT_EQ(r.chains[0].ranges[1].first_position, 0);  // no sequence
  EXPECT_DOUBLE_EQ(*r.chains[0].missing_atom_share, 32.0 / 72.0);
  // A sequence too long to align: the numbering decides, with the same result.
  c.sequence.assign(kMaxAlignedSequence + 1, "ALA");
  EXPECT_FALSE(assess(c).chains.at(0).from_sequence);
  EXPECT_EQ(assess(c).chains.at(0).missing, 4);

  // Alpha carbons only: 3.8 Å apart they are neighbours, 7.6 Å apart one residue is missing.
  ChainResidues ca = chain_of({}, {});
  for (auto [number, x] : {std::pair{1, 0.0}, {2, 3.8}, {4, 6.7}}) {
    ObservedResidue r1;
    r1.number = number;
    r1.name = "LYS";
    r1.atoms = 1;
    r1.links.ca = std::array<double, 3>{x, 0, 0};
    ca.residues.push_back(r1);
  }
  EXPECT_TRUE(assess(ca).chains.empty());  // 2.9 Å, a cis step: joined
  ca.residues[2].links.ca = std::array<double, 3>{11.4, 0, 0};
  r = assess(ca);
  ASSERT_EQ(r.chains.size(), 1u);
  EXPECT_EQ(r.chains[0].ranges[0].first_number, 3);

  // Nucleotides: O3' to P 1.6 Å joins them; a ligand nucleotide (HETATM, bonded to nothing)
  // numbered far off is no gap.
  ChainResidues rna = chain_of({}, {});
  for (int k = 0; k < 3; ++k) {
    ObservedResidue n;
    n.number = k == 2 ? 101 : 7 + 10 * k;  // 7, 17 (a skip in the numbering), 101
    n.name = k == 2 ? "ATP" : "G";
    n.hetero = k == 2;
    n.atoms = 20;
    n.links.p = std::array<double, 3>{7.0 * k + (k == 2 ? 50.0 : 0.0), 0, 0};
    n.links.c4 = std::array<double, 3>{7.0 * k + 3, 0, 0};
    n.links.o3 = std::array<double, 3>{7.0 * k + 5.4, 0, 0};
    rna.residues.push_back(n);
  }
  EXPECT_TRUE(assess(rna).chains.empty());
  rna.residues[1].links.p = std::array<double, 3>{9.0, 0, 0};  // 3.6 Å from O3': no bond
  r = assess(rna);
  ASSERT_EQ(r.chains.size(), 1u);
  EXPECT_EQ(r.chains[0].missing, 9);
}

TEST(SequenceCompleteness, ChainsAttachedToTheirSequences) {
  const std::vector<ChainSequence> sequences = {{"B", {"ALA", "GLY"}}, {"A", {"ALA", "GLY", "SER"}}};
  std::vector<ChainResidues> observed = {{"A", {}, {amino(1, "ALA", 1), amino(2, "GLY", 2)}}};
  const std::vector<ChainResidues> selected = attach_sequences(observed, sequences, false);
  ASSERT_EQ(selected.size(), 1u);
  EXPECT_EQ(selected[0].sequence.size(), 3u);
  const std::vector<ChainResidues> all = attach_sequences(observed, sequences, true);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].chain_id, "B");
  // Chain A lacks its serine (8 atoms by its own mean); chain B lacks everything, estimated
  // with the mean of the structure's residues: the share is then 1, and no number is implied.
  const CompletenessReport r = assess_completeness(all, "SEQRES");
  ASSERT_EQ(r.chains.size(), 2u);
  expect_range(r.chains[0].ranges[0], 3, 3, 3, 3);
  EXPECT_DOUBLE_EQ(*r.chains[0].missing_atom_share, 8.0 / 24.0);
  EXPECT_EQ(r.chains[1].missing, 2);
  expect_range(r.chains[1].ranges[0], 1, 2, std::nullopt, std::nullopt);
  EXPECT_DOUBLE_EQ(*r.chains[1].missing_atom_share, 1.0);
}

}  // namespace
}  // namespace tessel
