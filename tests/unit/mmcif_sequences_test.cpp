// The sequences of mmCIF files per author chain: the archive file of 6LYZ against the residues
// of its PDB twin, and the fall-back to _entity_poly_seq with two chains of one entity.
#include "io/mmcif_sequences.hpp"

#include <gtest/gtest.h>

#include <gemmi/cif.hpp>

#include "core/errors.hpp"
#include "io/mmcif_reader.hpp"
#include "io/pdb_completeness.hpp"
#include "io/pdb_reader.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::data_file;

TEST(MmcifSequences, LysozymeIsCompleteAgainstItsPdbTwin) {
  // _pdbx_poly_seq_scheme of 6lyz.cif: chain A, 129 residues from LYS 1 to LEU 129, as the
  // SEQRES records of 6lyz.pdb.
  const std::vector<ChainSequence> cif = read_mmcif_file(data_file("6lyz.cif"), false).sequences;
  std::ifstream pdb = open_structure(data_file("6lyz.pdb"));
  const std::vector<ChainSequence> seqres = read_seqres(pdb);
  ASSERT_EQ(cif.size(), 1u);
  EXPECT_EQ(cif[0].chain_id, "A");
  ASSERT_EQ(cif[0].residues.size(), 129u);
  EXPECT_EQ(cif[0].residues, seqres[0].residues);
  EXPECT_EQ(cif[0].residues.back(), "LEU");

  rewind_structure(pdb);
  const std::vector<ChainResidues> chains =
      attach_sequences(read_model_residues(pdb, false), cif, true);
  EXPECT_TRUE(assess_completeness(chains, "_entity_poly_seq").chains.empty());

  EXPECT_THROW(read_mmcif_file(data_file("6lyz.pdb"), false), Error);
}

TEST(MmcifSequences, EntitySequenceForEachOfItsChains) {
  // No scheme: entity 1 is chains A and B; its position 2 has two monomers (the first counts).
  gemmi::cif::Document d = gemmi::cif::read_string(
      "data_x\n"
      "_entity_poly.entity_id 1\n_entity_poly.pdbx_strand_id A,B\n"
      "loop_\n_entity_poly_seq.entity_id\n_entity_poly_seq.num\n_entity_poly_seq.mon_id\n"
      "1 1 MET\n1 2 SER\n1 2 THR\n1 3 GLY\n");
  const std::vector<ChainSequence> s = mmcif_sequences(d.blocks.front());
  ASSERT_EQ(s.size(), 2u);
  const std::vector<std::string> expected = {"MET", "SER", "GLY"};
  EXPECT_EQ(s[0].chain_id, "A");
  EXPECT_EQ(s[0].residues, expected);
  EXPECT_EQ(s[1].chain_id, "B");
  EXPECT_EQ(s[1].residues, expected);
}

}  // namespace
}  // namespace tessel
