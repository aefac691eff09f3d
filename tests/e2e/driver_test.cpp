// The run driver as the user meets it: output names and run numbers, the prefix, the summary
// file, the errors of the file list, files that cannot be written, and the interactive dialogue
// driven through standard input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"
#include "text_pattern.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& p) { std::ofstream(p) << ""; }

// A question with its default as the console shows it: a blank, the text, a blank, dots, and
// the 16-column field "< default >" ending in column 57 of the text's line, then ": ".
std::string prompt(const std::string& text, const std::string& default_text) {
  const std::string field = "< " + std::string(12 - default_text.size(), ' ') + default_text + " >";
  return " " + text + " " + std::string(57 - field.size() - text.size() - 1, '.') + field + ": ";
}

TEST(RunNumbers, SuccessiveRunsCountUpAndPrefixReusesTheNames) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  ASSERT_EQ(run_tessel(dir.path(), {"6lyz.pdb"}).status, 0);
  const RunResult second = run_tessel(dir.path(), {"6lyz.pdb"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.out.find(" 6lyz01.log -- TESSEL log-file"), std::string::npos);
  for (const char* name : {"6lyz00.log", "6lyz00.int", "6lyz00.alm", "6lyz01.log", "6lyz01.int",
                           "6lyz01.alm"})
    EXPECT_TRUE(fs::exists(dir.path() / name)) << name;

  for (int i = 0; i < 2; ++i) {
    const RunResult r = run_tessel(dir.path(), {"6lyz.pdb", "-p", "mine"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" mine.log -- TESSEL log-file"), std::string::npos);
  }
  for (const char* name : {"mine.log", "mine.int", "mine.alm"})
    EXPECT_TRUE(fs::exists(dir.path() / name)) << name;
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz02.log"));
  EXPECT_EQ(count_of(read_file(dir.path() / "mine.log"), "terminated at"), 1);
}

TEST(RunNumbers, NumberingGoesOnPastNinetyNine) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  touch(dir.path() / "6lyz99.log");
  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz100.log"));
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz100.int"));
  EXPECT_EQ(fs::file_size(dir.path() / "6lyz99.log"), 0u);  // the earlier run's log is left alone
}

TEST(Summary, HeaderAndOneLinePerJob) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  fs::copy_file(dir.path() / "6lyz.pdb", dir.path() / "copy.ent");
  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb", "copy.ent"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = read_lines(dir.path() / "tessel_summary.txt");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1].substr(0, 28), " Created by TESSEL v. 28 on ");
  EXPECT_TRUE(is_time_stamp(lines[1].substr(28)));
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], std::string(" Batch: ") + TESSEL_EXE + " 6lyz.pdb copy.ent");
  // " Model: ", the name in 20 columns, "  Theoretical Rg:" and F7.2.
  EXPECT_TRUE(matches(lines[4], " Model: 6lyz.pdb              Theoretical Rg:****.##")) << lines[4];
  EXPECT_TRUE(matches(lines[5], " Model: copy.ent              Theoretical Rg:****.##")) << lines[5];
  EXPECT_EQ(lines[4].substr(8, 8), "6lyz.pdb");
  EXPECT_EQ(lines[5].substr(8, 8), "copy.ent");
  EXPECT_EQ(lines[4].size(), 52u);
  EXPECT_EQ(lines[4].substr(28), lines[5].substr(28));  // the same structure twice
  EXPECT_TRUE(fs::exists(dir.path() / "copy00.int"));

  TempDir quiet;
  quiet.copy_data("6lyz.pdb");
  ASSERT_EQ(run_tessel(quiet.path(), {"6lyz.pdb", "-nosmy"}).status, 0);
  EXPECT_FALSE(fs::exists(quiet.path() / "tessel_summary.txt"));
}

TEST(Summary, UnwritableSummaryCostsAWarningAndTheStatus) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  fs::create_directory(dir.path() / "tessel_summary.txt");  // cannot be opened for appending
  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb"});
  // The job runs to its end, but a run that lost its summary lines is no success.
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count_of(r.err, " Warning: error saving data to the file tessel_summary.txt\n"), 2);
  for (const char* name : {"6lyz00.log", "6lyz00.int", "6lyz00.alm"})
    EXPECT_TRUE(fs::exists(dir.path() / name)) << name;
  EXPECT_NE(read_file(dir.path() / "6lyz00.log").find("terminated at"), std::string::npos);
}

