// The mmCIF reader: the columns it takes (with their fallbacks), the model blocks, the polymer
// sequences, and the one-line errors of malformed files.
#include "io/mmcif_reader.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/errors.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::data_file;

const std::string kTags =
    "loop_\n_atom_site.group_PDB\n_atom_site.id\n_atom_site.type_symbol\n"
    "_atom_site.label_atom_id\n_atom_site.label_alt_id\n_atom_site.label_comp_id\n"
    "_atom_site.label_asym_id\n_atom_site.label_seq_id\n_atom_site.Cartn_x\n"
    "_atom_site.Cartn_y\n_atom_site.Cartn_z\n_atom_site.auth_seq_id\n_atom_site.auth_asym_id\n"
    "_atom_site.auth_atom_id\n_atom_site.pdbx_PDB_model_num\n";

// The message of the error parse_mmcif() stops with, empty when it does not stop.
std::string error_of(const std::string& text) {
  try {
    (void)parse_mmcif(text, "x.cif");
  } catch (const Error& e) {
    EXPECT_EQ(e.status(), 1);
    return e.what();
  }
  return {};
}

TEST(MmcifReader, TakesAuthorNamesWithLabelFallbacks) {
  // Row 1: author names differ from label names; row 2: author items null, so the label ones
  // count; "Fe" in lower case; quoted name with a prime; coordinates with uncertainties.
  const std::string text = "data_t\n" + kTags +
      "HETATM 7 Fe FE . HEM C 1 1.5 -2.25(3) 3 101 AA FE1 1\n"
      "ATOM 8 C \"C1'\" B DA B 4 0 0 0 ? ? ? 1\n"
      "ATOM 9 C \"C1'\" . DA B 4 +1e1 0 0 ? ? ? 2\n";
  const MmcifStructure s = parse_mmcif(text, "t.cif");
  ASSERT_EQ(s.atoms.size(), 3u);
  const MmcifAtom& fe = s.atoms[0];
  EXPECT_TRUE(fe.hetatm);
  EXPECT_EQ(fe.serial, 7);
  EXPECT_EQ(s.name(fe.atom_name), "FE1");
  EXPECT_EQ(s.name(fe.residue_name), "HEM");
  EXPECT_EQ(s.name(fe.chain), "AA");
  EXPECT_EQ(fe.residue_number, 101);
  EXPECT_EQ(fe.element[0], 'F');
  EXPECT_EQ(fe.element[1], 'E');
  EXPECT_DOUBLE_EQ(fe.y, -2.25);
  const MmcifAtom& c = s.atoms[1];
  EXPECT_FALSE(c.hetatm);
  EXPECT_EQ(s.name(c.atom_name), "C1'");
  EXPECT_EQ(s.name(c.chain), "B");
  EXPECT_EQ(c.residue_number, 4);
  EXPECT_EQ(c.alt_loc, 'B');
  EXPECT_EQ(c.element[0], ' ');
  EXPECT_DOUBLE_EQ(s.atoms[2].x, 10.0);
  // Names are stored once: "C1'" and "DA" serve both rows.
  EXPECT_EQ(c.atom_name, s.atoms[2].atom_name);
  EXPECT_EQ(s.atoms[2].model, 1u);
  EXPECT_EQ(s.model_blocks, 2u);
}

TEST(MmcifReader, ArchiveFiles) {
  // 6LYZ: 1102 atom_site rows, one model; hen lysozyme is 129 residues long.
  const MmcifStructure lyz = read_mmcif_file(data_file("6lyz.cif"), false);
  EXPECT_EQ(lyz.atoms.size(), 1102u);
  EXPECT_EQ(lyz.model_blocks, 1u);
  ASSERT_EQ(lyz.sequences.size(), 1u);
  EXPECT_EQ(lyz.sequences[0].residues.size(), 129u);

  // 1L2Y: 38 models of 304 atoms; the Trp-cage sequence NLYIQWLKDGGPSSGRPPPS.
  const MmcifStructure cage = read_mmcif_file(data_file("1l2y.cif"), false);
  EXPECT_EQ(cage.atoms.size(), 38u * 304u);
  EXPECT_EQ(cage.model_blocks, 38u);
  EXPECT_EQ(cage.atoms[304].model, 1u);
  ASSERT_EQ(cage.sequences.size(), 1u);
  ASSERT_EQ(cage.sequences[0].residues.size(), 20u);
  EXPECT_EQ(cage.sequences[0].residues.front(), "ASN");
  EXPECT_EQ(cage.sequences[0].residues[5], "TRP");
  EXPECT_EQ(cage.sequences[0].residues.back(), "SER");
}

