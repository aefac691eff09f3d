// Input of the measured curve: filtering unusable points with their warnings, estimated errors,
// the capacity limit, and the reading stages with their reports.
#include "io/exp_curve_input.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"

namespace tessel {
namespace {

namespace fs = std::filesystem;

const std::string kRealCurve = std::string(TESSEL_TEST_DATA) + "/nup133_23922_merge.dat";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class ScratchFile {
 public:
  explicit ScratchFile(const std::string& content) {
    dir_ = fs::temp_directory_path() / ("tessel_expcurve_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    path_ = dir_ / "curve.dat";
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~ScratchFile() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path() const { return path_.string(); }

 private:
  fs::path dir_;
  fs::path path_;
};

struct Point {
  double s, i, e;
};

struct Columns {
  std::vector<double> s, i, e;
};

Columns columns_of(const std::vector<Point>& points) {
  Columns c;
  for (const Point& p : points) {
    c.s.push_back(p.s);
    c.i.push_back(p.i);
    c.e.push_back(p.e);
  }
  return c;
}

std::string lines(std::initializer_list<std::string_view> texts) {
  std::string out;
  for (std::string_view t : texts) {
    out += ' ';
    out += t;
    out += '\n';
  }
  return out;
}

TEST(FilterIofS, SkipsUnusablePointsWithTheirWarnings) {
  struct Row {
    const char* name;
    std::vector<Point> in;
    std::vector<double> kept_s;
    std::string warnings;
  };
  const std::vector<Row> rows = {
      {"negative s", {{-0.01, 5, 1}, {0.01, 4, 1}, {0.02, 3, 1}}, {0.01, 0.02}, lines({kNegativeSWarning})},
      {"out of order", {{0.01, 5, 1}, {0.03, 4, 1}, {0.02, 3, 1}}, {0.01, 0.03}, lines({kOutOfOrderWarning})},
      {"duplicate", {{0.01, 5, 1}, {0.01, 4, 1}, {0.02, 3, 1}}, {0.01, 0.02}, lines({kDuplicateWarning})},
      {"negative error", {{0.01, 5, 1}, {0.02, 4, -1}, {0.03, 3, 1}}, {0.01, 0.03},
       lines({kNegativeErrorWarning})},
      {"some zero errors", {{0.01, 5, 1}, {0.02, 4, 0}, {0.03, 3, 1}}, {0.01, 0.03}, lines({kZeroErrorWarning})},
      {"zero intensity and zero error: dropped silently", {{0.0, 0, 0}, {0.01, 5, 1}, {0.02, 4, 1}},
       {0.01, 0.02}, ""},
      // The reference is the last s that passed the s tests, even if its point was then
      // dropped for its error; points that fail them leave it alone.
      {"reference rule",
       {{0.1, 1, 1}, {0.3, 1, 1}, {0.2, 1, 1}, {0.25, 1, 1}, {0.3, 1, 1}, {0.4, 1, -1}, {0.4, 1, 1},
        {0.35, 1, 1}, {0.5, 1, 1}},
       {0.1, 0.3, 0.5},
       lines({kOutOfOrderWarning, kOutOfOrderWarning, kDuplicateWarning, kNegativeErrorWarning,
              kDuplicateWarning, kOutOfOrderWarning})},
      // Non-finite values are skipped before any comparison and do not disturb the order checks.
      {"NaN s keeps the ordering checks",
       {{0.1, 1, 1}, {kNaN, 1, 1}, {0.05, 1, 1}, {0.2, 1, 1}}, {0.1, 0.2},
       lines({kNonFiniteWarning, kOutOfOrderWarning})},
      {"infinite s does not hide later points",
       {{0.1, 1, 1}, {kInf, 1, 1}, {0.2, 1, 1}, {0.3, 1, 1}}, {0.1, 0.2, 0.3}, lines({kNonFiniteWarning})},
      {"NaN or infinite intensity or error",
       {{0.1, kNaN, 1}, {0.2, 1, kInf}, {0.3, -kInf, 1}, {0.4, 1, kNaN}, {0.5, 1, 1}, {0.6, 1, 1}}, {0.5, 0.6},
       lines({kNonFiniteWarning, kNonFiniteWarning, kNonFiniteWarning, kNonFiniteWarning})},
      {"nothing left",
       {{-0.1, 1, 1}, {-0.2, 1, 1}}, {},
       lines({kNegativeSWarning, kNegativeSWarning, kEmptyDatasetWarning})},
      {"empty input", {}, {}, lines({kEmptyDatasetWarning})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Columns c = columns_of(row.in);
    std::ostringstream err;
    const ExpCurve out = filter_IofS(c.s, c.i, c.e, err);
    EXPECT_EQ(out.s, row.kept_s);
    EXPECT_EQ(out.intensity.size(), out.s.size());
    EXPECT_EQ(out.error.size(), out.s.size());
    EXPECT_EQ(err.str(), row.warnings);
  }
}

TEST(FilterIofS, AllZeroErrorsAreEstimated) {
  // Errors all 0: zero-error points are kept (except 0/0 points, dropped silently) and get
  // estimated errors. A NaN error does not count against "all zero": its point is skipped.
  const Columns short_curve = columns_of({{0.0, 0, 0}, {0.1, 10, 0}, {0.2, 8, kNaN}, {0.3, -6, 0}});
  std::ostringstream err;
  const ExpCurve out = filter_IofS(short_curve.s, short_curve.i, short_curve.e, err);
  EXPECT_EQ(out.s, (std::vector<double>{0.1, 0.3}));
  // Two points are too few to smooth: 3 % of |I|.
  ASSERT_EQ(out.error.size(), 2u);
  EXPECT_DOUBLE_EQ(out.error[0], 0.3);
  EXPECT_DOUBLE_EQ(out.error[1], 0.18);
  EXPECT_EQ(err.str(), lines({kNonFiniteWarning}) + " ERREST ---W- Too few points for smoothing!\n" +
                           "              Relative errors of 3 percent are assigned\n");

  // A longer smooth curve of small dynamic range with 1 % noise: errors estimated by
  // smoothing, all positive.
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 0.01);
  Columns c;
  for (int k = 1; k <= 300; ++k) {
    const double s = 0.001 * k;
    c.s.push_back(s);
    c.i.push_back(100.0 * (1.0 - s) * (1.0 + noise(rng)));
    c.e.push_back(0.0);
  }
  std::ostringstream err2;
  const ExpCurve smoothed = filter_IofS(c.s, c.i, c.e, err2);
  ASSERT_EQ(smoothed.size(), 300u);
  for (std::size_t k = 0; k < smoothed.size(); ++k) {
    EXPECT_GT(smoothed.error[k], 0.0);
    EXPECT_LT(smoothed.error[k], 0.1 * smoothed.intensity[k]);
  }
  EXPECT_EQ(err2.str(), " ERREST ----- Errors estimated by polynomial smoothing\n");
}

TEST(FilterIofS, TruncatesAtTheCapacity) {
  for (std::size_t n : {5000u, 6000u}) {
    SCOPED_TRACE(n);
    Columns c;
    for (std::size_t k = 0; k < n; ++k) {
      c.s.push_back(0.001 * static_cast<double>(k + 1));
      c.i.push_back(1.0);
      c.e.push_back(0.1);
    }
    c.s[10] = -1.0;  // one bad point early on: the 5000 kept are the first 5000 good ones
    std::ostringstream err;
    const ExpCurve out = filter_IofS(c.s, c.i, c.e, err);
    ASSERT_EQ(out.size(), n == 5000 ? 4999u : 5000u);
    if (n == 6000) {
      EXPECT_DOUBLE_EQ(out.s.back(), 0.001 * 5001);
      EXPECT_EQ(err.str(), lines({kNegativeSWarning, "Warning: truncating input data to length: 5000"}));
    } else {
      EXPECT_EQ(err.str(), lines({kNegativeSWarning}));
    }
  }
}

TEST(ReadExpCurve, ReadsTheRealCurveWithoutWarnings) {
  std::ostringstream err;
  const ReadCurveResult read = read_exp_curve(kRealCurve, err);
  EXPECT_EQ(read.status, 0);
  EXPECT_TRUE(curve_accepted(read));
  ASSERT_EQ(read.curve.size(), 456u);
  EXPECT_DOUBLE_EQ(read.curve.s.front(), 0.0228050);
  EXPECT_DOUBLE_EQ(read.curve.s.back(), 0.299473);
  EXPECT_EQ(err.str(), "");
}

TEST(ReadExpCurve, StatusesAndUglyFiles) {
  const ScratchFile no_rows("just a title\n");
  const ScratchFile single("0.01 1 1\n0.02 2 1\ntext\n0.03 3 1\n");
  const ScratchFile ugly(
      "Sample: buffer-subtracted lysozyme\r\n"
      "q [1/nm], I, sigma\r\n"
      "0.0, 0.0, 0.0\r\n"
      "0.5, 100.0, 2.0\r\n"
      "1.0, 80.0, 0.0\r\n"
      "1.5, 60.0, 1.0   \r\n"
      "2.0, 40.0, 1.0\r\n"
      "# end of data\r\n"
      "# detector: 0.5 0.5\r\n");
  std::ostringstream err;

  const ReadCurveResult missing = read_exp_curve("/nonexistent/curve.dat", err);
  EXPECT_NE(missing.status, 0);
  EXPECT_TRUE(missing.curve.empty());
  EXPECT_FALSE(curve_accepted(missing));

  const ReadCurveResult text_only = read_exp_curve(no_rows.path(), err);
  EXPECT_NE(text_only.status, 0);
  EXPECT_FALSE(curve_accepted(text_only));

  const ReadCurveResult second = read_exp_curve(single.path(), err, 2);
  EXPECT_EQ(second.status, 99);  // the lone row after the text is no curve
  EXPECT_TRUE(second.curve.empty());
  EXPECT_EQ(err.str(), "");

  const ReadCurveResult u = read_exp_curve(ugly.path(), err);
  EXPECT_EQ(u.status, 0);
  EXPECT_EQ(u.curve.s, (std::vector<double>{0.5, 1.5, 2.0}));
  EXPECT_EQ(err.str(), lines({kZeroErrorWarning}));

  // A file that yields one usable point is read, but not accepted.
  const ScratchFile one_good("0.01 1 1\n0.02 2 -1\n");
  const ReadCurveResult one = read_exp_curve(one_good.path(), err);
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.curve.size(), 1u);
  EXPECT_FALSE(curve_accepted(one));
}

TEST(ExpCurveStages, HeadingReportAndErrorFloor) {
  std::ostringstream console, log;
  const Report report{&console, nullptr, &log};
  write_curve_heading(true, report);
  EXPECT_EQ(log.str().rfind("\n ------  Experimental Curve and fitting -----------\n\n", 0), 0u);
  EXPECT_NE(log.str().find(" Constant subtraction ."), std::string::npos);
  EXPECT_EQ(log.str().substr(log.str().size() - 4), ": Y\n");
  EXPECT_EQ(console.str(), "");
  std::ostringstream log_off;
  write_curve_heading(false, Report{nullptr, nullptr, &log_off});
  EXPECT_EQ(log_off.str(), "\n ------  Experimental Curve and fitting -----------\n\n");

  ExpCurve curve;
  curve.push_back(0.01, 5, 0.0);
  curve.push_back(0.02, 4, -2.0);
  curve.push_back(1.6, 3, 0.5);
  apply_error_floor(curve);
  EXPECT_EQ(curve.error[0], 1e-20);
  EXPECT_EQ(curve.error[1], 2.0);
  EXPECT_EQ(curve.error[2], 0.5);

  std::ostringstream c2, l2;
  report_curve_read(curve, "lyz.dat", Report{&c2, nullptr, &l2});
  // Console: the two numbers; log: the file name first. The largest s is the one read.
  EXPECT_EQ(c2.str().find("Data file name"), std::string::npos);
  EXPECT_NE(c2.str().find("Maximum angle in the data file"), std::string::npos);
  EXPECT_NE(c2.str().find(": 1.600\n"), std::string::npos);
  EXPECT_NE(c2.str().find("Number of experimental points"), std::string::npos);
  EXPECT_NE(c2.str().find(": 3\n"), std::string::npos);
  EXPECT_EQ(l2.str().find(" Data file name"), 0u);
  EXPECT_NE(l2.str().find(": lyz.dat\n"), std::string::npos);
}

TEST(ExpCurveStages, UnitFactorsAndDetection) {
  // Factors from the unit table: 1/Å, 1/nm (0.1 in single precision), 2 sin(θ)/λ in 1/Å and 1/nm.
  const double factors[] = {1.0, 1.0, 0.10000000149011612, 6.283185307179586, 0.6283185307179586};
  for (int code = 0; code <= 4; ++code) {
    SCOPED_TRACE(code);
    EXPECT_EQ(unit_factor(code), factors[code]);
  }

  ExpCurve nm;  // last s above 1.0: taken as 1/nm without a unit code
  nm.push_back(0.1, 1, 1);
  nm.push_back(2.5, 1, 1);
  ExpCurve one;  // last s exactly 1.0: not above the limit
  one.push_back(0.1, 1, 1);
  one.push_back(1.0, 1, 1);
  struct Row {
    int code;
    const ExpCurve* curve;
    int detected;
  };
  const Row rows[] = {{0, &nm, 2}, {0, &one, 0}, {1, &nm, 1}, {3, &nm, 3}, {4, &one, 4}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    EXPECT_EQ(detect_units(r.code, *r.curve), r.detected);
  }
  EXPECT_EQ(choose_unit_factor(0, nm), 0.10000000149011612);
  EXPECT_EQ(choose_unit_factor(1, nm), 1.0);

  // The interactive question gets the detected factor and decides.
  double asked_with = 0.0;
  const UnitsQuestion ask = [&](double current) {
    asked_with = current;
    return 6.283185307179586;
  };
  EXPECT_EQ(choose_unit_factor(0, nm, ask), 6.283185307179586);
  EXPECT_EQ(asked_with, 0.10000000149011612);

  std::ostringstream console, log;
  convert_units(nm, 0.10000000149011612, Report{&console, nullptr, &log});
  EXPECT_EQ(nm.s[1], 2.5 * 0.10000000149011612);
  EXPECT_EQ(console.str(), log.str());
  EXPECT_NE(log.str().find(" Angular units multiplied by ."), std::string::npos);
  EXPECT_EQ(log.str().substr(log.str().size() - 9), ": 0.1000\n");
}

TEST(ExpCurveStages, CutKeepsOnePointAtOrBeyondTheModelRange) {
  struct Row {
    double s_max;
    std::size_t kept;
    bool logged;
  };
  // s = 0.1, 0.2, ..., 1.0.
  const Row rows[] = {
      {0.45, 5, true},   // 0.1..0.4 below, 0.5 the first beyond
      {0.5, 5, true},    // 0.5 is not below 0.5: it is the one kept at the limit
      {0.95, 10, false}, // nine below plus 1.0: nothing dropped
      {2.0, 10, false},
      {0.1000001, 2, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.s_max);
    ExpCurve curve;
    for (int k = 1; k <= 10; ++k) curve.push_back(0.1 * k, 1.0, 1.0);
    std::ostringstream log;
    cut_to_model_range(curve, r.s_max, Report{nullptr, nullptr, &log});
    EXPECT_EQ(curve.size(), r.kept);
    EXPECT_EQ(curve.intensity.size(), r.kept);
    EXPECT_EQ(curve.error.size(), r.kept);
    EXPECT_EQ(log.str().find(" Number of experimental points used") == 1, r.logged) << log.str();
  }
  for (double s_max : {0.1, 0.05, kNaN}) {
    SCOPED_TRACE(s_max);
    ExpCurve curve;
    for (int k = 1; k <= 10; ++k) curve.push_back(0.1 * k, 1.0, 1.0);
    try {
      cut_to_model_range(curve, s_max, Report{});
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), " Error -- Increase maximum scattering vector ");
      EXPECT_EQ(e.status(), 1);
    }
  }
}

}  // namespace
}  // namespace tessel
