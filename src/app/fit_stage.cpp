// The fit stage of a job: search, final evaluation, reports, plot and the continuation dialogue.
#include "app/fit_stage.hpp"

#include <filesystem>

#include "core/respline.hpp"
#include "core/trim.hpp"
#include "io/data_preparation_report.hpp"
#include "io/fit_results.hpp"
#include "io/fortran_format.hpp"

namespace tessel {
namespace {

// What the stage holds between one search (or evaluation) and the next.
struct FitSession {
  SearchLimits limits;
  SolventParameters best;
  double a_out = 0.0;
  double a_tail = 0.0;          // the offered tail intensity
  bool subtract_constant = false;
  std::size_t nrg = 0;
  bool searched = false;
  bool headings_written = false;
};

double with_dummies(const FitModel& m, double volume) {
  return volume + kDummyResidueVolume * m.n_dummy_residues;
}

void announce_range(const FitRange& range, const Report& report) {
  report.to_console(labelled_line(" Number of experimental points used", range.n_fit));
  report.to_console(" ------  Fitting the experimental data ...    ---\n");
}

// One search over the session's limits; the best record changes only when a grid point gave a
// χ² below 1e20. Returns the fitting limit the evaluation is to use.
double search(const FitInputs& in, FitSession& f, const Report& report,
              const LoopSettings& loops) {
  const FitRange range = fit_range(in.model.s, in.data.s_r, f.limits.s_max_fit);
  announce_range(range, report);
  if (!f.headings_written) {
    report.to_log(fit_search_headings());
    f.headings_written = true;
  }
  if (range.empty()) {
    report.to_both(" Warning: no experimental point lies below Smax in the fitting range (" +
                   real_text(f.limits.s_max_fit) + "); the parameters are not searched\n");
    return f.limits.s_max_fit;
  }
  const SearchResult r = search_solvent_parameters(in.model, in.data, f.limits, f.a_out, loops);
  if (r.out_of_range) report.to_console(std::string(kResplineOutOfRangeMessage) + '\n');
  f.searched = true;
  if (r.found) f.best = r.best;
  f.limits.s_max_fit = range.s_max_fit;
  return range.s_max_fit;
}

// The final evaluation at the best record and its reports.
FitResult evaluate(const FitInputs& in, FitSession& f, double s_max_fit, const Report& report) {
  const FitModel& m = in.model;
  FinalFit final_fit = evaluate_final_fit(m, in.data, f.best, s_max_fit, f.a_out,
                                          f.limits.background_low, f.limits.background_high, f.nrg);
  if (final_fit.out_of_range) report.to_console(std::string(kResplineOutOfRangeMessage) + '\n');
  report.to_console(estrg_messages(final_fit.guinier));
  if (final_fit.guinier.status == 0 && final_fit.guinier.nrg > 0) f.nrg = final_fit.guinier.nrg;

  FitResult r;
  r.searched = f.searched;
  r.parameters = f.best;
  r.reported_volume = with_dummies(m, f.best.volume);
  r.scale = final_fit.scale;
  r.background = final_fit.background;
  r.a_out = f.a_out;
  r.chi2 = final_fit.chi2;
  r.subtract_constant = f.subtract_constant;
  r.s_max_fit = s_max_fit;
  r.fitted = std::move(final_fit.fitted);
  r.intensity = std::move(final_fit.intensity);
  r.scale_curve = std::move(final_fit.scale_curve);
  r.nrg = f.nrg;

  const SearchLimits& l = f.limits;
  FitLogValues v{};
  v.contrast_low = l.contrast_low;
  v.contrast_high = l.contrast_high;
  v.radius_low = l.radius_low;
  v.radius_high = l.radius_high;
  v.volume_low = with_dummies(m, l.volume_low);
  v.volume_high = with_dummies(m, l.volume_high);
  v.s_max_fit = s_max_fit;
  v.contrast = f.best.contrast;
  v.radius = f.best.radius;
  v.volume = r.reported_volume;
  v.chi2 = r.chi2;
  v.hydration = hydration_ratio(m.shell_volume, m.rho0, f.best.contrast, m.molecular_weight);
  report.to_log(fit_result_line(v));
  r.log_values = v;
  r.background_low = l.background_low;
  r.background_high = l.background_high;
  r.points_used = fit_range(m.s, in.data.s_r, s_max_fit).n_fit;
  if (f.subtract_constant) {
    report.to_log(background_line(l.background_low, l.background_high, r.background, r.absolute_background()));
  }
  r.title = fit_title(in.structure_name, f.best.contrast, f.best.radius, r.reported_volume, r.chi2);
  report.to_console(std::string(trim_right(r.title)) + '\n');
  return r;
}

// "Minimize again with new limits": every limit, the fitting range and the background anew.
void ask_new_limits(const FitInputs& in, FitSession& f, Dialogue& d, const Report& report, double s_max_fit) {
  const FitModel& m = in.model;
  SearchLimits& l = f.limits;
  report.to_console(labelled_line("Average atomic radius is", m.atomic_radius));
  l.radius_low = d.ask_real("Minimum radius of atomic group", l.radius_low);
  l.radius_high = d.ask_real("Maximum radius of atomic group", l.radius_high);
  l.s_max_fit = d.ask_real("Smax in the fitting range", s_max_fit);
  report.to_console(labelled_line("Solvent density is", m.rho0));
  l.contrast_low = d.ask_real("Minimum contrast in the shell", l.contrast_low);
  l.contrast_high = d.ask_real("Maximum contrast in the shell", l.contrast_high);
  report.to_console(labelled_line("Van der Waals volume is", with_dummies(m, m.displaced_volume)));
  const double dummies = with_dummies(m, 0.0);
  l.volume_low = d.ask_real("Minimum excluded volume", with_dummies(m, l.volume_low)) - dummies;
  l.volume_high = d.ask_real("Maximum excluded volume", with_dummies(m, l.volume_high)) - dummies;
  l.volume_count = kFitVolumeCount;
  l.radius_count = kFitRadiusCount;
  l.contrast_count = kFitContrastCount;
  f.subtract_constant = d.ask_yes_no("Subtract constant", f.subtract_constant ? 'Y' : 'N') == 'Y';
  if (f.subtract_constant) {
    f.a_tail = f.a_out = d.ask_real("Averaged tail intensity is", f.a_tail);
    do {
      l.background_low = d.ask_real("Minimum relative background", l.background_low);
      l.background_high = d.ask_real("Maximum relative background", l.background_high);
    } while (!(l.background_low < l.background_high));
  } else {
    f.a_out = 0.0;
  }
}

// "Another set of parameters" answered yes, "Minimize again" no: the parameters by hand.
void ask_parameters(const FitInputs& in, FitSession& f, Dialogue& d) {
  const FitModel& m = in.model;
  f.best.contrast = d.ask_real("Contrast of the solvation shell", f.best.contrast);
  f.best.radius = d.ask_real("Average atomic radius", f.best.radius);
  f.best.volume = d.ask_real("Excluded volume", with_dummies(m, f.best.volume)) - with_dummies(m, 0.0);
  if (f.subtract_constant) f.a_tail = f.a_out = d.ask_real("Averaged tail intensity is", f.a_tail);
}

}  // namespace

FitModel fit_model(std::span<const double> s, const PartialIntensities& p, int n_atoms,
                   int n_dummy_residues, double displaced_volume, double atomic_radius,
                   double shell_volume, double molecular_weight, double rho0) {
  FitModel m;
  m.s = s;
  m.atoms = p.atoms;
  m.solvent = p.solvent;
  m.shell = p.shell;
  m.atoms_solvent = p.atoms_solvent;
  m.atoms_shell = p.atoms_shell;
  m.solvent_shell = p.solvent_shell;
  m.n_atoms = n_atoms;
  m.n_dummy_residues = n_dummy_residues;
  m.displaced_volume = displaced_volume;
  m.atomic_radius = atomic_radius;
  m.shell_volume = shell_volume;
  m.molecular_weight = molecular_weight;
  m.rho0 = rho0;
  return m;
}

FitResult run_fit(const FitInputs& in, const FitEnvironment& env) {
  const Report& report = env.report;
  FitSession f;
  f.limits = default_search_limits(in.model, in.data, in.use_default_parameters);
  f.best = {in.model.displaced_volume, in.model.atomic_radius, kFitDefaultContrast};
  f.a_out = in.data.a_out;
  f.a_tail = in.data.outer_average;
  f.subtract_constant = in.data.subtract_constant;
  f.nrg = in.data.nrg;

  bool search_next = true;
  double s_max_fit = f.limits.s_max_fit;
  for (;;) {
    if (search_next) s_max_fit = search(in, f, report, env.loops);
    FitResult result = evaluate(in, f, s_max_fit, report);
    if (!in.interactive || env.dialogue == nullptr) return result;

    Dialogue& d = *env.dialogue;
    show_fit(d, report,
             FitPlot{in.data.s_e, in.data.i_e, in.model.s, result.intensity, result.scale}, env.viewer);
    if (d.ask_yes_no("Another set of parameters", 'N') == 'N') return result;
    search_next = d.ask_yes_no("Minimize again with new limits", 'N') == 'Y';
    if (search_next) {
      ask_new_limits(in, f, d, report, s_max_fit);
    } else {
      ask_parameters(in, f, d);
    }
  }
}

void remove_kept_files(const std::string& base_name) {
  for (const char* extension : {".sav", ".alm", ".flm", ".int", ".env"}) {
    std::error_code ec;
    std::filesystem::remove(base_name + extension, ec);
  }
}

}  // namespace tessel
