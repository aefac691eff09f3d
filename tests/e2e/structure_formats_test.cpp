// Structure files in mmCIF and gzip-compressed: the same entry as PDB, mmCIF and gzip copies of
// both gives the same console output, log, intensity and fit files but for file names and times;
// assemblies past the PDB format's limits run and their long chain ids are selectable; malformed
// files stop with one line naming the file and leave nothing behind; the interactive questions
// take mmCIF files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

void write_file(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

void write_gzip(const fs::path& p, const std::string& bytes) {
  gzFile out = gzopen(p.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
  EXPECT_EQ(gzclose(out), Z_OK);
}

std::string data_text(const std::string& name) {
  return read_file(fs::path(TESSEL_TEST_DATA) / name);
}

// A run's texts with the structure file's name (and the blanks that pad its field) and the time
// stamps replaced: what must not differ between the formats of one entry. The fit file's title
// holds the name in 8 characters, so its first 8 are a name too.
std::string normalised(const std::string& text, const std::string& structure) {
  static const std::regex stamp(R"(\d\d-[A-Z][a-z][a-z]-\d{4} +\d\d:\d\d:\d\d)");
  std::string out = std::regex_replace(text, stamp, "<time>");
  for (const std::string& name : {structure, structure.substr(0, 8)}) {
    const std::regex pattern(std::regex_replace(name, std::regex(R"([.])"), R"(\.)") + " *");
    out = std::regex_replace(out, pattern, "<structure> ");
  }
  return out;
}

// Console, errors, log, intensity and fit files of one run on a copy of `structure` (written by
// `make`) in a fresh directory, normalised.
std::map<std::string, std::string> run_outputs(const std::string& structure, const std::string& bytes,
                                               bool compress, const std::vector<std::string>& options) {
  TempDir dir;
  if (compress) {
    write_gzip(dir.path() / structure, bytes);
  } else {
    write_file(dir.path() / structure, bytes);
  }
  std::vector<std::string> args{structure};
  for (const std::string& o : options) {
    if (o.ends_with(".dat")) dir.copy_data(o);
    args.push_back(o);
  }
  const RunResult r = run_tessel(dir.path(), args);
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> out{{"console", normalised(r.out, structure)},
                                         {"errors", normalised(r.err, structure)}};
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".log" || ext == ".int" || ext == ".fit")
      out[entry.path().filename().string()] = normalised(read_file(entry.path()), structure);
  }
  return out;
}

TEST(StructureFormats, MmcifAndCompressedCopiesGiveThePdbResults) {
  struct Case {
    std::string entry;
    std::vector<std::string> options;
    std::vector<std::string> outputs;  // the files the runs must write
  };
  const Case cases[] = {
      {"6lyz", {}, {"6lyz00.log", "6lyz00.int"}},
      {"6lyz", {"nup133_23922_merge.dat"}, {"6lyz00.log", "6lyz00.fit"}},
      {"1l2y", {"-nmr", "2"}, {"1l2y-200.log", "1l2y-200.int"}},
      {"1l2y", {"-eh"}, {"1l2y00.log", "1l2y00.int"}},
      {"1l2y", {}, {"1l2y00.log", "1l2y00.int"}},
  };
  for (const Case& c : cases) {
    const std::string pdb = data_text(c.entry + ".pdb");
    const std::string cif = data_text(c.entry + ".cif");
    const auto expected = run_outputs(c.entry + ".pdb", pdb, false, c.options);
    for (const std::string& output : c.outputs) EXPECT_EQ(expected.count(output), 1u) << output;
    EXPECT_EQ(expected.size(), 2 + c.outputs.size());
    const struct {
      std::string name;
      const std::string& bytes;
      bool gzip;
    } variants[] = {{c.entry + ".cif", cif, false},
                    {c.entry + ".pdb.gz", pdb, true},
                    {c.entry + ".cif.gz", cif, true}};
    for (const auto& v : variants) {
      SCOPED_TRACE(v.name + (c.options.empty() ? "" : " " + c.options.front()));
      const auto got = run_outputs(v.name, v.bytes, v.gzip, c.options);
      ASSERT_EQ(got.size(), expected.size());
      for (const auto& [file, text] : expected) EXPECT_EQ(got.at(file), text) << file;
    }
  }
}

