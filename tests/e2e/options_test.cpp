// The built program's command line: help and version texts, exit statuses, fatal stops on
// standard error, and file names that look like options or are long.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

// The help text as the program documents it, one entry per line.
const std::vector<std::string> kHelpLines = {
    "",
    " Usage in the batch mode:",
    " tessel [<Inp_File1>]...[<Inp_FileK>] [<Dat_File>]",
    " [-param1 <param1>]...[-paramN <paramN>]",
    "",
    " where the arguments Inp_File can be either the",
    " names of a PDB format file (extension .pdb or .ent)",
    " or TESSEL save file (extension .sav). Wildcards",
    " (e.g. m?.sav or 1a*.ent or *.pdb) are permitted, in",
    " which case the program makes a loop over these files",
    " Dat_File is experimental scattering data file name.",
    " When no experimental file name is given the intensity",
    " is predicted with default parameters (no fitting)",
    "",
    " The following program options can be given as",
    " keys with parameters",
    " -lm   Maximum order of harmonics (default 15)",
    " -fb   Order of Fibonacci grid (default 17)",
    " -sm   Maximum scattering vector (default 0.5)",
    " -ns   # points in computed curve (default 51)",
    " -un   Angular units",
    " -dns  Solvent density (default 0.334 e/A**3)",
    " -dro  Contrast of hydration shell (0.03 e/A**3)",
    " -kp   Whether to keep output files other than",
    "       (i)  in fitting mode: *.log and *.fit",
    "       (ii) in prediction mode: *.log, *.alm and *.int",
    "       (default No, i.e. other files will be deleted)",
    " -cst  Subtract constant (default no)",
    " -eh   Account for explicit hydrogens",
    " -err=N Write old-style fit file without",
    "        information on experimental errors",
    " -old  Read a PDB file with an old atom naming",
    "       (pre 2008?)",
    " -nmr  # of NMR conformer",
    " -cid  Chain identifier(s) (0: all chains)",
    " -p    Prefix for the output file names",
    " -v    Print version information and exit",
    " -h    Print this help and exit",
    "",
    " Examples:",
    "",
    " tessel 6lyz.pdb -lm 20",
    " Calculate scattering intensity from the PDB file",
    " 6lyz.pdb with Lmax = 20 and without fitting",
    "",
    " tessel mod*.pdb exp.dat -un 2",
    " Process PDB files with the names beginning with",
    " \"mod\" and fit experimental data exp.dat with",
    " scattering vector given in inverse nanometres.",
    "",
    " tessel *.sav lyzexp.dat",
    " Restore the scattering intensity from all",
    " sav files in the current directory and fit",
    " the experimental data in the file lyzexp.dat",
    "Report bugs to <tessel-bugs@example.org>.",
};

std::string help_output() {
  std::string text;
  for (const std::string& line : kHelpLines) text += line + '\n';
  return text;
}

TEST(CommandLine, HelpPrintsFiftyFiveLines) {
  ASSERT_EQ(kHelpLines.size(), 55u);
  TempDir dir;
  for (const std::string option : {"-h", "--help", "/help"}) {
    SCOPED_TRACE(option);
    const RunResult r = run_tessel(dir.path(), {option});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, help_output());
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));  // nothing written
}

TEST(CommandLine, VersionLine) {
  TempDir dir;
  const RunResult r = run_tessel(dir.path(), {"-v"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "tessel, ORVEX 2.8.4 (r10552)\n");
  EXPECT_EQ(r.err, "");
}

TEST(CommandLine, FatalStopsGoToStandardErrorWithStatusOne) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"-lm", "0"}, "error: expected value greater or equal 1 for option 'lm', got '0'\n"},
      {{"-sm", "1e-20"},
       "error: expected value greater or equal 0. for option 'sm', got '1e-20'\n"},
      {{"-LM", "20"}, "getopt error: unknown option: -LM\n"},
      {{"-p"}, "getopt error: option requires an argument: -p\n"},
      {{"-err=0"}, "error: yes/no expected for option 'err', got '0'\n"},
      {{"missing.pdb", "-h"}, "error: unable to read input file: missing.pdb\n"},
      {{"-err", "N"}, "error: unable to read input file: N\n"},
      {{"--", "-h"}, "error: unable to read input file: -h\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const RunResult r = run_tessel(dir.path(), c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A file given before -h is checked, then the help ends the run: an accepted file name gives
// the help and status 0 whatever the later stages would do with the file.
TEST(CommandLine, AbsolutePathIsAFileName) {
  TempDir dir;
  const fs::path pdb = dir.copy_data("6lyz.pdb");
  ASSERT_TRUE(pdb.is_absolute());
  RunResult r = run_tessel(dir.path(), {pdb.string(), "-h"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, help_output());

  const std::string missing = (dir.path() / "absent.pdb").string();
  r = run_tessel(dir.path(), {missing});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: unable to read input file: " + missing + "\n");
}

TEST(CommandLine, LongFileNames) {
  TempDir dir;
  // A 600-character relative name: two 200-character directories and a 198-character file.
  const std::string name =
      std::string(200, 'd') + "/" + std::string(200, 'e') + "/" + std::string(194, 'f') + ".pdb";
  ASSERT_EQ(name.size(), 600u);
  fs::create_directories(dir.path() / fs::path(name).parent_path());
  std::ofstream(dir.path() / name) << "END\n";
  RunResult r = run_tessel(dir.path(), {name, "-h"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  const std::string too_long = std::string(1021, 'g') + ".pdb";
  r = run_tessel(dir.path(), {too_long});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: input file name longer than 1024 characters: " + too_long + "\n");
}

}  // namespace
}  // namespace tessel_test
