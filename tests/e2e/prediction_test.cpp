// Prediction runs on lysozyme: the log line by line, the intensity file, the net-amplitude file
// and the envelope-coefficient file, checked against their documented layouts and against
// relations the numbers must obey.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"
#include "text_pattern.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

// One expected log line: the exact text, or a label whose value is checked separately.
struct Expect {
  enum Kind { exact, labelled, starts } kind;
  std::string text;
  std::string value;  // labelled: the value text, empty for any value
};

Expect exact(std::string t) { return {Expect::exact, std::move(t), ""}; }
Expect labelled(std::string label, std::string value = "") {
  return {Expect::labelled, std::move(label), std::move(value)};
}
Expect starts(std::string t) { return {Expect::starts, std::move(t), ""}; }

// A labelled-value line: one blank, the label, dots, " : " and the value.
bool is_labelled(const std::string& line, const std::string& label, const std::string& value) {
  const std::string head = " " + label + " ";
  if (line.rfind(head, 0) != 0) return false;
  const auto colon = line.find(" : ", head.size() - 1);
  if (colon == std::string::npos) return false;
  const std::string between = line.substr(head.size() - 1, colon + 3 - (head.size() - 1));
  if (between.size() < 4 || between.find_first_not_of('.', 1) != between.size() - 3) return false;
  return value.empty() ? line.size() > colon + 3 : line.substr(colon + 3) == value;
}

void expect_lines(const std::vector<std::string>& lines, const std::vector<Expect>& expected) {
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": '" + lines[i] + "'");
    const Expect& e = expected[i];
    switch (e.kind) {
      case Expect::exact: EXPECT_EQ(lines[i], e.text); break;
      case Expect::starts: EXPECT_EQ(lines[i].rfind(e.text, 0), 0u); break;
      case Expect::labelled: EXPECT_TRUE(is_labelled(lines[i], e.text, e.value)); break;
    }
  }
}

// The value of a labelled line as a number.
double labelled_value(const std::string& line) {
  return std::stod(line.substr(line.find(" : ") + 3));
}

// Element counts of the accepted atoms, read from the element columns of the file.
std::map<std::string, int> element_counts(const fs::path& pdb) {
  std::map<std::string, int> counts;
  for (const std::string& line : read_lines(pdb)) {
    if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
    if (line.substr(17, 3) == "HOH") continue;
    std::string element = line.substr(76, 2);
    element.erase(0, element.find_first_not_of(' '));
    counts[element]++;
  }
  return counts;
}

float real32_at(const std::string& payload, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(payload.at(at + i))) << (8 * i);
  return std::bit_cast<float>(v);
}

class Lysozyme : public ::testing::Test {
 protected:
  void SetUp() override { dir_.copy_data("6lyz.pdb"); }
  RunResult run(std::vector<std::string> args) {
    args.insert(args.begin(), "6lyz.pdb");
    return run_tessel(dir_.path(), args);
  }
  fs::path file(const std::string& name) const { return dir_.path() / name; }

  TempDir dir_;
};

