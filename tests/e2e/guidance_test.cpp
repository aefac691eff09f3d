// What a new user meets: an NMR ensemble read as one particle, curve points beyond the maximum
// scattering vector, curves in the wrong units, the end of the answers in the middle of a job,
// curve files named .txt, .csv or .sub, quoted wildcards, failed and interrupted jobs: the
// command a user would type, the warning or error seen, the exit status and the files left.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

const std::string kModel = "3kfo-fill_model.pdb";
const std::string kCurve = "nup133_23922_merge.dat";

bool contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// The measured curve with s times `factor` and `separator` between the columns of its data rows
// (lines of three numbers); returns the new s values.
std::vector<double> write_curve(const fs::path& target, double factor, const char* separator) {
  std::ofstream out(target);
  std::vector<double> s_values;
  for (const std::string& line : read_lines(fs::path(TESSEL_TEST_DATA) / kCurve)) {
    std::istringstream in(line);
    double s = 0, i = 0, e = 0;
    if (!(in >> s >> i >> e)) {
      out << line << '\n';
      continue;
    }
    s_values.push_back(factor * s);
    out.precision(17);
    out << factor * s << separator << i << separator << e << '\n';
  }
  return s_values;
}

TEST(Guidance, CurvePointsBeyondSmaxAndWrongUnitsAreNamed) {
  TempDir dir;
  dir.copy_data(kModel);
  dir.copy_data(kCurve);
  // s doubled: the points at s >= 0.5 (the default maximum) are not fitted; the last s,
  // 2 * 0.2995 = 0.599, is below 0.60.
  int beyond = 0;
  for (double s : write_curve(dir.path() / "double.dat", 2, " ")) beyond += s >= 0.5 ? 1 : 0;
  const RunResult doubled = run_tessel(dir.path(), {kModel, "double.dat"});
  EXPECT_EQ(doubled.status, 0);
  const std::string left_out = " Warning: " + std::to_string(beyond) + " of the 456 points of "
                               "double.dat lie at or beyond the maximum scattering vector 0.5000 "
                               "1/angstrom and are not fitted; -sm 0.60 would take them in";
  EXPECT_TRUE(has_line(split_lines(doubled.out), left_out)) << doubled.out;
  EXPECT_TRUE(has_line(read_lines(dir.path() / "3kfo-fill_model00.log"), left_out));
  const RunResult wider = run_tessel(dir.path(), {kModel, "double.dat", "-sm", "0.60"});
  EXPECT_FALSE(contains(wider.out, "are not fitted"));

  // The curve in 1/Å read as 1/nm: chi^2 overflows its field; a warning names the units.
  const RunResult nm = run_tessel(dir.path(), {kModel, kCurve, "-un", "2"});
  EXPECT_EQ(nm.status, 0);
  EXPECT_TRUE(contains(nm.out, "Chi^2:******"));
  EXPECT_TRUE(contains(nm.out, " Warning: the fit failed (Chi^2 "));
  EXPECT_TRUE(contains(nm.out, "in other units than 4*pi*sin(theta)/lambda in 1/nm (-un 2)"));
  EXPECT_TRUE(fs::exists(dir.path() / "3kfo-fill_model02.fit"));

  // The curve in 1/nm (s times 10) read as 1/Å: the first point at 0.228, none below 0.05.
  write_curve(dir.path() / "in_nm.dat", 10, " ");
  const RunResult a = run_tessel(dir.path(), {kModel, "in_nm.dat", "-un", "1"});
  EXPECT_EQ(a.status, 0);
  EXPECT_TRUE(contains(a.out, " Warning: the s range of in_nm.dat is implausible for "
                              "4*pi*sin(theta)/lambda in 1/angstrom (-un 1): "));
  EXPECT_TRUE(contains(a.out, "(none below 0.05); the units are likely wrong, choose them with -un"));
  // The measured curve in its own units gets none of these warnings.
  EXPECT_FALSE(contains(run_tessel(dir.path(), {kModel, kCurve}).out, "Warning"));
}

