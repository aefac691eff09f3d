// Axis geometry of the pictures: ranges, ticks and the data-to-page mapping.
#include "io/plot/plot_axes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessel {

namespace {

// Values within this share of a tick step of a range end count as inside it.
constexpr double kEndTolerance = 1e-9;

// A leading hyphen becomes the typographic minus sign U+2212.
std::string with_minus_sign(std::string text) {
  if (!text.empty() && text.front() == '-') text.replace(0, 1, "\u2212");
  return text;
}

std::string fixed_text(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text(buffer);
  // "-0" and "-0.00" read as zero.
  if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-') text.erase(0, 1);
  return with_minus_sign(text);
}

// The labelled powers of ten are every `stride`-th one.
int label_stride(int powers) { return powers > 12 ? 3 : powers > 6 ? 2 : 1; }

}  // namespace

AxisRange data_extent(std::span<const double> values, bool positive_only) {
  AxisRange r{INFINITY, -INFINITY};
  for (const double v : values) {
    if (!std::isfinite(v) || (positive_only && !(v > 0.0))) continue;
    r.low = std::min(r.low, v);
    r.high = std::max(r.high, v);
  }
  return r;
}

AxisRange linear_range(double min, double max, double margin) {
  if (!(min <= max) || !std::isfinite(min) || !std::isfinite(max)) return {-0.5, 0.5};
  if (min == max) return {min - 0.5, max + 0.5};
  const double pad = (max - min) * margin;
  return {min - pad, max + pad};
}

AxisRange log_range(double min, double max, double margin) {
  if (!(min > 0.0) || !(min <= max) || !std::isfinite(max)) return {1.0, 10.0};
  double low = std::log10(min);
  double high = std::log10(max);
  if (high - low < 0.1) {
    const double middle = 0.5 * (low + high);
    low = middle - 0.05;
    high = middle + 0.05;
  }
  const double pad = (high - low) * margin;
  return {std::pow(10.0, low - pad), std::pow(10.0, high + pad)};
}

std::vector<Tick> linear_ticks(const AxisRange& range, int target) {
  std::vector<Tick> ticks;
  const double span = range.high - range.low;
  if (!(span > 0.0) || !std::isfinite(span) || target < 1) return ticks;
  const double raw = span / target;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = 10.0 * power;
  int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(power))) - 1);
  // The smallest nice step not below two thirds of the raw step: a few more ticks rather than
  // too few.
  for (const double factor : {1.0, 2.0, 5.0}) {
    if (factor * power >= raw * (2.0 / 3.0) * (1.0 - kEndTolerance)) {
      step = factor * power;
      decimals = std::max(0, -static_cast<int>(std::floor(std::log10(power))));
      break;
    }
  }
  const double first = std::ceil(range.low / step - kEndTolerance);
  const double last = std::floor(range.high / step + kEndTolerance);
  for (double k = first; k <= last; k += 1.0) {
    double value = k * step;
    if (std::abs(value) < step * kEndTolerance) value = 0.0;
    ticks.push_back({value, true, {fixed_text(value, decimals), {}}});
  }
  return ticks;
}

std::vector<Tick> log_ticks(const AxisRange& range) {
  std::vector<Tick> ticks;
  if (!(range.low > 0.0) || !(range.high > range.low) || !std::isfinite(range.high)) return ticks;
  const double low = std::log10(range.low) - kEndTolerance;
  const double high = std::log10(range.high) + kEndTolerance;
  const int first = static_cast<int>(std::floor(low));
  const int last = static_cast<int>(std::ceil(high));
  const int powers = static_cast<int>(std::floor(high)) - static_cast<int>(std::ceil(low)) + 1;
  const int stride = label_stride(powers);
  const bool label_minor = powers < 2;
  for (int n = first; n <= last; ++n) {
    for (int m = 1; m <= 9; ++m) {
      const double exponent = std::log10(static_cast<double>(m)) + n;
      if (exponent < low || exponent > high) continue;
      Tick tick;
      tick.value = m * std::pow(10.0, n);
      tick.major = m == 1;
      const std::string power = with_minus_sign(std::to_string(n));
      if (m == 1 && ((n % stride) + stride) % stride == 0) tick.label = {"10", power};
      if (label_minor && (m == 2 || m == 5)) tick.label = {std::to_string(m) + "\u00d710", power};
      ticks.push_back(tick);
    }
  }
  return ticks;
}

double AxisMap::to_page(double value) const {
  double t = 0.0;
  if (kind == AxisKind::log10) {
    if (!(value > 0.0)) return start - (end - start);
    t = (std::log10(value) - std::log10(range.low)) /
        (std::log10(range.high) - std::log10(range.low));
  } else {
    t = (value - range.low) / (range.high - range.low);
  }
  return start + t * (end - start);
}

bool AxisMap::contains(double value) const {
  if (kind == AxisKind::log10 && !(value > 0.0)) return false;
  return value >= range.low && value <= range.high;
}

}  // namespace tessel
