// The further outputs of a job: record sections and the writing of pictures and records.
#include "app/job_outputs.hpp"

#include <fstream>
#include <optional>

#include "core/atom_types.hpp"
#include "core/envelope.hpp"
#include "core/fit_residuals.hpp"
#include "io/plot/figure_renderer.hpp"
#include "io/plot/fit_figures.hpp"
#include "io/run_log.hpp"
#include "io/version_texts.hpp"

namespace tessel {

namespace {

std::vector<double> copy(std::span<const double> values) { return {values.begin(), values.end()}; }

}  // namespace

RecordStructure structure_record(const ScatteringModel& model, const MolecularQuantities* molecular) {
  RecordStructure r;
  const StructureAmplitudes& structure = model.structure;
  if (model.prepass) {
    r.atoms_read = model.prepass->atoms;
    r.skipped_rotamers = model.prepass->skipped_rotamers;
    r.discarded_waters = model.prepass->discarded_waters;
    r.discarded_hydrogens = model.prepass->discarded_hydrogens;
    r.geometric_centre = model.prepass->centre;
    r.excess_density_centre = structure.excess_centre;
  }
  if (model.composition) {
    for (int e = 0; e < kElementCount; ++e) {
      const int count = model.composition->atoms_per_element[static_cast<std::size_t>(e)];
      if (count > 0) r.atoms_per_element.emplace_back(std::string(element_symbol(e)), count);
    }
  }
  r.atoms = structure.sums.atoms;
  r.dummy_residues = structure.sums.dummy_residues;
  r.residues = model.residues;
  r.bases = model.bases;
  r.unknown_atoms = model.unknown_atoms;
  r.rg_electron = structure.electron_rg;
  r.rg_shape = structure.shape_rg;
  r.shell_volume = model.statistics.shell_volume;
  r.shell_rg = model.statistics.shell_rg;
  r.shell_width = kShellWidth;
  r.envelope_rg = model.statistics.rg;
  r.envelope_volume = model.statistics.volume;
  r.envelope_surface = model.statistics.surface;
  r.envelope_radius = model.statistics.radius;
  r.envelope_diameter = model.statistics.diameter;
  if (molecular) {
    r.molecular_known = true;
    r.molecular_weight = molecular->molecular_weight;
    r.dry_volume = molecular->dry_volume;
    r.displaced_volume = molecular->reported_volume;
    r.average_atomic_radius = molecular->average_atom.radius;
  }
  return r;
}

RecordData data_record(const PreparedCurve& curve) {
  RecordData r;
  r.file = curve.data_file;
  r.constant_subtraction = curve.subtract_constant;
  r.max_s_in_file = curve.max_s_in_file;
  r.points_read = static_cast<long long>(curve.points_read);
  r.unit_factor = curve.unit_factor;
  r.points_kept = static_cast<long long>(curve.points_kept);
  r.regridded = curve.regridded;
  r.points_after_regridding = static_cast<long long>(curve.points_after_regridding);
  r.points_for_fit = static_cast<long long>(curve.data.s_r.size());
  r.guinier_points = static_cast<long long>(curve.data.nrg);
  if (curve.data.subtract_constant) r.outer_average_intensity = curve.data.outer_average;
  return r;
}

RecordSearch search_record(const FitResult& fit) {
  const FitLogValues& v = fit.log_values;
  RecordSearch r;
  r.searched = fit.searched;
  r.contrast_low = v.contrast_low;
  r.contrast_high = v.contrast_high;
  r.radius_low = v.radius_low;
  r.radius_high = v.radius_high;
  r.volume_low = v.volume_low;
  r.volume_high = v.volume_high;
  r.s_max_fit = v.s_max_fit;
  if (fit.subtract_constant) r.background_relative = std::array<double, 2>{fit.background_low, fit.background_high};
  return r;
}

RecordFit fit_record(const FitResult& fit, double rho0) {
  RecordFit r;
  r.solvent_density = rho0;
  r.shell_contrast = fit.parameters.contrast;
  r.atomic_radius = fit.parameters.radius;
  r.excluded_volume = fit.reported_volume;
  r.scale = fit.scale;
  r.constant = fit.absolute_background();
  r.constant_relative = fit.background;
  r.constant_fitted = fit.subtract_constant;
  r.chi2 = fit.chi2;
  r.points_used = static_cast<long long>(fit.points_used);
  r.hydration = fit.log_values.hydration;
  return r;
}

RecordCurve intensity_curve_record(std::span<const double> s, std::span<const double> net,
                                   std::span<const double> atoms, std::span<const double> excluded,
                                   std::span<const double> shell) {
  return RecordCurve{{{"s_per_A", copy(s)},
                      {"intensity", copy(net)},
                      {"atoms", copy(atoms)},
                      {"excluded_volume", copy(excluded)},
                      {"shell", copy(shell)}}};
}

RecordCurve fit_curve_record(std::span<const double> s, std::span<const double> i_exp,
                             std::span<const double> sigma, std::span<const double> i_fit) {
  return RecordCurve{{{"s_per_A", copy(s)},
                      {"i_exp", copy(i_exp)},
                      {"sigma", copy(sigma)},
                      {"i_fit", copy(i_fit)},
                      {"residual", weighted_residuals(i_exp, i_fit, sigma)}}};
}

bool write_whole_file(const std::string& file, const std::function<bool(std::ostream&)>& write,
                      Platform& platform) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  bool ok = write(out);
  out.close();
  ok = ok && static_cast<bool>(out);
  if (!ok) platform.remove(file);
  return ok;
}

