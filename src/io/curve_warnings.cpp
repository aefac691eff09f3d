// Warnings about an experimental curve that does not suit the job.
#include "io/curve_warnings.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "io/exp_curve_input.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

constexpr std::string_view kUnitsChoice =
    "choose them with -un: 1 = 4*pi*sin(theta)/lambda in 1/angstrom, 2 = the same in 1/nm, "
    "3 = 2*sin(theta)/lambda in 1/angstrom, 4 = the same in 1/nm";

std::string count_text(std::size_t n) { return int_text(static_cast<long long>(n)); }

// A value with two decimals, as typed after -sm.
std::string two_decimals(double value) {
  std::array<char, 64> buffer{};
  const auto r = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                               std::chars_format::fixed, 2);
  return std::string(buffer.data(), r.ptr);
}

std::size_t count_at_or_beyond(const ExpCurve& curve, double s_max) {
  return static_cast<std::size_t>(
      std::count_if(curve.s.begin(), curve.s.end(), [s_max](double s) { return s >= s_max; }));
}

}  // namespace

int unit_code_of_factor(double factor) {
  for (int code = 1; code <= 4; ++code)
    if (unit_factor(code) == factor) return code;
  return 1;
}

std::string units_text(int code) {
  constexpr std::array<std::string_view, 4> names = {
      "4*pi*sin(theta)/lambda in 1/angstrom", "4*pi*sin(theta)/lambda in 1/nm",
      "2*sin(theta)/lambda in 1/angstrom", "2*sin(theta)/lambda in 1/nm"};
  const int c = code >= 1 && code <= 4 ? code : 1;
  return std::string(names[static_cast<std::size_t>(c - 1)]) + " (-un " + int_text(c) + ")";
}

double suggested_s_max(double last_s) {
  double v = (std::floor(last_s / kSuggestedSMaxStep) + 1.0) * kSuggestedSMaxStep;
  // The quotient may round up to a whole step exactly at last_s.
  while (!(v > last_s)) v += kSuggestedSMaxStep;
  return v;
}

std::optional<std::string> points_beyond_warning(const ExpCurve& curve, double model_s_max,
                                                 std::string_view file) {
  const std::size_t beyond = count_at_or_beyond(curve, model_s_max);
  if (beyond == 0) return std::nullopt;
  return " Warning: " + count_text(beyond) + " of the " + count_text(curve.size()) +
         " points of " + std::string(file) + " lie at or beyond the maximum scattering vector " +
         real_text(model_s_max) + " 1/angstrom and are not fitted; -sm " +
         two_decimals(suggested_s_max(curve.s.back())) + " would take them in";
}

std::optional<std::string> units_range_warning(const ExpCurve& curve, double model_s_max,
                                               std::string_view file, int units_code) {
  if (curve.empty()) return std::nullopt;
  const std::size_t beyond = static_cast<std::size_t>(std::count_if(
      curve.s.begin(), curve.s.end(), [model_s_max](double s) { return s > model_s_max; }));
  std::string why;
  if (static_cast<double>(beyond) > kShareBeyondLimit * static_cast<double>(curve.size())) {
    why = count_text(beyond) + " of its " + count_text(curve.size()) +
          " points lie beyond the maximum scattering vector " + real_text(model_s_max) +
          " 1/angstrom";
  }
  if (curve.s.front() >= kFirstSLimit) {
    if (!why.empty()) why += " and ";
    why += "its first point is at s = " + real_text(curve.s.front()) + " 1/angstrom (none below " +
           two_decimals(kFirstSLimit) + ")";
  }
  if (why.empty()) return std::nullopt;
  return " Warning: the s range of " + std::string(file) + " is implausible for " +
         units_text(units_code) + ": " + why + "; the units are likely wrong, " +
         std::string(kUnitsChoice);
}

bool chi2_implausible(double chi2) {
  return !std::isfinite(chi2) || format_f(chi2, 6, 3).find('*') != std::string::npos;
}

std::optional<std::string> poor_fit_warning(double chi2, std::string_view file, int units_code) {
  if (!chi2_implausible(chi2)) return std::nullopt;
  const std::string value = std::isfinite(chi2) ? real_text(chi2) : "not a finite number";
  return " Warning: the fit failed (Chi^2 " + value + "); the likely cause is a scattering " +
         "vector in other units than " + units_text(units_code) + ": check the units of " +
         std::string(file) + " and " + std::string(kUnitsChoice);
}

}  // namespace tessel