TEST_F(Lysozyme, LogHoldsEveryLineInOrder) {
  const RunResult r = run({});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> log = read_lines(file("6lyz00.log"));

  const auto counts = element_counts(file("6lyz.pdb"));
  std::vector<Expect> expected = {
      exact("  T E S S E L    Version 2.8.3  -- 04/10/12"),
      exact(""),
      exact(""),
      starts(" -- Program  started  at   "),
      exact(""),
      exact(" --------  Real space resolution and grid  --------"),
      exact(""),
      labelled(" Maximum order of harmonics", "15"),
      labelled(" Order of Fibonacci grid", "17"),
      labelled(" Total number of directions", "2584"),  // F(18)
      exact(" ------------  Reciprocal space grid  -------------"),
      exact(""),
      exact("   in s = 4*pi*sin(theta)/lambda [1/angstrom]"),
      labelled(" Maximum scattering angle", "0.5000"),
      labelled(" Number of angular points", "51"),
      exact(""),
      exact(" --- Structural parameters (sizes in angstroms) ---"),
      exact(""),
      labelled("PDB file name", "6lyz.pdb"),
      labelled(" Number of atoms read", "1001"),
      labelled(" Number of discarded waters", "101"),
      starts(" Geometric Center: "),
      starts(" Center of the excess electron density:"),
  };
  // The composition report lists the elements in the order H, C, N, O, S, ...
  for (const char* element : {"C", "N", "O", "S"})
    expected.push_back(labelled(std::string(" Number of ") + element,
                                std::to_string(counts.at(element))));
  for (const char* pair : {" Electron   Rg   :", " Shape      Rg   :", " Shell    volume :",
                           " Shell      Rg   :"})
    expected.push_back(starts(pair));
  expected.push_back(starts(" Shell    width  : 3.000       Envelope  diameter :"));
  const std::vector<Expect> rest = {
      starts(" Molecular weight:"),
      starts(" Displaced volume:"),
      exact(" Number of residuals :  129"),  // hen egg-white lysozyme has 129 residues
      exact(" -- No data fitting, parameters entered manually --"),
      labelled("Solvent density", "0.3340"),
      labelled("Contrast of the solvation shell", "3.000E-02"),
      labelled("Average atomic radius"),
      labelled("Excluded Volume"),
      labelled("Average atomic volume"),
      labelled("Rg ( Atoms - Excluded volume + Shell )"),
      labelled("Rg from the slope of net intensity"),
      labelled("Average electron density"),
      exact(""),
      exact(" ----------------  Output files  ------------------"),
      exact(""),
      exact(" Intensities    saved to file 6lyz00.int"),
      exact(" Net amplitudes saved to file 6lyz00.alm"),
      exact(""),
      starts("  T E S S E L    Version 2.8.3  -- 04/10/12 ----  terminated at "),
  };
  expected.insert(expected.end(), rest.begin(), rest.end());
  expect_lines(log, expected);

  ASSERT_EQ(log.size(), expected.size());
  EXPECT_TRUE(is_time_stamp(log[3].substr(25, 24)));
  EXPECT_EQ(log[3].substr(49), "--");
  EXPECT_EQ(log.back().size(), 90u);
  EXPECT_TRUE(is_time_stamp(log.back().substr(64, 24)));

  // The envelope labels of the report pairs.
  const std::size_t report = 23 + counts.size();
  EXPECT_NE(log[report].find("   Envelope   Rg      :"), std::string::npos);
  EXPECT_NE(log[report + 1].find("   Envelope  volume   :"), std::string::npos);
  EXPECT_NE(log[report + 2].find("   Envelope  surface  :"), std::string::npos);
  EXPECT_NE(log[report + 3].find("   Envelope  radius   :"), std::string::npos);
  EXPECT_NE(log[report + 5].find("   Dry volume         :"), std::string::npos);
  EXPECT_NE(log[report + 6].find("   Average atomic rad.:"), std::string::npos);

  // The average atomic volume is that of a sphere of the average atomic radius (both printed to
  // four significant digits).
  double radius = 0, volume = 0;
  for (const std::string& line : log) {
    if (is_labelled(line, "Average atomic radius", "")) radius = labelled_value(line);
    if (is_labelled(line, "Average atomic volume", "")) volume = labelled_value(line);
  }
  EXPECT_NEAR(volume, 4.0 / 3.0 * std::numbers::pi * radius * radius * radius, 0.05);
}

