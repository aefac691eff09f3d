// Tests of the fit's text: log line, background line, title, closing log sections, .fit file and
// summary line. Expected texts are worked out by hand from the formats.
#include "io/fit_results.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(FitLogLine, FollowsTheColumnLayout) {
  tessel::FitLogValues v{0.0, 0.075, 1.4, 1.8, 14800.0, 17200.0, 0.49, 0.045, 1.66, 15760.0, 1.012, 0.0};
  // 9000·1.7999999523·(0.334 + 0.045)/14000 = 0.43856
  v.hydration = tessel::hydration_ratio(9000.0, 0.334, 0.045, 14000.0);
  EXPECT_NEAR(v.hydration, 0.4385571, 1e-6);
  // 2F6.3 | 2 blanks | 2F5.2 | 2F8.0 | F6.3 | '|' | F5.3 F6.3 F8.0 F7.3 F6.3
  EXPECT_EQ(tessel::fit_result_line(v),
            " 0.000 0.075   1.40 1.80  14800.  17200. 0.490|0.045 1.660  15760.  1.012 0.439\n");
  // A volume of ten million or more does not fit F8.0.
  v.volume_high = 1.2e7;
  EXPECT_EQ(tessel::fit_result_line(v).substr(32, 8), "********");  // columns 33-40
}

TEST(FitLogLine, BackgroundLine) {
  EXPECT_EQ(tessel::background_line(-0.5, 0.5, 0.4, 1.0),
            "  -- RelBCK limits:-0.500 0.500; BCK0 (rel/abs) :  0.400 /  0.100E+01\n");
  EXPECT_EQ(tessel::background_line(-0.25, 0.3, -0.123, -2.46e-5),
            "  -- RelBCK limits:-0.250 0.300; BCK0 (rel/abs) : -0.123 / -0.246E-04\n");
}

TEST(FitTitle, NameCutOrPaddedToEight) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"lyz.pdb", "lyz.pdb   Dro:0.045  Ra:1.660  Vol: 15760.  Chi^2: 1.012"},
      {"averylongname.pdb", "averylon  Dro:0.045  Ra:1.660  Vol: 15760.  Chi^2: 1.012"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string title = tessel::fit_title(c.name, 0.045, 1.66, 15760.0, 1.012);
    ASSERT_EQ(title.size(), 90u);
    EXPECT_EQ(title, std::string(c.expected) + std::string(90 - 56, ' '));
  }
}

TEST(FinishFitLog, RadiiOfGyrationAndOutputHeading) {
  std::ostringstream console;
  std::ostringstream log;
  const tessel::Report report{&console, nullptr, &log};
  tessel::finish_fit_log(report, 15.23, 14.12, 0.435);
  const std::vector<std::string> expected_log = {
      "",
      " --------  Radii of gyration  [angstroms] ----------",
      "",
      " Rg ( Atoms - Excluded volume + Shell ) ................. : 15.23",
      " Rg from the slope of net intensity ..................... : 14.12",
      " Average electron density ............................... : 0.4350",
      "",
      " ----------------  Output files  ------------------",
      "",
  };
  EXPECT_EQ(lines_of(log.str()), expected_log);
  EXPECT_EQ(console.str(),
            " Rg from the slope of net intensity ..................... : 14.12\n"
            " Average electron density ............................... : 0.4350\n");
}

// A model of constant intensity 100 on 0..0.5: log10 = 2 everywhere, so every model row is
// c·100 + bck.
struct FitFileCase {
  std::vector<double> s_model = std::vector<double>(51);
  std::vector<double> model = std::vector<double>(51, 100.0);
  std::vector<double> s, intensity, error, fitted;
  FitFileCase() {
    for (int k = 0; k < 51; ++k) s_model[k] = 0.01 * k;
  }
  void measured(double first, double step, int n) {
    for (int j = 0; j < n; ++j) {
      s.push_back(first + step * j);
      intensity.push_back(10.0 + j);
      error.push_back(0.5);
      fitted.push_back(9.5 + j);
    }
  }
  tessel::FitFileContent content(bool with_errors) const {
    tessel::FitFileContent c;
    c.structure_name = "6lyz.pdb";
    c.contrast = 0.045;
    c.radius = 1.66;
    c.slope_rg = 14.123;
    c.volume = 15760.0;
    c.chi2 = 1.012;
    c.s_model = s_model;
    c.model = model;
    c.s = s;
    c.intensity = intensity;
    c.error = error;
    c.fitted = fitted;
    c.scale = 0.5;
    c.background = 1.0;
    c.with_errors = with_errors;
    return c;
  }
  std::vector<std::string> write(bool with_errors, std::string* console_text = nullptr) const {
    std::ostringstream out;
    std::ostringstream console;
    tessel::write_fit_file(out, content(with_errors), tessel::Report{&console, nullptr, nullptr});
    if (console_text) *console_text = console.str();
    return lines_of(out.str());
  }
};

