// Typing of structure records: element codes, elements from columns or atom names, hydrogen
// groups from the residue dictionary, and which records are typed.
#include "io/atom_typing.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "io/fortran_format.hpp"
#include "io/pdb_reader.hpp"

namespace tessel {
namespace {

// Lines from the test data (6lyz.pdb, 2bbm.pdb, 1l2y.pdb, pdb1gdr.ent, 354d_ndb_url064.pdb),
// some with a field changed as noted.
constexpr std::string_view kAlaN =
    "ATOM     71  N   ALA A  10     -10.175  18.158   9.181  1.00  7.04           N  ";
constexpr std::string_view kAlaCA =
    "ATOM     72  CA  ALA A  10     -11.227  17.143   9.311  1.00  7.96           C  ";
constexpr std::string_view kAlaC =
    "ATOM     73  C   ALA A  10     -11.176  16.305  10.589  1.00  7.35           C  ";
constexpr std::string_view kAlaO =
    "ATOM     74  O   ALA A  10     -12.198  16.134  11.289  1.00  4.77           O  ";
constexpr std::string_view kAlaCB =
    "ATOM     75  CB  ALA A  10     -11.035  16.160   8.147  1.00  3.87           C  ";
constexpr std::string_view kGlyN =
    "ATOM    899  N   GLY A 117      -3.951  36.379  15.766  1.00  5.56           N  ";
constexpr std::string_view kCalcium =
    "HETATM 2703 CA    CA A 181      11.240   1.243  10.109  1.00  1.14          CA  ";
constexpr std::string_view kGdrCA1 =  // columns 73-80 hold "1GDR" and a line number
    "ATOM      1  CA  MET     1     -19.201  51.101   6.138  1.00 35.00      1GDR 109";
constexpr std::string_view kGdrCA2 =
    "ATOM      2  CA  ARG     2     -17.008  48.871   4.008  1.00 35.00      1GDR 110";

AtomRecord record_of(std::string_view line, std::string_view next = {}) {
  std::optional<AtomRecord> r = parse_atom_line(line);
  EXPECT_TRUE(r.has_value()) << line;
  if (!r) return {};
  r->next_line = std::string(next);
  return *r;
}

int type_of(AtomTyper& typer, std::string_view line, std::string_view next = {}) {
  return typer.type_atom(record_of(line, next)).atom.type;
}

// Types the accepted records of a structure as the amplitude stage reads them.
struct FileTyping {
  Composition composition;
  std::vector<TypedAtom> atoms;
  int misaligned = 0;
  int unknown_warnings = 0;
};

FileTyping type_stream(std::istream& in, const TypingOptions& options) {
  AtomStream stream(in, options.explicit_hydrogens);
  AtomTyper typer(options);
  FileTyping out;
  std::vector<AtomRecord> batch;
  while (stream.next_batch(batch)) {
    for (const AtomRecord& record : batch) {
      const TypingResult r = typer.type_atom(record);
      out.atoms.push_back(r.atom);
      for (const TypingWarning& w : r.warnings)
        (w.kind == TypingWarningKind::MisalignedName ? out.misaligned : out.unknown_warnings)++;
    }
  }
  out.composition = typer.composition();
  return out;
}

FileTyping type_file(const std::string& name, const TypingOptions& options) {
  std::ifstream in(std::string(TESSEL_TEST_DATA) + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  return type_stream(in, options);
}

FileTyping type_text(const std::string& text, const TypingOptions& options) {
  std::istringstream in(text);
  return type_stream(in, options);
}

int element_index(std::string_view symbol) {
  for (int e = 0; e < kElementCount; ++e)
    if (element_symbol(e) == symbol) return e;
  return -1;
}

int count_of(const Composition& c, std::string_view symbol) {
  return c.atoms_per_element[static_cast<std::size_t>(element_index(symbol))];
}

TEST(AtomTyping, ValidElementCodes) {
  const struct {
    const char* code;
    bool valid;
  } cases[] = {
      {" C", true}, {"FE", true}, {"CA", true}, {"HG", true}, {"XE", true}, {" W", true},
      {"C ", false},  // left-aligned one-letter symbol
      {" 1", false},  // a line number in the element columns
      {"  ", false}, {" D", false}, {" Q", false}, {"Fe", false}, {"X1", false}, {"C", false},
      {"AA", true},   // valid form, though no element
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("code '") + c.code + "'");
    EXPECT_EQ(is_valid_element_code(c.code), c.valid);
  }
}

TEST(AtomTyping, ElementFromColumnsOrAtomName) {
  const std::string no_columns(kAlaCA.substr(0, 66));
  const std::string mercury =
      "HETATM 1000 HG    HG A 200       1.000   2.000   3.000  1.00 10.00";
  const std::string right_shifted =  // oxygen written in column 15
      "HETATM 1001   O  LIG A 201       1.000   2.000   3.000  1.00 10.00";
  const std::string left_aligned =  // "C1" from column 13, no element columns
      "HETATM 1002 C1   LIG A 201       1.000   2.000   3.000  1.00 10.00";
  const struct {
    std::string line;
    const char* code;
    bool misaligned;
    int type;
  } cases[] = {
      {std::string(kCalcium), "CA", false, 16},   // element columns name calcium
      {no_columns, " C", false, 1},               // " C" fails as two letters, column 14 is C
      {std::string(kGdrCA1), " C", false, 1},     // " 1" in columns 77-78 is no element
      {mercury, "HG", false, 32},                 // mercury, not a hydrogen
      {right_shifted, " O", true, 9},
      {left_aligned, "1 ", true, 0},              // nothing recognisable: no type
      {std::string(kAlaN), " N", false, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const ElementCode e = element_code(c.line);
    EXPECT_EQ(e.code, c.code);
    EXPECT_EQ(e.misaligned, c.misaligned);
    EXPECT_EQ(type_from_element_code(e.code), c.type);
  }
}

TEST(AtomTyping, HydrogensOnlyFillTheGroupsOfTheTable) {
  const struct {
    int bare, hydrogens, expected;
  } cases[] = {
      {1, 0, 1}, {1, 1, 2}, {1, 2, 3}, {1, 3, 4},
      {1, 4, 4},    // methane carbon: CH3, not N
      {5, 1, 6}, {5, 3, 8},
      {5, 4, 8},    // ammonium: NH3, not O
      {9, 1, 10},
      {9, 2, 10},   // a water-like oxygen: OH, not S
      {11, 1, 12},
      {11, 2, 12},  // H2S: SH, not P
      {13, 1, 13},  // P-H: no PH group, and not Fe
      {16, 1, 16}, {36, 2, 36}, {19, 1, 19},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bare) + " + " + std::to_string(c.hydrogens));
    EXPECT_EQ(add_hydrogens(c.bare, c.hydrogens), c.expected);
  }
}

TEST(AtomTyping, AlanineGroupsAndTheResidueStart) {
  AtomTyper typer({});
  EXPECT_EQ(type_of(typer, kAlaN), 21);   // NH as the residue's first atom
  EXPECT_EQ(type_of(typer, kAlaCA), 2);   // CH
  EXPECT_EQ(type_of(typer, kAlaC), 1);    // C
  EXPECT_EQ(type_of(typer, kAlaO), 9);    // O
  EXPECT_EQ(type_of(typer, kAlaCB), 4);   // CH3
  EXPECT_EQ(type_of(typer, kGlyN), 21);   // the next residue starts again
  const std::string oxt =
      "ATOM    902  OXT GLY A 117      -3.896  38.934  13.149  1.00  5.66           O  ";
  EXPECT_EQ(type_of(typer, oxt), 10);     // OH

  // An NH that is not the first atom of its residue stays type 6.
  AtomTyper later({});
  EXPECT_EQ(type_of(later, kAlaCA), 2);
  EXPECT_EQ(type_of(later, kAlaN), 6);
}

TEST(AtomTyping, ResidueMissingFromTheDictionaryKeepsBareElements) {
  ASSERT_FALSE(hydrogen_dictionary(AtomNaming::New).contains("QQ9"));
  AtomTyper typer({});
  const auto rename = [](std::string_view line) { return std::string(line).replace(17, 3, "QQ9"); };
  EXPECT_EQ(type_of(typer, rename(kAlaN)), 5);
  EXPECT_EQ(type_of(typer, rename(kAlaCA)), 1);
  EXPECT_EQ(type_of(typer, rename(kAlaCB)), 1);
}

TEST(AtomTyping, OnlyAcceptedRecordsAreTyped) {
  const std::string text =
      std::string(kAlaN) + "\n" +
      std::string(kAlaCB).replace(16, 1, "B") + "\n" +  // other conformer: skipped
      std::string(kAlaCB).replace(16, 1, "A") + "\n" +  // first conformer: kept
      std::string(kAlaO).replace(17, 3, "HOH") + "\n" +
      "ATOM     25  H   LEU A   2      -6.821   4.923  -2.394  1.00  0.00           H\n"
      "HETATM 1000 HG    HG A 200       1.000   2.000   3.000  1.00 10.00\n";  // mercury
  const FileTyping t = type_text(text, {});
  ASSERT_EQ(t.atoms.size(), 3u);
  EXPECT_EQ(t.atoms[0].type, 21);
  EXPECT_EQ(t.atoms[1].type, 4);
  EXPECT_EQ(t.atoms[2].type, 32);
  EXPECT_EQ(count_of(t.composition, "Hg"), 1);
  EXPECT_EQ(count_of(t.composition, "O"), 0);
  EXPECT_EQ(count_of(t.composition, "H"), 0);
}

TEST(AtomTyping, ExplicitHydrogensAreKeptAndNoneAdded) {
  // Leucine 2 of the first model of 1l2y.pdb, hydrogens included.
  const std::vector<std::string> leucine = {
      "ATOM     17  N   LEU A   2      -6.379   4.031  -2.228  1.00  0.00           N  ",
      "ATOM     18  CA  LEU A   2      -4.923   4.002  -2.452  1.00  0.00           C  ",
      "ATOM     19  C   LEU A   2      -4.136   3.187  -1.404  1.00  0.00           C  ",
      "ATOM     20  O   LEU A   2      -3.391   2.274  -1.760  1.00  0.00           O  ",
      "ATOM     21  CB  LEU A   2      -4.411   5.450  -2.619  1.00  0.00           C  ",
      "ATOM     22  CG  LEU A   2      -4.795   6.450  -1.495  1.00  0.00           C  ",
      "ATOM     23  CD1 LEU A   2      -3.612   6.803  -0.599  1.00  0.00           C  ",
      "ATOM     24  CD2 LEU A   2      -5.351   7.748  -2.084  1.00  0.00           C  ",
      "ATOM     25  H   LEU A   2      -6.821   4.923  -2.394  1.00  0.00           H  ",
      "ATOM     26  HA  LEU A   2      -4.750   3.494  -3.403  1.00  0.00           H  ",
      "ATOM     27  HB2 LEU A   2      -3.340   5.414  -2.672  1.00  0.00           H  ",
      "ATOM     28  HB3 LEU A   2      -4.813   5.817  -3.564  1.00  0.00           H  ",
      "ATOM     29  HG  LEU A   2      -5.568   6.022  -0.858  1.00  0.00           H  ",
      "ATOM     30 HD11 LEU A   2      -3.207   5.905  -0.146  1.00  0.00           H  ",
      "ATOM     31 HD12 LEU A   2      -2.841   7.304  -1.183  1.00  0.00           H  ",
      "ATOM     32 HD13 LEU A   2      -3.929   7.477   0.197  1.00  0.00           H  ",
      "ATOM     33 HD21 LEU A   2      -4.607   8.209  -2.736  1.00  0.00           H  ",
      "ATOM     34 HD22 LEU A   2      -6.255   7.544  -2.657  1.00  0.00           H  ",
      "ATOM     35 HD23 LEU A   2      -5.592   8.445  -1.281  1.00  0.00           H  ",
  };
  std::string text;
  for (const std::string& line : leucine) text += line + "\n";
  const auto electrons = [&](bool explicit_h, std::vector<int>& types) {
    TypingOptions options;
    options.explicit_hydrogens = explicit_h;
    int total = 0;
    for (const TypedAtom& atom : type_text(text, options).atoms) {
      types.push_back(atom.type);
      total += atom_type(atom.type).electrons;
    }
    return total;
  };
  std::vector<int> with_h, without_h;
  // Leucine C6H11NO in a chain: 6·6 + 11 + 7 + 8 = 62 electrons either way.
  EXPECT_EQ(electrons(true, with_h), 62);
  EXPECT_EQ(electrons(false, without_h), 62);
  EXPECT_EQ(with_h, (std::vector<int>{5, 1, 1, 9, 1, 1, 1, 1, 108, 108, 108, 108, 108, 108, 108,
                                      108, 108, 108, 108}));
  EXPECT_EQ(without_h, (std::vector<int>{21, 2, 1, 9, 3, 2, 4, 4}));
}

TEST(AtomTyping, WarningsCarryTheRecord) {
  const std::string misaligned =
      "HETATM 1001   O  LIG A 201       1.000   2.000   3.000  1.00 10.00";
  const std::string unknown =
      "HETATM 1003 AA1  LIG A 201       1.000   2.000   3.000  1.00 10.00          AA  ";
  AtomTyper typer({});
  const TypingResult m = typer.type_atom(record_of(misaligned));
  EXPECT_EQ(m.atom.type, 9);
  EXPECT_FALSE(m.atom.unknown);
  ASSERT_EQ(m.warnings.size(), 1u);
  EXPECT_EQ(m.warnings[0].kind, TypingWarningKind::MisalignedName);
  EXPECT_EQ(m.warnings[0].text, "Warning: misaligned atom name   in line " + misaligned + "\n");

  const TypingResult u = typer.type_atom(record_of(unknown));
  EXPECT_EQ(u.atom.type, 9);  // typed as oxygen
  EXPECT_TRUE(u.atom.unknown);
  ASSERT_EQ(u.warnings.size(), 1u);
  EXPECT_EQ(u.warnings[0].kind, TypingWarningKind::UnknownAtom);
  EXPECT_EQ(u.warnings[0].text,
            "Warning: unknown GROUP/ATOM   in line HETATM 1003 AA1  LIG A 201       1.000   2.000"
            "   3.000  1.00 10.00          AA\n");

  const Composition& c = typer.composition();
  EXPECT_EQ(c.unknown_atoms, 1);
  EXPECT_EQ(count_of(c, "O"), 1);  // the misaligned oxygen only
}

TEST(AtomTyping, DummyResiduesLookOneLineAhead) {
  const std::string ca_alt_b = std::string(kGdrCA2).replace(16, 1, "B");
  const std::string ca_alt_a = std::string(kGdrCA2).replace(16, 1, "A");
  const std::string hetatm_ca = "HETATM" + std::string(kGdrCA2.substr(6));
  const struct {
    std::string_view next;
    bool previous;
    bool dummy;
  } cases[] = {
      {kGdrCA2, false, true},
      {ca_alt_a, false, true},
      {ca_alt_b, false, false},  // another conformer of the same atom follows
      {hetatm_ca, false, false},
      {kAlaC, false, false},
      {"TER     106      ALA   115", false, false},
      {"TER     106      ALA   115", true, true},  // the last of a run of alpha carbons
      {"", true, true},
      {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.next) + (c.previous ? " after a dummy" : ""));
    EXPECT_EQ(is_dummy_residue(kGdrCA1, c.next, c.previous), c.dummy);
  }
  // Only an atom named CA in columns 14-15 is a dummy residue.
  EXPECT_FALSE(is_dummy_residue(kAlaCB, kGdrCA2, true));
  EXPECT_FALSE(is_dummy_residue(kCalcium, kGdrCA2, true));
}

