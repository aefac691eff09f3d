// The extended fit (--fit extended) on the Nup133 structures and their measured curve: the χ²
// the issue asks for, the usual fit lines followed by the extended ones, the default fit left as
// it was, the envelope file of save-file runs and the re-runs for several data files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "output_checks.hpp"
#include "run_program.hpp"
#include "text_pattern.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

const std::string kCurve = "nup133_23922_merge.dat";

// χ² of a summary line (its last field) and of a .fit title (its last 6 characters).
double summary_chi2(const std::string& line) { return std::stod(line.substr(line.rfind(':') + 1)); }
double title_chi2(const std::string& title) { return std::stod(title.substr(title.size() - 6)); }

std::vector<std::string> model_lines(const fs::path& summary) {
  std::vector<std::string> out;
  for (const std::string& l : read_lines(summary)) {
    if (l.rfind(" Model: ", 0) == 0) out.push_back(l);
  }
  return out;
}

// The text with its time stamps masked, for comparing runs made a second apart.
std::string without_stamps(const std::string& text) {
  static const std::regex stamp("[0-9]{2}-[A-Z][a-z]{2}-[0-9]{4} +[0-9]{2}:[0-9]{2}:[0-9]{2}");
  return std::regex_replace(text, stamp, "STAMP");
}

}  // namespace

TEST(ExtendedFit, NupStructuresReachTheirTargetsWithTheUsualLinesFirst) {
  const TempDir d;
  d.copy_data("3kfo.pdb");
  d.copy_data("3kfo-fill_model.pdb");
  d.copy_data(kCurve);
  RunResult r = run_tessel(d.path(), {"3kfo.pdb", kCurve, "-cst", "--fit", "extended"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run_tessel(d.path(), {"3kfo-fill_model.pdb", kCurve, "--fit=extended", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The issue's targets: 3kfo with a background at most 1.70, the filled model at most 1.15.
  const std::vector<std::string> models = model_lines(d.path() / "tessel_summary.txt");
  ASSERT_EQ(models.size(), 2u);
  EXPECT_LE(summary_chi2(models[0]), 1.70) << models[0];
  EXPECT_LE(summary_chi2(models[1]), 1.15) << models[1];
  const std::string title = read_lines(d.path() / "3kfo-fill_model00.fit").at(0);
  EXPECT_TRUE(matches(title, "3kfo-fil  Dro:#.###  Ra:*****  RGT:##.##  Vol:*******  Chi^2:*#.###")) << title;
  EXPECT_NEAR(title_chi2(title), summary_chi2(models[1]), 0.0051);
  // The console's title: name, contrast, radius, volume and χ² as in the fit file (no RGT).
  EXPECT_NE(
      r.out.find(title.substr(0, 29) + "  Vol:" + title.substr(46, 7) + "  Chi^2:" + title.substr(61) + "\n"),
      std::string::npos)
      << r.out;

  // The log: the constant is fitted without -cst; the result and background lines in their usual
  // layout, the signed radius range reaching below −r0 (−1.62 here); then the extended lines.
  const std::vector<std::string> log = read_lines(d.path() / "3kfo-fill_model00.log");
  EXPECT_TRUE(has_line(log, labelled("Constant subtraction", "Y")));
  const auto heading =
      std::find(log.begin(), log.end(),
                "  DroMin/Max   Ra(Mn/Mx)  ExVol(Min/max) Semax| Dro   Ra     Vol    Chi^2 Hydra");
  ASSERT_LT(heading + 4, log.end());
  EXPECT_TRUE(
      matches(heading[1], "*#.###*#.###  -1.6# 1.80*******.*******.*#.###|#.###*#.###*******.**#.###*#.###"))
      << heading[1];
  EXPECT_NEAR(std::stod(heading[1].substr(66, 7)), title_chi2(title), 0.0011);
  EXPECT_TRUE(matches(heading[2].substr(0, 19), "  -- RelBCK limits:")) << heading[2];
  EXPECT_EQ(heading[3], " --------  Extended fit  ----------------------------");
  const std::regex ranged(
      " [^.]+ \\.+ : -?[0-9.]+  \\(range -?[0-9.]+ to -?[0-9.]+, (inside|on the (lower|upper) bound)\\)");
  for (const char* label : {"Excluded volume, effective", "Radius of the global damping (signed)",
                            "Contrast of the solvation shell", "Shell width"}) {
    const auto line =
        std::find_if(heading, log.end(), [&](const std::string& l) { return l.find(label) == 1; });
    ASSERT_NE(line, log.end()) << label;
    EXPECT_TRUE(std::regex_match(*line, ranged)) << *line;
  }
  EXPECT_TRUE(has_line(log, labelled("Plausibility", "plausible")));
  EXPECT_NE(r.out.find(labelled("Plausibility", "plausible")), std::string::npos);

  // The record carries the extended fit: its χ² as the .fit title prints it, the width inside
  // the searched 1..6 Å with the side the log names, the verdict.
  std::ifstream in(d.path() / "3kfo-fill_model00.json");
  const nlohmann::json record = nlohmann::json::parse(in);
  const nlohmann::json& ext = record.at("extended_fit");
  EXPECT_NEAR(ext.at("chi2").get<double>(), title_chi2(title), 0.0005);
  const double width = ext.at("shell_width_A").at("value").get<double>();
  EXPECT_GE(width, 1.0);
  EXPECT_LE(width, 6.0);
  const std::string side = ext.at("shell_width_A").at("bound").get<std::string>();
  const std::string side_text = side == "inside" ? "inside" : "on the " + side + " bound";
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) {
    return l.find("Shell width") == 1 && l.find(side_text) != std::string::npos;
  }));
  EXPECT_TRUE(ext.at("plausible").get<bool>());
}

TEST(ExtendedFit, DefaultFitUnchangedAndOptionChecked) {
  // The issue's figures of the default fit of 3kfo (6.41, with -cst 2.64); "--fit default" writes
  // the same files as no option; a lysozyme fit to a curve made from its own prediction is not
  // made worse by the extended fit.
  const TempDir plain, named;
  for (const TempDir* d : {&plain, &named}) {
    d->copy_data("3kfo.pdb");
    d->copy_data(kCurve);
  }
  ASSERT_EQ(run_tessel(plain.path(), {"3kfo.pdb", kCurve}).status, 0);
  ASSERT_EQ(run_tessel(plain.path(), {"3kfo.pdb", kCurve, "-cst"}).status, 0);
  ASSERT_EQ(run_tessel(named.path(), {"3kfo.pdb", kCurve, "--fit", "default"}).status, 0);
  const std::vector<std::string> models = model_lines(plain.path() / "tessel_summary.txt");
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0].substr(models[0].size() - 14), "Chi^2:    6.41") << models[0];
  EXPECT_EQ(models[1].substr(models[1].size() - 14), "Chi^2:    2.64") << models[1];
  for (const char* file : {"3kfo00.fit", "3kfo00.log"}) {
    EXPECT_EQ(without_stamps(read_file(plain.path() / file)), without_stamps(read_file(named.path() / file)))
        << file;
  }
  const RunResult bad = run_tessel(plain.path(), {"3kfo.pdb", kCurve, "--fit", "wide"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("'fit', got 'wide'"), std::string::npos) << bad.err;

  const TempDir lyz;
  lyz.copy_data("6lyz.pdb");
  ASSERT_EQ(run_tessel(lyz.path(), {"6lyz.pdb", "-ns", "201", "-nosmy"}).status, 0);
  std::string curve;
  for (const std::string& row : read_lines(lyz.path() / "6lyz00.int")) {
    std::istringstream in(row);
    double s = 0, i = 0;
    if (!(in >> s >> i) || s <= 0) continue;
    const double value = i * (1 + 0.02 * std::sin(1.7 * s * 400));  // a ±2 % ripple, 3 % errors
    curve += std::to_string(s) + " " + std::to_string(value) + " " + std::to_string(0.03 * value) + "\n";
  }
  std::ofstream(lyz.path() / "lyz.dat") << curve;
  ASSERT_EQ(run_tessel(lyz.path(), {"6lyz.pdb", "lyz.dat"}).status, 0);
  ASSERT_EQ(run_tessel(lyz.path(), {"6lyz.pdb", "lyz.dat", "--fit", "extended"}).status, 0);
  const std::vector<std::string> lyz_models = model_lines(lyz.path() / "tessel_summary.txt");
  ASSERT_EQ(lyz_models.size(), 2u);
  EXPECT_LE(title_chi2(read_lines(lyz.path() / "6lyz02.fit").at(0)),
            title_chi2(read_lines(lyz.path() / "6lyz01.fit").at(0)));
}

