// Reading measured curve files through the curve document: the real merged curve, the layouts
// users have, number parsing, failures as statuses and oversized or junk input.
#include "io/curvedoc/curve_document.hpp"
#include "io/curvedoc/plover_document.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tessel {
namespace {

namespace fs = std::filesystem;

const std::string kRealCurve = std::string(TESSEL_TEST_DATA) + "/nup133_23922_merge.dat";

// A scratch file that is removed with the test.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& content, const std::string& name = "curve.dat") {
    dir_ = fs::temp_directory_path() / ("tessel_curvedoc_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    path_ = dir_ / name;
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

struct Expected {
  double x, y, e;
};

void expect_points(const CurvePoints& got, const std::vector<Expected>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_DOUBLE_EQ(got[k].x, want[k].x);
    EXPECT_DOUBLE_EQ(got[k].y, want[k].y);
    EXPECT_DOUBLE_EQ(got[k].y_err, want[k].e);
  }
}

TEST(CurveDocument, ReadsTheRealMergedCurve) {
  // Five text lines (with blank lines) before the data, a blank line after every data row,
  // four "----Y:\...dat----" lines after them: one curve of 456 points, q 0.0228-0.2995 1/Å.
  PloverDocument* document = plover_document_create();
  ASSERT_EQ(plover_document_read(document, kRealCurve.c_str(), ""), kPloverOk);
  PloverCurve* curve = plover_document_curve(document);
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(plover_curve_next(curve), nullptr);
  EXPECT_EQ(plover_curve_data_count(curve), 456);

  int walked = 0;
  double previous_x = 0.0;
  double first[3] = {};
  double last[3] = {};
  for (PloverData* p = plover_curve_data(curve); p != nullptr; p = plover_data_next(p)) {
    if (walked == 0) {
      first[0] = plover_data_x(p), first[1] = plover_data_y(p), first[2] = plover_data_y_err(p);
    }
    last[0] = plover_data_x(p), last[1] = plover_data_y(p), last[2] = plover_data_y_err(p);
    EXPECT_GT(plover_data_x(p), previous_x);
    EXPECT_GT(plover_data_y_err(p), 0.0);
    previous_x = plover_data_x(p);
    ++walked;
  }
  EXPECT_EQ(walked, 456);
  // First and last data lines of the file.
  EXPECT_DOUBLE_EQ(first[0], 0.228050E-01);
  EXPECT_DOUBLE_EQ(first[1], 0.378596E+01);
  EXPECT_DOUBLE_EQ(first[2], 0.584820E-01);
  EXPECT_DOUBLE_EQ(last[0], 0.299473E+00);
  EXPECT_DOUBLE_EQ(last[1], 0.349583E-01);
  EXPECT_DOUBLE_EQ(last[2], 0.234024E-02);
  plover_document_free(document);
}

TEST(CurveDocument, AcceptsTheLayoutsUsersHave) {
  struct Row {
    const char* name;
    std::string text;
    std::vector<Expected> points;  // of the first curve
    std::size_t curves;
  };
  const std::vector<Row> rows = {
      {"two columns: errors 0", "q I\n0.01 100\n0.02 90\n", {{0.01, 100, 0}, {0.02, 90, 0}}, 1},
      {"commas", "0.01,100,1.5\n0.02, 90 ,1\n", {{0.01, 100, 1.5}, {0.02, 90, 1}}, 1},
      {"semicolons and tabs", "0.01;\t100;1\n0.02\t;90;\t1\n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"CRLF line ends", "Sample\r\n0.01 100 1\r\n0.02 90 1\r\n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"CR line ends", "Sample\r0.01 100 1\r0.02 90 1\r", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"no line end at the end", "0.01 100 1\n0.02 90 1", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"trailing blanks", "0.01 100 1   \n0.02 90 1\t \n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"D and E exponents, no leading digit", "0.1D-01 .10E+03 1.0d0\n2E-2 9e1 1\n",
       {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"signs", "+0.01 +100 +1\n0.02 -90 1\n", {{0.01, 100, 1}, {0.02, -90, 1}}, 1},
      {"extra columns ignored", "0.01 100 1 7 8\n0.02 90 1 7 8\n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"blank lines inside the data", "0.01 100 1\n\n\n  \t\n0.02 90 1\n\n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"header block of key: value lines and titles",
       "# Sample: lysozyme 5 mg/ml\nConcentration: 5.0\nExposure time [s]: 1\nq(A-1)  I(q)  sigma\n"
       "0.01 100 1\n0.02 90 1\n",
       {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"#-commented metadata block after the data",
       "0.01 100 1\n0.02 90 1\n# metadata\n# q_range: 0.01 0.02\n# 0.5 0.6 0.7\n",
       {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"lone number pair in the header is not a curve",
       "wavelength distance\n1.54 2000\nq I err\n0.01 100 1\n0.02 90 1\n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"single numbers are text", "456\n0.01 100 1\n0.02 90 1\n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"byte-order mark", "\xEF\xBB\xBF" "0.01 100 1\n0.02 90 1\n", {{0.01, 100, 1}, {0.02, 90, 1}}, 1},
      {"first point of zero intensity and zero error kept for the filter", "0 0 0\n0.01 100 1\n",
       {{0, 0, 0}, {0.01, 100, 1}}, 1},
      {"runs separated by text are separate curves",
       "curve A\n0.01 100 1\n0.02 90 1\ncurve B\n0.01 50 1\n0.02 40 1\n0.03 30 1\n",
       {{0.01, 100, 1}, {0.02, 90, 1}}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<CurvePoints> curves = parse_curve_text(row.text);
    ASSERT_EQ(curves.size(), row.curves);
    expect_points(curves[0], row.points);
    // The same text read from a file through the library gives the same points.
    ScratchFile file(row.text);
    CurveDocument document = document_create();
    ASSERT_EQ(document_read(document, file.path()), 0);
    CurveColumns columns;
    ASSERT_EQ(document_curve_data(document, columns, 1), 0);
    ASSERT_EQ(columns.x.size(), row.points.size());
    for (std::size_t k = 0; k < row.points.size(); ++k) {
      EXPECT_DOUBLE_EQ(columns.x[k], row.points[k].x);
      EXPECT_DOUBLE_EQ(columns.y[k], row.points[k].y);
      EXPECT_DOUBLE_EQ(columns.y_err[k], row.points[k].e);
    }
  }
}

TEST(CurveDocument, ParsesFieldsAsNumbersOrNot) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    const char* field;
    bool ok;
    double value;
  };
  const Row rows[] = {
      {"1", true, 1.0},          {"-1.5", true, -1.5},        {"+2.", true, 2.0},
      {".5", true, 0.5},         {"1e3", true, 1000.0},       {"1E+03", true, 1000.0},
      {"1d3", true, 1000.0},     {"1D-3", true, 0.001},       {"0.228050E-01", true, 0.0228050},
      {"007", true, 7.0},        {"1e999", true, inf},        {"-1E999", true, -inf},
      {"0.0001e-999", true, 0.0}, {"123456e-330", true, 0.0}, {"-INF", true, -inf},
      {"Infinity", true, inf},   {"", false, 0},              {"+", false, 0},
      {"-", false, 0},           {".", false, 0},             {"e5", false, 0},
      {"1e", false, 0},          {"1e+", false, 0},           {"1.2.3", false, 0},
      {"0x10", false, 0},        {"1,5", false, 0},           {"12a", false, 0},
      {"--1", false, 0},         {"1e5.0", false, 0},         {"nano", false, 0},
      {"q(A-1)", false, 0},      {"1 2", false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.field);
    double value = -99.0;
    EXPECT_EQ(parse_number(row.field, value), row.ok);
    if (row.ok) {
      EXPECT_EQ(value, row.value);
    }
  }
  double value = 0.0;
  ASSERT_TRUE(parse_number("NaN", value));
  EXPECT_TRUE(std::isnan(value));
}

TEST(CurveDocument, FailuresAreStatusesNotCrashes) {
  const ScratchFile empty("");
  const ScratchFile text_only("Sample: buffer\n# nothing measured\n");
  const ScratchFile one_row("title\n0.01 100 1\nend\n");
  struct Row {
    const char* name;
    std::string path;
    const char* format;
    int status;
  };
  const Row rows[] = {
      {"missing file", "/nonexistent/dir/curve.dat", "", kPloverCannotOpen},
      {"empty name", "", "", kPloverCannotOpen},
      {"directory", fs::temp_directory_path().string(), "", kPloverCannotOpen},
      {"empty file", empty.path(), "", kPloverNoCurve},
      {"text only", text_only.path(), "", kPloverNoCurve},
      {"a single numeric row", one_row.path(), "", kPloverNoCurve},
      {"unknown format", one_row.path(), "xml", kPloverUnknownFormat},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PloverDocument* document = plover_document_create();
    EXPECT_EQ(plover_document_read(document, row.path.c_str(), row.format), row.status);
    EXPECT_EQ(plover_document_curve(document), nullptr);
    plover_document_free(document);
  }
  EXPECT_EQ(plover_document_read(nullptr, "x", ""), kPloverBadArgument);
  PloverDocument* document = plover_document_create();
  EXPECT_EQ(plover_document_read(document, nullptr, ""), kPloverBadArgument);
  plover_document_free(document);
  // Null handles are harmless.
  EXPECT_EQ(plover_document_curve(nullptr), nullptr);
  EXPECT_EQ(plover_curve_next(nullptr), nullptr);
  EXPECT_EQ(plover_curve_data_count(nullptr), 0);
  EXPECT_EQ(plover_curve_data(nullptr), nullptr);
  EXPECT_EQ(plover_data_next(nullptr), nullptr);
  EXPECT_EQ(plover_data_x(nullptr), 0.0);
  plover_document_free(nullptr);
}

TEST(CurveDocument, SurvivesLongLinesAndJunk) {
  // A 1 MB text line, a 1 MB numeric line and a 5 MB line beyond the line limit, then data.
  std::string numeric_megabyte;
  while (numeric_megabyte.size() < 1'000'000) numeric_megabyte += "1.5 ";
  const std::string text = "header\n" + std::string(1'000'000, 'x') + "\n" + std::string(5'000'000, '7') +
                           "\nq I\n0.01 100 1\n0.02 90 1\nfooter\n" + numeric_megabyte + "\n0.5 2\n";
  const std::vector<CurvePoints> curves = parse_curve_text(text);
  ASSERT_EQ(curves.size(), 2u);
  expect_points(curves[0], {{0.01, 100, 1}, {0.02, 90, 1}});
  expect_points(curves[1], {{1.5, 1.5, 1.5}, {0.5, 2, 0}});

  // Feeding the same text byte by byte gives the same result.
  CurveTextParser parser;
  const std::string small = "\xEF\xBB\xBF" "a\r\n0.01 1 1\r\n0.02 2 1\r\n";
  for (char c : small) parser.feed(std::string_view(&c, 1));
  const std::vector<CurvePoints> bytewise = parser.finish();
  ASSERT_EQ(bytewise.size(), 1u);
  expect_points(bytewise[0], {{0.01, 1, 1}, {0.02, 2, 1}});

  // Two megabytes of random bytes, NULs included: any outcome but a crash or a hang.
  std::mt19937 rng(12345);
  std::string junk(2'000'000, '\0');
  for (char& c : junk) c = static_cast<char>(rng() & 0xFF);
  const ScratchFile junk_file(junk, "junk.bin");
  PloverDocument* document = plover_document_create();
  const int status = plover_document_read(document, junk_file.path().c_str(), "");
  EXPECT_TRUE(status == kPloverOk || status == kPloverNoCurve);
  plover_document_free(document);
}

TEST(CurveDocument, EndlessInputStopsAtTheSizeLimit) {
  if (!fs::exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero";
  PloverDocument* document = plover_document_create();
  EXPECT_EQ(plover_document_read(document, "/dev/zero", ""), kPloverTooLarge);
  plover_document_free(document);
}

TEST(CurveDocument, BindingWalksCurvesByIndex) {
  const ScratchFile file("A\n0.01 100 1\n0.02 90 1\nB\n0.01 50 2\n0.02 40 2\n0.03 30 2\n");
  CurveDocument document = document_create();
  // Trailing blanks of the name are not part of it.
  ASSERT_EQ(document_read(document, file.path() + "   "), 0);
  CurveColumns columns;
  ASSERT_EQ(document_curve_data(document, columns, 2), 0);
  EXPECT_EQ(columns.x, (std::vector<double>{0.01, 0.02, 0.03}));
  EXPECT_EQ(columns.y, (std::vector<double>{50, 40, 30}));
  EXPECT_EQ(columns.y_err, (std::vector<double>{2, 2, 2}));
  for (int missing : {0, -1, 3}) {
    SCOPED_TRACE(missing);
    EXPECT_EQ(document_curve_data(document, columns, missing), kMissingCurveStatus);
    EXPECT_TRUE(columns.x.empty());
  }
  // Reading again replaces the curves; a failed read leaves none.
  EXPECT_EQ(document_read(document, kRealCurve), 0);
  ASSERT_EQ(document_curve_data(document, columns, 1), 0);
  EXPECT_EQ(columns.x.size(), 456u);
  EXPECT_EQ(document_curve_data(document, columns, 2), kMissingCurveStatus);
  EXPECT_EQ(document_read(document, "/nonexistent/x.dat"), kPloverCannotOpen);
  EXPECT_EQ(document_curve_data(document, columns, 1), kMissingCurveStatus);
  EXPECT_EQ(document_read(document, std::string("a\0b", 3)), kPloverCannotOpen);
  document_free(document);
  EXPECT_EQ(document, nullptr);
}

}  // namespace
}  // namespace tessel
