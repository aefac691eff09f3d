// Fixed texts of the results: time stamps, the intensity file, the summary lines and the log's
// structural report, each compared with lines put together by hand from their formats.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "io/intensity_file.hpp"
#include "io/run_log.hpp"
#include "io/summary_file.hpp"
#include "io/time_stamp.hpp"

namespace tessel {
namespace {

TEST(TimeStamp, DateAndTimeFields) {
  struct Case {
    LocalTime t;
    std::string stamp;
  };
  const Case cases[] = {
      {{2024, 3, 5, 9, 5, 7}, "  05-Mar-2024   09:05:07"},
      {{1999, 12, 31, 23, 59, 59}, "  31-Dec-1999   23:59:59"},
      {{2030, 1, 1, 0, 0, 0}, "  01-Jan-2030   00:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stamp);
    EXPECT_EQ(time_stamp(c.t), c.stamp);
    EXPECT_EQ(time_stamp(c.t).size(), 24u);
  }
}

TEST(IntensityFile, HeaderKeepsAllNinetyCharacters) {
  IntensityHeader h{"6lyz.pdb", 0.03, 1.6, 13.95, 17000.4};
  // ' Dif/Atom/Shape/Bord ', A12, ' Dro:' F7.3, ' Ra:' F7.4, ' Rg:' F6.2, ' Vtot:' F8.0
  const std::string expected =
      " Dif/Atom/Shape/Bord 6lyz.pdb     Dro:  0.030 Ra: 1.6000 Rg: 13.95 Vtot:  17000." +
      std::string(10, ' ');
  EXPECT_EQ(intensity_header(h), expected);
  EXPECT_EQ(expected.size(), 90u);

  // Longer names are cut to 12 characters; a volume too wide for F8.0 shows asterisks.
  IntensityHeader wide{"a-very-long-name.pdb", -0.5, 12.34567, -1.0, 1.0e9};
  EXPECT_EQ(intensity_header(wide),
            " Dif/Atom/Shape/Bord a-very-long- Dro: -0.500 Ra:12.3457 Rg: -1.00 Vtot:********" +
                std::string(10, ' '));
}

TEST(IntensityFile, OneRowOfFiveFieldsPerPoint) {
  const std::vector<double> s = {0.0, 0.01}, net = {1.5e6, 1.25e6}, atoms = {2.0e6, 1.0},
                            excluded = {-3.0, 0.001}, shell = {0.5, 12345.0};
  std::ostringstream out;
  ASSERT_TRUE(write_intensity_file(out, {"x.pdb", 0.03, 1.6, 10.0, 100.0},
                                   {s, net, atoms, excluded, shell}));
  std::istringstream in(out.str());
  std::string header, row1, row2, rest;
  std::getline(in, header);
  std::getline(in, row1);
  std::getline(in, row2);
  EXPECT_FALSE(std::getline(in, rest));
  EXPECT_EQ(header.size(), 90u);
  EXPECT_EQ(row1, "  0.000000E+00  0.150000E+07  0.200000E+07 -0.300000E+01  0.500000E+00");
  EXPECT_EQ(row2, "  0.100000E-01  0.125000E+07  0.100000E+01  0.100000E-02  0.123450E+05");
}

TEST(SummaryFile, HeaderAndJobLines) {
  EXPECT_EQ(summary_header("  05-Mar-2024   09:05:07", "tessel lyz.pdb lyz.dat"),
            "\n Created by TESSEL v. 28 on   05-Mar-2024   09:05:07\n\n"
            " Batch: tessel lyz.pdb lyz.dat\n");

  const std::string prediction = summary_prediction_line("6lyz.pdb", 13.95);
  EXPECT_EQ(prediction, " Model: 6lyz.pdb              Theoretical Rg:  13.95\n");
  EXPECT_EQ(prediction.size(), 52u + 1u);
  // Names are cut at 20 characters.
  EXPECT_EQ(summary_prediction_line("abcdefghijklmnopqrstuvwxyz.pdb", -1.5),
            " Model: abcdefghijklmnopqrst  Theoretical Rg:  -1.50\n");
}

TEST(SummaryFile, CommandLineAsTyped) {
  const std::vector<std::string> args = {"/usr/bin/tessel", "a.pdb", "-lm", "20", ""};
  EXPECT_EQ(command_line_text(args), "/usr/bin/tessel a.pdb -lm 20");
}

TEST(RunLog, HeaderAndClosingLines) {
  const std::string stamp = "  05-Mar-2024   09:05:07";
  EXPECT_EQ(log_header(stamp),
            "  T E S S E L    Version 2.8.3  -- 04/10/12\n"
            "\n\n"
            " -- Program  started  at   05-Mar-2024   09:05:07--\n"
            "\n"
            " --------  Real space resolution and grid  --------\n"
            "\n");
  const std::string closing = log_closing(stamp);
  EXPECT_EQ(closing,
            "\n  T E S S E L    Version 2.8.3  -- 04/10/12 ----  terminated at "
            "  05-Mar-2024   09:05:07--\n");
  EXPECT_EQ(closing.size(), 1u + 90u + 1u);
  EXPECT_EQ(envelope_job_end(stamp), "\n -- TESSEL terminated at   05-Mar-2024   09:05:07--\n");
}

TEST(RunLog, StructuralReportPairsValuesInG10Fields) {
  StructuralParameters p;
  p.rg_electron = 14.0;
  p.envelope_rg = 15.5;
  p.rg_shape = 13.25;
  p.envelope_volume = 25000.0;  // 10^4 or more: E form
  p.shell_volume = 0.05;        // below 0.1: E form
  p.envelope_surface = 4321.0;
  p.shell_rg = 17.0;
  p.envelope_radius = 18.14;
  p.shell_width = 3.0;
  p.envelope_diameter = 60.0;
  const std::string log = structural_report(p, Destination::log);
  EXPECT_EQ(log,
            " Electron   Rg   : 14.00       Envelope   Rg      : 15.50\n"
            " Shape      Rg   : 13.25       Envelope  volume   :0.2500E+05\n"
            " Shell    volume :0.5000E-01   Envelope  surface  : 4321.\n"
            " Shell      Rg   : 17.00       Envelope  radius   : 18.14\n"
            " Shell    width  : 3.000       Envelope  diameter : 60.00\n");
  const std::string console = structural_report(p, Destination::console);
  EXPECT_EQ(console.substr(0, 19), " Electron   rg   : ");
  EXPECT_EQ(console.substr(console.find('\n')), log.substr(log.find('\n')));
}

TEST(RunLog, MolecularQuantitiesListOnlyPositiveCounts) {
  MolecularReport q;
  q.molecular_weight = 14300.0;
  q.dry_volume = 17300.0;
  q.displaced_volume = 17650.0;
  q.atomic_radius = 1.618;
  q.residues = 129;
  const std::string text = molecular_report(q);
  EXPECT_EQ(text,
            " Molecular weight:0.1430E+05   Dry volume         :0.1730E+05\n"
            " Displaced volume:0.1765E+05   Average atomic rad.: 1.618\n"
            " Number of residuals :  129\n");
  q.residues = 0;
  q.dummy_residues = 7;
  q.bases = 12;
  const std::string counts = molecular_report(q);
  EXPECT_NE(counts.find(" Number of dummy residuals :     7\n"), std::string::npos);
  EXPECT_NE(counts.find(" Number of bases :   12\n"), std::string::npos);
  EXPECT_EQ(counts.find(" Number of residuals"), std::string::npos);
}

TEST(RunLog, SavedFileLines) {
  EXPECT_EQ(saved_line(kSavedIntensities, "lyz00.int", Destination::console),
            "Intensities    saved to file lyz00.int\n");
  EXPECT_EQ(saved_line(kSavedIntensities, "lyz00.int", Destination::log),
            " Intensities    saved to file lyz00.int\n");
  EXPECT_EQ(saved_line(kSavedAmplitudes, "p.alm", Destination::log),
            " Net amplitudes saved to file p.alm\n");
  EXPECT_EQ(saving_error("p.int"), " Warning: error saving data to the file p.int\n");
}

}  // namespace
}  // namespace tessel
