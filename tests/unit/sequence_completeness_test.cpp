// The completeness check of chains: missing residues found by aligning the residues present to
// the sequence, numbering gaps without a sequence, the implied residue numbers and the
// estimated share of atoms missing.
#include "core/sequence_completeness.hpp"

#include <gtest/gtest.h>

namespace tessel {
namespace {

using Position = ResidueLinkAtoms::Position;

// An amino acid along x: N at 3.8·slot Å, CA 1.46 Å and C 2.47 Å further, so that residues in
// neighbouring slots have C-N = 1.33 Å (a peptide bond) and residues two slots apart 5.13 Å.
ObservedResidue amino(int number, const std::string& name, int slot, char insertion = ' ',
                      int atoms = 8) {
  const double x = 3.8 * slot;
  return ObservedResidue{number, insertion, name, atoms, false,
                         {Position{{x, 0, 0}}, Position{{x + 1.46, 0, 0}},
                          Position{{x + 2.47, 0, 0}}, {}, {}, {}}};
}

// The report of one chain "A"; the chain with missing residues (a test fails when there is none).
ChainCompleteness assess(std::vector<std::string> sequence, std::vector<ObservedResidue> present) {
  const ChainResidues chain{"A", std::move(sequence), std::move(present)};
  const CompletenessReport r = assess_completeness(std::span(&chain, 1), "SEQRES");
  EXPECT_LE(r.chains.size(), 1u);
  return r.chains.empty() ? ChainCompleteness{} : r.chains[0];
}

// Positions (0 without a sequence), implied numbers (0 for none) and count of each range.
std::vector<std::array<int, 5>> ranges_of(const ChainCompleteness& c) {
  std::vector<std::array<int, 5>> out;
  for (const MissingRange& r : c.ranges)
    out.push_back({r.first_position, r.last_position, r.first_number.value_or(0),
                   r.last_number.value_or(0), r.count});
  return out;
}

using Ranges = std::vector<std::array<int, 5>>;

const std::vector<std::string> kTen = {"MET", "LYS", "VAL", "PHE", "GLY",
                                       "ARG", "CYS", "GLU", "LEU", "ALA"};

TEST(SequenceCompleteness, GapInTheMiddleAndMissingTermini) {
  // Positions 4-6 lost (the numbering jumps from 3 to 7, no bond across): 3 missing × 8 atoms
  // over 7 × 8 present + 24.
  std::vector<ObservedResidue> middle;
  for (int p : {1, 2, 3, 7, 8, 9, 10}) middle.push_back(amino(p, kTen[p - 1], p + (p > 3)));
  ChainCompleteness c = assess(kTen, middle);
  EXPECT_TRUE(c.from_sequence);
  EXPECT_EQ(c.sequence_length, 10);
  EXPECT_EQ(c.missing, 3);
  EXPECT_EQ(ranges_of(c), (Ranges{{4, 6, 4, 6, 3}}));
  EXPECT_DOUBLE_EQ(c.missing_atom_share.value_or(-1), 24.0 / 80.0);

  // Positions 1-2 and 9-10 lost; numbered from 13 at position 3, the ends imply 11-12 and
  // 19-20. Residues of 4 and 12 atoms: mean 8, so 32 of 80.
  std::vector<ObservedResidue> ends;
  for (int p = 3; p <= 8; ++p) ends.push_back(amino(p + 10, kTen[p - 1], p, ' ', p % 2 ? 4 : 12));
  c = assess(kTen, ends);
  EXPECT_EQ(ranges_of(c), (Ranges{{1, 2, 11, 12, 2}, {9, 10, 19, 20, 2}}));
  EXPECT_DOUBLE_EQ(c.missing_atom_share.value_or(-1), 32.0 / 80.0);

  std::vector<ObservedResidue> whole;
  for (int p = 1; p <= 10; ++p) whole.push_back(amino(p, kTen[p - 1], p));
  EXPECT_EQ(assess(kTen, whole).missing, 0);
}

TEST(SequenceCompleteness, RepeatsAreResolvedByTheNumbering) {
  // Sequence G S S S S T with one S present: numbered 2 it sits at position 2 (3-5 lost),
  // numbered 5 at position 5 (2-4 lost); the names alone could not tell.
  const std::vector<std::string> seq = {"GLY", "SER", "SER", "SER", "SER", "THR"};
  EXPECT_EQ(ranges_of(assess(seq, {amino(1, "GLY", 1), amino(2, "SER", 2), amino(6, "THR", 6)})),
            (Ranges{{3, 5, 3, 5, 3}}));
  EXPECT_EQ(ranges_of(assess(seq, {amino(1, "GLY", 1), amino(5, "SER", 5), amino(6, "THR", 6)})),
            (Ranges{{2, 4, 2, 4, 3}}));
}

TEST(SequenceCompleteness, InsertionCodesAndOtherNames) {
  // Numbering 50, 51, 52, 52A, 52B, 53, all bonded: complete.
  const std::vector<std::string> seq = {"ALA", "GLY", "SER", "THR", "TYR", "TRP"};
  std::vector<ObservedResidue> r = {amino(50, "ALA", 1), amino(51, "GLY", 2),
                                    amino(52, "SER", 3), amino(52, "THR", 4, 'A'),
                                    amino(52, "TYR", 5, 'B'), amino(53, "TRP", 6)};
  EXPECT_EQ(assess(seq, r).missing, 0);
  // 52A lost: its neighbour 52B carries an insertion code, so only the position is known.
  r = {r[0], r[1], r[2], amino(52, "TYR", 6, 'B'), amino(53, "TRP", 7)};
  EXPECT_EQ(ranges_of(assess(seq, r)), (Ranges{{4, 4, 0, 0, 1}}));

  // A selenomethionine (HETATM, bonded) where the sequence says MET is that residue, not a
  // gap; a zinc ion (no amino acid, not in the sequence) takes no part.
  r = {amino(1, "ALA", 1), amino(2, "MSE", 2), amino(3, "GLY", 3),
       ObservedResidue{101, ' ', "ZN", 1, true, {}}};
  r[1].hetero = true;
  EXPECT_EQ(assess({"ALA", "MET", "GLY"}, r).missing, 0);
}

TEST(SequenceCompleteness, NumberingGapsWithoutASequence) {
  // 2 to 5 not bonded: 3-4 missing; 5 to 9 bonded (the numbering skips, nothing missing);
  // 9 to 12 apart: 10-11 missing. 4 × 8 atoms missing over 5 × 8 + 32.
  const std::vector<ObservedResidue> r = {amino(1, "ALA", 1), amino(2, "GLY", 2),
                                          amino(5, "SER", 4), amino(9, "THR", 5),
                                          amino(12, "TYR", 8)};
  ChainCompleteness c = assess({}, r);
  EXPECT_FALSE(c.from_sequence);
  EXPECT_EQ(ranges_of(c), (Ranges{{0, 0, 3, 4, 2}, {0, 0, 10, 11, 2}}));
  EXPECT_DOUBLE_EQ(c.missing_atom_share.value_or(-1), 32.0 / 72.0);
  // A sequence too long to align: the numbering decides, with the same result.
  EXPECT_EQ(ranges_of(assess(std::vector<std::string>(kMaxAlignedSequence + 1, "ALA"), r)),
            ranges_of(c));

  // Alpha carbons only: 2.9 Å apart (a cis step) they are bonded, 7.6 Å apart one is missing.
  auto alpha = [](int number, double x) {
    return ObservedResidue{number, ' ', "LYS", 1, false, {{}, Position{{x, 0, 0}}, {}, {}, {}, {}}};
  };
  EXPECT_EQ(assess({}, {alpha(1, 0), alpha(2, 3.8), alpha(4, 6.7)}).missing, 0);
  EXPECT_EQ(ranges_of(assess({}, {alpha(1, 0), alpha(2, 3.8), alpha(4, 11.4)})),
            (Ranges{{0, 0, 3, 3, 1}}));

  // Nucleotides 7 and 17 with O3'-P 1.6 Å are bonded; 3.6 Å apart, 8-16 are missing. A
  // nucleotide ligand (HETATM, bonded to nothing) numbered 101 is no gap.
  auto nucleotide = [](int number, double p, bool hetero) {
    return ObservedResidue{number, ' ', hetero ? "ATP" : "G", 20, hetero,
                           {{}, {}, {}, Position{{p, 0, 0}}, Position{{5.4, 0, 0}},
                            Position{{3, 0, 0}}}};
  };
  EXPECT_EQ(assess({}, {nucleotide(7, 0, false), nucleotide(17, 7, false),
                        nucleotide(101, 50, true)}).missing, 0);
  EXPECT_EQ(assess({}, {nucleotide(7, 0, false), nucleotide(17, 9, false)}).missing, 9);
}

}  // namespace
}  // namespace tessel
