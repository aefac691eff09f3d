// The completeness check of PDB files: SEQRES records, the residues of the first model, the
// check of the test structures and its warning lines.
#include "io/pdb_completeness.hpp"

#include <gtest/gtest.h>

#include "io/completeness_warning.hpp"
#include "io/pdb_reader.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::data_file;
using testing::ScratchDir;

TEST(PdbCompleteness, ResiduesOfTheFirstModel) {
  // 1l2y: the first of its 38 models only, 20 residues of 304 atoms of which 150 hydrogens.
  std::ifstream nmr = open_structure(data_file("1l2y.pdb"));
  const std::vector<ChainResidues> chains = read_model_residues(nmr, false);
  ASSERT_EQ(chains.size(), 1u);
  ASSERT_EQ(chains[0].residues.size(), 20u);
  int atoms = 0;
  for (const ObservedResidue& r : chains[0].residues) atoms += r.atoms;
  EXPECT_EQ(atoms, 304 - 150);
  EXPECT_TRUE(residues_joined(chains[0].residues[0], chains[0].residues[1]));
}

TEST(PdbCompleteness, TestStructures) {
  // 3kfo: REMARK 465 lists 878-945 and 1159-1165 of chain A as not located. pdb1gdr: 140
  // SEQRES residues, alpha carbons numbered 1-115 with 12-14 and 38-44 absent. The others
  // have every SEQRES residue (or, without SEQRES, an unbroken numbering).
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"3kfo.pdb", {" Warning: chain A lacks 75 of its 288 residues (SEQRES), about 26.0% of its atoms",
                    "          missing: 878-945, 1159-1165"}},
      {"pdb1gdr.ent", {" Warning: chain (blank) lacks 35 of its 140 residues (SEQRES), about 25.0% of its atoms",
                       "          missing: 12-14, 38-44, 116-140"}},
      {"6lyz.pdb", {}}, {"3kfo-fill_model.pdb", {}}, {"1l2y.pdb", {}}, {"2bbm.pdb", {}},
      {"3hfm.pdb", {}}, {"1dqk.pdb", {}}, {"1nvy.pdb", {}}, {"354d_ndb_url064.pdb", {}},
      {"1lzh.pdb", {}}};
  for (const auto& [file, lines] : cases) {
    SCOPED_TRACE(file);
    const CompletenessReport r =
        check_pdb_completeness(data_file(file), data_file(file), false, false);
    EXPECT_EQ(completeness_warning_lines(r), lines);
  }
}

TEST(PdbCompleteness, OnlyTheSelectedChainsCount) {
  // Lysozyme (chain Y) alone out of 3hfm: complete. Read as if all chains were wanted, the
  // two antibody chains (214 and 215 SEQRES residues) have no atom at all: all their atoms are
  // missing, and no residue number can be implied.
  ScratchDir dir;
  std::ifstream in = open_structure(data_file("3hfm.pdb"));
  std::string text, line;
  while (std::getline(in, line))
    if (line.size() > 21 && line.rfind("ATOM", 0) == 0 && line[21] == 'Y') text += line + "\n";
  const auto copy = dir.write("y.pdb", text);
  EXPECT_TRUE(check_pdb_completeness(data_file("3hfm.pdb"), copy, true, false).chains.empty());
  const CompletenessReport all = check_pdb_completeness(data_file("3hfm.pdb"), copy, false, false);
  ASSERT_EQ(all.chains.size(), 2u);
  EXPECT_EQ(all.chains[0].chain_id + all.chains[1].chain_id, "LH");
  EXPECT_EQ(all.chains[0].missing, 214);
  EXPECT_EQ(all.chains[1].missing, 215);
  EXPECT_EQ(all.chains[1].missing_atom_share, 1.0);
  EXPECT_FALSE(all.chains[1].ranges.at(0).first_number.has_value());
}

TEST(CompletenessWarning, LinesOfHandMadeReports) {
  // A blank chain of 500 with one residue lost at a position without numbers (0.16 % rounds to
  // 0.2 %), and a chain without sequence with twelve gaps "1000-1001," (10 characters): after
  // the 19 columns of the head, five take 19 + 10 + 4 × 11 = 73 columns, a sixth would reach 84.
  CompletenessReport r{"_entity_poly_seq", {}};
  r.chains.push_back({" ", true, 500, 1, 0.0016, {{4, 4, std::nullopt, std::nullopt, 1}}});
  r.chains.push_back({"B", false, 0, 24, std::nullopt, {}});
  for (int k = 0; k < 12; ++k) r.chains[1].ranges.push_back({0, 0, 1000 + 10 * k, 1001 + 10 * k, 2});
  const std::vector<std::string> expected = {
      " Warning: chain (blank) lacks 1 of its 500 residues (_entity_poly_seq), about 0.2% of its atoms",
      "          missing: sequence 4",
      " Warning: chain B has gaps in its numbering: 24 residues missing",
      "          missing: 1000-1001, 1010-1011, 1020-1021, 1030-1031, 1040-1041,",
      "                   1050-1051, 1060-1061, 1070-1071, 1080-1081, 1090-1091,",
      "                   1100-1101, 1110-1111"};
  EXPECT_EQ(completeness_warning_lines(r), expected);
}

}  // namespace
}  // namespace tessel
