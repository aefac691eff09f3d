// What a new user meets: an NMR ensemble read as one particle, curve points beyond the maximum
// scattering vector, curves in the wrong units, the end of the answers in the middle of a job,
// curve files named .txt, .csv or .sub, quoted wildcards, failed and interrupted jobs. Each case
// runs the command a user would type and checks the warning or error, the exit status and the
// files left.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The curve file with every data row (three numbers) rewritten by `row`; other lines as they are.
void rewrite_curve(const fs::path& target,
                   const std::function<std::string(double, double, double)>& row) {
  std::ofstream out(target);
  for (const std::string& line : read_lines(fs::path(TESSEL_TEST_DATA) / kCurve)) {
    std::istringstream in(line);
    double s = 0, i = 0, e = 0;
    std::string rest;
    if (in >> s >> i >> e && !(in >> rest)) {
      out << row(s, i, e) << '\n';
    } else {
      out << line << '\n';
    }
  }
}

std::string row_text(double s, double i, double e, const char* separator = " ") {
  std::ostringstream t;
  t.precision(17);
  t << s << separator << i << separator << e;
  return t.str();
}

std::vector<double> measured_s() {
  std::vector<double> s;
  for (const std::string& line : read_lines(fs::path(TESSEL_TEST_DATA) / kCurve)) {
    std::istringstream in(line);
    double q = 0, i = 0, e = 0;
    if (in >> q >> i >> e) s.push_back(q);
  }
  return s;
}

TEST(Guidance, CurvePointsBeyondSmaxAndWrongUnitsAreNamed) {
  TempDir dir;
  dir.copy_data(kModel);
  dir.copy_data(kCurve);

  // The measured curve with its s doubled: the points at 2q >= 0.5 (the default maximum
  // scattering vector) are not fitted; the last s, 2 * 0.2995 = 0.599, needs -sm 0.60.
  rewrite_curve(dir.path() / "double.dat",
                [](double s, double i, double e) { return row_text(2 * s, i, e); });
  int beyond = 0;
  for (double q : measured_s()) beyond += 2 * q >= 0.5 ? 1 : 0;
  ASSERT_GT(beyond, 0);
  const RunResult doubled = run_tessel(dir.path(), {kModel, "double.dat"});
  EXPECT_EQ(doubled.status, 0) << doubled.err;
  const std::string left_out = " Warning: " + std::to_string(beyond) + " of the " +
                               std::to_string(measured_s().size()) +
                               " points of double.dat lie at or beyond the maximum scattering "
                               "vector 0.5000 1/angstrom and are not fitted; -sm 0.60 would take "
                               "them in";
  EXPECT_TRUE(has_line(split_lines(doubled.out), left_out)) << doubled.out;
  EXPECT_TRUE(has_line(read_lines(dir.path() / "3kfo-fill_model00.log"), left_out));
  // With -sm 0.60 every point lies below the maximum: no such warning.
  const RunResult wider = run_tessel(dir.path(), {kModel, "double.dat", "-sm", "0.60", "-ns", "61"});
  EXPECT_EQ(wider.status, 0);
  EXPECT_FALSE(contains(wider.out, "are not fitted"));

  // The curve in 1/Å read as 1/nm: a fit far off, whose chi^2 overflows its field; the warning
  // names the units and -un; the run still ends normally and writes its fit.
  const RunResult nm = run_tessel(dir.path(), {kModel, kCurve, "-un", "2"});
  EXPECT_EQ(nm.status, 0);
  EXPECT_TRUE(contains(nm.out, "Chi^2:******"));
  EXPECT_TRUE(contains(nm.out, " Warning: the fit failed (Chi^2 ")) << nm.out;
  EXPECT_TRUE(contains(nm.out, "in other units than 4*pi*sin(theta)/lambda in 1/nm (-un 2)"));
  EXPECT_TRUE(fs::exists(dir.path() / "3kfo-fill_model02.fit"));

  // The curve in 1/nm (s times 10) read as 1/Å: its first point lies at 0.228, none below
  // 0.05 1/Å, and 411 of 456 beyond 0.5 (more than 90 %).
  rewrite_curve(dir.path() / "in_nm.dat",
                [](double s, double i, double e) { return row_text(10 * s, i, e); });
  const RunResult angstrom = run_tessel(dir.path(), {kModel, "in_nm.dat", "-un", "1"});
  EXPECT_EQ(angstrom.status, 0);
  EXPECT_TRUE(contains(angstrom.out,
                       " Warning: the s range of in_nm.dat is implausible for 4*pi*sin(theta)/"
                       "lambda in 1/angstrom (-un 1): "));
  EXPECT_TRUE(contains(angstrom.out, "(none below 0.05); the units are likely wrong, choose them "
                                     "with -un: 1 = 4*pi*sin(theta)/lambda in 1/angstrom, 2 ="));
  // The measured curve itself, in its right units, gives none of these warnings.
  const RunResult right = run_tessel(dir.path(), {kModel, kCurve});
  EXPECT_EQ(right.status, 0);
  EXPECT_FALSE(contains(right.out, "Warning"));
}

