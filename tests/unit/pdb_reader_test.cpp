// The pre-pass (counts, geometric centre, extent) and the batched atom stream.
#include "io/pdb_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "core/errors.hpp"
#include "io/job_structure.hpp"
#include "io/pdb_selection.hpp"
#include "pdb_test_files.hpp"

namespace tessel {
namespace {

using testing::atom_line;
using testing::data_file;

PrepassResult prepass_of(const std::filesystem::path& file, bool explicit_hydrogens) {
  std::ifstream in = open_structure(file);
  return compute_prepass(in, explicit_hydrogens);
}

// Expected values from an awk pass over each file, independent of this program: atom lines
// ("ATOM"/"HETATM"), column 17 not blank or 'A' = rotamer, residue HOH/WAT = water, element
// columns " H" = hydrogen, else accepted; centre = mean of columns 31-38, 39-46, 47-54;
// extent = length of the per-axis larger distance from the centre to the box faces.
TEST(PdbPrepass, CountsCentreAndExtentOfRealFiles) {
  struct Case {
    const char* file;
    long long atoms, rotamers, waters, hydrogens;
    double cx, cy, cz, extent;
    bool o2star;
  };
  const Case cases[] = {
      {"6lyz.pdb", 1001, 0, 101, 0, -0.5692347652, 20.5777462537, 19.2520479520, 34.4401245234, false},
      {"1l2y.pdb", 5852, 0, 0, 5700, 0.5070815106, 0.0464823992, 0.0267718729, 19.4324992330, false},
      {"3kfo.pdb", 1669, 29, 100, 0, 35.5443139605, 0.7938837627, 11.7006249251, 40.1202778447, false},
      {"354d_ndb_url064.pdb", 521, 2, 124, 0, 0.0035163148, 9.0022859885, 23.8541708253, 30.8127124314, true},
      {"1nvy.pdb", 409, 0, 107, 0, 30.4352567237, -2.6536136919, 11.9191882641, 32.5553540662, false},
      {"2bbm.pdb", 1378, 0, 0, 1326, -0.4126132075, -0.0113345428, -0.1503105951, 45.8718988225, false},
      {"1dqk.pdb", 4060, 0, 330, 0, 12.4972539409, 1.5036955665, 28.8235467980, 46.9915971333, false},
      {"3hfm.pdb", 4296, 0, 1, 0, 24.7765048883, 34.1662486034, 48.1771648045, 69.9974612856, false},
      {"1lzh.pdb", 258, 0, 0, 0, 6.6106240310, 11.3540271318, 8.0837054264, 43.6621976735, false},
      {"pdb1gdr.ent", 105, 0, 0, 0, -9.2043619048, 42.4941428571, 12.8879047619, 27.8842688024, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const PrepassResult r = prepass_of(data_file(c.file), false);
    EXPECT_EQ(r.atoms, c.atoms);
    EXPECT_EQ(r.skipped_rotamers, c.rotamers);
    EXPECT_EQ(r.discarded_waters, c.waters);
    EXPECT_EQ(r.discarded_hydrogens, c.hydrogens);
    // awk printed ten decimals; the sums differ only by rounding order.
    EXPECT_NEAR(r.centre[0], c.cx, 1e-9);
    EXPECT_NEAR(r.centre[1], c.cy, 1e-9);
    EXPECT_NEAR(r.centre[2], c.cz, 1e-9);
    EXPECT_NEAR(r.extent, c.extent, 1e-9);
    EXPECT_EQ(r.old_nucleic_naming, c.o2star);
  }
  // Explicit hydrogens: all 38 x 304 atom lines of the NMR file.
  const PrepassResult h = prepass_of(data_file("1l2y.pdb"), true);
  EXPECT_EQ(h.atoms, 11552);
  EXPECT_EQ(h.discarded_hydrogens, 0);
}

TEST(PdbPrepass, CentreAndExtentOfAHandMadeBox) {
  // Three atoms: centre (1, 2, 3) by hand; box x -1..4, y 2..2, z 0..6 about it: reach 3, 0, 3.
  std::string text = "HEADER\n";
  text += atom_line("ATOM", " CA ", ' ', "GLY", 'A', -1, 2, 0, " C") + "\n";
  text += atom_line("ATOM", " CA ", ' ', "GLY", 'A', 4, 2, 3, " C") + "\n";
  text += atom_line("HETATM", "HG  ", ' ', " HG", 'A', 0, 2, 6, "HG") + "\n";
  text += atom_line("ATOM", " H  ", ' ', "GLY", 'A', 99, 99, 99, " H") + "\n";
  std::istringstream in(text);
  const PrepassResult r = compute_prepass(in, false);
  EXPECT_EQ(r.atoms, 3);
  EXPECT_EQ(r.discarded_hydrogens, 1);
  EXPECT_DOUBLE_EQ(r.centre[0], 1.0);
  EXPECT_DOUBLE_EQ(r.centre[1], 2.0);
  EXPECT_DOUBLE_EQ(r.centre[2], 3.0);
  EXPECT_DOUBLE_EQ(r.extent, std::sqrt(18.0));
}

TEST(PdbPrepass, FirstAtomLineIsClassedLikeAnyOther) {
  std::string text;
  text += atom_line("ATOM", " CA ", 'B', "GLY", 'A', 9, 9, 9, " C") + "\n";   // rotamer
  text += atom_line("ATOM", " CA ", 'A', "GLY", 'A', 1, 1, 1, " C") + "\n";
  text += atom_line("ATOM", " O2*", ' ', "  G", 'A', 3, 3, 3, " O") + "\n";
  std::istringstream in(text);
  const PrepassResult r = compute_prepass(in, false);
  EXPECT_EQ(r.skipped_rotamers, 1);
  EXPECT_EQ(r.atoms, 2);
  EXPECT_DOUBLE_EQ(r.centre[0], 2.0);
  EXPECT_TRUE(r.old_nucleic_naming);
}

TEST(PdbPrepass, ReportLines) {
  struct Case {
    const char* file;
    std::vector<std::string> labels;  // the labelled lines, in order
  };
  const Case cases[] = {
      {"6lyz.pdb", {"Number of atoms read", "Number of discarded waters"}},
      {"1l2y.pdb", {"Number of atoms read", "Number of discarded hydrogens"}},
      {"3kfo.pdb", {"Number of atoms read", "Number of skipped rotamers", "Number of discarded waters"}},
      {"1lzh.pdb", {"Number of atoms read"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::ostringstream console, log;
    Report report;
    report.console = &console;
    report.log = &log;
    std::ifstream in = open_structure(data_file(c.file));
    const PrepassResult r = run_prepass(in, false, report);

    const auto console_lines = testing::file_lines_of(console.str());
    const auto log_lines = testing::file_lines_of(log.str());
    ASSERT_EQ(console_lines.size(), c.labels.size() + 1);
    EXPECT_EQ(console_lines[0], " Read atoms and evaluate geometrical center ...");
    ASSERT_EQ(log_lines.size(), c.labels.size() + 1);
    for (std::size_t i = 0; i < c.labels.size(); ++i) {
      EXPECT_NE(console_lines[i + 1].find(c.labels[i]), std::string::npos) << console_lines[i + 1];
      EXPECT_EQ(console_lines[i + 1], log_lines[i]);
    }
    EXPECT_NE(console_lines[1].find(": " + std::to_string(r.atoms)), std::string::npos);
    EXPECT_EQ(log_lines.back().substr(0, 18), " Geometric Center:");
    EXPECT_EQ(log_lines.back().size(), 18u + 27u);  // 3F9.3

    // Rewound: the stream reads the same atoms again.
    AtomStream atoms(in, false);
    std::vector<AtomRecord> batch;
    long long n = 0;
    while (atoms.next_batch(batch)) n += static_cast<long long>(batch.size());
    EXPECT_EQ(n, r.atoms);
  }
  // 6lyz centre (-0.5692, 20.5777, 19.2520) in three F9.3 fields.
  std::ostringstream log;
  Report report;
  report.log = &log;
  std::ifstream in = open_structure(data_file("6lyz.pdb"));
  run_prepass(in, false, report);
  EXPECT_NE(log.str().find(" Geometric Center:   -0.569   20.578   19.252\n"), std::string::npos);
}

TEST(PdbPrepass, WatersHideTheHydrogenCount) {
  std::string text;
  text += atom_line("ATOM", " CA ", ' ', "GLY", 'A', 1, 1, 1, " C") + "\n";
  text += atom_line("ATOM", " HA ", ' ', "GLY", 'A', 1, 1, 1, " H") + "\n";
  text += atom_line("HETATM", " O  ", ' ', "HOH", 'A', 1, 1, 1, " O") + "\n";
  std::istringstream in(text);
  std::ostringstream console;
  Report report;
  report.console = &console;
  const PrepassResult r = run_prepass(in, false, report);
  EXPECT_EQ(r.discarded_hydrogens, 1);
  EXPECT_EQ(r.discarded_waters, 1);
  EXPECT_NE(console.str().find("Number of discarded waters"), std::string::npos);
  EXPECT_EQ(console.str().find("Number of discarded hydrogens"), std::string::npos);
}

TEST(PdbPrepass, FailuresStopWithStatusOne) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string bad = "ATOM      1  CA  GLY A   1       1.000   2.000   3.0x0  1.00  0.00           C";
  const Case cases[] = {
      {"HEADER\nEND\n", " Wrong PDB file "},
      {atom_line("HETATM", " O  ", ' ', "HOH", 'A', 1, 1, 1, " O") + "\n" +
           atom_line("ATOM", " H  ", ' ', "GLY", 'A', 1, 1, 1, " H") + "\n",
       " Wrong PDB file "},
      // Coordinates are read for accepted atoms only; the line is shown in 54 columns.
      {atom_line("HETATM", " O  ", ' ', "HOH", 'A', 1, 1, 1, " O").substr(0, 40) + "\n" + bad + "\n",
       "\n ERROR: Error reading (X,Y,Z) in string :\n\n " + bad.substr(0, 54) + "\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::istringstream in(c.text);
    try {
      compute_prepass(in, false);
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.status(), 1);
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(PdbAtomStream, BatchesOfAThousand) {
  struct Case {
    bool explicit_hydrogens;
    std::vector<std::size_t> sizes;
  };
  const Case cases[] = {
      {false, {1000, 1000, 1000, 1000, 1000, 852}},                                      // 5852
      {true, {1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 552}},  // 11552
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.explicit_hydrogens);
    std::ifstream in = open_structure(data_file("1l2y.pdb"));
    const PrepassResult pre = compute_prepass(in, c.explicit_hydrogens);
    rewind_structure(in);
    AtomStream atoms(in, c.explicit_hydrogens);
    std::vector<AtomRecord> batch;
    std::vector<std::size_t> sizes;
    double sum_x = 0;
    long long hydrogens = 0;
    while (atoms.next_batch(batch)) {
      sizes.push_back(batch.size());
      for (const AtomRecord& a : batch) {
        sum_x += a.x;
        hydrogens += a.element == " H";
      }
    }
    EXPECT_EQ(sizes, c.sizes);
    EXPECT_EQ(hydrogens, c.explicit_hydrogens ? 5700 : 0);
    // The stream reads the atoms the pre-pass counted.
    EXPECT_NEAR(sum_x / static_cast<double>(pre.atoms), pre.centre[0], 1e-12);
    EXPECT_FALSE(atoms.next_batch(batch));
  }
}

TEST(PdbAtomStream, RecordsInFileOrderWithLookAhead) {
  std::ifstream in = open_structure(data_file("6lyz.pdb"));
  AtomStream atoms(in, false);
  std::vector<AtomRecord> batch;
  ASSERT_TRUE(atoms.next_batch(batch));
  ASSERT_EQ(batch.size(), 1000u);
  EXPECT_EQ(batch[0].atom_name, " N  ");
  EXPECT_EQ(batch[0].next_line, batch[1].record);  // LYS 1 CA follows LYS 1 N
  EXPECT_EQ(batch[1].atom_name, " CA ");
  EXPECT_DOUBLE_EQ(batch[1].x, 2.445);
  // The 1000th atom's next line belongs to the next batch.
  const std::string after_first_batch = batch.back().next_line;
  ASSERT_TRUE(atoms.next_batch(batch));
  EXPECT_EQ(batch.size(), 1u);
  EXPECT_EQ(after_first_batch, batch[0].record);
  EXPECT_EQ(batch[0].next_line.substr(0, 3), "TER");
  EXPECT_FALSE(atoms.next_batch(batch));

  // 1lzh holds alpha carbons only: each is followed by another except the last of each chain
  // (awk count over the next file line: 256 of 258); the file's last atom has a next line too.
  std::ifstream ca = open_structure(data_file("1lzh.pdb"));
  AtomStream cas(ca, false);
  ASSERT_TRUE(cas.next_batch(batch));
  ASSERT_EQ(batch.size(), 258u);
  const auto followed_by_ca = [](const AtomRecord& a) {
    return a.next_line.substr(0, 4) == "ATOM" && a.next_line.substr(13, 2) == "CA";
  };
  EXPECT_EQ(std::count_if(batch.begin(), batch.end(), followed_by_ca), 256);
  EXPECT_FALSE(followed_by_ca(batch.back()));
  EXPECT_FALSE(batch.back().next_line.empty());
}

TEST(PdbAtomStream, ReadsTheFilteredCopy) {
  RunSettings s;
  s.model_number = 2;
  s.model_selection = true;
  const JobStructure job = prepare_structure(data_file("1l2y.pdb"), s, nullptr, Report{});
  std::ifstream in = open_structure(job.path);
  const PrepassResult r = run_prepass(in, false, Report{});
  EXPECT_EQ(r.atoms, 154);
  AtomStream atoms(in, false);
  std::vector<AtomRecord> batch;
  ASSERT_TRUE(atoms.next_batch(batch));
  EXPECT_EQ(batch.size(), 154u);
  EXPECT_DOUBLE_EQ(batch[0].x, -6.919);  // first atom of model 2
}

}  // namespace
}  // namespace tessel
