// Tests of the fit stage: its console and log lines in batch mode, the fixed-parameter option,
// constant subtraction, the interactive continuation (new limits, parameters by hand), the empty
// fitting range, and the removal of the intermediate files.
#include "app/fit_stage.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit_synthetic_model.hpp"
#include "io/fit_results.hpp"

namespace {

using tessel_test::SyntheticCurves;
using tessel_test::SyntheticMeasurement;
using tessel_test::SyntheticParticle;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool has_line(const std::string& text, const std::string& wanted) {
  for (const std::string& line : lines_of(text)) {
    if (line == wanted) return true;
  }
  return false;
}

// Excluded volumes of the default grid: 0.925..1.075 V_d in 30 steps.
struct DefaultVolumes {
  double low, step;
  explicit DefaultVolumes(double vd)
      : low(static_cast<double>(0.925f) * vd),
        step((static_cast<double>(1.075f) - static_cast<double>(0.925f)) * vd / 30) {}
  double volume(int i) const { return low + i * step; }
};

const char* const kHeading1 = " -------  Search limits ---------------   ---  Fitting parameters -------";
const char* const kHeading2 = "  DroMin/Max   Ra(Mn/Mx)  ExVol(Min/max) Semax| Dro   Ra     Vol    Chi^2 Hydra";

// A particle with two dummy residues (reported volumes are 440 Å³ larger) and a measured curve
// of 200 points from 0.02 to 0.45 made at V = 15600, Ra = 1.6, δρ = 0.04.
struct Stage {
  SyntheticParticle particle;
  std::unique_ptr<SyntheticCurves> curves;
  tessel::FitInputs inputs;
  std::ostringstream console, log;
  std::istringstream answers;
  std::unique_ptr<tessel::Dialogue> dialogue;

  explicit Stage(double background = 0.0, bool subtract = false) {
    curves = std::make_unique<SyntheticCurves>(particle, tessel_test::uniform_grid(51, 0.5));
    inputs.model = curves->model;
    inputs.model.n_dummy_residues = 2;
    SyntheticMeasurement m{15600.0, 1.6, 0.04};
    m.noise = 0.0;
    m.background = background;
    inputs.data = tessel_test::synthetic_data(particle, m, tessel_test::regular_points(200, 0.02, 0.45));
    inputs.data.outer_average = 2.5;
    inputs.data.subtract_constant = subtract;
    inputs.data.a_out = subtract ? 2.5 : 0.0;
    inputs.structure_name = "6lyz.pdb";
  }
  tessel::FitResult run(const std::string& script = {}) {
    tessel::FitEnvironment env{{&console, nullptr, &log}, nullptr, {"/nonexistent/viewer", ""}, {}};
    if (!script.empty() || inputs.interactive) {
      answers.str(script);
      dialogue = std::make_unique<tessel::Dialogue>(answers, console);
      env.dialogue = dialogue.get();
    }
    return tessel::run_fit(inputs, env);
  }
};

TEST(FitStage, BatchSearchReportsOnConsoleAndLog) {
  Stage stage;
  const tessel::FitResult r = stage.run();
  EXPECT_TRUE(r.searched);
  // 0.975·16000 is a grid value, up to the single-precision factors 0.925 and 1.075.
  EXPECT_NEAR(r.parameters.volume, 15600.0, 1e-3);
  EXPECT_NEAR(r.parameters.radius, 1.6, 1e-12);
  EXPECT_NEAR(r.parameters.contrast, 0.04, 1e-12);
  EXPECT_NEAR(r.reported_volume, 15600.0 + 440.0, 1e-3);
  EXPECT_NEAR(r.scale, 2e-4, 2e-9);
  EXPECT_LT(r.chi2, 1e-3);
  EXPECT_EQ(r.fitted.size(), 200u);
  EXPECT_EQ(r.intensity.size(), 51u);
  EXPECT_EQ(r.absolute_background(), 0.0);

  const std::string console = stage.console.str();
  EXPECT_TRUE(has_line(console, "  Number of experimental points used .................... : 200"));
  EXPECT_TRUE(has_line(console, " ------  Fitting the experimental data ...    ---"));
  // Title: name, δρ, Ra, V + 220·N_d and χ² (which rounds to 0.000 for exact data).
  EXPECT_TRUE(has_line(console, "6lyz.pdb  Dro:0.040  Ra:1.600  Vol: 16040.  Chi^2: 0.000"));
  EXPECT_EQ(r.title.size(), 90u);

  const std::vector<std::string> log = lines_of(stage.log.str());
  ASSERT_EQ(log.size(), 3u);  // no background line without constant subtraction
  EXPECT_EQ(log[0], kHeading1);
  EXPECT_EQ(log[1], kHeading2);
  // Limits 0..0.075, 1.4..1.8, 0.925·16000 + 440 = 15240. and 1.075·16000 + 440 = 17640.,
  // s_max_fit 0.45; Hydra 9000·1.8·(0.334 + 0.04)/14000 = 0.433.
  EXPECT_EQ(log[2], " 0.000 0.075   1.40 1.80  15240.  17640. 0.450|0.040 1.600  16040.  0.000 0.433");
}

TEST(FitStage, DefaultParametersEvaluateOnePoint) {
  Stage stage;
  stage.inputs.use_default_parameters = true;
  const tessel::FitResult r = stage.run();
  EXPECT_EQ(r.parameters.volume, 16000.0);
  EXPECT_EQ(r.parameters.radius, 1.6);
  EXPECT_EQ(r.parameters.contrast, 0.03);
  EXPECT_GT(r.chi2, 1.0);  // the data were made at other parameters
  const std::vector<std::string> log = lines_of(stage.log.str());
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2].substr(0, 47), " 0.030 0.030   1.60 1.60  16440.  16440. 0.450|");
}

