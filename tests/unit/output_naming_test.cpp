// Output names of a job: stems, run numbers (also beyond 99 and when another run takes a
// number first), the prefix, and the list of files shown on the console.
#include "app/output_naming.hpp"

#include <gtest/gtest.h>

#include "fake_platform.hpp"

namespace tessel {
namespace {

using testing::FakePlatform;

TEST(OutputNaming, StemDropsDirectoryAndExtension) {
  struct Case {
    std::string name;
    bool keep_directory;
    std::string stem;
  };
  const Case cases[] = {
      {"6lyz.pdb", false, "6lyz"},
      {"data/run.1/6LYZ.ENT", false, "6LYZ"},
      {"data/run.1/6LYZ.ENT", true, "data/run.1/6LYZ"},
      {"a.b.pdb", false, "a.b"},
      {"dir.x/noext", false, "noext"},
      {"dir.x/noext", true, "dir.x/noext"},
      {"/tmp/2bbm-1AB.pdb", false, "2bbm-1AB"},
      // A structure file's whole ending goes, a compressed one's too.
      {"1abc.cif.gz", false, "1abc"},
      {"d/1ABC.MMCIF.GZ", true, "d/1ABC"},
      {"1abc.Pdb.Gz", false, "1abc"},
      {"x.mmcif", false, "x"},
      {"notes.tar.gz", false, "notes.tar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(output_stem(c.name, c.keep_directory), c.stem);
  }
}

TEST(OutputNaming, RunNumberFollowsTheHighestExistingLog) {
  struct Case {
    std::vector<std::string> existing;
    std::string base;
  };
  const Case cases[] = {
      {{}, "lyz00"},
      {{"lyz00.log"}, "lyz01"},
      {{"lyz00.log", "lyz01.log"}, "lyz02"},
      {{"lyz05.log"}, "lyz06"},            // counting down from 99 finds 05
      {{"lyz00.log", "lyz07.log"}, "lyz08"},
      {{"lyz98.log"}, "lyz99"},
      {{"lyz99.log"}, "lyz100"},           // the numbering goes on with three digits
      {{"lyz99.log", "lyz100.log", "lyz101.log"}, "lyz102"},
      {{"lyz00.int", "other00.log"}, "lyz00"},  // only this stem's logs count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base);
    FakePlatform platform;
    platform.files.insert(c.existing.begin(), c.existing.end());
    const OutputName name = choose_output_name("lyz", "", platform);
    EXPECT_EQ(name.base, c.base);
    EXPECT_EQ(name.run, c.base.substr(3));
    // The log of the chosen number is claimed at once.
    EXPECT_TRUE(platform.files.count(c.base + ".log"));
  }
}

TEST(OutputNaming, NumberTakenByAnotherRunMovesToTheNext) {
  FakePlatform platform;
  platform.files = {"lyz00.log"};
  platform.taken_meanwhile = {"lyz01.log", "lyz02.log"};
  EXPECT_EQ(choose_output_name("lyz", "", platform).base, "lyz03");
}

TEST(OutputNaming, UnwritableDirectoryStillNamesTheJob) {
  FakePlatform platform;
  platform.unwritable = {"lyz00.log"};
  EXPECT_EQ(choose_output_name("lyz", "", platform).base, "lyz00");
}

TEST(OutputNaming, PrefixIsUsedAsItIsAndReused) {
  FakePlatform platform;
  platform.files = {"mine.log"};
  const OutputName name = choose_output_name("lyz", "mine  ", platform);
  EXPECT_EQ(name.base, "mine");
  EXPECT_EQ(name.run, "  ");
  EXPECT_EQ(choose_output_name("lyz", "   ", platform).base, "lyz00");
}

TEST(OutputNaming, FileListShowsTheFilesOfTheJob) {
  const std::string rule = " ------------------------------------------------\n";
  const std::string heading = "         Following file names will be used:\n";
  const std::string log = " p00.log -- TESSEL log-file          (ASCII)\n";
  const std::string sav = " p00.sav -- save TESSEL information  (binary)\n";
  const std::string flm = " p00.flm -- multipole coefficients   (ASCII)\n";
  const std::string intensities = " p00.int -- scattering intensities   (ASCII)\n";
  const std::string fit = " p00.fit -- fit to experimental data (ASCII)\n";
  const std::string alm = " p00.alm -- net partial amplitudes   (binary)\n";
  struct Case {
    std::string what;
    OutputFileSet set;
    std::string entries;
  };
  const Case cases[] = {
      {"prediction", {false, RunMode::amplitudes_and_envelope, false}, log + intensities + alm},
      {"prediction, keep",
       {true, RunMode::amplitudes_and_envelope, false},
       log + sav + flm + intensities + alm},
      {"fit", {false, RunMode::amplitudes_and_envelope, true}, log + fit},
      {"fit, keep",
       {true, RunMode::amplitudes_and_envelope, true},
       log + sav + flm + intensities + fit + alm},
      {"envelope only, keep",
       {true, RunMode::envelope_only, true},
       log + flm + intensities + fit + alm},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(output_file_list("p00", c.set), rule + heading + c.entries + rule);
  }
  EXPECT_EQ(output_file_list("s00", {false, RunMode::from_save_file, false}),
            rule + "       Following file names will be used:\n" +
                " s00.log --  TESSEL log-file          (ASCII)\n" +
                " s00.int --  scattering intensities   (ASCII)\n" +
                " s00.alm --  net partial amplitudes  (binary)\n" + rule);
}

}  // namespace
}  // namespace tessel