TEST(AtomTyping, AlphaCarbonModelCountsDummyResidues) {
  AtomTyper typer({});
  const TypingResult first = typer.type_atom(record_of(kGdrCA1, kGdrCA2));
  const TypingResult last = typer.type_atom(record_of(kGdrCA2, "TER     106      ARG     2"));
  EXPECT_TRUE(first.atom.dummy_residue);
  EXPECT_TRUE(last.atom.dummy_residue);
  EXPECT_TRUE(first.warnings.empty());
  const Composition& c = typer.composition();
  EXPECT_EQ(c.dummy_residues, 2);
  EXPECT_EQ(count_of(c, "C"), 0);
  EXPECT_EQ(c.residues, 0);
}

TEST(AtomTyping, OldNamingAndTheDeoxyriboseC2) {
  // Residue "  C" of 354d_ndb_url064.pdb (RNA, old naming).
  const std::string c2 =
      "ATOM      7  C2*   C A  70      12.584  -1.351  17.928  1.00 25.40           C  ";
  const std::string o2 =
      "ATOM      8  O2*   C A  70      12.318  -2.421  17.051  1.00 28.54           O  ";
  const std::string methyl =
      "ATOM     16  C5M   T A   1      44.552  -2.900   6.012  1.00 20.02           C  ";
  const auto typed = [](const TypingOptions& options, std::string_view line) {
    AtomTyper typer(options);
    return type_of(typer, line);
  };
  TypingOptions rna;
  rna.naming = AtomNaming::Old;
  rna.model_has_o2_star = true;
  EXPECT_EQ(typed(rna, c2), 2);  // ribose C2: CH
  EXPECT_EQ(typed(rna, o2), 10);
  EXPECT_EQ(typed(rna, methyl), 4);
  TypingOptions dna = rna;
  dna.model_has_o2_star = false;
  EXPECT_EQ(typed(dna, c2), 3);  // no O2* in the model: deoxyribose, CH2
  TypingOptions new_names;
  EXPECT_EQ(typed(new_names, methyl), 1);  // the new dictionary names that methyl C7
  EXPECT_EQ(typed(new_names, o2), 9);
  TypingOptions explicit_h = dna;
  explicit_h.explicit_hydrogens = true;
  EXPECT_EQ(typed(explicit_h, c2), 1);  // the file's own hydrogens are counted instead
}

