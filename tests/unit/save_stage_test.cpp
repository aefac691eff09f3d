// The save file in a job: a model written and restored comes back whole, the writer only borrows
// the amplitudes, and a file that cannot be written costs a warning.
#include "app/save_stage.hpp"

#include <gtest/gtest.h>

#include <complex>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace tessel {
namespace {

namespace fs = std::filesystem;

// A model with every value distinct, so that a field read into the wrong place shows.
ScatteringModel distinct_model(int l_max, int n_points) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  auto amplitude = [&] {
    PartialAmplitudes a(l_max, n_points);
    for (auto& v : a.values()) v = {u(gen), u(gen)};
    return a;
  };
  ScatteringModel m;
  m.structure.atoms = amplitude();
  m.structure.solvent = amplitude();
  m.shell = amplitude();
  m.structure.sums.atoms = 1001;
  m.structure.sums.mass = 14320.5;
  m.structure.electron_rg = 13.9;
  m.structure.shape_rg = 13.7;
  m.statistics.volume = 18420.0;
  m.statistics.shell_volume = 11580.0;
  m.statistics.surface = 3232.0;
  m.statistics.rg = 14.01;
  m.statistics.shell_rg = 18.89;
  m.statistics.radius = 16.38;
  m.statistics.diameter = 49.04;
  return m;
}

std::vector<double> grid(int n, double s_max) {
  std::vector<double> s(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) s[static_cast<std::size_t>(i)] = i * s_max / (n - 1);
  return s;
}

class SaveStage : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tessel_save_stage_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SaveStage, ModelComesBackFromTheFileAndStaysWithTheJob) {
  const int l_max = 4, n = 7;
  ScatteringModel model = distinct_model(l_max, n);
  const ScatteringModel original = distinct_model(l_max, n);
  const std::vector<double> s = grid(n, 0.3);
  SavedGrids grids{"sub dir/my model.pdb", l_max, 12, 233, 0.3, s};
  std::ostringstream error;
  const fs::path file = dir_ / "m00.sav";
  ASSERT_TRUE(save_model(file, grids, model, error));
  EXPECT_EQ(error.str(), "");

  // The writer lent the amplitudes out and gave them back unchanged.
  for (auto [kept, before] : {std::pair{&model.structure.atoms, &original.structure.atoms},
                              std::pair{&model.structure.solvent, &original.structure.solvent},
                              std::pair{&model.shell, &original.shell}}) {
    EXPECT_EQ(kept->l_max(), l_max);
    EXPECT_EQ(kept->n_points(), n);
    EXPECT_TRUE(std::equal(kept->values().begin(), kept->values().end(), before->values().begin(),
                           before->values().end()));
  }

  SaveData data = read_save_file(file);
  EXPECT_EQ(data.structure_name, "sub dir/my model.pdb");
  EXPECT_EQ(data.l_max, l_max);
  EXPECT_EQ(data.fibonacci_order, 12);
  EXPECT_EQ(data.n_directions, 233);
  EXPECT_EQ(data.n_points, n);
  EXPECT_EQ(data.s, s);
  const ScatteringModel back = restored_model(std::move(data));
  EXPECT_TRUE(data.atomalm.empty());  // taken over, not copied
  for (auto [restored, before] : {std::pair{&back.structure.atoms, &original.structure.atoms},
                                  std::pair{&back.structure.solvent, &original.structure.solvent},
                                  std::pair{&back.shell, &original.shell}}) {
    EXPECT_EQ(restored->l_max(), l_max);
    EXPECT_EQ(restored->n_points(), n);
    EXPECT_TRUE(std::equal(restored->values().begin(), restored->values().end(),
                           before->values().begin(), before->values().end()));
  }
  // Every scalar the intensity stage and the reports read, exactly.
  EXPECT_EQ(back.structure.sums.atoms, 1001);
  EXPECT_EQ(back.structure.sums.mass, 14320.5);
  EXPECT_EQ(back.structure.sums.dummy_residues, 0);
  EXPECT_EQ(back.structure.electron_rg, 13.9);
  EXPECT_EQ(back.structure.shape_rg, 13.7);
  EXPECT_EQ(back.statistics.volume, 18420.0);
  EXPECT_EQ(back.statistics.shell_volume, 11580.0);
  EXPECT_EQ(back.statistics.surface, 3232.0);
  EXPECT_EQ(back.statistics.rg, 14.01);
  EXPECT_EQ(back.statistics.shell_rg, 18.89);
  EXPECT_EQ(back.statistics.radius, 16.38);
  EXPECT_EQ(back.statistics.diameter, 49.04);
}

