// Runs on save files: the file a structure run with keep writes, a run on it alone that gives the
// same results, its output names, console lines and log, unreadable save files in batch and
// interactive mode, and several data files fitted by re-runs of the program on the save file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

std::int32_t int32_at(const std::string& payload, std::size_t at) {
  return static_cast<std::int32_t>(le32_at(payload, at));
}

double real64_at(const std::string& payload, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i)
    v |= static_cast<std::uint64_t>(static_cast<unsigned char>(payload.at(at + i))) << (8 * i);
  double d;
  std::memcpy(&d, &v, sizeof d);
  return d;
}

void write_bytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

TEST(SaveFile, KeepWritesItAndARunOnItAloneGivesTheSameIntensities) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  const RunResult first = run_tessel(dir.path(), {"6lyz.pdb", "-kp"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  EXPECT_NE(first.out.find(" 6lyz00.sav -- save TESSEL information  (binary)\n"), std::string::npos);

  // Four records; record 1 holds the grid of the defaults (L 15, grid order 17 with F(18) = 2584
  // directions, s_max 0.5, 51 points), the name as typed blank padded to 1024 bytes and the 1001
  // atoms of lysozyme (the waters are not read). nh = 16·17/2 = 136.
  const std::vector<std::string> rec = records_of(read_file(dir.path() / "6lyz00.sav"));
  ASSERT_EQ(rec.size(), 4u);
  EXPECT_EQ(rec[0].size(), 1052u);
  EXPECT_EQ(rec[1].size(), 56u);
  EXPECT_EQ(rec[2].size(), 24u);
  EXPECT_EQ(rec[3].size(), 8u * 51u + 48u * 136u * 51u);
  EXPECT_EQ(int32_at(rec[0], 0), 15);
  EXPECT_EQ(int32_at(rec[0], 4), 17);
  EXPECT_EQ(int32_at(rec[0], 8), 2584);
  EXPECT_EQ(real64_at(rec[0], 12), 0.5);
  EXPECT_EQ(int32_at(rec[0], 20), 51);
  EXPECT_EQ(rec[0].substr(24, 1024), "6lyz.pdb" + std::string(1016, ' '));
  EXPECT_EQ(int32_at(rec[0], 1048), 1001);
  EXPECT_EQ(real64_at(rec[3], 0), 0.0);
  EXPECT_EQ(real64_at(rec[3], 8 * 50), 0.5);

  // The structure run announces its coefficient and save files first among its output files.
  const std::vector<std::string> log = read_lines(dir.path() / "6lyz00.log");
  const auto heading = std::find(log.begin(), log.end(),
                                 " ----------------  Output files  ------------------");
  ASSERT_NE(heading, log.end());
  ASSERT_GE(log.end() - heading, 5);
  EXPECT_EQ(heading[2], " Coefficients   saved to file 6lyz00.flm");
  EXPECT_EQ(heading[3], " TESSEL data    saved to file 6lyz00.sav");
  EXPECT_EQ(heading[4], " Intensities    saved to file 6lyz00.int");

  const RunResult second = run_tessel(dir.path(), {"6lyz00.sav"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err, "");
  // The outputs are named after the stored structure, with the next run number.
  const std::vector<std::string> console = split_lines(second.out);
  for (const std::string& line :
       {std::string("       Following file names will be used:"),
        std::string(" 6lyz01.log --  TESSEL log-file          (ASCII)"),
        std::string(" 6lyz01.int --  scattering intensities   (ASCII)"),
        std::string(" 6lyz01.alm --  net partial amplitudes  (binary)"),
        labelled(" Maximum order of harmonic", "15"), labelled(" Order of Fibonacci grid", "17"),
        labelled(" Total number of directions", "2584"),
        labelled(" Maximum scattering angle", "0.5000"),
        labelled(" Number of angular points", "51"), labelled(" PDB file name", "6lyz.pdb"),
        labelled(" Number of atoms", "1001"),
        std::string(" --- Structural parameters (sizes in angstroms) ---")}) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(has_line(console, line));
  }
  EXPECT_EQ(second.out.find("6lyz01.sav"), std::string::npos);
  EXPECT_EQ(second.out.find("6lyz01.flm"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz01.sav"));
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz01.flm"));

  // Same amplitudes, same grid, same parameters: the same intensities to every printed digit,
  // and the same net amplitudes.
  const std::vector<std::string> int0 = read_lines(dir.path() / "6lyz00.int");
  const std::vector<std::string> int1 = read_lines(dir.path() / "6lyz01.int");
  ASSERT_EQ(int0.size(), 52u);
  EXPECT_EQ(int1, int0);
  EXPECT_EQ(read_file(dir.path() / "6lyz01.alm"), read_file(dir.path() / "6lyz00.alm"));

  const std::vector<std::string> log1 = read_lines(dir.path() / "6lyz01.log");
  ASSERT_GE(log1.size(), 8u);
  EXPECT_EQ(log1[0], "  T E S S E L    Version 2.8.3  -- 04/10/12");
  EXPECT_EQ(log1[1], "");
  EXPECT_EQ(log1[3], "");
  EXPECT_EQ(log1[4].substr(0, 26), " --  Program  started  at ");
  EXPECT_TRUE(is_time_stamp(log1[4].substr(26, 24))) << log1[4];
  EXPECT_EQ(log1[4].substr(50), " --");
  EXPECT_EQ(log1[5], "");
  EXPECT_EQ(log1[6], labelled(" Information read from file", "6lyz00.sav"));
  EXPECT_EQ(count_of(read_file(dir.path() / "6lyz01.log"), " Information read from file"), 1);
  EXPECT_TRUE(has_line(log1, " Intensities    saved to file 6lyz01.int"));
  EXPECT_FALSE(has_line(log1, " TESSEL data    saved to file 6lyz01.sav"));
  EXPECT_EQ(log1.back().substr(0, 64),
            "  T E S S E L    Version 2.8.3  -- 04/10/12 ----  terminated at ");

  // Both jobs end with the same prediction line in the summary.
  std::vector<std::string> models;
  for (const std::string& line : read_lines(dir.path() / "tessel_summary.txt"))
    if (line.rfind(" Model: ", 0) == 0) models.push_back(line);
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0], models[1]);
  EXPECT_EQ(models[0].substr(0, 45), " Model: 6lyz.pdb              Theoretical Rg:");
}

TEST(SaveFile, ValuesFromTheFileWinOverTheOptionsAndNoPrefixIsUsed) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  ASSERT_EQ(run_tessel(dir.path(), {"6lyz.pdb", "-kp", "-lm", "10", "-fb", "12", "-ns", "31",
                                    "-sm", "0.3"}).status, 0);
  const RunResult r = run_tessel(dir.path(), {"6lyz00.sav", "-lm", "20", "-fb", "15", "-ns", "80",
                                              "-sm", "0.8", "-p", "mine"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir.path() / "mine.log"));
  const std::vector<std::string> log = read_lines(dir.path() / "6lyz01.log");
  // Grid order 12 has F(13) = 233 directions.
  for (const std::string& line :
       {labelled(" Maximum order of harmonic", "10"), labelled(" Order of Fibonacci grid", "12"),
        labelled(" Total number of directions", "233"),
        labelled(" Maximum scattering angle", "0.3000"),
        labelled(" Number of angular points", "31")}) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(has_line(log, line));
  }
  const std::vector<std::string> rows = read_lines(dir.path() / "6lyz01.int");
  ASSERT_EQ(rows.size(), 1u + 31u);
  EXPECT_EQ(rows.back().substr(0, 14), "  0.300000E+00");
  EXPECT_EQ(rows, read_lines(dir.path() / "6lyz00.int"));
}