TEST(Guidance, CurveFilesEndingInTxtCsvOrSubAreReadLikeDat) {
  TempDir dir;
  dir.copy_data(kModel);
  dir.copy_data(kCurve);
  fs::copy_file(dir.path() / kCurve, dir.path() / "curve.txt");
  fs::copy_file(dir.path() / kCurve, dir.path() / "curve.SUB");
  // A real comma-separated file: the same numbers, commas between them.
  rewrite_curve(dir.path() / "curve.csv",
                [](double s, double i, double e) { return row_text(s, i, e, ","); });
  ASSERT_EQ(run_tessel(dir.path(), {kModel, kCurve, "-p", "dat"}).status, 0);
  const std::string reference = read_file(dir.path() / "dat.fit");
  for (const std::string curve : {"curve.txt", "curve.csv", "curve.SUB"}) {
    SCOPED_TRACE(curve);
    const RunResult r = run_tessel(dir.path(), {kModel, curve, "-p", "other"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.path() / "other.fit"), reference);
  }
  // Another ending: the old line, then the endings accepted.
  fs::copy_file(dir.path() / kCurve, dir.path() / "curve.xyz");
  const RunResult refused = run_tessel(dir.path(), {kModel, "curve.xyz"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            " Error -- Unsupported file extension .XYZ\n"
            " Accepted file endings (any case): structures .pdb .ent; save files .sav; curves "
            ".dat .txt .csv .sub\n");
}

TEST(Guidance, QuotedWildcardsAreExpandedInOrder) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  dir.copy_data("1lzh.pdb");
  // '*.pdb' reaches the program unexpanded: two jobs, 1lzh before 6lyz as a shell sorts them.
  const RunResult r = run_tessel(dir.path(), {"*.pdb"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::size_t first = r.out.find(" 1lzh00.log -- ");
  const std::size_t second = r.out.find(" 6lyz00.log -- ");
  EXPECT_NE(first, std::string::npos);
  EXPECT_NE(second, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_TRUE(fs::exists(dir.path() / "1lzh00.int"));
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.int"));
  // The summary keeps the command as typed.
  EXPECT_TRUE(has_line(read_lines(dir.path() / "tessel_summary.txt"),
                       std::string(" Batch: ") + TESSEL_EXE + " *.pdb"));
  // A pattern that matches nothing stops the run before any job, naming it.
  const RunResult none = run_tessel(dir.path(), {"[x]*.ent"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err, "error: no input file matches the pattern: [x]*.ent\n");
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz01.log"));
}

TEST(Guidance, NmrEnsembleReadWholeIsNamed) {
  TempDir dir;
  dir.copy_data("1l2y.pdb");
  // 1l2y.pdb holds 38 MODEL records (tests/data/README.md); without -nmr all are read.
  const std::string merged =
      " Warning: all 38 models of 1l2y.pdb were read together as one particle; to read one model "
      "give its number with -nmr (for example -nmr 1)";
  const RunResult all = run_tessel(dir.path(), {"1l2y.pdb"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_TRUE(has_line(split_lines(all.out), merged)) << all.out;
  EXPECT_TRUE(has_line(read_lines(dir.path() / "1l2y00.log"), merged));
  for (const char* ending : {".log", ".int", ".alm"})
    EXPECT_TRUE(fs::exists(dir.path() / (std::string("1l2y00") + ending))) << ending;
  // One model chosen: no warning.
  const RunResult one = run_tessel(dir.path(), {"1l2y.pdb", "-nmr", "2"});
  EXPECT_EQ(one.status, 0);
  EXPECT_FALSE(contains(one.out, "Warning: all"));
}

TEST(Guidance, EndOfInputInsideAJobRemovesItsFiles) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  // A whole interactive prediction: option 0, the file, the grid by Enter, no hydrogens, no
  // fit, the four solvent parameters by Enter.
  ASSERT_EQ(run_tessel(dir.path(), {}, "0\n6lyz\n\n\n\n\n\nn\n\n\n\n\n").status, 0);
  const std::vector<std::string> finished = {"6lyz00.log", "6lyz00.sav", "6lyz00.flm",
                                             "6lyz00.int", "6lyz00.alm"};
  std::vector<std::string> before;
  for (const std::string& f : finished) before.push_back(read_file(dir.path() / f));

  // The answers end at the solvent density: the job has written its log, save and coefficient
  // files but no intensity. They go, the finished job's files stay, the status is 1.
  const RunResult cut = run_tessel(dir.path(), {}, "0\n6lyz\n\n\n\n\n\nn\n");
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err,
            " Error -- The input ended before the job was complete; its files were removed: "
            "6lyz01.log 6lyz01.sav 6lyz01.flm\n");
  for (const char* ending : {".log", ".sav", ".flm", ".int", ".alm"})
    EXPECT_FALSE(fs::exists(dir.path() / (std::string("6lyz01") + ending))) << ending;
  for (std::size_t i = 0; i < finished.size(); ++i)
    EXPECT_EQ(read_file(dir.path() / finished[i]), before[i]) << finished[i];

  // At the menu, as before: status 0 and no message.
  const RunResult menu = run_tessel(dir.path(), {}, "");
  EXPECT_EQ(menu.status, 0);
  EXPECT_EQ(menu.err, "");
}

TEST(Guidance, FailedAndInterruptedJobsSayWhat) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  std::ofstream(dir.path() / "empty.pdb").close();
  // An empty structure stops in its job: the log ends with the reason, and the summary has the
  // job's failed line, told apart from the " Model: " lines by its first word.
  const RunResult empty = run_tessel(dir.path(), {"empty.pdb"});
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(read_lines(dir.path() / "empty00.log").back(), " Wrong PDB file ");  // as it always read
  const RunResult chain = run_tessel(dir.path(), {"6lyz.pdb", "-cid", "Z"});
  EXPECT_EQ(chain.status, 1);
  ASSERT_EQ(run_tessel(dir.path(), {"6lyz.pdb"}).status, 0);
  std::vector<std::string> jobs;
  for (const std::string& line : read_lines(dir.path() / "tessel_summary.txt"))
    if (line.starts_with(" Failed: ") || line.starts_with(" Model: ")) jobs.push_back(line);
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0], " Failed: empty.pdb             Reason: Wrong PDB file");
  EXPECT_EQ(jobs[1], " Failed: 6lyz.pdb              Reason: Error --  chain ID (Z) in PDB file "
                     "6lyz.pdb does not exist");
  EXPECT_TRUE(jobs[2].starts_with(" Model: 6lyz.pdb              Theoretical Rg:"));

  // Interrupted while it waits for an answer: the log holds what was done and ends with the
  // interrupted line; the status is 128 + the signal number.
  struct Case {
    int signal_number;
    std::string name, log;
  };
  for (const Case& c : {Case{SIGINT, "SIGINT", "6lyz01.log"}, Case{SIGTERM, "SIGTERM", "6lyz02.log"}}) {
    SCOPED_TRACE(c.name);
    const RunResult r = run_tessel_and_signal(dir.path(), {}, "0\n6lyz\n\n\n\n\n\nn\n",
                                              "Electron density of the solvent", c.signal_number);
    EXPECT_EQ(r.status, 128 + c.signal_number);
    EXPECT_EQ(r.err, " Error -- Interrupted by " + c.name + "\n");
    const std::vector<std::string> log = read_lines(dir.path() / c.log);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), " -- TESSEL interrupted by " + c.name + " --");
    EXPECT_EQ(log[log.size() - 2], "");
    EXPECT_TRUE(has_line(log, " -- No data fitting, parameters entered manually --"));
    EXPECT_TRUE(fs::exists(dir.path() / (c.log.substr(0, 6) + ".sav")));  // done before
  }
}

}  // namespace
}  // namespace tessel_test
