// The further outputs of a job: record sections and the writing of pictures and records.
#include "app/job_outputs.hpp"

#include <fstream>

#include "core/atom_types.hpp"
#include "core/fit_residuals.hpp"
#include "core/envelope.hpp"

namespace tessel {

namespace {

std::vector<double> copy(std::span<const double> values) { return {values.begin(), values.end()}; }

}  // namespace

RecordStructure structure_record(const ScatteringModel& model, const MolecularQuantities& molecular) {
  RecordStructure r;
  const StructureAmplitudes& structure = model.structure;
  if (model.prepass) {
    r.atoms_read = model.prepass->atoms;
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
  r.molecular_weight = molecular.molecular_weight;
  r.dry_volume = molecular.dry_volume;
  r.displaced_volume = molecular.reported_volume;
  r.average_atomic_radius = molecular.average_atom.radius;
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

}  // namespace tessel
