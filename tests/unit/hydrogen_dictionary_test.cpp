// The built-in hydrogen dictionaries: well-formed sorted rows, amino acids, side chains and
// nucleotides in the new and the old naming.
#include "io/hydrogen_dictionary.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tessel {
namespace {

struct Expected {
  const char* residue;
  const char* atom;
  int hydrogens;
};

void check_entries(AtomNaming naming, std::initializer_list<Expected> rows) {
  const HydrogenDictionary dict = hydrogen_dictionary(naming);
  for (const Expected& row : rows) {
    SCOPED_TRACE(std::string("residue '") + row.residue + "' atom '" + row.atom + "'");
    ASSERT_TRUE(dict.contains(row.residue));
    EXPECT_EQ(dict.lookup(row.residue).hydrogens_on(row.atom), row.hydrogens);
  }
}

TEST(HydrogenDictionary, RowsAreSortedWellFormedAndUnique) {
  for (AtomNaming naming : {AtomNaming::New, AtomNaming::Old}) {
    const HydrogenDictionary dict = hydrogen_dictionary(naming);
    // The monomer library describes some 11,500 residues; both spellings come from it.
    EXPECT_GT(dict.residue_count(), 11000u);
    std::string_view previous;
    for (std::string_view row : dict.rows()) {
      SCOPED_TRACE(std::string(row));
      ASSERT_GE(row.size(), 3u);
      ASSERT_EQ((row.size() - 3) % ResidueHydrogens::kEntryWidth, 0u);
      if (!previous.empty()) {
        EXPECT_LT(previous.substr(0, 3), row.substr(0, 3));
      }
      previous = row;
      const ResidueHydrogens entries = dict.lookup(row.substr(0, 3));
      std::set<std::string_view> names;
      for (std::size_t i = 0; i < entries.size(); ++i) {
        const HydrogenEntry e = entries[i];
        EXPECT_GE(e.hydrogens, 1);
        EXPECT_LE(e.hydrogens, 9);
        EXPECT_NE(e.atom_name, "    ");
        EXPECT_TRUE(names.insert(e.atom_name).second) << "duplicate atom " << e.atom_name;
      }
    }
  }
  EXPECT_EQ(hydrogen_dictionary(AtomNaming::New).residue_count(),
            hydrogen_dictionary(AtomNaming::Old).residue_count());
}

TEST(HydrogenDictionary, AlanineReadsAsAnInChainResidueWithTerminalOxt) {
  for (AtomNaming naming : {AtomNaming::New, AtomNaming::Old}) {
    const ResidueHydrogens ala = hydrogen_dictionary(naming).lookup("ALA");
    ASSERT_EQ(ala.size(), 4u);
    const char* names[] = {" N  ", " CA ", " CB ", " OXT"};
    const int counts[] = {1, 1, 3, 1};
    for (std::size_t i = 0; i < 4; ++i) {
      SCOPED_TRACE(names[i]);
      EXPECT_EQ(ala[i].atom_name, names[i]);
      EXPECT_EQ(ala[i].hydrogens, counts[i]);
    }
  }
}

TEST(HydrogenDictionary, StandardAminoAcidBackbone) {
  const HydrogenDictionary dict = hydrogen_dictionary(AtomNaming::New);
  const std::string_view all = "ALAARGASNASPCYSGLNGLUGLYHISILELEULYSMETPHEPROSERTHRTRPTYRVAL";
  for (std::size_t i = 0; i < all.size(); i += 3) {
    const std::string_view residue = all.substr(i, 3);
    SCOPED_TRACE(std::string(residue));
    const ResidueHydrogens r = dict.lookup(residue);
    // Peptide N carries one hydrogen, none in proline's ring; CA one, glycine's two.
    EXPECT_EQ(r.hydrogens_on(" N  "), residue == "PRO" ? 0 : 1);
    EXPECT_EQ(r.hydrogens_on(" CA "), residue == "GLY" ? 2 : 1);
    EXPECT_EQ(r.hydrogens_on(" C  "), 0);
    EXPECT_EQ(r.hydrogens_on(" O  "), 0);
    EXPECT_EQ(r.hydrogens_on(" OXT"), 1);
    // The free amino acid's extra terminal hydrogens have no entries.
    EXPECT_EQ(r.hydrogens_on(" H2 "), 0);
    EXPECT_EQ(r.hydrogens_on(" HXT"), 0);
  }
}

TEST(HydrogenDictionary, SideChainsFollowTheirChemistry) {
  check_entries(AtomNaming::New, {
      {"LYS", " NZ ", 3},  // ammonium
      {"LYS", " CE ", 2},
      {"ARG", " NE ", 1},
      {"ARG", " NH1", 2},
      {"ARG", " NH2", 2},
      {"ARG", " CZ ", 0},
      {"SER", " OG ", 1},
      {"THR", " OG1", 1},
      {"THR", " CG2", 3},
      {"TYR", " OH ", 1},
      {"TYR", " CZ ", 0},
      {"CYS", " SG ", 1},
      {"MET", " SD ", 0},
      {"MET", " CE ", 3},
      {"ASP", " OD1", 0},  // carboxylate
      {"GLU", " OE2", 0},
      {"ASN", " ND2", 2},
      {"GLN", " NE2", 2},
      {"TRP", " NE1", 1},
      {"HIS", " NE2", 1},  // neutral N-epsilon-2 tautomer
      {"HIS", " ND1", 0},
      {"HIS", " CE1", 1},
      {"ILE", " CD1", 3},
      {"ILE", " CB ", 1},
      {"VAL", " CG1", 3},
      {"LEU", " CG ", 1},
      {"PHE", " CZ ", 1},
      {"PRO", " CD ", 2},
      {"MSE", " N  ", 1},  // selenomethionine in a chain, like MET
      {"MSE", " CE ", 3},
  });
}

TEST(HydrogenDictionary, NucleotidesInTheNewNaming) {
  check_entries(AtomNaming::New, {
      {" DA", " C2'", 2},  // deoxyribose
      {"  A", " C2'", 1},  // ribose
      {"  A", " O2'", 1},
      {"  U", " O2'", 1},
      {" DA", " C5'", 2},
      {" DA", " C1'", 1},
      {" DA", " O3'", 0},  // bonded to the next phosphate inside a strand
      {" DA", " O5'", 0},
      {"  G", " O3'", 0},
      {" DA", " N6 ", 2},
      {" DG", " N1 ", 1},
      {" DG", " N2 ", 2},
      {" DC", " N4 ", 2},
      {" DT", " N3 ", 1},
      {" DT", " C7 ", 3},
      {" DT", " C6 ", 1},
      {"  U", " C5 ", 1},
      {" DA", " OP1", 0},
      {" DA", " P  ", 0},
  });
}

TEST(HydrogenDictionary, OldNamingSpellsPrimesWithStarsAndOldDnaNames) {
  check_entries(AtomNaming::Old, {
      {"  A", " C2*", 1},  // "  A" is the ribonucleotide; DNA is typed apart
      {"  A", " O2*", 1},
      {"  A", " C5*", 2},
      {"  A", " C5'", 0},
      {"  T", " C2*", 2},  // the old "  T" is deoxythymidine
      {"  T", " C5M", 3},
      {"  T", " C7 ", 0},
      {" DT", " C5M", 3},
      {"  U", " N3 ", 1},
      {"ALA", " CB ", 3},
  });
  // New naming keeps thymine's methyl as C7 and primes as '.
  check_entries(AtomNaming::New, {{"  T", " C7 ", 3}, {"  T", " C5M", 0}, {"  A", " C2*", 0}});
}

TEST(HydrogenDictionary, ResiduesWithoutHydrogensAndUnknownResidues) {
  const HydrogenDictionary dict = hydrogen_dictionary(AtomNaming::New);
  // Ions and sulphate are listed but carry no hydrogens.
  for (const char* residue : {" CA", " ZN", "SO4"}) {
    SCOPED_TRACE(residue);
    EXPECT_TRUE(dict.contains(residue));
    EXPECT_TRUE(dict.lookup(residue).empty());
  }
  // Lookup is by the exact three-character name: no trimming, no case folding.
  for (const char* residue : {"ala", "ALA ", "AL", "", "A", "DA", "zzz"}) {
    SCOPED_TRACE(residue);
    EXPECT_FALSE(dict.contains(residue));
    EXPECT_TRUE(dict.lookup(residue).empty());
  }
  // Atom names are matched exactly, leading blank included.
  EXPECT_EQ(dict.lookup("ALA").hydrogens_on("CB  "), 0);
  EXPECT_EQ(dict.lookup("ALA").hydrogens_on("CB"), 0);
}

}  // namespace
}  // namespace tessel