TEST(AtomTyping, ResiduesAndNucleotidesAreCountedOnce) {
  const std::string dna =
      "ATOM     16  C7   DT A   1      44.552  -2.900   6.012  1.00 20.02           C  ";
  const std::string dna_p =
      "ATOM     17  P    DT A   1      44.552  -2.900   6.012  1.00 20.02           P  ";
  AtomTyper typer({});
  for (std::string_view line : {kAlaN, kAlaCA, kAlaC, kAlaO, kAlaCB, kGlyN, std::string_view(dna),
                                std::string_view(dna_p), kCalcium})
    typer.type_atom(record_of(line));
  const Composition& c = typer.composition();
  EXPECT_EQ(c.residues, 2);
  EXPECT_EQ(c.nucleotides, 1);
  EXPECT_EQ(count_of(c, "C"), 4);
  EXPECT_EQ(count_of(c, "N"), 2);
  EXPECT_EQ(count_of(c, "O"), 1);
  EXPECT_EQ(count_of(c, "P"), 1);
  EXPECT_EQ(count_of(c, "Ca"), 1);
}

TEST(AtomTyping, InsertionCodeStartsANewResidue) {
  // Residue 52 glycine, then 52A alanine: the alanine must be looked up as alanine.
  const std::string gly =
      "ATOM    400  CA  GLY H  52      10.000  10.000  10.000  1.00 10.00           C  ";
  const std::string ala =
      "ATOM    404  CB  ALA H  52A     11.000  10.000  10.000  1.00 10.00           C  ";
  AtomTyper typer({});
  EXPECT_EQ(type_of(typer, gly), 3);  // glycine CA: CH2
  const TypedAtom a = typer.type_atom(record_of(ala)).atom;
  EXPECT_TRUE(a.first_of_residue);
  EXPECT_EQ(a.type, 4);
}