// An assembly of `copies` lysozymes (6lyz.cif without its waters) on a line 45 Å apart, each a
// chain of its own with a two-character id, serial numbers running on and residue numbers of
// copy k raised by 1000 k, as bench/make_assembly.py makes them.
std::string lysozyme_assembly(int copies) {
  std::istringstream in(data_text("6lyz.cif"));
  std::ostringstream out;
  std::vector<std::string> tags;
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("_atom_site.", 0) == 0) tags.push_back(line.substr(11, line.find_last_not_of(' ') - 10));
    if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string f; fields >> f;) row.push_back(f);
    rows.push_back(row);
  }
  const auto column = [&](const std::string& tag) {
    return static_cast<std::size_t>(std::find(tags.begin(), tags.end(), tag) - tags.begin());
  };
  const std::string ids = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  out << "data_assembly\nloop_\n";
  for (const std::string& t : tags) out << "_atom_site." << t << '\n';
  long serial = 0;
  for (int k = 0; k < copies; ++k) {
    const std::string chain{ids[static_cast<std::size_t>(k) / 62], ids[static_cast<std::size_t>(k) % 62]};
    for (std::vector<std::string> row : rows) {
      if (row[column("label_comp_id")] == "HOH") continue;
      row[column("id")] = std::to_string(++serial);
      row[column("auth_asym_id")] = chain;
      row[column("auth_seq_id")] = std::to_string(std::stoi(row[column("auth_seq_id")]) + 1000 * k);
      row[column("Cartn_x")] = std::to_string(std::stod(row[column("Cartn_x")]) + 45.0 * k);
      for (const std::string& f : row) out << f << ' ';
      out << '\n';
    }
  }
  return out.str();
}

