// Input of the experimental curve: the file read through the curve-document library, the
// filter of unusable points, the error floor, the report, the unit conversion and the cut to
// the model's s range. Each stage is a separate call; the driver runs them in this order:
//   write_curve_heading → read_exp_curve (→ filter_IofS) → curve_accepted → (copy of the
//   errors for the .fit file) → apply_error_floor → report_curve_read → choose_unit_factor →
//   convert_units → cut_to_model_range.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <span>
#include <string_view>

#include "core/exp_curve.hpp"
#include "core/run_settings.hpp"
#include "io/report.hpp"

namespace tessel {

inline constexpr std::string_view kErrorReadingDataFile = " Error reading SAXS data file";
inline constexpr std::string_view kIncreaseMaxScatteringVector = " Error -- Increase maximum scattering vector ";

// Filter warnings; each is written free-form (a blank in front) to the warning stream.
inline constexpr std::string_view kNonFiniteWarning = "Warning: skipping non-finite data point";
inline constexpr std::string_view kNegativeSWarning = "Warning: skipping negative S value";
inline constexpr std::string_view kOutOfOrderWarning = "Warning: skipping out-of-order data point";
inline constexpr std::string_view kDuplicateWarning = "Warning: skipping duplicate data point";
inline constexpr std::string_view kNegativeErrorWarning = "Warning: skipping negative error value";
inline constexpr std::string_view kZeroErrorWarning = "Warning: skipping zero error value";
inline constexpr std::string_view kTruncatingWarning = "Warning: truncating input data to length:";
inline constexpr std::string_view kEmptyDatasetWarning = "Warning: filter_IofS filtered out the entire dataset";

// The last s above which a curve given without units is taken to be in 1/nm.
inline constexpr double kNanometreDetectionLimit = 1.0;

struct ReadCurveResult {
  int status = 0;  // 0; the curve library's read status; or 99 when the curve does not exist
  ExpCurve curve;  // empty unless status is 0
};

// Reads curve curve_index (1 = first) of the file and filters it into at most `capacity`
// points. Filter warnings and error-estimation notes go to `warnings` (standard error).
ReadCurveResult read_exp_curve(std::string_view file_name, std::ostream& warnings, int curve_index = 1,
                               std::size_t capacity = kMaxCurvePoints);

// Keeps the usable points in order. A point is skipped with a warning when any of its values
// is NaN or infinite, its s is negative, below the reference s (out of order) or equal to it
// (duplicate), or its error is negative; a point with zero error and zero intensity is
// dropped silently; a point with zero error is skipped with a warning unless every finite
// point has zero error. The reference s is that of the last point that passed the s tests,
// whatever became of it then. Past `capacity` points the rest is cut with a warning. When
// the errors are all zero they are estimated by ERREST on the points kept.
ExpCurve filter_IofS(std::span<const double> s, std::span<const double> intensity,
                     std::span<const double> error, std::ostream& warnings,
                     std::size_t capacity = kMaxCurvePoints);

// A read is usable with status 0 and at least 2 points; otherwise the caller writes
// kErrorReadingDataFile to standard error and asks again (interactive) or ends with status 1.
bool curve_accepted(const ReadCurveResult& read);

// The log's heading of the experimental part, and "Constant subtraction" when it is on.
void write_curve_heading(bool subtract_constant, const Report& report);

// "Data file name" to the log; the largest s as read and the number of points to the console
// and the log.
void report_curve_read(const ExpCurve& curve, std::string_view file_name, const Report& report);

// Every error becomes |σ + 1e-20|. (Save a copy of the errors before, for the .fit file.)
void apply_error_floor(ExpCurve& curve);

// The factor that turns s in the given unit code into 4π·sin(θ)/λ in 1/Å: 1 for 1 (and for
// 0, not given), 0.1 as a single-precision value for 2 (1/nm), 2π for 3, 2π/10 for 4.
double unit_factor(int code);

// The unit code after detection: a code of 0 becomes 2 (1/nm) when the last s exceeds 1.0.
int detect_units(int code, const ExpCurve& curve);

// The interactive units question: given the factor of the detected units, returns the factor
// of the unit the user chose (Dialogue::ask_angular_units with an empty span fits).
using UnitsQuestion = std::function<double(double current_factor)>;

// The factor to apply: the detected code's factor in batch mode (no question), or the
// answer to the question when one is given.
double choose_unit_factor(int code, const ExpCurve& curve, const UnitsQuestion& ask = {});

// Multiplies every s by the factor and reports the factor on the console and in the log.
void convert_units(ExpCurve& curve, double factor, const Report& report);

// Keeps the points strictly below the model's largest s plus the first one at or beyond it
// (reported in the log when points are dropped). Throws Error(kIncreaseMaxScatteringVector,
// status 1) when no point lies below it.
void cut_to_model_range(ExpCurve& curve, double model_s_max, const Report& report);

}  // namespace tessel