TEST_F(SaveStage, UnwritableFileCostsAWarningAndTheModelStays) {
  ScatteringModel model = distinct_model(2, 3);
  const std::vector<double> s = grid(3, 0.5);
  const SavedGrids grids{"x.pdb", 2, 10, 89, 0.5, s};
  struct Case {
    const char* what;
    fs::path file;
  };
  const Case cases[] = {
      {"missing directory", dir_ / "no such dir" / "x00.sav"},
      {"a directory in the way", dir_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ostringstream error;
    EXPECT_FALSE(save_model(c.file, grids, model, error));
    EXPECT_EQ(error.str(), " Warning: Error writing file " + c.file.string() + "\n");
    EXPECT_EQ(model.structure.atoms.values().size(), 6u * 3u);  // (2+1)(2+2)/2 = 6 per point
    EXPECT_EQ(model.shell.values().size(), 6u * 3u);
  }
}

TEST(SaveStageRestore, ModelThatDisplacesNoSolventIsOneOfDummyResidues) {
  struct Case {
    const char* what;
    int n_atoms;
    std::complex<double> c00;  // forward l = 0 coefficient of the displaced solvent
    int dummy_residues;
  };
  const Case cases[] = {
      {"alpha carbons only: C is zero", 105, {0.0, 0.0}, 105},
      {"atoms that displace solvent", 105, {12.5, 0.0}, 0},
      {"no atoms at all", 0, {0.0, 0.0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SaveData d;
    d.l_max = 1;
    d.n_points = 2;
    d.s = {0.0, 0.5};
    d.n_atoms = c.n_atoms;
    d.atomalm.assign(3 * 2, {1.0, 0.0});
    d.vdwalm.assign(3 * 2, {0.0, 0.0});
    d.vdwalm[0] = c.c00;
    d.bordalm.assign(3 * 2, {0.5, 0.0});
    const ScatteringModel m = restored_model(std::move(d));
    EXPECT_EQ(m.structure.sums.dummy_residues, c.dummy_residues);
    EXPECT_EQ(m.structure.sums.atoms, c.n_atoms);
  }
}

TEST(SaveStageReport, ConsoleShowsTheRestoredValues) {
  SaveData d;
  d.l_max = 10;
  d.fibonacci_order = 12;
  d.n_directions = 233;
  d.n_points = 31;
  d.s = grid(31, 0.3);
  d.structure_name = "lyz.pdb";
  d.n_atoms = 1001;
  d.electron_rg = 13.99;
  d.envelope_rg = 14.01;
  const std::string text = restored_console_report(d);
  // Labelled lines: a blank, the label (its own leading blank), dots to column 57, " : ", value.
  auto labelled = [](const std::string& label, const std::string& value) {
    return " " + label + " " + std::string(56 - label.size() - 1, '.') + " : " + value + "\n";
  };
  for (const std::string& line :
       {labelled(" Maximum order of harmonic", "10"), labelled(" Order of Fibonacci grid", "12"),
        labelled(" Total number of directions", "233"),
        labelled(" Number of angular points", "31"), labelled(" PDB file name", "lyz.pdb"),
        labelled(" Number of atoms", "1001"),
        std::string(" --- Structural parameters (sizes in angstroms) ---\n"),
        // ( A, G10.4, A, G10.4): 13.99 and 14.01 take F6.2 and four blanks; trailing blanks go.
        std::string(" Electron   rg   : 13.99       Envelope   Rg      : 14.01\n")}) {
    SCOPED_TRACE(line);
    EXPECT_NE(text.find(line), std::string::npos) << text;
  }
  EXPECT_LT(text.find(" Number of atoms"), text.find(" --- Structural parameters"));
}

}  // namespace
}  // namespace tessel
