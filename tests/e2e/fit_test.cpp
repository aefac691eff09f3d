// Fitting runs: the model of the Nup133 C-terminal domain (3kfo-fill_model.pdb) fitted to its
// measured curve (nup133_23922_merge.dat) in batch and interactive mode. The fit file, the log
// and the summary are checked against their documented layouts, against the measured file
// itself and against relations between the files; the data-file errors end the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output_checks.hpp"
#include "run_program.hpp"
#include "text_pattern.hpp"

namespace tessel_test {
namespace {

namespace fs = std::filesystem;

const std::string kModel = "3kfo-fill_model.pdb";
const std::string kCurve = "nup133_23922_merge.dat";
const std::string kBase = "3kfo-fill_model00";

std::vector<double> numbers_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double x = 0; in >> x;) v.push_back(x);
  return v;
}

// The index of the first line at or after `from` that equals `text`, or of the first labelled
// line with that label (a blank, the label, a blank, dots, " : "); lines.size() when none.
std::size_t find_line(const std::vector<std::string>& lines, const std::string& text, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l == text) return i;
    const std::string head = " " + text + " ";
    if (l.rfind(head, 0) == 0 && l.find(" : ", head.size() - 1) != std::string::npos &&
        l.find_first_not_of('.', head.size()) == l.find(" : ", head.size() - 1))
      return i;
  }
  return lines.size();
}

std::string value_of(const std::string& labelled_line) {
  const auto colon = labelled_line.find(" : ");
  return colon == std::string::npos ? std::string() : labelled_line.substr(colon + 3);
}

// The labelled value of the first line with that label.
std::string value_in(const std::vector<std::string>& lines, const std::string& label) {
  const std::size_t i = find_line(lines, label);
  return i < lines.size() ? value_of(lines[i]) : std::string("(missing)");
}

// The measured points of the curve file: every line of three numbers.
struct Measured {
  std::vector<double> s, i, sigma;
};
Measured measured_curve() {
  Measured m;
  for (const std::string& line : read_lines(fs::path(TESSEL_TEST_DATA) / kCurve)) {
    const std::vector<double> v = numbers_of(line);
    if (v.size() != 3) continue;
    m.s.push_back(v[0]);
    m.i.push_back(v[1]);
    m.sigma.push_back(v[2]);
  }
  return m;
}

// The header of a .fit file: "3kfo-fil  Dro:0.030  Ra:1.700  RGT:19.56  Vol: 34458.  Chi^2: 1.193".
struct FitHeader {
  double contrast = 0, radius = 0, rg = 0, volume = 0, chi2 = 0;
};
FitHeader parse_fit_header(const std::string& line) {
  FitHeader h;
  EXPECT_TRUE(matches(line, "3kfo-fil  Dro:#.###  Ra:#.###  RGT:##.##  Vol:*******  Chi^2:*#.###")) << line;
  if (line.size() != 67) return h;
  h.contrast = std::stod(line.substr(14, 5));
  h.radius = std::stod(line.substr(24, 5));
  h.rg = std::stod(line.substr(35, 5));
  h.volume = std::stod(line.substr(46, 7));
  h.chi2 = std::stod(line.substr(61, 6));
  return h;
}

// The fields of the fit result line of the log, format
// ( 2F6.3,'  ',2F5.2,2F8.0,F6.3,'|',F5.3,F6.3,F8.0,F7.3,F6.3).
struct ResultLine {
  double contrast_low, contrast_high, radius_low, radius_high, volume_low, volume_high, s_max;
  double contrast, radius, volume, chi2, hydration;
};
ResultLine parse_result_line(const std::string& line) {
  EXPECT_TRUE(matches(line, "*#.###*#.###  *#.##*#.##*******.*******.*#.###|#.###*#.###*******.**#.###*#.###"))
      << line;
  ResultLine r{};
  if (line.size() != 79) return r;
  auto at = [&](std::size_t pos, std::size_t width) { return std::stod(line.substr(pos, width)); };
  r.contrast_low = at(0, 6);
  r.contrast_high = at(6, 6);
  r.radius_low = at(14, 5);
  r.radius_high = at(19, 5);
  r.volume_low = at(24, 8);
  r.volume_high = at(32, 8);
  r.s_max = at(40, 6);
  r.contrast = at(47, 5);
  r.radius = at(52, 6);
  r.volume = at(58, 8);
  r.chi2 = at(66, 7);
  r.hydration = at(73, 6);
  return r;
}

