// The extended fit stage: shells of several widths, search, exact shell at the fitted width,
// final evaluation and reports.
#include "app/extended_fit_stage.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <complex>

#include "core/envelope.hpp"
#include "core/hydration_shell.hpp"
#include "core/intensity.hpp"
#include "core/respline.hpp"
#include "core/shell_widths.hpp"
#include "io/data_preparation_report.hpp"
#include "io/extended_fit_report.hpp"
#include "io/fit_results.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

double with_dummies(const FitModel& m, double volume) {
  return volume + kDummyResidueVolume * m.n_dummy_residues;
}

// The first `points` points of an amplitude.
PartialAmplitudes first_points(const PartialAmplitudes& x, int points) {
  const auto pairs = static_cast<std::size_t>(x.pair_count());
  const auto values = x.values().first(pairs * static_cast<std::size_t>(points));
  return PartialAmplitudes(x.l_max(), points,
                           std::vector<std::complex<double>>(values.begin(), values.end()));
}

}  // namespace

ExtendedFitOutcome run_extended_fit(const ExtendedFitInputs& in, const Report& report,
                                    const LoopSettings& loops) {
  assert(in.tables != nullptr && in.atoms != nullptr && in.solvent != nullptr);
  const FitModel& base = in.model;
  const std::span<const double> s = base.s;
  const double max_radius =
      in.envelope.empty() ? 0.0 : *std::max_element(in.envelope.begin(), in.envelope.end());
  const LineTable table = make_shell_integral_table(in.tables->l_max(), s.back(),
                                                    shell_table_radius(max_radius, kExtendedWidthHigh));
  const auto shells_for = [&](std::span<const double> points, std::span<const double> widths) {
    return shell_amplitudes_for_widths(*in.tables, points, in.envelope, table, widths, loops);
  };
  const ExtendedLimits limits = extended_search_limits(base, in.data, in.use_default_parameters);
  const double a_out = in.data.a_out;

  const FitRange range = fit_range(s, in.data.s_r, limits.base.s_max_fit);
  report.to_console(labelled_line(" Number of experimental points used", range.n_fit));
  report.to_console(" ------  Fitting the experimental data ...    ---\n");
  report.to_log(fit_search_headings());

  ExtendedParameters chosen{base.displaced_volume, base.atomic_radius, kFitDefaultContrast, kShellWidth};
  double s_max_fit = limits.base.s_max_fit;
  ExtendedFitResult r;
  r.limits = limits;
  bool searched = false;
  if (range.empty()) {
    report.to_both(" Warning: no experimental point lies below Smax in the fitting range (" +
                   real_text(s_max_fit) + "); the parameters are not searched\n");
  } else {
    // The grid's shells only on the points up to the fitted stretch.
    const std::size_t points = range.last + 1;
    const ShellWidthAmplitudes shells = shells_for(s.first(points), grid_widths(limits));
    const PartialAmplitudes atoms = first_points(*in.atoms, static_cast<int>(points));
    const PartialAmplitudes solvent = first_points(*in.solvent, static_cast<int>(points));
    const ShellWidthCurves curves =
        shell_width_curves(atoms, solvent, shells.widths, shells.amplitudes, shells.volumes);
    const ExtendedSearchResult found = search_extended(base, curves, in.data, limits, a_out, loops);
    if (found.out_of_range) report.to_console(std::string(kResplineOutOfRangeMessage) + '\n');
    searched = true;
    s_max_fit = range.s_max_fit;
    r.grid_points = found.grid_points;
    r.refinement_evaluations = found.refinement_evaluations;
    if (found.found) {
      chosen = found.best;
      if (!found.best_plausibility.ok() && found.plausible_found) {
        r.best_refused = true;
        r.refused = found.best;
        r.refused_chi2 = found.chi2;
        r.refused_plausibility = found.best_plausibility;
        chosen = found.plausible;
      }
    }
  }

  // The shell of the fitted width on the whole grid.
  ExtendedFitOutcome out;
  const double fitted_width[] = {chosen.width};
  ShellWidthAmplitudes single = shells_for(s, fitted_width);
  out.shell = std::move(single.amplitudes.front());
  out.shell_rg = single.rgs.front();
  out.shell_volume = single.volumes.front();
  out.shell_curve = partial_intensity(out.shell);
  out.atoms_shell_curve = cross_intensity(*in.atoms, out.shell);
  out.solvent_shell_curve = cross_intensity(*in.solvent, out.shell);
  FitModel model = base;
  model.shell = out.shell_curve;
  model.atoms_shell = out.atoms_shell_curve;
  model.solvent_shell = out.solvent_shell_curve;
  model.shell_volume = out.shell_volume;

  ExtendedFinalFit final_fit = evaluate_extended_fit(model, in.data, chosen, s_max_fit, a_out, in.data.nrg);
  if (final_fit.fit.out_of_range) report.to_console(std::string(kResplineOutOfRangeMessage) + '\n');
  report.to_console(estrg_messages(final_fit.fit.guinier));

  FitResult& f = out.fit;
  f.searched = searched;
  f.parameters = {chosen.volume, chosen.radius, chosen.contrast};
  f.reported_volume = with_dummies(model, chosen.volume);
  f.scale = final_fit.fit.scale;
  f.background = final_fit.fit.background;
  f.a_out = a_out;
  f.chi2 = final_fit.fit.chi2;
  f.subtract_constant = true;
  f.s_max_fit = s_max_fit;
  f.fitted = std::move(final_fit.fit.fitted);
  f.intensity = std::move(final_fit.fit.intensity);
  f.scale_curve = std::move(final_fit.fit.scale_curve);
  f.nrg = final_fit.fit.guinier.status == 0 && final_fit.fit.guinier.nrg > 0 ? final_fit.fit.guinier.nrg
                                                                             : in.data.nrg;

  const SearchLimits& l = limits.base;
  FitLogValues v{};
  v.contrast_low = l.contrast_low;
  v.contrast_high = l.contrast_high;
  v.radius_low = limits.radius_low;
  v.radius_high = limits.radius_high;
  v.volume_low = with_dummies(model, l.volume_low);
  v.volume_high = with_dummies(model, l.volume_high);
  v.s_max_fit = s_max_fit;
  v.contrast = chosen.contrast;
  v.radius = chosen.radius;
  v.volume = f.reported_volume;
  v.chi2 = f.chi2;
  v.hydration = hydration_ratio(out.shell_volume, model.rho0, chosen.contrast, model.molecular_weight);
  report.to_log(fit_result_line(v));
  report.to_log(background_line(l.background_low, l.background_high, f.background, f.absolute_background()));
  f.title = fit_title(in.structure_name, chosen.contrast, chosen.radius, f.reported_volume, f.chi2);
  std::string shown = f.title;
  shown.erase(shown.find_last_not_of(' ') + 1);
  report.to_console(shown + '\n');

  r.parameters = chosen;
  r.volume_side = range_side(chosen.volume, l.volume_low, l.volume_high);
  r.radius_side = range_side(chosen.radius, limits.radius_low, limits.radius_high);
  r.contrast_side = range_side(chosen.contrast, l.contrast_low, l.contrast_high);
  r.width_side = range_side(chosen.width, limits.width_low, limits.width_high);
  r.damping_exponent = -signed_radius_exponent(chosen.radius, kFinalTwoThirds);
  r.own_exponent = -signed_radius_exponent(base.atomic_radius, kFinalTwoThirds);
  r.reported_volume = f.reported_volume;
  r.displaced_volume = with_dummies(model, model.displaced_volume);
  r.shell_volume = out.shell_volume;
  r.scale = f.scale;
  r.background = f.background;
  r.absolute_background = f.absolute_background();
  r.forward_intensity = final_fit.forward_intensity;
  r.chi2 = f.chi2;
  r.plausibility = final_fit.plausibility;
  r.background_at_limit = final_fit.background_held;
  out.result = r;
  report.to_both(extended_fit_lines(r));
  return out;
}

}  // namespace tessel