TEST_F(Lysozyme, ConsoleShowsNamesReportAndSavedFiles) {
  const RunResult r = run({});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> out = split_lines(r.out);
  auto has = [&](const std::string& line) {
    return std::find(out.begin(), out.end(), line) != out.end();
  };
  EXPECT_TRUE(has("         Following file names will be used:"));
  EXPECT_TRUE(has(" 6lyz00.log -- TESSEL log-file          (ASCII)"));
  EXPECT_TRUE(has(" 6lyz00.int -- scattering intensities   (ASCII)"));
  EXPECT_TRUE(has(" 6lyz00.alm -- net partial amplitudes   (binary)"));
  EXPECT_FALSE(has(" 6lyz00.flm -- multipole coefficients   (ASCII)"));
  EXPECT_TRUE(has(" ----------  Reciprocal space grid  -------------"));
  EXPECT_TRUE(has(" --- Structural parameters (sizes in angstroms) ---"));
  EXPECT_EQ(r.out.find(" Electron   Rg   :"), std::string::npos);
  EXPECT_NE(r.out.find(" Electron   rg   :"), std::string::npos);
  EXPECT_TRUE(has(" Processing atoms   : " + std::string(40, '>')));
  EXPECT_TRUE(has("Intensities    saved to file 6lyz00.int"));
  EXPECT_TRUE(has("Net amplitudes saved to file 6lyz00.alm"));
  // Prediction files only.
  EXPECT_TRUE(fs::exists(file("6lyz00.int")));
  EXPECT_TRUE(fs::exists(file("6lyz00.alm")));
  EXPECT_FALSE(fs::exists(file("6lyz00.flm")));
  EXPECT_FALSE(fs::exists(file("6lyz00.fit")));
}

TEST_F(Lysozyme, IntensityFileHasHeaderAndOneRowPerPoint) {
  ASSERT_EQ(run({}).status, 0);
  const std::vector<std::string> lines = read_lines(file("6lyz00.int"));
  ASSERT_EQ(lines.size(), 1u + 51u);
  const std::string& header = lines[0];
  ASSERT_EQ(header.size(), 90u);
  EXPECT_EQ(header.substr(0, 45), " Dif/Atom/Shape/Bord 6lyz.pdb     Dro:  0.030");
  EXPECT_EQ(header.substr(45, 4), " Ra:");
  EXPECT_EQ(header.substr(56, 4), " Rg:");
  EXPECT_EQ(header.substr(66, 6), " Vtot:");
  EXPECT_EQ(header.substr(80), std::string(10, ' '));

  for (std::size_t i = 1; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    ASSERT_EQ(lines[i].size(), 70u);
    for (std::size_t k = 0; k < 5; ++k)
      EXPECT_TRUE(matches(lines[i].substr(14 * k, 14), " *0.######E*##")) << k;
    // s = (i − 1)·0.5/50
    EXPECT_NEAR(std::stod(lines[i].substr(0, 14)), (i - 1) * 0.01, 1e-9);
  }
  EXPECT_EQ(lines[11].substr(0, 14), "  0.100000E+00");
  EXPECT_EQ(lines[51].substr(0, 14), "  0.500000E+00");

  // At s = 0 every amplitude is its real l = 0 term, so the net intensity is the square of the
  // atoms' amplitude less the excluded volume's plus the shell's.
  auto field = [&](int k) { return std::stod(lines[1].substr(static_cast<std::size_t>(14 * k), 14)); };
  const double net = field(1), atoms = field(2), excluded = field(3), shell = field(4);
  const double coherent = std::sqrt(atoms) - std::sqrt(excluded) + std::sqrt(shell);
  EXPECT_NEAR(net, coherent * coherent, 2e-5 * net);

  // The header's Rg is the slope Rg of the log and of the summary.
  const std::string summary = read_file(file("tessel_summary.txt"));
  const std::string rg = header.substr(60, 6);
  EXPECT_NE(summary.find("Theoretical Rg: " + rg + "\n"), std::string::npos) << summary;
}