TEST(ExtendedFit, SaveFilesCarryTheirEnvelopeAndReRunsPassTheOption) {
  const TempDir d;
  d.copy_data("3kfo-fill_model.pdb");
  d.copy_data(kCurve);
  fs::copy_file(d.path() / kCurve, d.path() / "second.dat");
  // A kept prediction writes the envelope file beside the save file: N = F(18) = 2584 radii.
  RunResult r = run_tessel(d.path(), {"3kfo-fill_model.pdb", "-kp", "--fit", "extended"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> records = records_of(read_file(d.path() / "3kfo-fill_model00.env"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(le32_at(records[0], 0), 17u);
  EXPECT_EQ(le32_at(records[0], 4), 2584u);
  EXPECT_EQ(records[1].size(), 8u * 2584u);
  EXPECT_TRUE(has_line(read_lines(d.path() / "3kfo-fill_model00.log"),
                       " Envelope       saved to file 3kfo-fill_model00.env"));

  // The save file fitted as the structure is.
  ASSERT_EQ(run_tessel(d.path(), {"3kfo-fill_model.pdb", kCurve, "--fit", "extended"}).status, 0);
  r = run_tessel(d.path(), {"3kfo-fill_model00.sav", kCurve, "--fit", "extended"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string direct = read_lines(d.path() / "3kfo-fill_model01.fit").at(0);
  EXPECT_EQ(read_lines(d.path() / "3kfo-fill_model02.fit").at(0), direct);

  // Without its envelope file the extended fit of a save file stops before writing anything.
  fs::remove(d.path() / "3kfo-fill_model00.env");
  r = run_tessel(d.path(), {"3kfo-fill_model00.sav", kCurve, "--fit", "extended"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("envelope file"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("3kfo-fill_model00.env"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(d.path() / "3kfo-fill_model03.log"));

  // Two data files: each re-run fits extended on the job's save file, whose envelope file is
  // removed with the other intermediate files.
  r = run_tessel(d.path(), {"3kfo-fill_model.pdb", kCurve, "second.dat", "--fit", "extended"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_lines(d.path() / "3kfo-fill_model04.fit").at(0), direct);
  EXPECT_EQ(read_lines(d.path() / "3kfo-fill_model05.fit").at(0), direct);
  EXPECT_FALSE(fs::exists(d.path() / "3kfo-fill_model03.env"));
  EXPECT_FALSE(fs::exists(d.path() / "3kfo-fill_model03.sav"));
}

}  // namespace tessel_test
