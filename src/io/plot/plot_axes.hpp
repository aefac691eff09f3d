// Axis geometry of the pictures: the shown range of a linear or logarithmic axis, its ticks with
// their labels, and the mapping from data values to positions on the page. Pure functions.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace tessel {

enum class AxisKind { linear, log10 };

// A tick label: the text and, on a logarithmic axis, an exponent set as a superscript after it
// ("10" and "−3" for 10⁻³, "2×10" and "−3" for 2·10⁻³). No exponent on a linear axis. Negative
// numbers are written with the minus sign U+2212.
struct TickLabel {
  std::string text;
  std::string exponent;
  bool empty() const { return text.empty(); }
};

struct Tick {
  double value = 0.0;  // in data units
  bool major = true;   // major ticks are longer and carry a label
  TickLabel label;     // empty for unlabelled ticks
};

// The shown interval of an axis, in data units (both positive on a logarithmic axis).
struct AxisRange {
  double low = 0.0;
  double high = 1.0;
};

// The range a linear axis shows for data between `min` and `max`: widened by `margin` (a share of
// the span) on each side. A single value, or none (min > max, not finite), gets a range of unit
// width around it (around 0).
AxisRange linear_range(double min, double max, double margin = 0.04);

// The range a logarithmic axis shows for positive data between `min` and `max`: widened by
// `margin` of the span in decades on each side. A span below a tenth of a decade is widened to a
// tenth around its geometric middle; no positive data gives 1 to 10.
AxisRange log_range(double min, double max, double margin = 0.04);

// The smallest and largest finite value (positive only, when `positive_only`); min > max when
// there is none.
AxisRange data_extent(std::span<const double> values, bool positive_only = false);

// Ticks of a linear axis: the smallest step of 1, 2 or 5 times a power of ten that is at least
// two thirds of span/target (so about `target` to 1.5·`target` ticks), labels written with as
// many decimals as the step needs.
std::vector<Tick> linear_ticks(const AxisRange& range, int target = 5);

// Ticks of a logarithmic axis: every power of ten inside the range is a labelled major tick and
// 2·10ⁿ to 9·10ⁿ are minor ticks. Over more than six decades only every second power is
// labelled, over more than twelve every third (each power stays a major tick). When fewer than
// two powers of ten lie in the range the minor ticks 2 and 5 are labelled as well.
std::vector<Tick> log_ticks(const AxisRange& range);

// Maps data values of an axis onto page coordinates: `low` of the range to `start` and `high` to
// `end` (end < start for an upward y axis).
struct AxisMap {
  AxisKind kind = AxisKind::linear;
  AxisRange range;
  double start = 0.0;
  double end = 1.0;
  // The page coordinate of a value; a value ≤ 0 on a logarithmic axis maps below the low end
  // (a NaN result is never returned for such values: they go to `start` minus the axis length).
  double to_page(double value) const;
  bool contains(double value) const;
};

}  // namespace tessel
