// Inputs found by the fuzz targets in fuzz/ (or written by hand next to what they found) that
// once crashed, hung or broke a promise of a reader, kept here as regression cases. Each case
// says what went wrong before.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/data_preparation.hpp"
#include "core/error_estimate.hpp"
#include "io/exp_curve_input.hpp"
#include "io/fortran_format.hpp"
#include "io/mmcif_reader.hpp"
#include "io/mmcif_selection.hpp"

namespace tessel {
namespace {

// Nested repeat counts multiply: one pass over these formats once took 10^10 steps or wrote
// 10^11 columns, so a write ran for minutes or ran out of memory. Such a format is refused
// when it is compiled; formats of a sensible size still run.
TEST(FuzzRegressions, FormatsThatExpandTooFarAreRefused) {
  const char* absurd[] = {
      "(99999(99999('x')))",                    // 10^10 literals
      "(20(20(20(20(20(20(99999X,'a')))))))",   // 6.4·10^7 passes over 99999 columns
      "(99999(99999(:)),I5)",                   // no output, 10^10 steps before I5
      "(100000(100000A1))",                     // 10^10 fields of one column
  };
  for (const char* text : absurd) {
    SCOPED_TRACE(text);
    const auto start = std::chrono::steady_clock::now();
    try {
      Format format(text);
      ADD_FAILURE() << "accepted";
    } catch (const FormatError& e) {
      EXPECT_NE(std::string(e.what()).find("expands too far"), std::string::npos) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }

  // 1000 passes of a blank and a ten-column field: far below any limit worth having.
  std::vector<FormatValue> values(1000, FormatValue{1.5});
  const std::string line = Format("(1000(1X,F10.3))").write(values);
  EXPECT_EQ(line.size(), 1000u * 11u + 1u);  // 11 columns per value, then '\n'
  EXPECT_EQ(line.substr(0, 22), "      1.500      1.500");
}

// An error of 9.2e301 (from a mutated curve) squares to infinity: its weight is the limit of
// 1/σ², zero, and the preparation goes on with finite weights.
TEST(FuzzRegressions, HugeErrorGetsWeightZero) {
  EXPECT_EQ(fit_weight(9.23319e301), 0.0);

  const std::vector<double> s = {0.02, 0.04, 0.06, 0.08, 0.10, 0.12};
  const std::vector<double> intensity = {10.0, 9.0, 8.0, 7.0, 6.0, 5.0};
  const std::vector<double> error = {0.1, 0.1, 9.23319e301, 0.1, 0.1, 0.1};
  std::ostringstream warnings;
  const ExpCurve curve = filter_IofS(s, intensity, error, warnings);
  ASSERT_EQ(curve.size(), 6u);
  const FitData fit = finish_preparation(regrid_curve(curve), 0.5, 15.0, false);
  ASSERT_EQ(fit.w_e.size(), 6u);
  EXPECT_EQ(fit.w_e[2], 0.0);
  EXPECT_NEAR(fit.w_e[0], 100.0, 1e-9);  // 1/0.1² (the floor of 1e-20 is far below)
  for (double w : fit.w_r) EXPECT_TRUE(std::isfinite(w) && w >= 0.0);
}

// A curve without errors whose first intensity is 3.76e307 (a mutated copy of the test curve):
// the smoothed logarithm came back above ln(DBL_MAX), exp() overflowed, and the estimated
// errors were inf and NaN; a NaN error then got the largest fit weight. The estimate now falls
// back to 3 % of |I|, as for residuals that are not random.
TEST(FuzzRegressions, ErrorEstimateNearTheTopOfTheDoubleRange) {
  const std::vector<double> s = {0.024021, 0.024629, 0.025237, 0.025845, 0.026454, 0.027062, 0.02767};
  const std::vector<double> intensity = {3.76451e307, 3.70630, 3.70586, 3.70613, 3.69353, 3.67170, 3.67483};
  const std::vector<double> zero(s.size(), 0.0);
  std::ostringstream warnings;
  const ExpCurve curve = filter_IofS(s, intensity, zero, warnings);
  ASSERT_EQ(curve.size(), s.size());
  for (std::size_t j = 0; j < s.size(); ++j) {
    SCOPED_TRACE(j);
    EXPECT_DOUBLE_EQ(curve.error[j], 0.03 * intensity[j] + 1e-20);
  }
  EXPECT_NE(warnings.str().find(" ERREST ---W- Smoothed errors are not finite!\n"
                                "              Relative errors of 3 percent are assigned\n"),
            std::string::npos)
      << warnings.str();
}

// An mmCIF table with neither auth_asym_id nor label_asym_id: its chain list was "," (one empty
// id in the comma form), which names no chain. Such atoms are the blank chain, as in column 22.
TEST(FuzzRegressions, MmcifAtomsWithoutChainIdAreTheBlankChain) {
  const MmcifStructure s = parse_mmcif(
      "data_x\nloop_\n_atom_site.type_symbol\n_atom_site.label_atom_id\n_atom_site.Cartn_x\n"
      "_atom_site.Cartn_y\n_atom_site.Cartn_z\nC CA 0 0 0\nC CB 1 0 0\n",
      "x.cif");
  EXPECT_EQ(scan_mmcif(s).chains, " ");
  EXPECT_EQ(select_mmcif_atoms(s, {false, 0, true, " "}, false, "x.cif").atoms.size(), 2u);
}

}  // namespace
}  // namespace tessel