TEST(FitFile, HeaderFields) {
  FitFileCase f;
  tessel::FitFileContent c = f.content(true);
  const std::string header = tessel::fit_file_header(c);
  EXPECT_EQ(header, "6lyz.pdb  Dro:0.045  Ra:1.660  RGT:14.12  Vol: 15760.  Chi^2: 1.012\n");
  EXPECT_EQ(header.size(), 68u);  // 67 characters and the line end
  c.structure_name = "ab";
  c.volume = 1.0e7;
  EXPECT_EQ(tessel::fit_file_header(c), "ab        Dro:0.045  Ra:1.660  RGT:14.12  Vol:*******  Chi^2: 1.012\n");
}

TEST(FitFile, ExtrapolatedAndMeasuredRows) {
  const std::string zero = "  0.000000E+00";
  const std::string model_value = "  0.510000E+02";  // 0.5·100 + 1
  struct Case {
    const char* what;
    double first, step;
    std::size_t model_rows;
    const char* last_model_s;  // s of the last model row
  };
  const Case cases[] = {
      {"first s exactly 1e-8: written as 0, no model rows", 1e-8, 0.01, 0, ""},
      {"data from s = 0: one model row at 0", 0.0, 0.01, 1, "  0.000000E+00"},
      {"first s 0.101, spacing 0.001 -> 0.002: rows at 0..0.100", 0.101, 0.001, 51, "  0.100000E+00"},
      {"first s 0.101, spacing 0.005: rows at 0..0.100", 0.101, 0.005, 21, "  0.100000E+00"},
      {"first s negative: no model rows", -0.05, 0.01, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FitFileCase f;
    f.measured(c.first, c.step, 3);
    for (const bool with_errors : {true, false}) {
      SCOPED_TRACE(with_errors);
      const std::vector<std::string> lines = f.write(with_errors);
      ASSERT_EQ(lines.size(), 1 + c.model_rows + 3);
      for (std::size_t k = 1; k <= c.model_rows; ++k) {
        const std::string& row = lines[k];
        ASSERT_EQ(row.size(), with_errors ? 56u : 42u);
        EXPECT_EQ(row.substr(14), with_errors ? zero + zero + model_value : zero + model_value);
      }
      if (c.model_rows > 0) {
        EXPECT_EQ(lines[1].substr(0, 14), zero);
        EXPECT_EQ(lines[c.model_rows].substr(0, 14), c.last_model_s);
      }
      const std::string& first_measured = lines[1 + c.model_rows];
      if (with_errors) {
        ASSERT_EQ(first_measured.size(), 56u);
        EXPECT_EQ(first_measured.substr(14), "  0.100000E+02  0.500000E+00  0.950000E+01");
      } else {
        ASSERT_EQ(first_measured.size(), 42u);
        EXPECT_EQ(first_measured.substr(14), "  0.100000E+02  0.950000E+01");
      }
    }
  }
  // The 1e-8 start: that s is written as 0.
  FitFileCase f;
  f.measured(1e-8, 0.01, 2);
  EXPECT_EQ(f.write(true)[1].substr(0, 14), zero);
  EXPECT_EQ(f.write(true)[2].substr(0, 14), "  0.100000E-01");
}

TEST(FitFile, ModelRowsAreCappedAtFiveThousand) {
  // s_1 = 20 with ds = 0.002 gives 10001 rows: capped to 5000 spaced 20/5000 = 0.004. Beyond
  // the model grid (s ≤ 0.505) the carried logarithm is 0, so the value is 0.5·1 + 1.
  FitFileCase f;
  f.measured(20.0, 0.001, 2);
  std::string console;
  const std::vector<std::string> lines = f.write(true, &console);
  ASSERT_EQ(lines.size(), 1u + 5000 + 2);
  EXPECT_EQ(lines[2].substr(0, 14), "  0.400000E-02");
  EXPECT_EQ(lines[5000].substr(0, 14), "  0.199960E+02");
  EXPECT_EQ(lines[5000].substr(42), "  0.150000E+01");
  EXPECT_EQ(lines[1].substr(42), "  0.510000E+02");
  EXPECT_EQ(lines[5001].substr(0, 14), "  0.200000E+02");
  EXPECT_EQ(console, " RESPLINE --W- Out of abscissa range.\n");
}

TEST(FitSummaryLine, SixtyFiveCharacters) {
  const std::string line = tessel::fit_summary_line("lyz.pdb", 14.123, "00", 1.012);
  EXPECT_EQ(line, " Model: lyz.pdb               Rg:  14.12  Run: 00  Chi^2:    1.01\n");
  EXPECT_EQ(line.size(), 66u);
  EXPECT_EQ(tessel::fit_summary_line("a_rather_long_structure_name.pdb", -3.5, "  ", 12345.678),
            " Model: a_rather_long_struct  Rg:  -3.50  Run:     Chi^2:12345.68\n");
}

}  // namespace