TEST(StructureFormats, AssembliesPastThePdbLimitsAndLongChainIds) {
  // 100 copies: 100,100 atoms, 100 chains, serials to 100100, residue numbers to 99129.
  TempDir dir;
  write_file(dir.path() / "asm.cif", lysozyme_assembly(100));
  // Carbons of one lysozyme: its element columns, waters left out; 129 residues per copy.
  int carbons = 0;
  for (const std::string& l : read_lines(fs::path(TESSEL_TEST_DATA) / "6lyz.pdb"))
    if (l.rfind("ATOM", 0) == 0 && l.substr(76, 2) == " C") ++carbons;
  const RunResult r = run_tessel(dir.path(), {"asm.cif", "-nosmy"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> log = read_lines(dir.path() / "asm00.log");
  EXPECT_TRUE(has_line(log, labelled(" Number of atoms read", "100100")));
  EXPECT_TRUE(has_line(log, labelled(" Number of C", std::to_string(100 * carbons))));
  EXPECT_NE(r.out.find(" Number of residuals :12900"), std::string::npos);

  // Two chains by their whole ids, and all but one: the leave-out list is long and the name
  // keeps the ids that fit in 64 characters (AB to AV, 21 of them), then "+78".
  const RunResult two = run_tessel(dir.path(), {"asm.cif", "-cid", "AA,AB", "-nosmy"});
  ASSERT_EQ(two.status, 0) << two.err;
  const std::vector<std::string> two_log = read_lines(dir.path() / "asm-AA,AB00.log");
  EXPECT_TRUE(has_line(two_log, labelled(" Number of atoms read", "2002")));
  EXPECT_TRUE(has_line(two_log, labelled("Chain ID used", "AA,AB")));
  const RunResult rest = run_tessel(dir.path(), {"asm.cif", "-cid", "_AA,", "-nosmy"});
  ASSERT_EQ(rest.status, 0) << rest.err;
  const std::string stem = "asm-AB,AC,AD,AE,AF,AG,AH,AI,AJ,AK,AL,AM,AN,AO,AP,AQ,AR,AS,AT,AU,AV+78";
  EXPECT_TRUE(has_line(read_lines(dir.path() / (stem + "00.log")), labelled(" Number of atoms read", "99099")));
  const RunResult missing = run_tessel(dir.path(), {"asm.cif", "-cid", "ZZ,", "-nosmy"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, " Error --  chain ID (ZZ,) in PDB file asm.cif does not exist\n");
}

TEST(StructureFormats, MalformedFilesStopWithOneLineAndLeaveNothing) {
  const std::string cif = data_text("6lyz.cif");
  const std::size_t row = cif.find("ATOM   500 ");
  ASSERT_NE(row, std::string::npos);
  std::string letters = cif;
  letters.replace(letters.find("19.908", row), 6, "19.9x8");  // Cartn_y of row 500
  TempDir scratch;
  write_gzip(scratch.path() / "p.gz", cif);
  const std::string packed = read_file(scratch.path() / "p.gz");
  std::string corrupted = packed;
  for (std::size_t i = packed.size() / 2; i < packed.size() / 2 + 64; ++i) corrupted[i] = 'x';
  const std::string tags = "data_x\nloop_\n_atom_site.id\n_atom_site.label_atom_id\n";
  const struct {
    std::string name, bytes, problem;
  } cases[] = {
      {"cell.cif", "data_x\n_cell.length_a 79.1\n", "no _atom_site table (no atoms)"},
      {"no_y.cif", tags + "_atom_site.type_symbol\n_atom_site.Cartn_x\n_atom_site.Cartn_z\n1 N N 1 2\n",
       "no _atom_site.Cartn_y column"},
      {"no_type.mmcif", tags + "_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n1 N 1 2 3\n",
       "no _atom_site.type_symbol column"},
      {"letters.cif", letters, "line 2732: _atom_site.Cartn_y is no number ('19.9x8')"},
      {"cut.cif", cif.substr(0, row + 40), "ends in the middle of a row (the file may be truncated)"},
      {"nacl.cif", "data_nacl\nloop_\n_atom_site_label\n_atom_site_fract_x\nNa1 0\n", "a small-molecule CIF?"},
      {"corrupted.cif.gz", corrupted, "the gzip data is corrupted"},
      {"cut.cif.gz", packed.substr(0, packed.size() / 2), "the gzip data ends early (the file is truncated)"},
      {"cut.pdb.gz", packed.substr(0, packed.size() / 2), "the gzip data ends early (the file is truncated)"},
      {"empty.cif.gz", "", "the file is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_file(dir.path() / c.name, c.bytes);
    const RunResult r = run_tessel(dir.path(), {c.name, "-nosmy"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(count_of(r.err, "\n"), 1) << r.err;
    EXPECT_EQ(r.err.rfind(" Error -- Cannot read ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.name + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
  }
}

TEST(StructureFormats, InteractiveQuestionsTakeMmcif) {
  TempDir dir;
  dir.copy_data("1l2y.cif");
  // Envelope only; the mmCIF file; model 2 of 38; the default orders.
  const RunResult r = run_tessel(dir.path(), {}, "1\n1l2y.cif\n2\n\n\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" 38 models were found in 1l2y.cif\n"), std::string::npos);
  const std::vector<std::string> log = read_lines(dir.path() / "1l2y-200.log");
  EXPECT_TRUE(has_line(log, labelled("PDB file name", "1l2y.cif")));
  EXPECT_TRUE(has_line(log, labelled("NMR conformer number", "2")));
  // The hydrogens stay until the hydrogen question, which an envelope-only job does not ask.
  EXPECT_TRUE(has_line(log, labelled(" Number of atoms read", "154")));
  EXPECT_TRUE(fs::exists(dir.path() / "1l2y-200.flm"));
}

}  // namespace
}  // namespace tessel_test
