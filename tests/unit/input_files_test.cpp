// Sorting the command-line files of a batch run, the errors that stop it, and what the files
// decide (mode, fit, keep, re-run command).
#include "app/input_files.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "io/structure_format.hpp"

namespace tessel {
namespace {

const std::set<std::string> kExisting = {"1ABC.PDB", "1abc.pdb", "x.Dat", "m1.ent", "a.sav",
                                         "b.SAV",    "e1.dat",   "e2.dat", "a.pd",  "y.txt",
                                         "y.xyz",    "c.CSV",    "s.sub",  "dir/z.pdb",
                                         "6lyz.cif", "6LYZ.MMCIF", "1l2y.cif.gz", "1l2y.Pdb.GZ",
                                         "x.ent.gz", "y.mmcif.gz"};

bool exists(const std::string& name) { return kExisting.count(name) > 0; }

TEST(InputFiles, SortedByExtensionInCommandLineOrder) {
  const std::vector<std::string> files = {"1ABC.PDB", "x.Dat", "1abc.pdb", "e1.dat", "m1.ent",
                                          "y.txt",    "c.CSV", "s.sub",    "dir/z.pdb"};
  const ClassifiedInputs c = classify_input_files(files, exists);
  EXPECT_EQ(c.structures, (std::vector<std::string>{"1ABC.PDB", "1abc.pdb", "m1.ent", "dir/z.pdb"}));
  // .txt, .csv and .sub are curves like .dat.
  EXPECT_EQ(c.data, (std::vector<std::string>{"x.Dat", "e1.dat", "y.txt", "c.CSV", "s.sub"}));
  EXPECT_TRUE(c.saves.empty());
  const std::vector<std::string> new_formats = {"6lyz.cif", "6LYZ.MMCIF", "1l2y.cif.gz",
                                                "1l2y.Pdb.GZ", "x.ent.gz", "y.mmcif.gz"};
  EXPECT_EQ(classify_input_files(new_formats, exists).structures, new_formats);
  // The structure endings are those whose format the readers know.
  for (const InputEnding& e : kInputEndings) {
    EXPECT_EQ(structure_file_kind(std::string("x").append(e.ending)).has_value(),
              e.kind == InputKind::structure);
  }
  const ClassifiedInputs saves = classify_input_files(std::vector<std::string>{"a.sav", "b.SAV"}, exists);
  EXPECT_EQ(saves.saves.size(), 2u);
}

TEST(InputFiles, FirstBadFileStopsTheRun) {
  struct Case {
    std::vector<std::string> files;
    std::string message;
  };
  const Case cases[] = {
      {{}, " Error -- No PDB or SAV file provided"},
      {{"a.pd"}, " Error -- Illegal option a.pd"},
      {{"1abc.pdb", "y.xyz", "a.pd"},
       " Error -- Unsupported file extension .XYZ\n Accepted file endings (any case): structures"
       " .pdb .ent .cif .mmcif .pdb.gz .ent.gz .cif.gz .mmcif.gz; save files .sav; curves .dat .txt .csv"
       " .sub"},
      {{"nothere.pdb"}, " Error -- File does not exist nothere.pdb"},
      {{"1abc.pdb", "a.sav"}, " Error -- Either PDB or SAV file should be used"},
      {{"x.Dat"}, " Error -- No PDB or SAV file provided"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      classify_input_files(c.files, exists);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), c.message);
      EXPECT_EQ(e.status(), 1);
    }
  }
}

TEST(InputFiles, DataFilesDecideFitAndKeep) {
  struct Case {
    std::vector<std::string> data;
    bool keep;
    bool fit;
    std::string data_file;
    bool keep_after;
  };
  const Case cases[] = {
      {{}, false, false, "", false},
      {{"e1.dat"}, false, true, "e1.dat", false},
      {{"e1.dat", "e2.dat"}, false, false, "", true},
      {{"e1.dat", "e2.dat"}, true, false, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data.size());
    ClassifiedInputs inputs;
    inputs.structures = {"1abc.pdb"};
    inputs.data = c.data;
    RunSettings s;
    s.keep = c.keep;
    apply_inputs(inputs, s);
    EXPECT_EQ(s.fit_wanted, c.fit);
    EXPECT_EQ(s.data_file, c.data_file);
    EXPECT_EQ(s.keep, c.keep_after);
    EXPECT_EQ(s.keep_as_set, c.keep);
    EXPECT_EQ(s.mode, RunMode::amplitudes_and_envelope);
  }
  ClassifiedInputs saves;
  saves.saves = {"a.sav", "b.SAV", "a.sav"};
  RunSettings s;
  apply_inputs(saves, s);
  EXPECT_EQ(s.mode, RunMode::from_save_file);
  EXPECT_EQ(batch_job_count(s), 3);
  EXPECT_EQ(batch_job_count(RunSettings{}), 1);
}

TEST(InputFiles, RerunArgumentsCarryEverySettingAFitOrItsOutputsDependOn) {
  using Args = std::vector<std::string>;
  RunSettings defaults;  // errors on, ρ0 0.334, δρ 0.03, nothing else
  EXPECT_EQ(rerun_arguments("/opt/tessel", defaults),
            (Args{"/opt/tessel", "-err", "-dns", "0.334", "-dro", "0.03"}));

  RunSettings s;
  s.angular_units = 2;
  s.keep = true;          // forced on by the driver: the user's setting is what counts
  s.keep_as_set = false;
  s.subtract_constant = true;
  s.write_errors = false;
  s.rho0 = -0.1;
  s.delta_rho = 0.1 + 0.2;  // 0.30000000000000004: must come back as the same double
  s.use_default_parameters = true;
  s.no_summary = true;
  s.extended_fit = true;
  // Replaced by the save file or unused by a job on one: not passed.
  s.l_max = 30;
  s.fibonacci_order = 12;
  s.n_points = 80;
  s.s_max = 0.8;
  s.explicit_hydrogens = true;
  s.new_atom_naming = false;
  s.model_number = 2;
  s.chain_ids = "A";
  s.prefix = "mine";
  const Args args = rerun_arguments("bin/tessel", s);
  EXPECT_EQ(args, (Args{"bin/tessel", "-un", "2", "-err=N", "-cst", "-dns", "-0.1", "-dro",
                        "0.30000000000000004", "-def", "-nosmy", "--fit", "extended"}));
  EXPECT_EQ(std::stod(args[8]), s.delta_rho);

  s.keep_as_set = true;
  s.write_errors = true;
  const Args more = rerun_arguments("t", s);
  ASSERT_GE(more.size(), 5u);
  EXPECT_EQ(more[3], "-kp");
  EXPECT_EQ(more[4], "-err");

  // File names go after "--" exactly as given, whatever characters they hold.
  const Args base{"t", "-cst"};
  EXPECT_EQ(rerun_argument_vector(base, "my dir/lyz00.sav", "-e 1;$x'\"`.dat"),
            (Args{"t", "-cst", "--", "my dir/lyz00.sav", "-e 1;$x'\"`.dat"}));
}

}  // namespace
}  // namespace tessel
