// Text of the extended fit's own lines.
#include "io/extended_fit_report.hpp"

#include <cmath>

#include "io/fortran_format.hpp"

namespace tessel {
namespace {

std::string side_text(RangeSide side) {
  switch (side) {
    case RangeSide::lower:
      return "on the lower bound";
    case RangeSide::upper:
      return "on the upper bound";
    case RangeSide::inside:
      break;
  }
  return "inside";
}

// "value  (range low to high, side)" with d decimals (d = 0: a volume, written like the log's),
// or "value  (held)" for a range of one value.
std::string ranged(double value, double low, double high, int d, RangeSide side) {
  if (low == high) return format_f(value, 0, d) + "  (held)";  // -def: not searched
  return format_f(value, 0, d) + "  (range " + format_f(low, 0, d) + " to " + format_f(high, 0, d) + ", " +
         side_text(side) + ")";
}

std::string percent(double fraction) { return format_f(100.0 * fraction, 0, 1) + " %"; }

// Why a fit breaks the rule.
std::string reasons(const Plausibility& p) {
  std::string text;
  if (!p.volume_ok) {
    text += "its excluded volume departs " + percent(std::fabs(p.volume_departure)) +
            " from the displaced volume (limit " + percent(kPlausibleVolumeDeparture) + ")";
  }
  if (!p.background_ok) {
    if (!text.empty()) text += " and ";
    text += "its background is " + percent(std::fabs(p.background_fraction)) + " of I(0) (limit " +
            percent(kPlausibleBackgroundFraction) + ")";
  }
  return text;
}

}  // namespace

std::string extended_fit_lines(const ExtendedFitResult& r) {
  const ExtendedLimits& l = r.limits;
  const double dummies = r.reported_volume - r.parameters.volume;
  std::string text = " --------  Extended fit  ----------------------------\n";
  text += labelled_line("Excluded volume, effective", ranged(r.reported_volume, l.base.volume_low + dummies,
                                                             l.base.volume_high + dummies, 0, r.volume_side));
  text += labelled_line("Displaced volume", format_f(r.displaced_volume, 0, 0));
  text +=
      labelled_line("Excluded volume departs from displaced by", percent(r.plausibility.volume_departure));
  text += labelled_line("Radius of the global damping (signed)",
                        ranged(r.parameters.radius, l.radius_low, l.radius_high, 3, r.radius_side));
  text += labelled_line("Global damping exponent, own atom's",
                        format_f(r.damping_exponent, 0, 3) + ", " + format_f(r.own_exponent, 0, 3));
  text += labelled_line("Contrast of the solvation shell", ranged(r.parameters.contrast, l.base.contrast_low,
                                                                  l.base.contrast_high, 4, r.contrast_side));
  text +=
      labelled_line("Shell width", ranged(r.parameters.width, l.width_low, l.width_high, 2, r.width_side));
  text += labelled_line("Shell volume", format_f(r.shell_volume, 0, 0));
  text += labelled_line("Background relative to I(0)",
                        percent(r.plausibility.background_fraction) +
                            (r.background_at_limit ? "  (held to the limit)" : "  (free)"));
  text += labelled_line("Grid points, refinement steps",
                        int_text(static_cast<long long>(r.grid_points)) + ", " +
                            int_text(static_cast<long long>(r.refinement_evaluations)));
  if (r.best_refused) {
    text += " Warning: the best fit (Chi^2 " + format_f(r.refused_chi2, 0, 3) +
            " on the regridded points, Ra " + format_f(r.refused.radius, 0, 3) + ", width " +
            format_f(r.refused.width, 0, 2) + ") is refused: " + reasons(r.refused_plausibility) +
            "; the best plausible fit is reported\n";
  }
  if (r.plausibility.ok()) {
    text += labelled_line("Plausibility", "plausible");
  } else {
    text += " Warning: no plausible fit was found; the fit reported is not plausible: " +
            reasons(r.plausibility) + "\n";
  }
  return text;
}

}  // namespace tessel