TEST(FitStage, ConstantSubtractionAddsTheBackgroundLine) {
  Stage stage(1.0, true);  // background 1.0 = 0.4 × the unit 2.5
  const tessel::FitResult r = stage.run();
  EXPECT_TRUE(r.subtract_constant);
  EXPECT_NEAR(r.background, 0.4, 1e-3);
  EXPECT_NEAR(r.absolute_background(), 1.0, 2.5e-3);
  const std::vector<std::string> log = lines_of(stage.log.str());
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[3], "  -- RelBCK limits:-0.500 0.500; BCK0 (rel/abs) :  0.400 /  0.100E+01");
}

TEST(FitStage, InteractiveParametersByHand) {
  Stage stage;
  stage.inputs.interactive = true;
  // Plot: no. Another set: yes. Minimize again: no. δρ, Ra, volume (with 440 included). Plot:
  // no. Another set: no.
  const tessel::FitResult r = stage.run("N\nY\nN\n0.05\n1.7\n16440\nN\nN\n");
  EXPECT_NEAR(r.parameters.contrast, 0.05, 1e-15);
  EXPECT_NEAR(r.parameters.radius, 1.7, 1e-15);
  EXPECT_NEAR(r.parameters.volume, 16000.0, 1e-9);
  const std::string log = stage.log.str();
  EXPECT_EQ(count(log, kHeading1), 1u);
  const std::vector<std::string> lines = lines_of(log);
  ASSERT_EQ(lines.size(), 4u);  // headings, the search's line and the line of the hand-given set
  EXPECT_EQ(lines[3].substr(47, 19), "0.050 1.700  16440.");
  EXPECT_EQ(count(stage.console.str(), "6lyz.pdb  Dro:"), 2u);
  EXPECT_EQ(count(stage.console.str(), "6lyz.pdb  Dro:0.050  Ra:1.700  Vol: 16440.  Chi^2:"), 1u);
}

