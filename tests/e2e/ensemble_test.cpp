// Ensembles and mixtures end to end on models of the NMR entry 1l2y: the ensemble curve and
// spread against the single-model runs, a planted two-state mixture recovered, and the bad
// inputs that must stop before any work.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

// Writes the first `models` models of 1l2y (or only model `only`) to `name`, the coordinates
// multiplied by `stretch`.
void write_models(const TempDir& dir, const std::string& name, int models, int only = 0,
                  double stretch = 1.0) {
  std::ofstream out(dir.path() / name);
  int model = 0;
  for (const std::string& line : read_lines(fs::path(TESSEL_TEST_DATA) / "1l2y.pdb")) {
    if (line.rfind("MODEL", 0) == 0) ++model;
    if (model == 0 || model > models || (only != 0 && model != only)) continue;
    if (line.rfind("ATOM", 0) == 0 && stretch != 1.0) {
      char xyz[32];
      std::snprintf(xyz, sizeof xyz, "%8.3f%8.3f%8.3f", std::stod(line.substr(30, 8)) * stretch,
                    std::stod(line.substr(38, 8)) * stretch, std::stod(line.substr(46, 8)) * stretch);
      out << line.substr(0, 30) << xyz << line.substr(54) << '\n';
    } else {
      out << line << '\n';
    }
  }
}

std::vector<std::vector<double>> rows(const fs::path& file) {
  std::vector<std::vector<double>> table;
  const std::vector<std::string> lines = read_lines(file);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    table.emplace_back();
    for (double v; in >> v;) table.back().push_back(v);
  }
  return table;
}