TEST(Errors, FileListProblemsStopTheRun) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  for (const char* name : {"a.pd", "notes.xyz", "x.sav", "e.dat"}) touch(dir.path() / name);
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"a.pd"}, " Error -- Illegal option a.pd\n"},
      {{"6lyz.pdb", "notes.xyz"},
       " Error -- Unsupported file extension .XYZ\n Accepted file endings (any case): structures"
       " .pdb .ent .cif .mmcif .pdb.gz .ent.gz .cif.gz .mmcif.gz; save files .sav; curves .dat .txt .csv"
       " .sub\n"},
      {{"6lyz.pdb", "x.sav"}, " Error -- Either PDB or SAV file should be used\n"},
      {{"e.dat"}, " Error -- No PDB or SAV file provided\n"},
      {{"-lm", "20"}, " Error -- No PDB or SAV file provided\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const RunResult r = run_tessel(dir.path(), c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz00.log"));
  // The summary header is written before the files are looked at.
  EXPECT_EQ(count_of(read_file(dir.path() / "tessel_summary.txt"), " Batch: "), 5);
}

TEST(Errors, MissingChainStopsTheJob) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb", "-cid", "B"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, " Error --  chain ID (B) in PDB file 6lyz.pdb does not exist\n");
}

TEST(Errors, UnwritableCoefficientFileIsSkippedInBatchMode) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  fs::create_directory(dir.path() / "6lyz00.flm");
  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb", "-kp"});
  EXPECT_EQ(r.status, 1) << r.err;  // the job goes on; the missing file fails the run
  EXPECT_NE(r.out.find(" LOASAV: Error  --  cannot open file  6lyz00.flm\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Warning: error saving data to the file 6lyz00.flm\n"), std::string::npos);
  const std::string log = read_file(dir.path() / "6lyz00.log");
  EXPECT_EQ(log.find("Coefficients   saved"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.int"));
}

TEST(Errors, UnwritableIntensityFileIsReportedAndTheJobGoesOn) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  fs::create_directory(dir.path() / "p.int");
  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb", "-p", "p"});
  EXPECT_EQ(r.status, 1) << r.err;  // the job goes on; the missing file fails the run
  const std::string warning = " Warning: error saving data to the file p.int\n";
  EXPECT_NE(r.out.find(warning), std::string::npos);
  EXPECT_EQ(r.out.find("Intensities    saved"), std::string::npos);
  const std::string log = read_file(dir.path() / "p.log");
  EXPECT_NE(log.find(warning), std::string::npos);
  EXPECT_NE(log.find(" Net amplitudes saved to file p.alm\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "p.alm"));
}

TEST(Errors, UnwritableLogStopsTheRun) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  fs::create_directory(dir.path() / "out.log");
  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb", "-p", "out"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, " Fatal error: cannot open logfile out.log\n");
}

TEST(Interactive, MenuRepeatsUntilAnOptionAndEndOfInputEndsTheRun) {
  TempDir dir;
  const RunResult r = run_tessel(dir.path(), {}, "3\n-1\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(count_of(r.out, "                 Program options :"), 3);
  EXPECT_EQ(count_of(r.out, " Enter your option "), 3);
  EXPECT_EQ(count_of(r.out, " T E S S E L  Wintel/UNIX/Linux version 2.8.3 "), 1);
  EXPECT_TRUE(fs::is_empty(dir.path()));

  const RunResult empty = run_tessel(dir.path(), {}, "");
  EXPECT_EQ(empty.status, 0);
}

TEST(Interactive, PredictionWithAnsweredQuestions) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  // Option 0; the structure without extension; L 25 (which offers the Fibonacci order 18 and
  // s_max 1.0 as defaults); Enter for both; s_max 0.3, so 31 points are offered; Enter; no
  // explicit hydrogens; no fit; the four solvent parameters by Enter.
  const std::string answers = "0\n6lyz\n25\n\n0.3\n\nN\nN\n\n\n\n\n";
  const RunResult r = run_tessel(dir.path(), {}, answers);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(prompt(" Order of Fibonacci grid", "18")), std::string::npos);
  EXPECT_NE(r.out.find(prompt("Maximum s value", "1.000")), std::string::npos);
  EXPECT_NE(r.out.find(prompt("Number of points", "31")), std::string::npos);
  // Interactive runs keep their files and list the fit.
  EXPECT_NE(r.out.find(" 6lyz00.fit -- fit to experimental data (ASCII)"), std::string::npos);
  const std::vector<std::string> log = read_lines(dir.path() / "6lyz00.log");
  auto labelled_ends = [&](const std::string& label, const std::string& value) {
    for (const std::string& line : log)
      if (line.rfind(" " + label + " ", 0) == 0) return line.substr(line.size() - value.size()) == value;
    return false;
  };
  EXPECT_TRUE(labelled_ends(" Maximum order of harmonics", ": 25"));
  EXPECT_TRUE(labelled_ends(" Total number of directions", ": 4181"));  // F(19)
  EXPECT_TRUE(labelled_ends(" Maximum scattering angle", ": 0.3000"));
  EXPECT_TRUE(labelled_ends(" Number of angular points", ": 31"));
  EXPECT_EQ(read_lines(dir.path() / "6lyz00.int").size(), 1u + 31u);
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.flm"));
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.alm"));
  EXPECT_FALSE(fs::exists(dir.path() / "tessel_summary.txt"));  // interactive runs have none
}

