// Input of the experimental curve.
#include "io/exp_curve_input.hpp"

#include <cmath>
#include <limits>
#include <numbers>
#include <ostream>
#include <string>

#include "core/data_preparation.hpp"
#include "core/error_estimate.hpp"
#include "core/errors.hpp"
#include "core/locate.hpp"
#include "io/curvedoc/curve_document.hpp"
#include "io/fortran_format.hpp"

namespace tessel {

ReadCurveResult read_exp_curve(std::string_view file_name, std::ostream& warnings, int curve_index,
                               std::size_t capacity) {
  ReadCurveResult out;
  CurveDocument document = document_create();
  out.status = document_read(document, file_name, "");
  if (out.status != 0) {
    document_free(document);
    return out;
  }
  CurveColumns columns;
  out.status = document_curve_data(document, columns, curve_index);
  document_free(document);
  if (out.status != 0) return out;
  out.curve = filter_IofS(columns.x, columns.y, columns.y_err, warnings, capacity);
  return out;
}

ExpCurve filter_IofS(std::span<const double> s, std::span<const double> intensity,
                     std::span<const double> error, std::ostream& warnings, std::size_t capacity) {
  const std::size_t n = std::min({s.size(), intensity.size(), error.size()});
  auto finite = [&](std::size_t k) {
    return std::isfinite(s[k]) && std::isfinite(intensity[k]) && std::isfinite(error[k]);
  };
  auto warn = [&](std::string_view text) { warnings << free_form_line(text); };

  // Points with a NaN or an infinity are skipped below, so they take no part in this decision.
  bool all_zero = true;
  for (std::size_t k = 0; k < n; ++k) {
    if (finite(k) && error[k] != 0.0) all_zero = false;
  }

  ExpCurve out;
  double prev = std::numeric_limits<double>::lowest();
  for (std::size_t k = 0; k < n; ++k) {
    // A NaN would pass every comparison below and become the reference; an infinite s would
    // turn every later point into an out-of-order one.
    if (!finite(k)) {
      warn(kNonFiniteWarning);
    } else if (s[k] < 0.0) {
      warn(kNegativeSWarning);
    } else if (s[k] < prev) {
      warn(kOutOfOrderWarning);
    } else if (s[k] == prev) {
      warn(kDuplicateWarning);
    } else {
      prev = s[k];
      if (error[k] == 0.0 && intensity[k] == 0.0) continue;
      if (error[k] < 0.0) {
        warn(kNegativeErrorWarning);
      } else if (error[k] != 0.0 || all_zero) {
        if (out.size() >= capacity) {
          warnings << free_form_line(kTruncatingWarning, static_cast<long long>(capacity));
          break;
        }
        out.push_back(s[k], intensity[k], error[k]);
      } else {
        warn(kZeroErrorWarning);
      }
    }
  }
  if (out.empty()) warn(kEmptyDatasetWarning);
  if (all_zero && !out.empty()) {
    ErrestResult estimate = ERREST(out.s, out.intensity);
    out.error = std::move(estimate.error);
    for (const std::string& line : estimate.messages) warnings << line << '\n';
  }
  return out;
}

bool curve_accepted(const ReadCurveResult& read) { return read.status == 0 && read.curve.size() >= 2; }

void write_curve_heading(bool subtract_constant, const Report& report) {
  report.to_log("\n ------  Experimental Curve and fitting -----------\n\n");
  if (subtract_constant) report.to_log(labelled_line("Constant subtraction", "Y"));
}

void report_curve_read(const ExpCurve& curve, std::string_view file_name, const Report& report) {
  report.to_log(labelled_line("Data file name", file_name));
  const double last_s = curve.empty() ? 0.0 : curve.s.back();
  report.to_both(labelled_line(" Maximum angle in the data file", last_s));
  report.to_both(labelled_line(" Number of experimental points", static_cast<long long>(curve.size())));
}

void apply_error_floor(ExpCurve& curve) { floor_errors(curve.error); }

double unit_factor(int code) {
  switch (code) {
    case 2: return static_cast<double>(0.1f);           // 1/nm, a single-precision 0.1
    case 3: return 2.0 * std::numbers::pi;              // 2·sin(θ)/λ in 1/Å
    case 4: return 2.0 * std::numbers::pi / 10.0;       // 2·sin(θ)/λ in 1/nm
    default: return 1.0;                                // 4π·sin(θ)/λ in 1/Å, or not given
  }
}

int detect_units(int code, const ExpCurve& curve) {
  if (code == 0 && !curve.empty() && curve.s.back() > kNanometreDetectionLimit) return 2;
  return code;
}

double choose_unit_factor(int code, const ExpCurve& curve, const UnitsQuestion& ask) {
  const double detected = unit_factor(detect_units(code, curve));
  return ask ? ask(detected) : detected;
}

void convert_units(ExpCurve& curve, double factor, const Report& report) {
  for (double& x : curve.s) x *= factor;
  report.to_both(labelled_line(" Angular units multiplied by", factor));
}

void cut_to_model_range(ExpCurve& curve, double model_s_max, const Report& report) {
  const std::size_t below = locate(curve.s, model_s_max);
  if (below == 0) throw Error(std::string(kIncreaseMaxScatteringVector), 1);
  if (below + 1 < curve.size()) {
    curve.resize(below + 1);
    report.to_log(labelled_line(" Number of experimental points used", static_cast<long long>(curve.size())));
  }
}

}  // namespace tessel