const std::string kSearchHeading1 = " -------  Search limits ---------------   ---  Fitting parameters -------";
const std::string kSearchHeading2 =
    "  DroMin/Max   Ra(Mn/Mx)  ExVol(Min/max) Semax| Dro   Ra     Vol    Chi^2 Hydra";

// A directory with the model and the curve.
struct FitDir {
  TempDir dir;
  FitDir() {
    dir.copy_data(kModel);
    dir.copy_data(kCurve);
  }
  fs::path file(const std::string& extension) const { return dir.path() / (kBase + extension); }
  RunResult run(std::vector<std::string> options = {}) const {
    std::vector<std::string> args = {kModel, kCurve};
    args.insert(args.end(), options.begin(), options.end());
    return run_tessel(dir.path(), args);
  }
};

TEST(BatchFit, FitFileLogSummaryAndConsole) {
  const FitDir d;
  const RunResult r = d.run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  // Fitting without keep: the log and the fit file only.
  EXPECT_NE(r.out.find(" " + kBase + ".fit -- fit to experimental data (ASCII)\n"), std::string::npos);
  EXPECT_EQ(r.out.find(kBase + ".int --"), std::string::npos);
  EXPECT_TRUE(fs::exists(d.file(".log")));
  EXPECT_TRUE(fs::exists(d.file(".fit")));
  for (const char* extension : {".int", ".alm", ".flm", ".sav"})
    EXPECT_FALSE(fs::exists(d.file(extension))) << extension;

  const Measured m = measured_curve();
  ASSERT_EQ(m.s.size(), 456u);
  const std::vector<std::string> fit = read_lines(d.file(".fit"));
  // Header, model rows from s = 0 up to the first measured s, then one row per measured point.
  // The measured step 0.023413 − 0.022805 is below 0.002, so the step is 0.002 and there are
  // ⌊0.022805/0.002⌋ + 1 = 12 model rows at 0, 0.002, ..., 0.022.
  ASSERT_EQ(fit.size(), 1u + 12u + 456u);
  const FitHeader h = parse_fit_header(fit[0]);
  double previous = INFINITY;
  for (std::size_t k = 0; k < 12; ++k) {
    SCOPED_TRACE("model row " + std::to_string(k) + ": " + fit[1 + k]);
    const std::string& row = fit[1 + k];
    ASSERT_EQ(row.size(), 56u);
    EXPECT_TRUE(matches(row.substr(0, 42), "  0.######E*##  0.000000E+00  0.000000E+00"));
    const std::vector<double> v = numbers_of(row);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(v[0], 0.002 * static_cast<double>(k), 1e-12);
    // The Guinier region: the model falls from s = 0 on.
    EXPECT_GT(v[3], 0.0);
    EXPECT_LT(v[3], previous);
    previous = v[3];
  }
  double chi2 = 0.0;
  for (std::size_t j = 0; j < 456; ++j) {
    SCOPED_TRACE("measured row " + std::to_string(j) + ": " + fit[13 + j]);
    const std::string& row = fit[13 + j];
    ASSERT_EQ(row.size(), 56u);
    const std::vector<double> v = numbers_of(row);
    ASSERT_EQ(v.size(), 4u);
    // s, I and σ as in the file (E14.6 keeps 6 significant digits), then the fitted curve.
    EXPECT_NEAR(v[0], m.s[j], 5e-7 * m.s[j]);
    EXPECT_NEAR(v[1], m.i[j], 5e-7 * m.i[j]);
    EXPECT_NEAR(v[2], m.sigma[j], 5e-7 * m.sigma[j]);
    chi2 += std::pow((v[1] - v[3]) / v[2], 2);
  }
  // The model rows join the fitted curve: 0.022 and 0.022805 lie 0.8 % of the Guinier decay apart.
  EXPECT_NEAR(previous, numbers_of(fit[13])[3], 0.01 * previous);
  // The fit runs to the last measured point (the last regridded s), so the χ² of the header is
  // the mean squared weighted residual of all 456 rows; the row texts and F6.3 round it.
  EXPECT_NEAR(h.chi2, chi2 / 456, 2e-3);

  const std::vector<std::string> log = read_lines(d.file(".log"));
  // " Displaced volume:" and G10.4 in the structural report.
  double displaced_volume = 0.0;
  for (const std::string& line : log)
    if (line.rfind(" Displaced volume:", 0) == 0) displaced_volume = std::stod(line.substr(18, 10));
  ASSERT_GT(displaced_volume, 0.0);
  // The sections of the experimental curve and the fit, in this order.
  std::size_t at = find_line(log, " ------  Experimental Curve and fitting -----------");
  ASSERT_LT(at, log.size());
  EXPECT_EQ(log[at - 1], "");
  EXPECT_EQ(log[at + 1], "");
  EXPECT_EQ(find_line(log, "Constant subtraction"), log.size());
  struct Labelled {
    std::string label, value;
  };
  const Labelled in_order[] = {
      {"Data file name", kCurve},
      {" Maximum angle in the data file", "0.2995"},     // the last s as read
      {" Number of experimental points", "456"},
      {" Angular units multiplied by", "1.000"},         // last s below 1: 1/Å
      {" Number of points after regridding", "201"},     // max(201, ⌊456/10⌋)
      {"Solvent density", "0.3340"},                     // the default 0.334 e/Å³
  };
  for (const Labelled& l : in_order) {
    SCOPED_TRACE(l.label);
    const std::size_t i = find_line(log, l.label, at);
    ASSERT_LT(i, log.size());
    EXPECT_EQ(value_of(log[i]), l.value);
    at = i;
  }
  // Nothing of the curve lies beyond s_max = 0.5, so nothing is cut.
  EXPECT_EQ(find_line(log, " Number of experimental points used"), log.size());
  ASSERT_LT(at + 3, log.size());
  EXPECT_EQ(log[at + 1], kSearchHeading1);
  EXPECT_EQ(log[at + 2], kSearchHeading2);
  const ResultLine result = parse_result_line(log[at + 3]);
  EXPECT_EQ(log[at + 3].substr(0, 24), " 0.000 0.075   1.40 1.80");
  // Volume limits 0.925 and 1.075 times the displaced volume (given to four digits in the log).
  EXPECT_NEAR(result.volume_low / result.volume_high, 0.925 / 1.075, 1e-4);
  EXPECT_NEAR(result.volume_low, 0.925 * displaced_volume, 0.925 * 5.0);
  EXPECT_EQ(log[at + 3].substr(40, 7), " 0.299|");  // the last regridded s, 0.299473
  // The best values within their ranges and as in the fit header.
  EXPECT_EQ(result.contrast, h.contrast);
  EXPECT_NEAR(result.radius, h.radius, 1e-12);
  EXPECT_NEAR(result.volume, h.volume, 0.5);
  EXPECT_NEAR(result.chi2, h.chi2, 1e-12);
  EXPECT_GE(h.contrast, 0.0);
  EXPECT_LE(h.contrast, 0.075);
  EXPECT_GE(h.radius, 1.4);
  EXPECT_LE(h.radius, 1.8);
  EXPECT_GE(h.volume, result.volume_low);
  EXPECT_LE(h.volume, result.volume_high);
  // No constant subtraction: no background line.
  EXPECT_EQ(log[at + 4], "");
  EXPECT_EQ(count_of(read_file(d.file(".log")), "RelBCK"), 0);

  // The closing sections: radii of gyration, output files, the termination line.
  EXPECT_EQ(log[at + 5], " --------  Radii of gyration  [angstroms] ----------");
  EXPECT_EQ(log[at + 6], "");
  EXPECT_EQ(find_line(log, "Rg ( Atoms - Excluded volume + Shell )", at), at + 7);
  EXPECT_EQ(find_line(log, "Rg from the slope of net intensity", at), at + 8);
  EXPECT_EQ(find_line(log, "Average electron density", at), at + 9);
  EXPECT_EQ(std::stod(value_of(log[at + 8])), h.rg);
  ASSERT_EQ(log.size(), at + 16);
  EXPECT_EQ(log[at + 10], "");
  EXPECT_EQ(log[at + 11], " ----------------  Output files  ------------------");
  EXPECT_EQ(log[at + 12], "");
  EXPECT_EQ(log[at + 13], " Data fit       saved to file " + kBase + ".fit");
  EXPECT_EQ(log[at + 14], "");
  EXPECT_TRUE(matches(log[at + 15].substr(0, 64),
                      "  T E S S E L    Version 2.8.3  -- 04/10/12 ----  terminated at "));
  EXPECT_TRUE(is_time_stamp(log[at + 15].substr(64, 24)));

  // Console: the title line (the header without RGT), the radii and the saved file.
  const std::vector<std::string> out = split_lines(r.out);
  EXPECT_NE(std::find(out.begin(), out.end(), fit[0].substr(0, 29) + fit[0].substr(40)), out.end());
  EXPECT_EQ(value_in(out, "Rg from the slope of net intensity"), value_of(log[at + 8]));
  EXPECT_EQ(value_in(out, "Average electron density"), value_of(log[at + 9]));
  EXPECT_EQ(find_line(out, "Rg ( Atoms - Excluded volume + Shell )"), out.size());  // log only
  EXPECT_NE(std::find(out.begin(), out.end(), "Data fit       saved to file " + kBase + ".fit"), out.end());

  // Summary: the data file line from the set-up, then the job's line with the slope Rg and χ².
  const std::vector<std::string> summary = read_lines(d.dir.path() / "tessel_summary.txt");
  ASSERT_GE(summary.size(), 2u);
  EXPECT_EQ(value_of(summary[summary.size() - 2]), kCurve);
  const std::string& line = summary.back();
  ASSERT_TRUE(matches(line, " Model: 3kfo-fill_model.pdb   Rg:  ##.##  Run: 00  Chi^2:*****.##")) << line;
  EXPECT_EQ(std::stod(line.substr(33, 7)), h.rg);
  EXPECT_NEAR(std::stod(line.substr(57, 8)), h.chi2, 0.0051);
}