ScaledPartials scaled_partials(std::span<const double> scale, std::span<const double> solvent,
                               std::span<const double> shell, double delta_rho) {
  ScaledPartials out;
  out.excluded.resize(solvent.size());
  out.shell.resize(shell.size());
  for (std::size_t i = 0; i < solvent.size(); ++i) out.excluded[i] = scale[i] * scale[i] * solvent[i];
  for (std::size_t i = 0; i < shell.size(); ++i) out.shell[i] = delta_rho * delta_rho * shell[i];
  return out;
}

namespace {

std::span<const double> column(const RecordCurve& curve, std::string_view name) {
  for (const auto& [key, values] : curve.columns)
    if (key == name) return values;
  return {};
}

RecordSettings settings_record(const RunSettings& s) {
  RecordSettings r;
  r.angular_units = s.angular_units;
  r.solvent_density = s.rho0;
  r.shell_contrast = s.delta_rho;
  r.keep = s.keep_as_set;
  r.subtract_constant = s.subtract_constant;
  r.explicit_hydrogens = s.explicit_hydrogens;
  r.write_errors = s.write_errors;
  r.new_atom_naming = s.new_atom_naming;
  r.use_default_parameters = s.use_default_parameters;
  r.no_summary = s.no_summary;
  r.model_number = s.model_number;
  r.chain_ids = s.chain_ids;
  r.prefix = s.prefix;
  r.plot_format = s.plot_format;
  return r;
}

// The picture of a fit or a prediction as the record describes it; none for an envelope-only job.
std::optional<Figure> figure_of(const JobRecord& r, const RunSettings& settings) {
  if (r.fit && r.fit_curve && r.data) {
    FitPictureData d;
    d.structure_file = r.structure_file;
    d.data_file = r.data->file;
    d.values = {r.fit->solvent_density, r.fit->shell_contrast, r.fit->atomic_radius, r.fit->excluded_volume,
                r.fit->scale, r.fit->constant, r.fit->constant_fitted, r.fit->chi2};
    d.s = column(*r.fit_curve, "s_per_A");
    d.i_exp = column(*r.fit_curve, "i_exp");
    d.sigma = column(*r.fit_curve, "sigma");
    d.i_fit = column(*r.fit_curve, "i_fit");
    d.unit = s_unit_of_factor(r.data->unit_factor);
    return fit_figure(d);
  }
  if (r.prediction && r.intensity_curve) {
    PredictionPictureData d;
    d.structure_file = r.structure_file;
    d.rho0 = r.prediction->solvent_density;
    d.contrast = r.prediction->shell_contrast;
    d.radius = r.prediction->atomic_radius;
    d.volume = r.prediction->excluded_volume;
    d.s = column(*r.intensity_curve, "s_per_A");
    d.total = column(*r.intensity_curve, "intensity");
    d.atoms = column(*r.intensity_curve, "atoms");
    d.excluded = column(*r.intensity_curve, "excluded_volume");
    d.shell = column(*r.intensity_curve, "shell");
    const bool per_nanometre = settings.angular_units == 2 || settings.angular_units == 4;
    d.unit = per_nanometre ? SUnit::per_nanometre : SUnit::per_angstrom;
    return prediction_figure(d);
  }
  return std::nullopt;
}

void announce(std::string_view what, const std::string& file, const Report& report) {
  report.to_console(saved_line(what, file, Destination::console));
  report.to_log(saved_line(what, file, Destination::log));
}

}  // namespace

JobExtras::JobExtras(const RunSettings& settings, std::vector<std::string> command_line, bool interactive)
    : picture_wanted_(!settings.plot_format.empty()), record_wanted_(settings.json_record) {
  record_.program = std::string(kVersionProgram);
  record_.version = std::string(kVersionNumber);
  record_.command_line = std::move(command_line);
  record_.interactive = interactive;
}

void JobExtras::add_output(std::string file, std::string kind) {
  record_.outputs.push_back({std::move(file), std::move(kind)});
}

bool JobExtras::write_picture(const std::string& file, const RunSettings& settings, const Report& report,
                              Platform& platform) {
  const std::optional<Figure> figure = figure_of(record_, settings);
  const std::optional<PictureFormat> format = picture_format(settings.plot_format);
  if (!figure || !format) return true;
  if (!write_whole_file(file, [&](std::ostream& out) { return render_figure(*figure, *format, out); }, platform)) {
    report.to_both(saving_error(file));
    return false;
  }
  announce(kSavedPicture, file, report);
  add_output(file, "picture");
  return true;
}

bool JobExtras::write(const std::string& base_name, const RunSettings& settings, int directions,
                      const Report& report, Platform& platform) {
  bool ok = true;
  if (picture_wanted_)
    ok = write_picture(base_name + std::string(picture_extension(*picture_format(settings.plot_format))),
                       settings, report, platform);
  if (!record_wanted_) return ok;

  record_.mode = record_.fit ? "fit" : record_.prediction ? "prediction" : "envelope";
  record_.grid = {settings.l_max, settings.fibonacci_order, directions, settings.s_max, settings.n_points};
  record_.settings = settings_record(settings);
  const std::string file = base_name + ".json";
  // The record lists itself among the outputs; it is taken back if the file fails.
  add_output(file, "record");
  if (!write_whole_file(file, [this](std::ostream& out) { return write_job_record(out, record_); }, platform)) {
    record_.outputs.pop_back();
    report.to_both(saving_error(file));
    return false;
  }
  announce(kSavedRecord, file, report);
  return ok;
}

}  // namespace tessel