TEST_F(Lysozyme, AmplitudeFileHasTitleGridAndOneRecordPerHarmonic) {
  ASSERT_EQ(run({}).status, 0);
  const std::vector<std::string> records = records_of(read_file(file("6lyz00.alm")));
  ASSERT_EQ(records.size(), 139u);  // 3 + (15+1)(15+2)/2
  ASSERT_EQ(records[0].size(), 4u);
  EXPECT_EQ(records[0], std::string("\x08\0\0\0", 4));
  ASSERT_EQ(records[1].size(), 8u + 8u);
  EXPECT_EQ(records[1], std::string("6lyz.pdb\x0f\0\0\0\x33\0\0\0", 16));
  ASSERT_EQ(records[2].size(), 204u);
  for (std::size_t i = 0; i < 51; ++i) EXPECT_EQ(real32_at(records[2], 4 * i), static_cast<float>(i * 0.5 / 50));
  for (std::size_t j = 3; j < records.size(); ++j) ASSERT_EQ(records[j].size(), 408u) << j;

  // I(0) = 2π²·|A_00(0)|² of the net amplitude, the .int file's net intensity at s = 0.
  const double re = real32_at(records[3], 0), im = real32_at(records[3], 4);
  const std::vector<std::string> lines = read_lines(file("6lyz00.int"));
  const double net = std::stod(lines[1].substr(14, 14));
  EXPECT_NEAR(2 * std::numbers::pi * std::numbers::pi * (re * re + im * im), net, 1e-5 * net);
  // At s = 0 only l = 0 is left.
  for (std::size_t j = 4; j < records.size(); ++j) {
    EXPECT_EQ(real32_at(records[j], 0), 0.0f) << j;
    EXPECT_EQ(real32_at(records[j], 4), 0.0f) << j;
  }
}