TEST(Interactive, OrdersAndPointsAreClampedWithWarnings) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  // Fibonacci order 25 becomes 18; s_max 60 offers 5000 points; 9000 points become 5000.
  // The run is then ended at the hydrogens question by the end of the input: the job is
  // abandoned (status 1).
  const RunResult r = run_tessel(dir.path(), {}, "0\n6lyz.pdb\n\n25\n60\n\n");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find(" Warning: IORD increased to ..."), std::string::npos);
  EXPECT_NE(r.out.find(prompt("Number of points", "5000")), std::string::npos);
  const RunResult low = run_tessel(dir.path(), {}, "0\n6lyz.pdb\n\n5\n0.5\n9000\n");
  EXPECT_EQ(low.status, 1) << low.err;
  EXPECT_NE(low.out.find(labelled(" Warning: IORD increased to", "10") + "\n"), std::string::npos)
      << low.out;
  EXPECT_NE(low.out.find(labelled(" Warning: Max number of points", "5000") + "\n"),
            std::string::npos);
}

TEST(Interactive, UnusableGridAnswersAreAskedAgain) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  // A negative harmonic order, a maximum s of 0 and a point count of 0 cannot make a grid.
  const RunResult r = run_tessel(dir.path(), {}, "0\n6lyz.pdb\n-3\n\n\n0\n0.5\n0\n");
  EXPECT_EQ(r.status, 1) << r.err;  // the input ends in the middle of the job
  EXPECT_EQ(count_of(r.out, " Maximum order of  harmonics "), 2);
  EXPECT_EQ(count_of(r.out, " Maximum s value "), 2);
  EXPECT_EQ(count_of(r.out, " Number of points "), 2);
}

TEST(Interactive, EnvelopeOnlyWritesLogAndCoefficients) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  const RunResult r = run_tessel(dir.path(), {}, "1\n6lyz.pdb\n\n\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("Maximum s value"), std::string::npos);
  EXPECT_EQ(r.out.find("explicit hydrogens"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.log"));
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.flm"));
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz00.int"));
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz00.alm"));
  const std::vector<std::string> log = read_lines(dir.path() / "6lyz00.log");
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "");
  EXPECT_EQ(log.back().substr(0, 25), " -- TESSEL terminated at ");
  EXPECT_TRUE(is_time_stamp(log.back().substr(25, 24)));
  EXPECT_EQ(log.back().substr(49), "--");
  EXPECT_FALSE(has_line(log, " ------------  Reciprocal space grid  -------------"));
  EXPECT_EQ(read_lines(dir.path() / "6lyz00.flm").size(), 2u + 136u);
}

TEST(Interactive, HarmonicOrderAbove99IsReduced) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  const RunResult r = run_tessel(dir.path(), {}, "1\n6lyz.pdb\n120\n\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(labelled(" Warning: LM reduced to", "99") + "\n"), std::string::npos);
  const std::vector<std::string> log = read_lines(dir.path() / "6lyz00.log");
  EXPECT_TRUE(has_line(log, labelled(" Maximum order of harmonics", "99")));
  EXPECT_TRUE(has_line(log, labelled(" Order of Fibonacci grid", "18")));  // L ≥ 21 offers 18
  EXPECT_EQ(read_lines(dir.path() / "6lyz00.flm").size(), 2u + 231u);
}

TEST(Interactive, UnreadableStructureIsAskedAgain) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  const RunResult r = run_tessel(dir.path(), {}, "0\nmissing\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count_of(r.out, " Brookhaven file name "), 2);
}

}  // namespace
}  // namespace tessel_test