TEST(FitStage, InteractiveSearchWithNewLimits) {
  Stage stage;
  stage.inputs.interactive = true;
  // New limits: Ra 1.5..1.7, Smax 0.3, δρ 0..0.05, volume 15440..16440 (shown with 440), no
  // constant subtraction.
  const tessel::FitResult r =
      stage.run("N\nY\nY\n1.5\n1.7\n0.3\n0\n0.05\n15440\n16440\nN\nN\nN\n");
  EXPECT_NEAR(r.parameters.volume, 15600.0, 1e-9);  // 15000 + 18·(1000/30)
  const std::string console = stage.console.str();
  EXPECT_EQ(count(console, " Average atomic radius is"), 1u);
  EXPECT_EQ(count(console, " Solvent density is"), 1u);
  EXPECT_EQ(count(console, " Van der Waals volume is"), 1u);
  EXPECT_EQ(count(console, "  Number of experimental points used .................... : 130\n"), 1u);
  const std::vector<std::string> lines = lines_of(stage.log.str());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3].substr(0, 47), " 0.000 0.050   1.50 1.70  15440.  16440. 0.300|");
}

TEST(FitStage, FittingLimitBelowTheFirstPointIsNotSearched) {
  Stage stage;
  stage.inputs.interactive = true;
  // New limits as before but Smax 0.01, below the first point at 0.02.
  const tessel::FitResult r =
      stage.run("N\nY\nY\n1.4\n1.8\n0.01\n0\n0.075\n15240\n17640\nN\nN\nN\n");
  const std::string warning =
      " Warning: no experimental point lies below Smax in the fitting range (1.000E-02); the "
      "parameters are not searched\n";
  EXPECT_EQ(count(stage.console.str(), warning), 1u);
  EXPECT_EQ(count(stage.log.str(), warning), 1u);
  EXPECT_EQ(count(stage.console.str(), "  Number of experimental points used .................... : 0\n"), 1u);
  // The first search's parameters stand, evaluated on the first measured point only.
  EXPECT_NEAR(r.parameters.volume, 15600.0, 1e-3);
  EXPECT_NEAR(r.parameters.contrast, 0.04, 1e-12);
  EXPECT_TRUE(std::isfinite(r.chi2));
  EXPECT_EQ(r.s_max_fit, 0.01);
}

TEST(FitStage, NoRegriddedPointAtAll) {
  Stage stage;
  stage.inputs.data.s_r.clear();
  stage.inputs.data.i_r.clear();
  stage.inputs.data.w_r.clear();
  const tessel::FitResult r = stage.run();
  EXPECT_FALSE(r.searched);
  EXPECT_EQ(r.parameters.volume, 16000.0);  // the starting values: V_d, r0, 0.03
  EXPECT_EQ(r.parameters.radius, 1.6);
  EXPECT_EQ(r.parameters.contrast, 0.03);
  EXPECT_TRUE(std::isfinite(r.chi2));
  EXPECT_EQ(count(stage.console.str(), " Warning: no experimental point lies below Smax"), 1u);
}

TEST(FitStage, BackgroundLimitsAreAskedUntilOrdered) {
  Stage stage(1.0, false);
  stage.inputs.interactive = true;
  // New limits with constant subtraction: tail 2.5, then 0.3 / −0.2 (refused), −0.5 / 0.5.
  const tessel::FitResult r = stage.run(
      "N\nY\nY\n1.4\n1.8\n0.45\n0\n0.075\n15240\n17640\nY\n2.5\n0.3\n-0.2\n-0.5\n0.5\nN\nN\n");
  EXPECT_TRUE(r.subtract_constant);
  EXPECT_EQ(r.a_out, 2.5);
  EXPECT_NEAR(r.background, 0.4, 1e-3);
  EXPECT_EQ(count(stage.console.str(), "Minimum relative background"), 2u);
  EXPECT_EQ(count(stage.console.str(), "Averaged tail intensity is"), 1u);
  const std::vector<std::string> log = lines_of(stage.log.str());
  ASSERT_EQ(log.size(), 5u);  // the first search had no background line
  EXPECT_EQ(log[4].substr(0, 31), "  -- RelBCK limits:-0.500 0.500");
}