// The ensemble's .int is the mean of the models' .int files and its .sdv their population
// deviation (the mean of intensities linear in the partial curves is the intensity of the mean
// curves), both to the six printed digits: the tolerance is one unit of the last digit.
TEST(Ensemble, EqualsMeanOfSingleModelRunsAndReportsSpread) {
  TempDir dir;
  write_models(dir, "three.pdb", 3);
  std::vector<std::vector<std::vector<double>>> single;
  for (const std::string k : {"1", "2", "3"}) {
    const std::string prefix = std::string("m").append(k);
    ASSERT_EQ(run_tessel(dir.path(), {"three.pdb", "-nmr", k, "-p", prefix}).status, 0);
    single.push_back(rows(dir.path() / (prefix + ".int")));
  }
  const RunResult r = run_tessel(dir.path(), {"three.pdb", "--ensemble", "-p", "ens", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto mean = rows(dir.path() / "ens.int");
  const auto spread = rows(dir.path() / "ens.sdv");
  ASSERT_EQ(mean.size(), single[0].size());
  ASSERT_EQ(spread.size(), mean.size());
  for (std::size_t i = 0; i < mean.size(); ++i) {
    for (std::size_t c = 0; c < 5; ++c) {
      const double expected = (single[0][i][c] + single[1][i][c] + single[2][i][c]) / 3.0;
      EXPECT_NEAR(mean[i][c], expected, 1e-5 * std::abs(expected) + 1e-300) << i << ' ' << c;
    }
    double sq = 0.0;
    for (const auto& s : single) sq += std::pow(s[i][1] - mean[i][1], 2);
    EXPECT_NEAR(spread[i][1], mean[i][1], 1e-5 * mean[i][1]);
    EXPECT_NEAR(spread[i][2], std::sqrt(sq / 3.0), 1e-5 * mean[i][1]) << i;
  }
  // The two members after the first fill the console's scale of forty marks.
  EXPECT_NE(r.out.find(" Processing members : " + std::string(40, '>') + "\n"), std::string::npos);
  const std::string log = read_file(dir.path() / "ens.log");
  EXPECT_NE(log.find(labelled("Ensemble members", "3")), std::string::npos);
  EXPECT_NE(log.find(" Ensemble Rg (electron density), A: mean"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "ens.alm"));
  EXPECT_NE(read_file(dir.path() / "ens.json").find("\"ensemble\""), std::string::npos);

  // A file of one model is a one-member ensemble, and says so.
  write_models(dir, "one.pdb", 1);
  const RunResult one = run_tessel(dir.path(), {"one.pdb", "--ensemble", "-p", "one"});
  EXPECT_EQ(one.status, 0);
  EXPECT_NE(one.out.find(" Warning: one.pdb holds one model: the ensemble has one member"), std::string::npos);
}

// Several files form one ensemble, their members in order: models 1 and 2 of one file and model 3
// as a file without MODEL records give the curves of the three models of one file. A file that
// cannot be read stops the job with status 1 and no curves.
TEST(Ensemble, SeveralFilesFormOneEnsemble) {
  TempDir dir;
  write_models(dir, "three.pdb", 3);
  write_models(dir, "two.pdb", 2);
  write_models(dir, "third.pdb", 3, 3);
  std::ofstream plain(dir.path() / "plain.pdb");
  for (const std::string& line : read_lines(dir.path() / "third.pdb"))
    if (line.rfind("MODEL", 0) != 0 && line.rfind("ENDMDL", 0) != 0) plain << line << '\n';
  plain.close();
  ASSERT_EQ(run_tessel(dir.path(), {"three.pdb", "--ensemble", "-p", "one"}).status, 0);
  const RunResult r = run_tessel(dir.path(), {"two.pdb", "plain.pdb", "--ensemble", "-p", "both"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(rows(dir.path() / "both.int"), rows(dir.path() / "one.int"));
  EXPECT_NE(read_file(dir.path() / "both.log").find(labelled("Ensemble members", "3")), std::string::npos);

  std::ofstream(dir.path() / "bad.pdb.gz") << "not compressed";
  const RunResult bad = run_tessel(dir.path(), {"two.pdb", "bad.pdb.gz", "--ensemble", "-p", "bad"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE((bad.out + bad.err).find(" Error -- "), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "bad.int"));
}

// The models of an mmCIF file are the members as those of its PDB twin: the same curves.
TEST(Ensemble, MmcifModelsAreTheMembersOfThePdbTwin) {
  TempDir dir;
  dir.copy_data("1l2y.cif");
  dir.copy_data("1l2y.pdb");
  ASSERT_EQ(run_tessel(dir.path(), {"1l2y.cif", "--ensemble", "-p", "cif"}).status, 0);
  ASSERT_EQ(run_tessel(dir.path(), {"1l2y.pdb", "--ensemble", "-p", "pdb"}).status, 0);
  EXPECT_EQ(rows(dir.path() / "cif.int"), rows(dir.path() / "pdb.int"));
  EXPECT_EQ(read_file(dir.path() / "cif.sdv"), read_file(dir.path() / "pdb.sdv"));
  EXPECT_NE(read_file(dir.path() / "cif.log").find(labelled("Ensemble members", "38")), std::string::npos);
}

// Three states (model 1, model 1 stretched by 1.3, model 2); data 0.3·I(model 1) + 0.7·I(stretched)
// with 0.3 % errors and Gaussian noise of that size. Two states are preferred, with those
// fractions within 0.05.
TEST(Mixture, RecoversPlantedTwoStateMixture) {
  TempDir dir;
  write_models(dir, "a.pdb", 1);
  write_models(dir, "b.pdb", 1, 1, 1.3);
  write_models(dir, "c.pdb", 2, 2);
  ASSERT_EQ(run_tessel(dir.path(), {"a.pdb", "-p", "sa"}).status, 0);
  ASSERT_EQ(run_tessel(dir.path(), {"b.pdb", "-p", "sb"}).status, 0);
  const auto a = rows(dir.path() / "sa.int");
  const auto b = rows(dir.path() / "sb.int");
  std::mt19937 random(7);
  std::normal_distribution<double> noise;
  std::ofstream data(dir.path() / "mix.dat");
  for (std::size_t i = 1; i < a.size(); ++i) {
    const double value = 0.3 * a[i][1] + 0.7 * b[i][1];
    data << a[i][0] << ' ' << value * (1.0 + 0.003 * noise(random)) << ' ' << 0.003 * value << '\n';
  }
  data.close();
  const RunResult r = run_tessel(dir.path(), {"a.pdb", "b.pdb", "c.pdb", "mix.dat", "--mixture", "2",
                                              "-un", "1", "-p", "mx", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir.path() / "mx.fit"));
  EXPECT_NE(read_file(dir.path() / "mx.log").find(" Preferred number of states (least EBIC): 2"),
            std::string::npos);
  EXPECT_NE(read_file(dir.path() / "mx.json").find("\"preferred_size\": 2"), std::string::npos);
  const std::vector<std::string> summary = read_lines(dir.path() / "tessel_summary.txt");
  ASSERT_GE(summary.size(), 2u);
  const std::string& two = summary.back();
  EXPECT_EQ(summary[summary.size() - 3].rfind(" Model: a.pdb", 0), 0u);
  ASSERT_EQ(two.rfind(" Mixture n=2", 0), 0u) << two;
  EXPECT_NE(two.find("preferred"), std::string::npos);
  const std::size_t pa = two.find("a.pdb model 1 (");
  const std::size_t pb = two.find("b.pdb model 1 (");
  ASSERT_NE(pa, std::string::npos);
  ASSERT_NE(pb, std::string::npos);
  EXPECT_NEAR(std::stod(two.substr(pa + 15)), 0.3, 0.05);
  EXPECT_NEAR(std::stod(two.substr(pb + 15)), 0.7, 0.05);
}

// Stops with status 1 and a reason before any output file.
TEST(Mixture, BadInputStopsBeforeAnyWork) {
  TempDir dir;
  write_models(dir, "two.pdb", 2);
  std::ofstream(dir.path() / "d.dat") << "0.01 1.0 0.1\n0.02 0.9 0.1\n";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"two.pdb", "--mixture", "2"}, "--mixture needs an experimental data file"},
      {{"two.pdb", "d.dat", "--mixture", "6"}, "less or equal"},
      {{"two.pdb", "d.dat", "--mixture", "3"}, "needs at least 3 states; the structure files hold 2"},
      {{"two.pdb", "--ensemble", "-nmr", "1"}, "--ensemble takes every model; -nmr selects one"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_tessel(dir.path(), c.args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "two00.log")) << c.message;
  }
}

}  // namespace
}  // namespace tessel_test
