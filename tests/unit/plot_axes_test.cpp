// Tests of the picture geometry: axis ranges, linear and logarithmic ticks with their labels, the
// data-to-page mapping and the sub/superscript markup. Expected ticks are counted by hand.
#include "io/plot/plot_axes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "io/plot/figure.hpp"
#include "io/plot/fit_figures.hpp"

namespace {

using tessel::AxisKind;
using tessel::AxisMap;
using tessel::AxisRange;
using tessel::Tick;

std::vector<std::string> labels(const std::vector<Tick>& ticks) {
  std::vector<std::string> out;
  for (const Tick& t : ticks)
    if (!t.label.empty()) out.push_back(t.label.text + (t.label.exponent.empty() ? "" : "^" + t.label.exponent));
  return out;
}

TEST(LinearTicks, NiceStepsAndDecimals) {
  // Span 0.3 over 6: raw step 0.05, a nice step itself.
  EXPECT_EQ(labels(tessel::linear_ticks({0.0, 0.3}, 6)),
            (std::vector<std::string>{"0.00", "0.05", "0.10", "0.15", "0.20", "0.25", "0.30"}));
  // Span 8.6 over 3: raw 2.87, two thirds of it 1.91, so the step is 2; minus sign U+2212.
  EXPECT_EQ(labels(tessel::linear_ticks({-4.3, 4.3}, 3)),
            (std::vector<std::string>{"\u22124", "\u22122", "0", "2", "4"}));
  EXPECT_TRUE(tessel::linear_ticks({1.0, 1.0}, 5).empty());
}

TEST(LogTicks, DecadesMinorsAndSparseLabels) {
  // 0.03 to 4: minors 0.03..0.09 (7), 0.1..0.9 (9), 1..4 (4); the powers 0.1 and 1 are labelled.
  const std::vector<Tick> ticks = tessel::log_ticks({0.03, 4.0});
  EXPECT_EQ(ticks.size(), 20u);
  EXPECT_EQ(labels(ticks), (std::vector<std::string>{"10^\u22121", "10^0"}));
  EXPECT_EQ(std::count_if(ticks.begin(), ticks.end(), [](const Tick& t) { return t.major; }), 2);
  // Sixteen powers (1e-10 to 1e5): every third is labelled, those divisible by three.
  EXPECT_EQ(labels(tessel::log_ticks({1e-10, 1e5})),
            (std::vector<std::string>{"10^\u22129", "10^\u22126", "10^\u22123", "10^0", "10^3"}));
  // No power of ten inside: 2 and 5 carry the labels.
  EXPECT_EQ(labels(tessel::log_ticks({1.5, 8.0})), (std::vector<std::string>{"2\u00d710^0", "5\u00d710^0"}));
}

TEST(AxisRanges, MarginsAndDegenerateData) {
  const AxisRange lin = tessel::linear_range(0.0, 10.0, 0.05);
  EXPECT_DOUBLE_EQ(lin.low, -0.5);
  EXPECT_DOUBLE_EQ(lin.high, 10.5);
  EXPECT_DOUBLE_EQ(tessel::linear_range(2.0, 2.0).low, 1.5);
  // 1e-2 to 1e2 is four decades; 5 % of it is 0.2 decades on each side.
  const AxisRange log = tessel::log_range(1e-2, 1e2, 0.05);
  EXPECT_NEAR(std::log10(log.low), -2.2, 1e-12);
  EXPECT_NEAR(std::log10(log.high), 2.2, 1e-12);
  EXPECT_DOUBLE_EQ(tessel::log_range(-1.0, 0.0).low, 1.0);  // no positive data
  const double values[] = {3.0, -2.0, NAN, 0.0, 7.0};
  EXPECT_DOUBLE_EQ(tessel::data_extent(values).low, -2.0);
  EXPECT_DOUBLE_EQ(tessel::data_extent(values, true).low, 3.0);
  EXPECT_DOUBLE_EQ(tessel::data_extent(values, true).high, 7.0);
}

TEST(AxisMapping, LinearAndLogarithmic) {
  const AxisMap x{AxisKind::linear, {0.0, 0.5}, 100.0, 300.0};
  EXPECT_DOUBLE_EQ(x.to_page(0.25), 200.0);
  const AxisMap y{AxisKind::log10, {1.0, 100.0}, 250.0, 50.0};  // upwards
  EXPECT_DOUBLE_EQ(y.to_page(10.0), 150.0);
  EXPECT_DOUBLE_EQ(y.to_page(100.0), 50.0);
  EXPECT_GT(y.to_page(0.0), 250.0);  // below the axis, never NaN
  EXPECT_FALSE(y.contains(-1.0));
  EXPECT_TRUE(y.contains(1.0));
}

TEST(Markup, SubAndSuperscripts) {
  const std::vector<tessel::TextRun> runs = tessel::split_markup("I_{exp}/\u00c5^{3} a_b ^{");
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].text, "I");
  EXPECT_EQ(runs[1].text, "exp");
  EXPECT_EQ(runs[1].shift, -1);
  EXPECT_EQ(runs[2].text, "/\u00c5");
  EXPECT_EQ(runs[3].text, "3");
  EXPECT_EQ(runs[3].shift, 1);
  EXPECT_EQ(runs[4].text, " a_b ^{");  // no brace, or no closing brace: plain text
  EXPECT_EQ(tessel::picture_format("svg"), tessel::PictureFormat::svg);
  EXPECT_FALSE(tessel::picture_format("PNG").has_value());
}

TEST(FitFigure, PanelsResidualsAndUnits) {
  const double s[] = {0.01, 0.02, 0.03}, i[] = {10.0, 8.0, 5.0}, sigma[] = {1.0, 0.5, 0.0}, fit[] = {9.0, 9.0, 5.0};
  tessel::FitPictureData d;
  d.structure_file = "/data/lyz.pdb";
  d.data_file = "lyz.dat";
  d.values.chi2 = 1.234;
  d.s = s;
  d.i_exp = i;
  d.sigma = sigma;
  d.i_fit = fit;
  d.unit = tessel::s_unit_of_factor(0.10000000149011612);  // data in 1/nm
  const tessel::Figure f = tessel::fit_figure(d);
  ASSERT_EQ(f.panels.size(), 2u);
  EXPECT_EQ(f.title[0], "lyz.pdb fitted to lyz.dat");
  EXPECT_NE(f.title[2].find("= 1.234"), std::string::npos);
  EXPECT_NE(f.x_label.find("nm"), std::string::npos);
  EXPECT_DOUBLE_EQ(f.panels[0].series[0].x[1], 0.2);  // 0.02 1/Å is 0.2 1/nm
  // (10 − 9)/1 and (8 − 9)/0.5; no residual without an error.
  const std::vector<double>& r = f.panels[1].series[0].y;
  EXPECT_DOUBLE_EQ(r[0], 1.0);
  EXPECT_DOUBLE_EQ(r[1], -2.0);
  EXPECT_TRUE(std::isnan(r[2]));
  EXPECT_EQ(tessel::s_unit_of_factor(1.0), tessel::SUnit::per_angstrom);
  EXPECT_EQ(tessel::s_unit_of_factor(6.283185307179586), tessel::SUnit::per_angstrom);
}

}  // namespace