TEST_F(Lysozyme, KeepWritesEnvelopeCoefficients) {
  const RunResult r = run({"-kp"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> flm = read_lines(file("6lyz00.flm"));
  ASSERT_EQ(flm.size(), 2u + 136u);
  EXPECT_EQ(flm[0].rfind(" Envelope function from  6lyz.pdb       ", 0), 0u);
  EXPECT_TRUE(is_time_stamp(flm[0].substr(38)));
  EXPECT_EQ(flm[1].substr(0, 15), "   41   15  136");
  EXPECT_EQ(flm[1].size(), 30u);
  EXPECT_EQ(flm[2].substr(0, 10), "    0    0");
  EXPECT_EQ(flm[2].substr(40), "    1    0");
  EXPECT_EQ(flm[3].substr(0, 10), "    1    0");
  EXPECT_EQ(flm[4].substr(0, 10), "    1    1");
  EXPECT_EQ(flm[4].substr(40), "    1    1");
  EXPECT_EQ(flm.back().substr(0, 10), "   15   15");
  // An l = 0 coefficient of an envelope of constant radius R would be √(4π) after the division
  // by the radius of equal volume; a compact protein comes close.
  const double f00 = std::stod(flm[2].substr(10, 15));
  EXPECT_NEAR(f00, std::sqrt(4 * std::numbers::pi), 0.3);

  const std::vector<std::string> log = read_lines(file("6lyz00.log"));
  EXPECT_NE(std::find(log.begin(), log.end(), " Coefficients   saved to file 6lyz00.flm"), log.end());
  EXPECT_NE(r.out.find(" 6lyz00.flm -- multipole coefficients   (ASCII)"), std::string::npos);
  EXPECT_NE(r.out.find(" 6lyz00.sav -- save TESSEL information  (binary)"), std::string::npos);
}

TEST_F(Lysozyme, HighHarmonicOrderKeepsTheEnvelopeExpansionAtTwenty) {
  const RunResult r = run({"-lm", "25", "-kp", "-ns", "11"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> flm = read_lines(file("6lyz00.flm"));
  ASSERT_EQ(flm.size(), 2u + 231u);  // (20+1)(20+2)/2
  EXPECT_EQ(flm[1].substr(0, 15), "   41   20  231");
  EXPECT_EQ(flm.back().substr(0, 10), "   20   20");
  EXPECT_EQ(records_of(read_file(file("6lyz00.alm"))).size(), 3u + 351u);  // (25+1)(25+2)/2
}

TEST_F(Lysozyme, CoarseGridIsReported) {
  // An envelope reaching about 25 Å from the centre: with 0.5/10 per step, s·R_env per step is
  // well above 0.5; with the default 51 points it is about half that limit.
  const std::string warning = " --WARNING: Recompute the intensity with larger number of points";
  const RunResult coarse = run({"-ns", "11", "-p", "coarse"});
  ASSERT_EQ(coarse.status, 0) << coarse.err;
  const std::vector<std::string> log = read_lines(file("coarse.log"));
  const auto at = std::find(log.begin(), log.end(), warning);
  ASSERT_NE(at, log.end());
  EXPECT_EQ(std::prev(at)->rfind(" Shell    width  :", 0), 0u);  // right after the report
  EXPECT_EQ(std::next(at)->rfind(" Molecular weight:", 0), 0u);
  EXPECT_NE(coarse.out.find(warning + "\n"), std::string::npos);

  const RunResult fine = run({"-p", "fine"});
  ASSERT_EQ(fine.status, 0);
  EXPECT_EQ(read_file(file("fine.log")).find(warning), std::string::npos);
}

TEST(Selection, ModelAndChainNameTheOutputsAndTheLog) {
  TempDir dir;
  dir.copy_data("1l2y.pdb");
  dir.copy_data("3hfm.pdb");
  const RunResult model = run_tessel(dir.path(), {"1l2y.pdb", "-nmr", "2"});
  ASSERT_EQ(model.status, 0) << model.err;
  const std::vector<std::string> log = read_lines(dir.path() / "1l2y-200.log");
  ASSERT_FALSE(log.empty());
  auto find_label = [](const std::vector<std::string>& lines, const std::string& label) {
    for (const std::string& line : lines)
      if (is_labelled(line, label, "")) return line.substr(line.find(" : ") + 3);
    return std::string("(none)");
  };
  EXPECT_EQ(find_label(log, "PDB file name"), "1l2y.pdb");
  EXPECT_EQ(find_label(log, "NMR conformer number"), "2");
  EXPECT_EQ(find_label(log, " Number of atoms read"), "154");  // 304 atoms, 150 of them H
  EXPECT_EQ(find_label(log, "Chain ID used"), "(none)");
  EXPECT_TRUE(fs::exists(dir.path() / "1l2y-200.int"));

  const RunResult chain = run_tessel(dir.path(), {"3hfm.pdb", "-cid", "Y"});
  ASSERT_EQ(chain.status, 0) << chain.err;
  const std::vector<std::string> chain_log = read_lines(dir.path() / "3hfm-Y00.log");
  EXPECT_EQ(find_label(chain_log, "Chain ID used"), "Y");
  EXPECT_EQ(find_label(chain_log, "NMR conformer number"), "(none)");
  // Only the results and the inputs are left: the filtered copies are gone.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1l2y-200.alm", "1l2y-200.int", "1l2y-200.log",
                                             "1l2y.pdb", "3hfm-Y00.alm", "3hfm-Y00.int",
                                             "3hfm-Y00.log", "3hfm.pdb", "tessel_summary.txt"}));
}

TEST_F(Lysozyme, SinglePointCurveIsTheForwardIntensity) {
  const RunResult r = run({"-ns", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = read_lines(file("6lyz00.int"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].substr(0, 14), "  0.000000E+00");
  const std::vector<std::string> records = records_of(read_file(file("6lyz00.alm")));
  ASSERT_EQ(records.size(), 139u);
  EXPECT_EQ(records[2].size(), 4u);
  EXPECT_EQ(records[3].size(), 8u);
}

}  // namespace
}  // namespace tessel_test