TEST(MmcifReader, SequenceTablesOfTheBlockWithTheAtoms) {
  // An earlier block's table does not count; the entity's sequence (a loop) serves both strands
  // its single item names.
  const std::string text =
      "data_other\nloop_\n_entity_poly_seq.entity_id\n_entity_poly_seq.num\n"
      "_entity_poly_seq.mon_id\n1 1 ALA\n"
      "data_s\n_entity_poly.entity_id 1\n_entity_poly.pdbx_strand_id 'AA,B1'\nloop_\n"
      "_entity_poly_seq.entity_id\n_entity_poly_seq.num\n_entity_poly_seq.mon_id\n"
      "1 1 MET\n1 2 GLY\n" + kTags + "ATOM 1 C CA . GLY A 2 0 0 0 2 AA CA 1\n";
  const MmcifStructure s = parse_mmcif(text, "s.cif");
  ASSERT_EQ(s.sequences.size(), 2u);
  EXPECT_EQ(s.sequences[0].chain_id, "AA");
  EXPECT_EQ(s.sequences[1].chain_id, "B1");
  EXPECT_EQ(s.sequences[1].residues, (std::vector<std::string>{"MET", "GLY"}));
}

TEST(MmcifReader, OneAtomWrittenAsItemsAndTheFirstBlockWithAtoms) {
  const std::string items =
      "data_first\n_cell.length_a 10\ndata_one\n_atom_site.id 1\n_atom_site.type_symbol Zn\n"
      "_atom_site.label_atom_id ZN\n_atom_site.Cartn_x 1\n_atom_site.Cartn_y 2\n"
      "_atom_site.Cartn_z 3\n";
  const MmcifStructure one = parse_mmcif(items, "one.cif");
  ASSERT_EQ(one.atoms.size(), 1u);
  EXPECT_EQ(one.name(one.atoms[0].atom_name), "ZN");
  EXPECT_DOUBLE_EQ(one.atoms[0].z, 3.0);
  // A later block's atoms are not added to the first one's.
  const MmcifStructure two = parse_mmcif(items + "data_two\n" + kTags +
                                             "ATOM 1 C CA . GLY A 2 0 0 0 2 A CA 1\n", "two.cif");
  EXPECT_EQ(two.atoms.size(), 1u);
}

TEST(MmcifReader, MalformedFilesStopWithOneLineNamingTheFile) {
  const std::string row = "ATOM 1 C CA . GLY A 2 1.0 2.0 3.0 2 A CA 1\n";
  const std::string no_y = "data_t\nloop_\n_atom_site.id\n_atom_site.type_symbol\n"
                           "_atom_site.label_atom_id\n_atom_site.Cartn_x\n_atom_site.Cartn_z\n"
                           "1 C CA 1.0 3.0\n";
  const std::string no_type = "data_t\nloop_\n_atom_site.id\n_atom_site.label_atom_id\n"
                              "_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
                              "1 CA 1 2 3\n";
  const std::string small_molecule =
      "data_nacl\n_cell_length_a 5.64\nloop_\n_atom_site_label\n_atom_site_fract_x\n"
      "_atom_site_fract_y\n_atom_site_fract_z\nNa1 0 0 0\nCl1 0.5 0.5 0.5\n";
  const struct {
    std::string text;
    std::string problem;
  } cases[] = {
      {"", "no data block (the file is empty or no CIF file)"},
      {"data_t\n_cell.length_a 10\n", "no _atom_site table (no atoms)"},
      {small_molecule, "no _atom_site table with Cartesian coordinates (a small-molecule CIF?)"},
      {"data_t\n" + kTags, "the _atom_site table has no rows"},
      {no_y, "no _atom_site.Cartn_y column"},
      {no_type, "no _atom_site.type_symbol column"},
      {"data_t\n" + kTags + "ATOM 1 C CA . GLY A 2 1.0 abc 3.0 2 A CA 1\n",
       "line 18: _atom_site.Cartn_y is no number ('abc')"},
      {"data_t\n" + kTags + "ATOM 1 C CA . GLY A 2 1.0 ? 3.0 2 A CA 1\n",
       "line 18: _atom_site.Cartn_y is no number ('?')"},
      {"data_t\n" + kTags + "ATOM 1 C CA . GLY A 2 1.0 2.0 1e5 2 A CA 1\n",
       "line 18: _atom_site.Cartn_z 1e5 is out of range (1e5 Å or more)"},
      {"data_t\n" + kTags + "ATOM 1 C CA . GLY A 2 1.0 2.0 3.0 2x A CA 1\n",
       "line 18: the residue number '2x' is no whole number"},
      {"data_t\n" + kTags + row + "ATOM 2 C CB . GLY A 2 1.0",
       "line 19: the table of _atom_site.group_PDB ends in the middle of a row (the file may be truncated)"},
      {"data_t\n" + kTags + row + "ATOM 2 C 'CB . GLY A 2 1.0\n", "line 19: syntax error (unterminated 'string')"},
      {"data_t\n_cell.length_a\n" + kTags + row, "line 3: a tag without value"},
      {"data_t\n" + kTags + row + kTags + row, "more than one _atom_site table"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    EXPECT_EQ(error_of(c.text), " Error -- Cannot read mmCIF file x.cif: " + c.problem);
  }
}

}  // namespace
}  // namespace tessel
