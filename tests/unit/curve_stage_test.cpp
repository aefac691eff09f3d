// The experimental-curve stage of a fitting job: units, the cut to the model's range, the errors
// kept as read for the fit file, and the interactive questions with a file asked again.
#include "app/curve_stage.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace tessel {
namespace {

namespace fs = std::filesystem;

// A curve of 8 points in 1/nm: s = 1..8, I = 10 − s, σ = s/4 except a first σ of 1e-25,
// which the error floor |σ + 1e-20| would change.
class NanometreCurve {
 public:
  NanometreCurve() {
    dir_ = fs::temp_directory_path() / ("tessel_curve_stage_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
    path_ = dir_ / "nm.dat";
    std::ofstream out(path_);
    for (int k = 1; k <= 8; ++k) out << k << ' ' << 10 - k << ' ' << (k == 1 ? 1e-25 : 0.25 * k) << '\n';
  }
  ~NanometreCurve() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path() const { return path_.string(); }

 private:
  fs::path dir_, path_;
};

std::vector<double> model_grid() {
  std::vector<double> s(51);
  for (int i = 0; i < 51; ++i) s[static_cast<std::size_t>(i)] = i * 0.5 / 50;
  return s;
}

int count_of(const std::string& text, const std::string& piece) {
  int n = 0;
  for (auto pos = text.find(piece); pos != std::string::npos; pos = text.find(piece, pos + 1)) ++n;
  return n;
}

TEST(CurveStage, NanometreCurveIsConvertedAndCutKeepingTheErrorsAsRead) {
  const NanometreCurve file;
  const std::vector<double> grid = model_grid();
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "errors kept" : "errors not kept");
    std::ostringstream console, error, log;
    CurveRequest request;
    request.data_file = file.path();
    request.keep_read_errors = keep;
    request.model_s = grid;
    request.rg_atoms = 15.0;
    const PreparedCurve c = prepare_experimental_curve(request, nullptr, {&console, &error, &log});
    // The last s, 8, is above 1: 1/nm, factor 0.1 in single precision. s = 0.1..0.4 lie below
    // the model's 0.5, 0.5 (a hair above it in single precision) is the one point kept beyond.
    const double factor = static_cast<double>(0.1f);
    ASSERT_EQ(c.data.s_e.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(c.data.s_e[k], static_cast<double>(k + 1) * factor);
    if (keep) {
      ASSERT_EQ(c.read_errors.size(), 5u);
      EXPECT_EQ(c.read_errors[0], 1e-25);  // as read, before the floor
      for (std::size_t k = 1; k < 5; ++k) EXPECT_EQ(c.read_errors[k], 0.25 * static_cast<double>(k + 1));
    } else {
      EXPECT_TRUE(c.read_errors.empty());
    }
    EXPECT_EQ(c.data_file, file.path());
    EXPECT_EQ(c.rho0, 0.334);
    EXPECT_EQ(error.str(), "");
    EXPECT_EQ(count_of(console.str(), "  Angular units multiplied by ........................... : 0.1000\n"), 1);
    EXPECT_EQ(count_of(log.str(), "  Number of experimental points used .................... : 5\n"), 1);
    EXPECT_EQ(count_of(log.str(), " Solvent density ........................................ : 0.3340\n"), 1);
    EXPECT_EQ(count_of(log.str(), "Constant subtraction"), 0);
  }
}

TEST(CurveStage, InteractiveFileIsAskedAgainUntilItReads) {
  const NanometreCurve file;
  const std::vector<double> grid = model_grid();
  // A file that does not exist (no constant), then the curve with constant subtraction, the
  // units by Enter (offered as 2, 1/nm, for a last s above 1) and the solvent density 0.3.
  std::istringstream answers("nowhere/none\nN\n" + file.path() + "\nY\n\n0.3\n");
  std::ostringstream console, error, log;
  Dialogue dialogue(answers, console);
  CurveRequest request;
  request.model_s = grid;
  request.rg_atoms = 15.0;
  const PreparedCurve c = prepare_experimental_curve(request, &dialogue, {&console, &error, &log});
  EXPECT_EQ(error.str(), " Error reading SAXS data file\n");
  EXPECT_EQ(count_of(console.str(), " Enter data file "), 2);
  EXPECT_EQ(c.data_file, file.path());
  EXPECT_TRUE(c.subtract_constant);
  EXPECT_TRUE(c.data.subtract_constant);
  EXPECT_EQ(c.rho0, 0.3);
  ASSERT_EQ(c.data.s_e.size(), 5u);
  EXPECT_EQ(c.data.s_e[0], static_cast<double>(0.1f));
  // The log has the heading and the constant subtraction once, for the file that was read.
  EXPECT_EQ(count_of(log.str(), " ------  Experimental Curve and fitting -----------\n"), 1);
  EXPECT_EQ(count_of(log.str(), " Constant subtraction ................................... : Y\n"), 1);
  EXPECT_EQ(count_of(log.str(), " Data file name ......................................... : " + file.path() + "\n"), 1);
  EXPECT_EQ(count_of(log.str(), " Solvent density ........................................ : 0.3000\n"), 1);
}

}  // namespace
}  // namespace tessel