TEST(SaveFile, OutputsGoBesideTheStoredStructure) {
  TempDir dir;
  fs::create_directory(dir.path() / "models");
  fs::copy_file(fs::path(TESSEL_TEST_DATA) / "6lyz.pdb", dir.path() / "models" / "6lyz.pdb");
  ASSERT_EQ(run_tessel(dir.path(), {"models/6lyz.pdb", "-kp"}).status, 0);
  ASSERT_TRUE(fs::exists(dir.path() / "6lyz00.sav"));  // a structure job writes here
  const RunResult r = run_tessel(dir.path(), {"6lyz00.sav"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The run number is counted beside the structure, where no log exists yet.
  EXPECT_TRUE(fs::exists(dir.path() / "models" / "6lyz00.log"));
  EXPECT_TRUE(fs::exists(dir.path() / "models" / "6lyz00.int"));
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz01.log"));
  EXPECT_EQ(read_lines(dir.path() / "models" / "6lyz00.int"),
            read_lines(dir.path() / "6lyz00.int"));
}

TEST(SaveFile, AlphaCarbonModelComesBackWithItsDummyResidues) {
  TempDir dir;
  dir.copy_data("pdb1gdr.ent");
  ASSERT_EQ(run_tessel(dir.path(), {"pdb1gdr.ent", "-kp"}).status, 0);
  const RunResult r = run_tessel(dir.path(), {"pdb1gdr00.sav"});
  ASSERT_EQ(r.status, 0) << r.err;
  // 105 alpha carbons, each a dummy residue of 220 Å³ ( A, I5); with N_d ≥ N the average atomic
  // radius is 1.618 Å, and the intensity file's header shows it.
  const std::vector<std::string> log = read_lines(dir.path() / "pdb1gdr01.log");
  EXPECT_TRUE(has_line(log, " Number of dummy residuals :   105"));
  const auto volume = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind(" Displaced volume:", 0) == 0;
  });
  ASSERT_NE(volume, log.end());
  // G10.4 of 23100 and of 1.618 (F6.3 and four blanks, dropped at the end of the line).
  EXPECT_EQ(volume->substr(18, 10), "0.2310E+05");
  EXPECT_EQ(volume->substr(volume->size() - 11), "rad.: 1.618") << *volume;
  const std::vector<std::string> rows = read_lines(dir.path() / "pdb1gdr01.int");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].substr(45, 11), " Ra: 1.6180");
  EXPECT_EQ(rows, read_lines(dir.path() / "pdb1gdr00.int"));
}