TEST(FitStage, PreparedLongCurveToFitFile) {
  // 2000 measured points from 0.01 to 0.48 with 0.5 % noise, regridded onto 200 points, fitted,
  // and written: the fit file has the header, ⌊0.01/0.002⌋ + 1 = 6 model rows (0, 0.002, ...,
  // 0.010, up to the first point at 0.01) and the 2000 measured rows.
  const SyntheticParticle particle;
  const SyntheticCurves curves(particle, tessel_test::uniform_grid(51, 0.5));
  const DefaultVolumes grid(particle.displaced_volume);
  SyntheticMeasurement m{grid.volume(10), 1.52, 0.0325};
  m.noise = 0.005;
  const tessel::FitData raw = tessel_test::synthetic_data(particle, m, tessel_test::regular_points(2000, 0.01, 0.48));
  tessel::ExpCurve measured;
  for (std::size_t i = 0; i < raw.s_r.size(); ++i) measured.push_back(raw.s_r[i], raw.i_r[i], 1 / std::sqrt(raw.w_r[i]));
  const tessel::RegridStage regridded = tessel::regrid_curve(measured);
  ASSERT_EQ(regridded.regridded.size(), 201u);

  tessel::FitInputs inputs;
  inputs.model = curves.model;
  inputs.data = tessel::finish_preparation(regridded, 0.5, 15.0, false);
  inputs.structure_name = "model.pdb";
  std::ostringstream console, log;
  const tessel::FitResult r = tessel::run_fit(inputs, {{&console, nullptr, &log}, nullptr, {}, {}});
  EXPECT_NEAR(r.parameters.volume, m.volume, grid.step * 1.001);
  EXPECT_NEAR(r.parameters.radius, m.radius, 0.02 * 1.001);
  EXPECT_NEAR(r.parameters.contrast, m.contrast, 0.0025 * 1.001);
  EXPECT_NEAR(r.chi2, 1.0, 0.3);  // on the 2000 unregridded points

  tessel::FitFileContent c;
  c.structure_name = inputs.structure_name;
  c.contrast = r.parameters.contrast;
  c.radius = r.parameters.radius;
  c.volume = r.reported_volume;
  c.chi2 = r.chi2;
  c.s_model = curves.s;
  c.model = r.intensity;
  c.s = measured.s;
  c.intensity = measured.intensity;
  c.error = measured.error;
  c.fitted = r.fitted;
  c.scale = r.scale;
  c.background = r.absolute_background();
  std::ostringstream file;
  tessel::write_fit_file(file, c, {&console, nullptr, nullptr});
  const std::vector<std::string> lines = lines_of(file.str());
  ASSERT_EQ(lines.size(), 1u + 6 + 2000);
  EXPECT_EQ(lines[6].substr(0, 28), "  0.100000E-01  0.000000E+00");  // the last model row
  EXPECT_EQ(lines[7].substr(0, 14), "  0.100000E-01");                 // the first measured row
  EXPECT_NE(lines[7].substr(14, 14), "  0.000000E+00");
}

TEST(RemoveKeptFiles, DeletesTheFourIntermediateFilesOnly) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tessel_remove_kept_files_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string base = (dir / "lyz00").string();
  for (const char* extension : {".sav", ".alm", ".int", ".log", ".fit"}) std::ofstream(base + extension) << "x";
  tessel::remove_kept_files(base);  // no .flm: skipped silently
  for (const char* extension : {".sav", ".alm", ".flm", ".int"}) {
    EXPECT_FALSE(std::filesystem::exists(base + extension)) << extension;
  }
  EXPECT_TRUE(std::filesystem::exists(base + ".log"));
  EXPECT_TRUE(std::filesystem::exists(base + ".fit"));
  std::filesystem::remove_all(dir);
}

}  // namespace