TEST(Guidance, CurveFilesEndingInTxtCsvOrSubAreReadLikeDat) {
  TempDir dir;
  dir.copy_data(kModel);
  dir.copy_data(kCurve);
  fs::copy_file(dir.path() / kCurve, dir.path() / "curve.txt");
  fs::copy_file(dir.path() / kCurve, dir.path() / "curve.SUB");
  write_curve(dir.path() / "curve.csv", 1, ",");  // the same numbers between commas
  ASSERT_EQ(run_tessel(dir.path(), {kModel, kCurve, "-p", "dat"}).status, 0);
  for (const std::string curve : {"curve.txt", "curve.csv", "curve.SUB"}) {
    EXPECT_EQ(run_tessel(dir.path(), {kModel, curve, "-p", "other"}).status, 0) << curve;
    EXPECT_EQ(read_file(dir.path() / "other.fit"), read_file(dir.path() / "dat.fit")) << curve;
  }
  fs::copy_file(dir.path() / kCurve, dir.path() / "curve.xyz");
  const RunResult refused = run_tessel(dir.path(), {kModel, "curve.xyz"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            " Error -- Unsupported file extension .XYZ\n Accepted file endings (any case): "
            "structures .pdb .ent .cif .mmcif .pdb.gz .ent.gz .cif.gz .mmcif.gz; save files .sav; "
            "curves .dat .txt .csv .sub\n");
}

TEST(Guidance, QuotedWildcardsAreExpandedInOrder) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  dir.copy_data("1lzh.pdb");
  const RunResult r = run_tessel(dir.path(), {"*.pdb"});  // no shell: the program expands it
  EXPECT_EQ(r.status, 0);
  EXPECT_LT(r.out.find(" 1lzh00.log -- "), r.out.find(" 6lyz00.log -- "));  // sorted
  EXPECT_TRUE(fs::exists(dir.path() / "1lzh00.int") && fs::exists(dir.path() / "6lyz00.int"));
  const RunResult none = run_tessel(dir.path(), {"[x]*.ent"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "error: no input file matches the pattern: [x]*.ent\n");
}

TEST(Guidance, NmrEnsembleReadWholeIsNamed) {
  TempDir dir;
  dir.copy_data("1l2y.pdb");  // 38 MODEL records (tests/data/README.md)
  const std::string merged =
      " Warning: all 38 models of 1l2y.pdb were read together as one particle; to read one model "
      "give its number with -nmr (for example -nmr 1)";
  const RunResult all = run_tessel(dir.path(), {"1l2y.pdb"});
  EXPECT_EQ(all.status, 0);
  EXPECT_TRUE(has_line(split_lines(all.out), merged)) << all.out;
  EXPECT_TRUE(has_line(read_lines(dir.path() / "1l2y00.log"), merged));
  EXPECT_TRUE(fs::exists(dir.path() / "1l2y00.int") && fs::exists(dir.path() / "1l2y00.alm"));
  EXPECT_FALSE(contains(run_tessel(dir.path(), {"1l2y.pdb", "-nmr", "2"}).out, "Warning: all"));
}

TEST(Guidance, EndOfInputInsideAJobRemovesItsFiles) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  // A whole interactive prediction: option 0, the file, Enter for the grid, no hydrogens, no
  // fit, Enter for the four solvent parameters.
  ASSERT_EQ(run_tessel(dir.path(), {}, "0\n6lyz\n\n\n\n\n\nn\n\n\n\n\n").status, 0);
  const std::string finished_log = read_file(dir.path() / "6lyz00.log");
  // The answers end at the solvent density, after the log, save and coefficient files.
  const RunResult cut = run_tessel(dir.path(), {}, "0\n6lyz\n\n\n\n\n\nn\n");
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, " Error -- The input ended before the job was complete; its files were "
                     "removed: 6lyz01.log 6lyz01.sav 6lyz01.flm\n");
  for (const char* ending : {".log", ".sav", ".flm", ".int"})
    EXPECT_FALSE(fs::exists(dir.path() / (std::string("6lyz01") + ending))) << ending;
  EXPECT_EQ(read_file(dir.path() / "6lyz00.log"), finished_log);
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.int"));
}

TEST(Guidance, FailedAndInterruptedJobsSayWhat) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  std::ofstream(dir.path() / "empty.pdb").close();
  EXPECT_EQ(run_tessel(dir.path(), {"empty.pdb"}).status, 1);
  EXPECT_EQ(read_lines(dir.path() / "empty00.log").back(), " Wrong PDB file ");  // as always
  EXPECT_EQ(run_tessel(dir.path(), {"6lyz.pdb", "-cid", "Z"}).status, 1);
  ASSERT_EQ(run_tessel(dir.path(), {"6lyz.pdb"}).status, 0);
  std::vector<std::string> jobs;
  for (const std::string& line : read_lines(dir.path() / "tessel_summary.txt"))
    if (line.starts_with(" Failed: ") || line.starts_with(" Model: ")) jobs.push_back(line);
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0], " Failed: empty.pdb             Reason: Wrong PDB file");
  EXPECT_EQ(jobs[1], " Failed: 6lyz.pdb              Reason: Error --  chain ID (Z) in PDB file "
                     "6lyz.pdb does not exist");
  EXPECT_TRUE(jobs[2].starts_with(" Model: 6lyz.pdb              Theoretical Rg:"));

  // Signalled while it waits for an answer: the log holds what was done, then the line.
  for (const int sig : {SIGINT, SIGTERM}) {
    const std::string name = sig == SIGINT ? "SIGINT" : "SIGTERM";
    const std::string base = sig == SIGINT ? "6lyz01" : "6lyz02";
    const RunResult r = run_tessel_and_signal(dir.path(), {}, "0\n6lyz\n\n\n\n\n\nn\n",
                                              "Electron density of the solvent", sig);
    EXPECT_EQ(r.status, 128 + sig) << name;  // 130, 143
    EXPECT_EQ(r.err, " Error -- Interrupted by " + name + "\n");
    const std::vector<std::string> log = read_lines(dir.path() / (base + ".log"));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2] + "|" + log.back(), "| -- TESSEL interrupted by " + name + " --");
    EXPECT_TRUE(has_line(log, " -- No data fitting, parameters entered manually --"));
    EXPECT_TRUE(fs::exists(dir.path() / (base + ".sav")));
  }
}

}  // namespace
}  // namespace tessel_test
