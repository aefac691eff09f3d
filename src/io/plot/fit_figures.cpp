// The pictures of a fit and of a prediction.
#include "io/plot/fit_figures.hpp"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/fit_residuals.hpp"

namespace tessel {

namespace {

// Page sizes, pt: 4.5 inches wide, for one column of a journal page at about three quarters.
constexpr double kFigureWidth = 324.0;
constexpr double kFitHeight = 300.0;
constexpr double kPredictionHeight = 250.0;
constexpr double kResidualShare = 0.42;
constexpr double kPerNanometrePerAngstrom = 10.0;

// Second colours, told apart in grey by lightness and line style (Okabe and Ito's palette).
constexpr Colour kBlue{0.0, 0.447, 0.698};
constexpr Colour kOrange{0.902, 0.624, 0.0};
constexpr Colour kGreen{0.0, 0.620, 0.451};
constexpr Colour kErrorBarColour{0.62, 0.62, 0.62};

std::string number(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Four significant digits; beyond 10⁻³..10⁴ as m×10ⁿ with a superscript exponent.
std::string significant(double value) {
  if (value == 0.0 || !std::isfinite(value)) return number("%.4g", value);
  int exponent = static_cast<int>(std::floor(std::log10(std::abs(value))));
  if (exponent >= -3 && exponent < 4) return number("%.4g", value);
  std::string mantissa = number("%.3f", value / std::pow(10.0, exponent));
  if (mantissa == "10.000" || mantissa == "-10.000") {
    ++exponent;
    mantissa = number("%.3f", value / std::pow(10.0, exponent));
  }
  const std::string power = exponent < 0 ? "\u2212" + std::to_string(-exponent) : std::to_string(exponent);
  return mantissa + "\u00d710^{" + power + "}";
}

std::string file_part(const std::string& name) {
  return std::filesystem::path(name).filename().string();
}

std::vector<double> s_shown(std::span<const double> s, SUnit unit) {
  std::vector<double> out(s.begin(), s.end());
  if (unit == SUnit::per_nanometre)
    for (double& v : out) v *= kPerNanometrePerAngstrom;
  return out;
}

std::string s_label(SUnit unit) {
  return unit == SUnit::per_nanometre ? "s = 4\u03c0 sin\u03b8/\u03bb (nm^{\u22121})"
                                      : "s = 4\u03c0 sin\u03b8/\u03bb (\u00c5^{\u22121})";
}

Series line(std::string label, std::vector<double> x, std::span<const double> y, Colour colour, double width,
            LineStyle dash) {
  Series s;
  s.label = std::move(label);
  s.x = std::move(x);
  s.y.assign(y.begin(), y.end());
  s.colour = colour;
  s.width = width;
  s.dash = dash;
  return s;
}

}  // namespace

SUnit s_unit_of_factor(double unit_factor) {
  // 0.1 (in single precision) and 2π/10 take 1/nm to 1/Å.
  const bool per_nanometre = std::abs(unit_factor - 0.1) < 1e-6 || std::abs(unit_factor - 0.6283185307179586) < 1e-6;
  return per_nanometre ? SUnit::per_nanometre : SUnit::per_angstrom;
}

Figure fit_figure(const FitPictureData& d) {
  const FitTitleValues& v = d.values;
  Figure f;
  f.width = kFigureWidth;
  f.height = kFitHeight;
  f.title.push_back(file_part(d.structure_file) + " fitted to " + file_part(d.data_file));
  f.title.push_back("\u03c1_{0} = " + number("%.3f", v.rho0) + " e/\u00c5^{3},  \u03b4\u03c1 = " +
                    number("%.3f", v.contrast) + " e/\u00c5^{3},  r_{0} = " + number("%.3f", v.radius) +
                    " \u00c5,  V_{ex} = " + number("%.0f", v.volume) + " \u00c5^{3}");
  std::string third = "\u03c7^{2} = " + number("%.3f", v.chi2) + ",  scale = " + significant(v.scale);
  if (v.constant_fitted) third += ",  constant = " + significant(v.constant);
  f.title.push_back(third);
  f.x_label = s_label(d.unit);

  const std::vector<double> s = s_shown(d.s, d.unit);
  Panel curves;
  curves.y_label = "I(s) (units of the data)";
  curves.y_kind = AxisKind::log10;
  curves.legend = true;
  Series measured = line("measured", s, d.i_exp, kPointColour, 0.9, LineStyle::solid);
  measured.style = SeriesStyle::points;
  measured.y_error.assign(d.sigma.begin(), d.sigma.end());
  measured.error_colour = kErrorBarColour;
  curves.series.push_back(std::move(measured));
  curves.series.push_back(line("fit", s, d.i_fit, kFitCurveColour, 1.3, LineStyle::solid));

  Panel residuals;
  residuals.y_label = "(I_{exp} \u2212 I_{fit})/\u03c3";
  residuals.height_share = kResidualShare;
  residuals.reference_lines.push_back(0.0);
  residuals.symmetric_y = true;
  const std::vector<double> r = weighted_residuals(d.i_exp, d.i_fit, d.sigma);
  Series points = line("", s, r, kPointColour, 0.8, LineStyle::solid);
  points.style = SeriesStyle::points;
  residuals.series.push_back(std::move(points));

  f.panels.push_back(std::move(curves));
  f.panels.push_back(std::move(residuals));
  return f;
}

Figure prediction_figure(const PredictionPictureData& d) {
  Figure f;
  f.width = kFigureWidth;
  f.height = kPredictionHeight;
  f.title.push_back(file_part(d.structure_file) + ": computed intensity");
  f.title.push_back("\u03c1_{0} = " + number("%.3f", d.rho0) + " e/\u00c5^{3},  \u03b4\u03c1 = " +
                    number("%.3f", d.contrast) + " e/\u00c5^{3},  r_{0} = " + number("%.3f", d.radius) +
                    " \u00c5,  V_{ex} = " + number("%.0f", d.volume) + " \u00c5^{3}");
  f.x_label = s_label(d.unit);
  const std::vector<double> s = s_shown(d.s, d.unit);
  Panel p;
  p.y_label = "I(s) (e^{2})";
  p.y_kind = AxisKind::log10;
  p.legend = true;
  p.series.push_back(line("atoms in vacuum", s, d.atoms, kBlue, 1.1, LineStyle::dashed));
  p.series.push_back(line("excluded volume", s, d.excluded, kOrange, 1.3, LineStyle::dotted));
  p.series.push_back(line("hydration shell", s, d.shell, kGreen, 1.1, LineStyle::dash_dot));
  p.series.push_back(line("intensity I(s)", s, d.total, kPointColour, 1.5, LineStyle::solid));
  f.panels.push_back(std::move(p));
  return f;
}

}  // namespace tessel