TEST(BatchFit, KeepAddsIntensityAndAmplitudesOfTheFittedModel) {
  const FitDir d;
  const RunResult r = d.run({"-kp"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* extension : {".log", ".fit", ".int", ".alm", ".flm"})
    EXPECT_TRUE(fs::exists(d.file(extension))) << extension;
  EXPECT_NE(r.out.find(" " + kBase + ".int -- scattering intensities   (ASCII)\n"), std::string::npos);
  EXPECT_NE(r.out.find(" " + kBase + ".alm -- net partial amplitudes   (binary)\n"), std::string::npos);

  const std::vector<std::string> fit = read_lines(d.file(".fit"));
  const std::vector<std::string> intensity = read_lines(d.file(".int"));
  ASSERT_EQ(intensity.size(), 1u + 51u);
  const FitHeader h = parse_fit_header(fit[0]);
  // The intensity file describes the fitted model: " Dif/Atom/Shape/Bord ", 12 characters of the
  // name, " Dro:" F7.3, " Ra:" F7.4, " Rg:" F6.2, " Vtot:" F8.0.
  ASSERT_EQ(intensity[0].size(), 90u);  // and 10 blanks
  EXPECT_EQ(intensity[0].substr(0, 33), " Dif/Atom/Shape/Bord 3kfo-fill_mo");
  EXPECT_EQ(std::stod(intensity[0].substr(38, 7)), h.contrast);
  EXPECT_NEAR(std::stod(intensity[0].substr(49, 7)), h.radius, 5e-4);
  EXPECT_EQ(std::stod(intensity[0].substr(60, 6)), h.rg);
  // Without a background the model rows of the fit file are the intensity scaled by one factor:
  // at s = 0 and at s = 0.02 (a point of both grids) the ratios agree to the printed digits.
  const double scale_at_0 = numbers_of(fit[1])[3] / numbers_of(intensity[1])[1];
  ASSERT_NEAR(numbers_of(intensity[3])[0], 0.02, 1e-12);
  ASSERT_NEAR(numbers_of(fit[11])[0], 0.02, 1e-12);
  EXPECT_NEAR(numbers_of(fit[11])[3] / numbers_of(intensity[3])[1], scale_at_0, 2e-5 * scale_at_0);

  // The log announces the coefficients before the fit file, then the intensities and amplitudes.
  const std::vector<std::string> log = read_lines(d.file(".log"));
  const std::size_t heading = find_line(log, " ----------------  Output files  ------------------");
  ASSERT_LT(heading + 5, log.size());
  EXPECT_EQ(log[heading + 2], " Coefficients   saved to file " + kBase + ".flm");
  const std::size_t fit_line = find_line(log, " Data fit       saved to file " + kBase + ".fit");
  ASSERT_LT(fit_line, log.size());
  EXPECT_EQ(log[fit_line + 1], " Intensities    saved to file " + kBase + ".int");
  EXPECT_EQ(log[fit_line + 2], " Net amplitudes saved to file " + kBase + ".alm");
}

TEST(BatchFit, WithoutErrorColumnRowsHaveThreeFields) {
  const FitDir d;
  const RunResult r = d.run({"-err=N"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Measured m = measured_curve();
  const std::vector<std::string> fit = read_lines(d.file(".fit"));
  ASSERT_EQ(fit.size(), 1u + 12u + 456u);
  for (std::size_t k = 1; k < fit.size(); ++k) {
    SCOPED_TRACE(fit[k]);
    ASSERT_EQ(fit[k].size(), 42u);
    const std::vector<double> v = numbers_of(fit[k]);
    ASSERT_EQ(v.size(), 3u);
    if (k <= 12) {
      EXPECT_NEAR(v[0], 0.002 * static_cast<double>(k - 1), 1e-12);
      EXPECT_EQ(v[1], 0.0);
    } else {
      EXPECT_NEAR(v[0], m.s[k - 13], 5e-7 * m.s[k - 13]);
      EXPECT_NEAR(v[1], m.i[k - 13], 5e-7 * m.i[k - 13]);
    }
    EXPECT_GT(v[2], 0.0);
  }
}

TEST(BatchFit, DefaultParametersAreASingleEvaluation) {
  const FitDir d;
  const RunResult r = d.run({"-def"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count_of(r.out, " ------  Fitting the experimental data ...    ---"), 1);
  const std::vector<std::string> log = read_lines(d.file(".log"));
  const std::size_t heading = find_line(log, kSearchHeading2);
  ASSERT_LT(heading + 1, log.size());
  const ResultLine line = parse_result_line(log[heading + 1]);
  // Every range is the single value V_d, r0 (1.620, the log's "Average atomic rad.") and 0.03.
  EXPECT_EQ(log[heading + 1].substr(0, 24), " 0.030 0.030   1.62 1.62");
  EXPECT_EQ(line.volume_low, line.volume_high);
  EXPECT_EQ(line.volume, line.volume_low);
  EXPECT_NEAR(line.volume, 32360.0, 5.0);  // the log's "Displaced volume" 0.3236E+05
  EXPECT_EQ(line.contrast, 0.03);
  EXPECT_EQ(line.radius, 1.62);
  const FitHeader h = parse_fit_header(read_lines(d.file(".fit"))[0]);
  EXPECT_EQ(h.contrast, 0.03);
  EXPECT_EQ(h.radius, 1.62);
  EXPECT_EQ(h.chi2, line.chi2);
}

TEST(BatchFit, ConstantSubtractionFitsABackground) {
  const FitDir d;
  const RunResult r = d.run({"-cst"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> log = read_lines(d.file(".log"));
  const std::size_t heading = find_line(log, " ------  Experimental Curve and fitting -----------");
  ASSERT_LT(heading + 2, log.size());
  EXPECT_EQ(value_of(log[heading + 2]), "Y");
  EXPECT_EQ(find_line(log, "Constant subtraction"), heading + 2);
  // The outer average: the mean of the last max(5, nint(20.1)) = 20 of 201 regridded points,
  // which lie between s = 0.2735 and 0.2995; it lies within the measured intensities there.
  const double average = std::stod(value_in(log, "Average intensity in the outer part"));
  const Measured m = measured_curve();
  double low = INFINITY, high = 0.0;
  for (std::size_t j = 0; j < m.s.size(); ++j) {
    if (m.s[j] < 0.27) continue;
    low = std::min(low, m.i[j]);
    high = std::max(high, m.i[j]);
  }
  EXPECT_GT(average, low);
  EXPECT_LT(average, high);

  const std::size_t result = find_line(log, kSearchHeading2) + 1;
  ASSERT_LT(result + 1, log.size());
  parse_result_line(log[result]);
  const std::string& background = log[result + 1];
  // '  -- RelBCK limits:', 2F6.3, '; BCK0 (rel/abs) : ', F6.3, ' /', E11.3
  ASSERT_TRUE(matches(background, "  -- RelBCK limits:-0.500 0.500; BCK0 (rel/abs) : *#.### /**0.###E*##"))
      << background;
  const double relative = std::stod(background.substr(50, 6));
  const double absolute = std::stod(background.substr(58));
  EXPECT_GE(relative, -0.5);
  EXPECT_LE(relative, 0.5);
  // BCK0 absolute = relative × the outer average, each printed to 3 or 4 digits.
  EXPECT_NEAR(absolute, relative * average, 5e-4 * std::fabs(average) + 5e-4 * std::fabs(absolute));
}

TEST(BatchFit, FitFileThatCannotBeWrittenIsReportedAndTheRunGoesOn) {
  const FitDir d;
  fs::create_directory(d.file(".fit"));  // a directory where the fit file would go
  const RunResult r = d.run();
  EXPECT_EQ(r.status, 1) << r.err;  // the run goes on; the missing file fails it
  const std::string warning = " Warning: error saving data to the file " + kBase + ".fit\n";
  EXPECT_EQ(count_of(r.out, warning), 1);
  EXPECT_EQ(count_of(read_file(d.file(".log")), warning), 1);
  EXPECT_EQ(count_of(read_file(d.file(".log")), "saved to file"), 0);
  EXPECT_EQ(read_lines(d.dir.path() / "tessel_summary.txt").back().substr(0, 27), " Model: 3kfo-fill_model.pdb");
}

TEST(BatchFit, SeveralDataFilesAreFittedFromTheSaveFile) {
  const FitDir d;
  fs::copy_file(d.dir.path() / kCurve, d.dir.path() / "again.dat");
  const RunResult direct = d.run();
  ASSERT_EQ(direct.status, 0) << direct.err;
  const std::vector<std::string> expected = read_lines(d.file(".fit"));

  // The job (run 01) keeps its save file for the two re-runs (runs 02 and 03), each of which
  // fits one data file on the saved amplitudes; the save file holds the amplitudes in full
  // precision, so both fits are the direct fit's.
  const RunResult r = run_tessel(d.dir.path(), {kModel, kCurve, "again.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* run : {"3kfo-fill_model02.fit", "3kfo-fill_model03.fit"}) {
    SCOPED_TRACE(run);
    EXPECT_EQ(read_lines(d.dir.path() / run), expected);
  }
  for (const char* extension : {".sav", ".alm", ".flm", ".int"})
    EXPECT_FALSE(fs::exists(d.dir.path() / (std::string("3kfo-fill_model01") + extension))) << extension;
  const std::string summary = read_file(d.dir.path() / "tessel_summary.txt");
  EXPECT_EQ(count_of(summary, "  Run: 02  Chi^2:"), 1);
  EXPECT_EQ(count_of(summary, "  Run: 03  Chi^2:"), 1);
}

TEST(BatchFit, UnusableDataFilesEndTheRun) {
  struct Case {
    std::string name, content, args_extra, message;
  };
  const Case cases[] = {
      {"empty.dat", "", "", " Error reading SAXS data file\n"},
      {"words.dat", "no curve\nin this file\n", "", " Error reading SAXS data file\n"},
      {"one.dat", " 0.1 2.0 0.1\n", "", " Error reading SAXS data file\n"},  // fewer than 2 points
      // Every point beyond the model's largest s (0.5 by default).
      {"beyond.dat", " 0.6 2.0 0.1\n 0.7 1.5 0.1\n 0.9 1.0 0.1\n", "",
       " Error -- Increase maximum scattering vector \n"},
      // The measured curve starts at 0.0228, beyond a model that ends at 0.02.
      {kCurve, "", "-sm=0.02", " Error -- Increase maximum scattering vector \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " " + c.args_extra);
    TempDir dir;
    dir.copy_data(kModel);
    if (c.name == kCurve) {
      dir.copy_data(kCurve);
    } else {
      std::ofstream(dir.path() / c.name) << c.content;
    }
    std::vector<std::string> args = {kModel, c.name};
    if (!c.args_extra.empty()) args.push_back(c.args_extra);
    const RunResult r = run_tessel(dir.path(), args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.message);
    EXPECT_FALSE(fs::exists(dir.path() / (kBase + ".fit")));
  }
}

// The interactive answers up to the fit: option 0, the model, Enter for the grids, no explicit
// hydrogens, fit: yes.
const std::string kUpToFit = "0\n3kfo-fill_model\n\n\n\n\n\n\n";

TEST(InteractiveFit, FullDialogue) {
  const FitDir d;
  const std::string answers =
      kUpToFit +
      // A data file that does not exist, then the curve (extension added); no constant; units
      // 1 (the default); solvent density 0.335.
      "missing\n\nnup133_23922_merge\n\n\n0.335\n"
      // Plot: yes. Another set: yes. Minimize again: yes, with Ra 1.5..1.7, Smax 0.25, δρ
      // 0.01..0.05, volume 31000..34000, no constant.
      "Y\nY\nY\n1.5\n1.7\n0.25\n0.01\n0.05\n31000\n34000\nN\n"
      // Plot: no. Another set: yes. Minimize again: no: δρ 0.04, Ra 1.6, volume 33000.
      "N\nY\nN\n0.04\n1.6\n33000\n"
      // Plot: no. Another set: no.
      "N\nN\n";
  const RunResult r = run_tessel(d.dir.path(), {}, answers);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, " Error reading SAXS data file\n");
  EXPECT_EQ(count_of(r.out, " Enter data file "), 2);
  EXPECT_EQ(count_of(r.out, " Subtract constant [ Y / N ] "), 3);
  EXPECT_EQ(count_of(r.out, " Plot the fit [ Y / N ] "), 3);
  EXPECT_EQ(count_of(r.out, " Another set of parameters [ Y / N ] "), 3);
  EXPECT_EQ(count_of(r.out, " Minimize again with new limits [ Y / N ] "), 2);
  // The viewer beside the program drew the two temporary files once; they are gone.
  EXPECT_EQ(count_of(r.out, "  x  tmpfit1.dat  (456 points)\n"), 1);
  EXPECT_EQ(count_of(r.out, "  *  tmpfit2.dat  (51 points)\n"), 1);
  EXPECT_FALSE(fs::exists(d.dir.path() / "tmpfit1.dat"));
  EXPECT_FALSE(fs::exists(d.dir.path() / "tmpfit2.dat"));

  const std::vector<std::string> log = read_lines(d.file(".log"));
  EXPECT_EQ(value_in(log, "Solvent density"), "0.3350");
  const std::size_t first = find_line(log, kSearchHeading2) + 1;
  ASSERT_LT(first + 2, log.size());
  // The default search, the search within the new limits (s_max_fit 0.25 kept, as it lies
  // inside the data) and the parameters by hand.
  EXPECT_EQ(log[first].substr(0, 47), " 0.000 0.075   1.40 1.80" + log[first].substr(24, 16) + " 0.299|");
  EXPECT_EQ(log[first + 1].substr(0, 47), " 0.010 0.050   1.50 1.70  31000.  34000. 0.250|");
  const ResultLine second = parse_result_line(log[first + 1]);
  EXPECT_GE(second.contrast, 0.01);
  EXPECT_LE(second.contrast, 0.05);
  EXPECT_GE(second.volume, 31000.0);
  EXPECT_LE(second.volume, 34000.0);
  EXPECT_EQ(log[first + 2].substr(0, 66),
            " 0.010 0.050   1.50 1.70  31000.  34000. 0.250|0.040 1.600  33000.");
  EXPECT_EQ(log[first + 3], "");
  EXPECT_EQ(count_of(read_file(d.file(".log")), kSearchHeading1), 1);

  // The results are those of the parameters given by hand.
  const FitHeader h = parse_fit_header(read_lines(d.file(".fit"))[0]);
  EXPECT_EQ(h.contrast, 0.04);
  EXPECT_EQ(h.radius, 1.6);
  EXPECT_EQ(h.volume, 33000.0);
  EXPECT_EQ(h.chi2, parse_result_line(log[first + 2]).chi2);
  // Interactive runs keep their files and write no summary.
  for (const char* extension : {".int", ".alm", ".flm"})
    EXPECT_TRUE(fs::exists(d.file(extension))) << extension;
  EXPECT_EQ(read_lines(d.file(".int"))[0].substr(33, 23), " Dro:  0.040 Ra: 1.6000");
  EXPECT_FALSE(fs::exists(d.dir.path() / "tessel_summary.txt"));
}

TEST(InteractiveFit, PlotDeclinedCreatesNoFiles) {
  const FitDir d;
  // The curve, no constant, units and density by Enter; plot: no; another set: no.
  const RunResult r = run_tessel(d.dir.path(), {}, kUpToFit + "nup133_23922_merge.dat\n\n\n\nN\nN\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count_of(r.out, " Plot the fit [ Y / N ] "), 1);
  EXPECT_EQ(r.out.find("tmpfit"), std::string::npos);
  for (const auto& entry : fs::directory_iterator(d.dir.path()))
    EXPECT_EQ(entry.path().filename().string().rfind("tmpfit", 0), std::string::npos) << entry.path();
  EXPECT_TRUE(fs::exists(d.file(".fit")));
}

TEST(InteractiveFit, DecliningTheFitPredicts) {
  const FitDir d;
  // Fit: no; then the four solvent parameters of the prediction by Enter.
  const RunResult r = run_tessel(d.dir.path(), {}, "0\n3kfo-fill_model\n\n\n\n\n\nN\n\n\n\n\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find(" Enter data file "), std::string::npos);
  EXPECT_NE(r.out.find(" -- No data fitting, parameters entered manually --"), std::string::npos);
  EXPECT_FALSE(fs::exists(d.file(".fit")));
  EXPECT_TRUE(fs::exists(d.file(".int")));
}

}  // namespace
}  // namespace tessel_test
