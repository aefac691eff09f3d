// Fuzz target: the curve reader, the filter of unusable points and the preparation of what
// passes. The first byte chooses the piece sizes the text is fed in, the filter's capacity,
// the constant subtraction and the model's radius of gyration; the rest is the file.
//
// Checks beyond crashes:
//  - the text fed in pieces gives the same curves as the whole text (bit for bit);
//  - every number the reader accepts is the value strtod reads from the same digits;
//  - the filter keeps finite, non-negative, strictly ascending s with finite errors that are not
//    negative, at most `capacity` points;
//  - the preparation keeps its arrays of equal length and its weights finite, not negative.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_preparation.hpp"
#include "core/errors.hpp"
#include "io/curvedoc/plover_document.hpp"
#include "io/exp_curve_input.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace tessel;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same_curves(const std::vector<CurvePoints>& a, const std::vector<CurvePoints>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) return false;
    for (std::size_t k = 0; k < a[c].size(); ++k) {
      const CurvePoint& p = a[c][k];
      const CurvePoint& q = b[c][k];
      if (!same_bits(p.x, q.x) || !same_bits(p.y, q.y) || !same_bits(p.y_err, q.y_err)) return false;
    }
  }
  return true;
}

// Every field the reader takes as a number, compared with strtod on the same text (D exponents
// written E). A value strtod gives as a subnormal may come out as zero.
void check_numbers(std::string_view text) {
  constexpr std::string_view kSeparators = " \t,;\v\f\r\n";
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && kSeparators.find(text[i]) != std::string_view::npos) ++i;
    const std::size_t start = i;
    while (i < text.size() && kSeparators.find(text[i]) == std::string_view::npos) ++i;
    if (i == start) break;
    const std::string_view field = text.substr(start, i - start);
    double value = 0.0;
    if (!parse_number(field, value)) continue;
    std::string c_text(field);
    for (char& c : c_text) {
      if (c == 'd' || c == 'D') c = 'e';
    }
    char* end = nullptr;
    const double expected = std::strtod(c_text.c_str(), &end);
    CHECK(end == c_text.c_str() + c_text.size());
    if (std::isnan(expected)) {
      CHECK(std::isnan(value));
    } else if (std::fpclassify(expected) == FP_SUBNORMAL) {
      CHECK(value == expected || value == 0.0);
    } else {
      CHECK(same_bits(value, expected) || (value == 0.0 && expected == 0.0));
    }
  }
}

std::vector<CurvePoints> parse_in_pieces(std::string_view text, unsigned pattern) {
  CurveTextParser parser;
  std::size_t step = 1;
  while (!text.empty()) {
    const std::size_t n = std::min(text.size(), step);
    parser.feed(text.substr(0, n));
    text.remove_prefix(n);
    step = 1 + (step * 7 + pattern) % 13;
  }
  return parser.finish();
}

void check_filtered(const ExpCurve& curve, std::size_t capacity) {
  CHECK(curve.s.size() == curve.intensity.size() && curve.s.size() == curve.error.size());
  CHECK(curve.size() <= capacity);
  for (std::size_t k = 0; k < curve.size(); ++k) {
    CHECK(std::isfinite(curve.s[k]) && curve.s[k] >= 0.0);
    CHECK(std::isfinite(curve.intensity[k]));
    CHECK(std::isfinite(curve.error[k]) && curve.error[k] >= 0.0);
    if (k > 0) CHECK(curve.s[k] > curve.s[k - 1]);
  }
}

void check_fit_data(const FitData& fit) {
  CHECK(fit.s_r.size() == fit.i_r.size() && fit.s_r.size() == fit.w_r.size());
  CHECK(fit.s_e.size() == fit.i_e.size() && fit.s_e.size() == fit.w_e.size());
  CHECK(fit.tail_points <= fit.s_r.size());
  // An error beyond 1e154 squares to infinity and gets weight 0, the limit of 1/σ².
  for (double w : fit.w_r) CHECK(std::isfinite(w) && w >= 0.0);
  for (double w : fit.w_e) CHECK(std::isfinite(w) && w >= 0.0);
}

// The stages the driver runs on an accepted curve, in its order, in batch mode.
void prepare(ExpCurve curve, bool subtract_constant, double rg_atoms) {
  constexpr double kModelSMax = 0.5;  // 1/Å, the default maximum scattering vector
  apply_error_floor(curve);
  const Report silent;
  convert_units(curve, choose_unit_factor(0, curve), silent);
  try {
    cut_to_model_range(curve, kModelSMax, silent);
  } catch (const Error&) {
    return;  // no point below the model's range: the run ends with a message
  }
  const RegridStage stage = regrid_curve(curve);
  CHECK(stage.regridded.size() == regridded_count(curve.size()));
  check_fit_data(finish_preparation(stage, kModelSMax, rg_atoms, subtract_constant));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  check_numbers(text);
  const std::vector<CurvePoints> curves = parse_curve_text(text);
  CHECK(same_curves(curves, parse_in_pieces(text, flags)));
  for (const CurvePoints& c : curves) CHECK(c.size() >= 2);
  if (curves.empty()) return 0;

  const std::size_t capacity = (flags & 1) != 0 ? 2 + (flags >> 4) : kMaxCurvePoints;
  const bool subtract_constant = (flags & 2) != 0;
  const double rg_atoms = 5.0 + 10.0 * ((flags >> 2) & 3);  // Å

  for (const CurvePoints& points : curves) {
    std::vector<double> s, intensity, error;
    for (const CurvePoint& p : points) {
      s.push_back(p.x);
      intensity.push_back(p.y);
      error.push_back(p.y_err);
    }
    std::ostringstream warnings;
    const ExpCurve filtered = filter_IofS(s, intensity, error, warnings, capacity);
    check_filtered(filtered, capacity);
    if (filtered.size() >= 2) prepare(filtered, subtract_constant, rg_atoms);
  }
  return 0;
}