TEST(AtomTyping, CompositionReportInElementOrder) {
  Composition c;
  c.atoms_per_element[static_cast<std::size_t>(element_index("S"))] = 10;
  c.atoms_per_element[static_cast<std::size_t>(element_index("C"))] = 613;
  c.atoms_per_element[static_cast<std::size_t>(element_index("Fe"))] = 4;
  c.atoms_per_element[static_cast<std::size_t>(element_index("O"))] = 185;
  EXPECT_EQ(composition_report(c), labelled_line(" Number of C", 613) +
                                       labelled_line(" Number of O", 185) +
                                       labelled_line(" Number of S", 10) +
                                       labelled_line(" Number of Fe", 4));
  c.unknown_atoms = 2;
  EXPECT_EQ(composition_report(c), labelled_line(" Number of C", 613) +
                                       labelled_line(" Number of O", 185) +
                                       labelled_line(" Number of S", 10) +
                                       labelled_line(" Number of Fe", 4) +
                                       labelled_line(" Number of unknown atoms read", 2));
  EXPECT_EQ(composition_report(Composition{}), "");
}

TEST(AtomTyping, UnknownAtomsSummaryLine) {
  EXPECT_EQ(unknown_atoms_summary(0), "");
  EXPECT_EQ(unknown_atoms_summary(3), "   * Warning:    3 atoms of unknown type were found *\n");
  EXPECT_EQ(unknown_atoms_summary(12345),
            "   * Warning:12345 atoms of unknown type were found *\n");
  EXPECT_EQ(unknown_atoms_summary(123456),
            "   * Warning:***** atoms of unknown type were found *\n");
}

