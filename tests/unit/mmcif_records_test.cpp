// mmCIF rows as PDB records: the record text against the lines of the same entries' PDB files,
// the typed atoms of PDB test files written as mmCIF (alternate locations, old nucleic-acid names,
// explicit hydrogens, calcium, C-alpha-only models), and the numbers beyond the fixed columns.
#include "io/mmcif_records.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "io/atom_source.hpp"
#include "io/atom_typing.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::data_file;
using testing::file_text;

// The accepted records of a structure, as the amplitude stage reads them.
std::vector<AtomRecord> records_of(const std::filesystem::path& file, const StructureInMemory* memory,
                                   bool explicit_hydrogens, PrepassResult* prepass = nullptr) {
  const std::unique_ptr<AtomSource> source = open_atom_source(file, memory, explicit_hydrogens);
  const PrepassResult r = source->prepass();
  if (prepass) *prepass = r;
  std::vector<AtomRecord> all, batch;
  while (source->next_batch(batch)) all.insert(all.end(), batch.begin(), batch.end());
  return all;
}

// A PDB file's atom lines written as an mmCIF _atom_site table, each column taken from the
// fixed columns of the format (blank fields as '?', model numbers counted from MODEL records),
// the element as the PDB reader recognises it (as a writer of mmCIF files would give it).
std::string as_mmcif(const std::string& pdb) {
  std::ostringstream out;
  out << "data_x\nloop_\n";
  for (const char* tag : {"group_PDB", "id", "type_symbol", "auth_atom_id", "label_alt_id",
                          "auth_comp_id", "auth_asym_id", "auth_seq_id", "pdbx_PDB_ins_code",
                          "Cartn_x", "Cartn_y", "Cartn_z", "pdbx_PDB_model_num"})
    out << "_atom_site." << tag << '\n';
  const auto field = [](const std::string& line, std::size_t first, std::size_t last) {
    std::string f = line.size() >= first ? line.substr(first - 1, last - first + 1) : "";
    f.erase(0, f.find_first_not_of(' '));
    f.erase(f.find_last_not_of(" \r") + 1);
    return f.empty() ? std::string("?") : "\"" + f + "\"";
  };
  int model = 1;
  std::istringstream in(pdb);
  std::string line;
  bool seen_model = false;
  while (std::getline(in, line)) {
    if (line.rfind("MODEL", 0) == 0) {
      if (seen_model) ++model;
      seen_model = true;
    }
    if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
    out << field(line, 1, 6) << ' ' << field(line, 7, 11) << ' '
        << field(record_element_code(line), 1, 2) << ' ';
    for (auto [first, last] : {std::pair{13, 16}, {17, 17}, {18, 20}, {22, 22}, {23, 26}, {27, 27},
                               {31, 38}, {39, 46}, {47, 54}})
      out << field(line, first, last) << ' ';
    out << model << '\n';
  }
  return out.str();
}

TEST(MmcifRecords, ArchiveFilesGiveTheLinesOfTheirPdbTwins) {
  // Every record equals the PDB file's line but for the serial numbers (which run on through the
  // models in mmCIF) and the line after the last atom of a chain (TER in the PDB file).
  for (const char* entry : {"6lyz", "1l2y"}) {
    SCOPED_TRACE(entry);
    const StructureInMemory cif = read_mmcif_file(data_file(std::string(entry) + ".cif"), false);
    PrepassResult from_cif, from_pdb;
    const auto a = records_of({}, &cif, true, &from_cif);
    const auto b = records_of(data_file(std::string(entry) + ".pdb"), nullptr, true, &from_pdb);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(from_cif.atoms, from_pdb.atoms);
    EXPECT_EQ(from_cif.discarded_waters, from_pdb.discarded_waters);
    EXPECT_EQ(from_cif.centre, from_pdb.centre);
    EXPECT_EQ(from_cif.extent, from_pdb.extent);
    for (std::size_t i = 0; i < a.size(); ++i) {
      SCOPED_TRACE(b[i].record);
      EXPECT_EQ(a[i].record.substr(0, 6), b[i].record.substr(0, 6));
      EXPECT_EQ(a[i].record.substr(11), b[i].record.substr(11));
      EXPECT_EQ(a[i].x, b[i].x);
      const bool followed_by_atom = b[i].next_line.rfind("ATOM", 0) == 0;
      EXPECT_EQ(a[i].next_line.rfind("ATOM", 0) == 0, followed_by_atom);
      if (followed_by_atom) {
        EXPECT_EQ(a[i].next_line.substr(11), b[i].next_line.substr(11));
      }
    }
  }
}

