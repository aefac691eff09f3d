// The extended fit's section of the job record.
#include "io/extended_fit_record.hpp"

namespace tessel {
namespace {

const char* side_name(RangeSide side) {
  switch (side) {
    case RangeSide::lower: return "lower";
    case RangeSide::upper: return "upper";
    case RangeSide::inside: break;
  }
  return "inside";
}

nlohmann::ordered_json searched(double value, double low, double high, RangeSide side) {
  return {{"value", value}, {"low", low}, {"high", high}, {"bound", side_name(side)}};
}

nlohmann::ordered_json parameters_json(const ExtendedParameters& p) {
  return {{"excluded_volume_A3", p.volume}, {"damping_radius_A", p.radius},
          {"shell_contrast_e_per_A3", p.contrast}, {"shell_width_A", p.width}};
}

nlohmann::ordered_json plausibility_json(const Plausibility& p) {
  return {{"volume_departure", p.volume_departure},
          {"background_fraction_of_I0", p.background_fraction},
          {"volume_ok", p.volume_ok},
          {"background_ok", p.background_ok}};
}

}  // namespace

nlohmann::ordered_json extended_fit_section(const ExtendedFitResult& r) {
  const ExtendedLimits& l = r.limits;
  nlohmann::ordered_json out;
  out["chi2"] = r.chi2;
  out["excluded_volume_A3"] =
      searched(r.parameters.volume, l.base.volume_low, l.base.volume_high, r.volume_side);
  out["damping_radius_A"] = searched(r.parameters.radius, l.radius_low, l.radius_high, r.radius_side);
  out["shell_contrast_e_per_A3"] =
      searched(r.parameters.contrast, l.base.contrast_low, l.base.contrast_high, r.contrast_side);
  out["shell_width_A"] = searched(r.parameters.width, l.width_low, l.width_high, r.width_side);
  out["effective_excluded_volume_A3"] = r.reported_volume;
  out["displaced_volume_A3"] = r.displaced_volume;
  out["shell_volume_A3"] = r.shell_volume;
  out["damping_exponent_A2"] = r.damping_exponent;
  out["own_atom_exponent_A2"] = r.own_exponent;
  out["scale"] = r.scale;
  out["background_relative"] = r.background;
  out["background_absolute"] = r.absolute_background;
  out["background_held_at_limit"] = r.background_at_limit;
  out["forward_intensity"] = r.forward_intensity;
  out["plausibility"] = plausibility_json(r.plausibility);
  out["plausible"] = r.plausibility.ok();
  if (r.best_refused) {
    out["refused"] = {{"parameters", parameters_json(r.refused)},
                      {"chi2", r.refused_chi2},
                      {"plausibility", plausibility_json(r.refused_plausibility)}};
  } else {
    out["refused"] = nullptr;
  }
  out["grid_points"] = r.grid_points;
  out["refinement_evaluations"] = r.refinement_evaluations;
  return out;
}

}  // namespace tessel