TEST(AtomTyping, WholeFiles) {
  // Lysozyme 6lyz: 129 residues, C613 N193 O185 S10 (element columns counted with awk), waters
  // dropped.
  {
    const FileTyping t = type_file("6lyz.pdb", {});
    EXPECT_EQ(t.atoms.size(), 1001u);
    EXPECT_EQ(t.composition.residues, 129);
    EXPECT_EQ(count_of(t.composition, "C"), 613);
    EXPECT_EQ(count_of(t.composition, "N"), 193);
    EXPECT_EQ(count_of(t.composition, "O"), 185);
    EXPECT_EQ(count_of(t.composition, "S"), 10);
    EXPECT_EQ(t.composition.unknown_atoms, 0);
    EXPECT_EQ(t.misaligned, 0);
    EXPECT_EQ(t.composition.dummy_residues, 0);
  }
  // C-alpha-only models: every atom is a dummy residue, also with line numbers in columns 77-78.
  for (const char* name : {"1lzh.pdb", "pdb1gdr.ent"}) {
    SCOPED_TRACE(name);
    const FileTyping t = type_file(name, {});
    const int expected = std::string(name) == "1lzh.pdb" ? 258 : 105;
    EXPECT_EQ(static_cast<int>(t.atoms.size()), expected);
    EXPECT_EQ(t.composition.dummy_residues, expected);
    EXPECT_EQ(t.composition.residues, 0);
    EXPECT_EQ(count_of(t.composition, "C"), 0);
    EXPECT_EQ(t.misaligned + t.unknown_warnings, 0);
  }
  // DNA 1nvy (new naming, CRLF line ends): 20 nucleotides, 5 strontium ions. RNA 354d (old
  // naming): 24 nucleotides of the list (the phosphorothioate S is not one), 5 magnesium ions.
  {
    const FileTyping t = type_file("1nvy.pdb", {});
    EXPECT_EQ(t.composition.nucleotides, 20);
    EXPECT_EQ(count_of(t.composition, "Sr"), 5);
    EXPECT_EQ(t.composition.unknown_atoms + t.misaligned, 0);
    TypingOptions old_naming;
    old_naming.naming = AtomNaming::Old;
    old_naming.model_has_o2_star = true;
    const FileTyping r = type_file("354d_ndb_url064.pdb", old_naming);
    EXPECT_EQ(r.composition.nucleotides, 24);
    EXPECT_EQ(count_of(r.composition, "Mg"), 5);
    EXPECT_EQ(r.composition.unknown_atoms + r.misaligned, 0);
  }
  // Calmodulin 2bbm: four calcium ions; 1326 hydrogens dropped unless kept.
  {
    const FileTyping t = type_file("2bbm.pdb", {});
    EXPECT_EQ(count_of(t.composition, "Ca"), 4);
    EXPECT_EQ(count_of(t.composition, "H"), 0);
    EXPECT_EQ(t.atoms.size(), 2704u - 1326u);
    TypingOptions explicit_h;
    explicit_h.explicit_hydrogens = true;
    const FileTyping h = type_file("2bbm.pdb", explicit_h);
    EXPECT_EQ(count_of(h.composition, "H"), 1326);
    EXPECT_EQ(count_of(h.composition, "C"), 847);
  }
}

}  // namespace
}  // namespace tessel