TEST(MmcifRecords, PdbFilesWrittenAsMmcifTypeAlike) {
  // 1lzh: C-alpha-only (dummy residues); 354d: old names (O2*, C5*), Mg, altlocs; 2bbm: explicit
  // hydrogens and calcium; 3kfo: selenomethionine and altlocs.
  for (const char* file : {"1lzh.pdb", "354d_ndb_url064.pdb", "2bbm.pdb", "3kfo.pdb"}) {
    for (const bool explicit_h : {false, true}) {
      SCOPED_TRACE(std::string(file) + (explicit_h ? " -eh" : ""));
      const StructureInMemory cif = parse_mmcif(as_mmcif(file_text(data_file(file))), file);
      PrepassResult from_cif, from_pdb;
      const auto a = records_of({}, &cif, explicit_h, &from_cif);
      const auto b = records_of(data_file(file), nullptr, explicit_h, &from_pdb);
      ASSERT_EQ(a.size(), b.size());
      EXPECT_EQ(from_cif.skipped_rotamers, from_pdb.skipped_rotamers);
      EXPECT_EQ(from_cif.discarded_hydrogens, from_pdb.discarded_hydrogens);
      EXPECT_EQ(from_cif.old_nucleic_naming, from_pdb.old_nucleic_naming);
      TypingOptions options;
      options.explicit_hydrogens = explicit_h;
      options.model_has_o2_star = from_pdb.old_nucleic_naming;
      AtomTyper typer_a(options), typer_b(options);
      for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(b[i].record);
        EXPECT_EQ(a[i].record.substr(12, 8), b[i].record.substr(12, 8));  // name, altloc, residue
        const TypedAtom ta = typer_a.type_atom(a[i]).atom, tb = typer_b.type_atom(b[i]).atom;
        EXPECT_EQ(ta.type, tb.type);
        EXPECT_EQ(ta.dummy_residue, tb.dummy_residue);
        EXPECT_EQ(ta.first_of_residue, tb.first_of_residue);
      }
      EXPECT_EQ(typer_a.composition().atoms_per_element, typer_b.composition().atoms_per_element);
      EXPECT_EQ(typer_a.composition().residues, typer_b.composition().residues);
      EXPECT_EQ(typer_a.composition().dummy_residues, typer_b.composition().dummy_residues);
    }
  }
}

TEST(MmcifRecords, NamesAndNumbersBeyondThePdbColumns) {
  // Atom names: one-letter elements from column 14, two-letter ones and four-character names
  // from column 13.
  EXPECT_EQ(pdb_atom_name_field("CA", {' ', 'C'}), " CA ");
  EXPECT_EQ(pdb_atom_name_field("CA", {'C', 'A'}), "CA  ");
  EXPECT_EQ(pdb_atom_name_field("HD21", {' ', 'H'}), "HD21");
  EXPECT_EQ(pdb_atom_name_field("C1'", {' ', 'C'}), " C1'");
  EXPECT_EQ(pdb_atom_name_field("LONGNAME", {' ', 'C'}), "LONG");
  // Hybrid-36: 10^w is the first number past the decimal columns and reads "A" and zeros; the
  // upper-case digits cover 26·36^(w-1) numbers, then the lower-case ones as many.
  EXPECT_EQ(fixed_width_number(9999, 4), "9999");
  EXPECT_EQ(fixed_width_number(-999, 4), "-999");
  EXPECT_EQ(fixed_width_number(-1000, 4), "****");
  EXPECT_EQ(fixed_width_number(10000, 4), "A000");
  EXPECT_EQ(fixed_width_number(10000 + 36 * 36 * 36 + 35, 4), "B00Z");
  EXPECT_EQ(fixed_width_number(100000, 5), "A0000");
  EXPECT_EQ(fixed_width_number(10000 + 26 * 46656 - 1, 4), "ZZZZ");
  EXPECT_EQ(fixed_width_number(10000 + 26 * 46656, 4), "a000");
  EXPECT_EQ(fixed_width_number(10000 + 52 * 46656, 4), "****");

  // A row past every limit: its record reads back with the PDB reader, and residues are told
  // apart by whole chain ids that share a first character.
  MmcifStructure s;
  s.names = {"CA", "GLY", "AA", "AB"};
  MmcifAtom a;
  a.serial = 123456;
  a.residue_number = 54321;
  a.atom_name = 0;
  a.residue_name = 1;
  a.chain = 2;
  a.element = {' ', 'C'};
  a.x = -12345.678;
  EXPECT_EQ(pdb_record_text(a, s).substr(30, 8), "********");  // -12345.678 needs 10 columns
  a.x = -999.999;
  MmcifAtom b = a;
  b.chain = 3;
  const std::string record = pdb_record_text(a, s);
  ASSERT_EQ(record.size(), kPdbRecordLength);
  const std::optional<AtomRecord> back = parse_atom_line(record);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->residue_number, 54321);
  EXPECT_EQ(back->atom_name, " CA ");
  EXPECT_EQ(back->chain_id, 'A');
  EXPECT_EQ(back->x, -999.999);
  AtomTyper typer{TypingOptions{}};
  EXPECT_TRUE(typer.type_atom(atom_record(a, record)).atom.first_of_residue);
  EXPECT_FALSE(typer.type_atom(atom_record(a, record)).atom.first_of_residue);
  EXPECT_TRUE(typer.type_atom(atom_record(b, pdb_record_text(b, s))).atom.first_of_residue);
}

}  // namespace
}  // namespace tessel