// Bad save files next to a good one: whole but cut short, a structure file under a save name,
// an empty file and one with bytes after the last record.
class BadSaveFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.copy_data("6lyz.pdb");
    ASSERT_EQ(run_tessel(dir_.path(), {"6lyz.pdb", "-kp"}).status, 0);
    const std::string good = read_file(dir_.path() / "6lyz00.sav");
    write_bytes(dir_.path() / "cut.sav", good.substr(0, good.size() - 1000));
    write_bytes(dir_.path() / "pdb.sav", read_file(dir_.path() / "6lyz.pdb"));
    write_bytes(dir_.path() / "empty.sav", "");
    write_bytes(dir_.path() / "long.sav", good + "extra");
  }
  TempDir dir_;
};

TEST_F(BadSaveFiles, BatchRunEndsWithTheMessageAndAFailureStatus) {
  for (const char* name : {"cut.sav", "pdb.sav", "empty.sav", "long.sav"}) {
    SCOPED_TRACE(name);
    const RunResult r = run_tessel(dir_.path(), {name});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(std::string(" Error opening or reading file ") + name + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir_.path() / "6lyz01.log"));  // no job was started
  }
}

TEST_F(BadSaveFiles, InteractiveRunAsksAgain) {
  // Option 2; a cut file, a missing one (the extension is added), then the good one without its
  // extension; no fit; the four solvent parameters by Enter.
  const RunResult r =
      run_tessel(dir_.path(), {}, "2\ncut.sav\nnothere\n6lyz00\nN\n\n\n\n\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count_of(r.out, " Save file name "), 3);
  EXPECT_NE(r.out.find(" Error opening or reading file cut.sav\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Error opening or reading file nothere.sav\n"), std::string::npos);
  EXPECT_EQ(read_lines(dir_.path() / "6lyz01.int"), read_lines(dir_.path() / "6lyz00.int"));

  // The end of the answers at the question ends the run normally.
  const RunResult eof = run_tessel(dir_.path(), {}, "2\npdb.sav\n");
  EXPECT_EQ(eof.status, 0);
  EXPECT_NE(eof.out.find(" Error opening or reading file pdb.sav\n"), std::string::npos);
}

// Every " Batch: " line of the summary.
std::vector<std::string> batch_lines(const fs::path& summary) {
  std::vector<std::string> out;
  for (const std::string& line : read_lines(summary))
    if (line.rfind(" Batch: ", 0) == 0) out.push_back(line);
  return out;
}

TEST(SeveralDataFiles, EachJobIsFollowedByOneRerunPerDataFileAndCleanedUp) {
  TempDir dir;
  const std::vector<std::string> stems = {"6lyz", "3kfo-fill_model", "1nvy"};
  for (const std::string& s : stems) dir.copy_data(s + ".pdb");
  // Data file names that a command interpreter would split or expand.
  const std::string data1 = "nup 1$HOME.dat";
  const std::string data2 = "e;2 'x'.dat";
  fs::copy_file(fs::path(TESSEL_TEST_DATA) / "nup133_23922_merge.dat", dir.path() / data1);
  fs::copy_file(fs::path(TESSEL_TEST_DATA) / "nup133_23922_merge.dat", dir.path() / data2);

  const RunResult r = run_tessel(dir.path(), {"6lyz.pdb", "3kfo-fill_model.pdb", "1nvy.pdb",
                                              data1, data2});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // the re-runs share it: none of them failed
  for (const std::string& s : stems) {
    SCOPED_TRACE(s);
    // The job itself predicts (its file list shows the kept files), then each re-run fits one
    // data file on the job's save file under the next run numbers.
    EXPECT_NE(r.out.find(" " + s + "00.sav -- save TESSEL information  (binary)"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir.path() / (s + "00.log")));
    EXPECT_TRUE(fs::exists(dir.path() / (s + "01.log")));
    EXPECT_TRUE(fs::exists(dir.path() / (s + "02.log")));
    EXPECT_FALSE(fs::exists(dir.path() / (s + "03.log")));
    EXPECT_TRUE(has_line(read_lines(dir.path() / (s + "01.log")),
                         labelled(" Information read from file", s + "00.sav")));
    // Not kept: the intermediate files are gone afterwards.
    for (const char* ext : {".sav", ".alm", ".flm", ".int"})
      EXPECT_FALSE(fs::exists(dir.path() / (s + "00" + ext))) << ext;
  }

  // The summary: the run's header, then per job its prediction line and per re-run a header
  // with the data file's name and the fit's line.
  const std::vector<std::string> summary = read_lines(dir.path() / "tessel_summary.txt");
  std::vector<std::string> data_lines, model_lines;
  for (const std::string& line : summary) {
    if (line.rfind(" Data file name ", 0) == 0) data_lines.push_back(line);
    if (line.rfind(" Model: ", 0) == 0) model_lines.push_back(line);
  }
  const std::vector<std::string> expected_data = {
      labelled("Data file name", data1), labelled("Data file name", data2),
      labelled("Data file name", data1), labelled("Data file name", data2),
      labelled("Data file name", data1), labelled("Data file name", data2)};
  EXPECT_EQ(data_lines, expected_data);
  const std::vector<std::string> batches = batch_lines(dir.path() / "tessel_summary.txt");
  ASSERT_EQ(batches.size(), 1u + 6u);
  for (std::size_t i = 1; i < batches.size(); ++i) {
    SCOPED_TRACE(batches[i]);
    const std::string& save = stems[(i - 1) / 2] + "00.sav";
    const std::string& data = (i % 2 == 1) ? data1 : data2;
    EXPECT_EQ(batches[i].substr(batches[i].size() - (save.size() + data.size() + 5)),
              " -- " + save + " " + data);
  }

  // Per job its prediction line and two fit lines (run numbers 01 and 02).
  ASSERT_EQ(model_lines.size(), 9u);
  for (std::size_t j = 0; j < stems.size(); ++j) {
    SCOPED_TRACE(stems[j]);
    const std::string name = (stems[j] + ".pdb" + std::string(20, ' ')).substr(0, 20);
    EXPECT_EQ(model_lines[3 * j].substr(0, 45), " Model: " + name + "  Theoretical Rg:");
    EXPECT_TRUE(matches(model_lines[3 * j + 1],
                        " Model: " + name + "  Rg:*******  Run: 01  Chi^2:********"));
    EXPECT_TRUE(matches(model_lines[3 * j + 2],
                        " Model: " + name + "  Rg:*******  Run: 02  Chi^2:********"));
    for (const char* run : {"01", "02"}) {
      EXPECT_TRUE(fs::exists(dir.path() / (stems[j] + run + ".fit"))) << run;
      // The re-runs keep only what a fit keeps without -kp.
      EXPECT_FALSE(fs::exists(dir.path() / (stems[j] + run + ".int"))) << run;
    }
  }
}

TEST(SeveralDataFiles, KeptFilesStayAndReRunsKeepTheirsToo) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  dir.copy_data("nup133_23922_merge.dat");
  fs::copy_file(dir.path() / "nup133_23922_merge.dat", dir.path() / "e2.dat");
  const RunResult r =
      run_tessel(dir.path(), {"6lyz.pdb", "nup133_23922_merge.dat", "e2.dat", "-kp"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* ext : {".sav", ".alm", ".flm", ".int", ".log"})
    EXPECT_TRUE(fs::exists(dir.path() / (std::string("6lyz00") + ext))) << ext;
  const std::vector<std::string> batches = batch_lines(dir.path() / "tessel_summary.txt");
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_NE(batches[1].find(" -kp "), std::string::npos) << batches[1];
  for (const char* name : {"6lyz01.fit", "6lyz01.int", "6lyz01.alm", "6lyz02.fit"})
    EXPECT_TRUE(fs::exists(dir.path() / name)) << name;
}

TEST(SeveralDataFiles, JobOnASaveFileRerunsOnItAndLeavesIt) {
  TempDir dir;
  dir.copy_data("6lyz.pdb");
  ASSERT_EQ(run_tessel(dir.path(), {"6lyz.pdb", "-kp", "-nosmy"}).status, 0);
  // Names that begin with a dash are files after "--", here and in the re-runs.
  const std::string data1 = "-d $1.dat";
  const std::string data2 = "e2.dat";
  fs::copy_file(fs::path(TESSEL_TEST_DATA) / "nup133_23922_merge.dat", dir.path() / data1);
  fs::copy_file(fs::path(TESSEL_TEST_DATA) / "nup133_23922_merge.dat", dir.path() / data2);
  const RunResult r = run_tessel(dir.path(), {"--", "6lyz00.sav", data1, data2});
  ASSERT_EQ(r.status, 0) << r.err;
  // The job on the save file is 6lyz01; its re-runs read the same save file: 6lyz02, 6lyz03.
  for (const char* log : {"6lyz01.log", "6lyz02.log", "6lyz03.log"})
    EXPECT_TRUE(fs::exists(dir.path() / log)) << log;
  EXPECT_TRUE(has_line(read_lines(dir.path() / "6lyz03.log"),
                       labelled(" Information read from file", "6lyz00.sav")));
  EXPECT_TRUE(fs::exists(dir.path() / "6lyz00.sav"));  // the user's file is not the job's own
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz01.int"));  // the job's own are removed
  EXPECT_FALSE(fs::exists(dir.path() / "6lyz01.alm"));
  EXPECT_TRUE(has_line(read_lines(dir.path() / "tessel_summary.txt"),
                       labelled("Data file name", data1)));
}

TEST(SeveralDataFiles, RerunsGetTheUsersSettings) {
  TempDir dir;
  dir.copy_data("3kfo-fill_model.pdb");
  dir.copy_data("nup133_23922_merge.dat");
  fs::copy_file(dir.path() / "nup133_23922_merge.dat", dir.path() / "e2.dat");
  const std::vector<std::string> options = {"-err=N", "-dns", "0.3", "-dro", "0.05", "-def",
                                            "-un", "1", "-cst"};

  // Without a summary anywhere: not from the job, not from its re-runs.
  std::vector<std::string> quiet = {"3kfo-fill_model.pdb", "nup133_23922_merge.dat", "e2.dat",
                                    "-nosmy"};
  quiet.insert(quiet.end(), options.begin(), options.end());
  const RunResult q = run_tessel(dir.path(), quiet);
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_TRUE(fs::exists(dir.path() / "3kfo-fill_model02.log"));
  EXPECT_FALSE(fs::exists(dir.path() / "tessel_summary.txt"));

  // With a summary: the re-runs' command lines carry the settings.
  std::vector<std::string> args = {"3kfo-fill_model.pdb", "nup133_23922_merge.dat", "e2.dat"};
  args.insert(args.end(), options.begin(), options.end());
  const RunResult r = run_tessel(dir.path(), args);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> batches = batch_lines(dir.path() / "tessel_summary.txt");
  ASSERT_EQ(batches.size(), 3u);
  for (const char* option : {" -un 1 ", " -err=N ", " -cst ", " -dns 0.3 ", " -dro 0.05 ",
                             " -def "}) {
    SCOPED_TRACE(option);
    EXPECT_NE(batches[1].find(option), std::string::npos) << batches[1];
  }

  // A re-run fits exactly as a run on that one data file with the same options does (the
  // second job is 03, its re-runs 04 and 05, the direct run 06).
  std::vector<std::string> direct = {"3kfo-fill_model.pdb", "e2.dat"};
  direct.insert(direct.end(), options.begin(), options.end());
  ASSERT_EQ(run_tessel(dir.path(), direct).status, 0);
  const std::vector<std::string> refit = read_lines(dir.path() / "3kfo-fill_model05.fit");
  const std::vector<std::string> alone = read_lines(dir.path() / "3kfo-fill_model06.fit");
  ASSERT_FALSE(alone.empty());
  EXPECT_EQ(refit, alone);
  // Without error column every row has three fields of 14 characters; -def holds δρ at 0.03.
  EXPECT_EQ(alone[0].substr(8, 11), "  Dro:0.030");
  for (std::size_t i = 1; i < alone.size(); ++i) EXPECT_EQ(alone[i].size(), 42u) << i;
}

TEST(SaveFile, FitFromTheSaveFileEqualsTheFitFromTheStructure) {
  TempDir dir;
  dir.copy_data("3kfo-fill_model.pdb");
  dir.copy_data("nup133_23922_merge.dat");
  const RunResult first =
      run_tessel(dir.path(), {"3kfo-fill_model.pdb", "nup133_23922_merge.dat", "-kp"});
  ASSERT_EQ(first.status, 0) << first.err;
  const RunResult second =
      run_tessel(dir.path(), {"3kfo-fill_model00.sav", "nup133_23922_merge.dat"});
  ASSERT_EQ(second.status, 0) << second.err;
  // In fitting mode the coefficient and save files are announced just before the fit file;
  // a run on a save file writes neither.
  const std::vector<std::string> log0 = read_lines(dir.path() / "3kfo-fill_model00.log");
  const auto fit_line = std::find(log0.begin(), log0.end(),
                                  " Data fit       saved to file 3kfo-fill_model00.fit");
  ASSERT_NE(fit_line, log0.end());
  ASSERT_GE(fit_line - log0.begin(), 2);
  EXPECT_EQ(fit_line[-2], " Coefficients   saved to file 3kfo-fill_model00.flm");
  EXPECT_EQ(fit_line[-1], " TESSEL data    saved to file 3kfo-fill_model00.sav");
  const std::string log1 = read_file(dir.path() / "3kfo-fill_model01.log");
  EXPECT_EQ(log1.find("TESSEL data    saved"), std::string::npos);
  EXPECT_NE(log1.find(" Data fit       saved to file 3kfo-fill_model01.fit\n"), std::string::npos);

  const std::vector<std::string> fit0 = read_lines(dir.path() / "3kfo-fill_model00.fit");
  ASSERT_FALSE(fit0.empty());
  EXPECT_EQ(read_lines(dir.path() / "3kfo-fill_model01.fit"), fit0);
  std::vector<std::string> fits;
  for (const std::string& line : read_lines(dir.path() / "tessel_summary.txt"))
    if (line.rfind(" Model: ", 0) == 0) fits.push_back(line.substr(0, 47) + line.substr(49));
  ASSERT_EQ(fits.size(), 2u);
  EXPECT_EQ(fits[0], fits[1]);  // same Rg and χ², the run numbers (columns 48-49) aside
}

}  // namespace
}  // namespace tessel_test
