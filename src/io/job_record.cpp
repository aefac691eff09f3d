// The job record: its document and the writer.
#include "io/job_record.hpp"

#include <algorithm>
#include <string_view>

namespace tessel {

namespace {

using json = nlohmann::ordered_json;

json units() {
  return {{"s", "1/A, s = 4*pi*sin(theta)/lambda"},
          {"length", "A"},
          {"area", "A^2"},
          {"volume", "A^3"},
          {"electron_density", "e/A^3"},
          {"molecular_weight", "Da"},
          {"intensity", "measured: as in the data file; computed: as in the .int file"}};
}

json settings_json(const RecordSettings& s) {
  return {{"angular_units", s.angular_units},
          {"solvent_density_e_per_A3", s.solvent_density},
          {"shell_contrast_e_per_A3", s.shell_contrast},
          {"keep", s.keep},
          {"subtract_constant", s.subtract_constant},
          {"explicit_hydrogens", s.explicit_hydrogens},
          {"write_errors", s.write_errors},
          {"new_atom_naming", s.new_atom_naming},
          {"use_default_parameters", s.use_default_parameters},
          {"no_summary", s.no_summary},
          {"model_number", s.model_number},
          {"chain_ids", s.chain_ids},
          {"prefix", s.prefix},
          {"plot_format", s.plot_format}};
}

json structure_json(const RecordStructure& s) {
  json j;
  if (s.atoms_read) j["atoms_read"] = *s.atoms_read;
  if (s.skipped_rotamers) j["skipped_rotamers"] = *s.skipped_rotamers;
  if (s.discarded_waters) j["discarded_waters"] = *s.discarded_waters;
  if (s.discarded_hydrogens) j["discarded_hydrogens"] = *s.discarded_hydrogens;
  if (s.geometric_centre) j["geometric_centre_A"] = *s.geometric_centre;
  if (s.excess_density_centre) j["excess_density_centre_A"] = *s.excess_density_centre;
  j["atoms"] = s.atoms;
  j["dummy_residues"] = s.dummy_residues;
  j["residues"] = s.residues;
  j["bases"] = s.bases;
  j["unknown_atoms"] = s.unknown_atoms;
  if (!s.atoms_per_element.empty()) {
    json elements = json::object();
    for (const auto& [symbol, count] : s.atoms_per_element) elements[symbol] = count;
    j["atoms_per_element"] = elements;
  }
  j["rg_electron_A"] = s.rg_electron;
  j["rg_shape_A"] = s.rg_shape;
  j["shell_volume_A3"] = s.shell_volume;
  j["shell_rg_A"] = s.shell_rg;
  j["shell_width_A"] = s.shell_width;
  j["envelope_rg_A"] = s.envelope_rg;
  j["envelope_volume_A3"] = s.envelope_volume;
  j["envelope_surface_A2"] = s.envelope_surface;
  j["envelope_radius_A"] = s.envelope_radius;
  j["envelope_diameter_A"] = s.envelope_diameter;
  if (s.molecular_known) {
    j["molecular_weight_Da"] = s.molecular_weight;
    j["dry_volume_A3"] = s.dry_volume;
    j["displaced_volume_A3"] = s.displaced_volume;
    j["average_atomic_radius_A"] = s.average_atomic_radius;
  }
  return j;
}

json data_json(const RecordData& d) {
  json j = {{"file", d.file},
            {"constant_subtraction", d.constant_subtraction},
            {"max_s_in_file", d.max_s_in_file},
            {"points_read", d.points_read},
            {"unit_factor", d.unit_factor},
            {"points_kept", d.points_kept},
            {"regridded", d.regridded},
            {"points_after_regridding", d.points_after_regridding},
            {"points_for_fit", d.points_for_fit},
            {"guinier_points", d.guinier_points}};
  if (d.outer_average_intensity) j["outer_average_intensity"] = *d.outer_average_intensity;
  return j;
}

json search_json(const RecordSearch& s) {
  json j = {{"searched", s.searched},
            {"shell_contrast_e_per_A3", {s.contrast_low, s.contrast_high}},
            {"atomic_radius_A", {s.radius_low, s.radius_high}},
            {"excluded_volume_A3", {s.volume_low, s.volume_high}},
            {"s_max_fit_per_A", s.s_max_fit}};
  if (s.background_relative) j["background_relative"] = *s.background_relative;
  return j;
}

json fit_json(const RecordFit& f) {
  return {{"solvent_density_e_per_A3", f.solvent_density},
          {"shell_contrast_e_per_A3", f.shell_contrast},
          {"atomic_radius_A", f.atomic_radius},
          {"excluded_volume_A3", f.excluded_volume},
          {"scale", f.scale},
          {"constant", f.constant},
          {"constant_relative", f.constant_relative},
          {"constant_fitted", f.constant_fitted},
          {"chi2", f.chi2},
          {"points_used", f.points_used},
          {"hydration", f.hydration}};
}

json prediction_json(const RecordPrediction& p) {
  return {{"solvent_density_e_per_A3", p.solvent_density},
          {"shell_contrast_e_per_A3", p.shell_contrast},
          {"atomic_radius_A", p.atomic_radius},
          {"excluded_volume_A3", p.excluded_volume},
          {"average_atomic_volume_A3", p.average_atomic_volume}};
}

json derived_json(const RecordDerived& d) {
  return {{"rg_combined_A", d.rg_combined},
          {"rg_slope_A", d.rg_slope},
          {"average_electron_density_e_per_A3", d.electron_density}};
}

json curve_json(const RecordCurve& c) {
  json j = json::object();
  for (const auto& [name, values] : c.columns) j[name] = values;
  return j;
}

bool is_number_array(const json& j) {
  return j.is_array() && !j.empty() &&
         std::all_of(j.begin(), j.end(), [](const json& v) { return v.is_number() || v.is_null(); });
}

// Objects and arrays of objects one member per line; arrays of numbers (the curves) on one line.
void write_value(std::ostream& out, const json& j, int depth) {
  const std::string indent(static_cast<std::size_t>(2 * (depth + 1)), ' ');
  const std::string closing(static_cast<std::size_t>(2 * depth), ' ');
  if (j.is_object() && !j.empty()) {
    out << "{\n";
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (!first) out << ",\n";
      first = false;
      out << indent << json(it.key()).dump() << ": ";
      write_value(out, it.value(), depth + 1);
    }
    out << '\n' << closing << '}';
  } else if (j.is_array() && !j.empty() && !is_number_array(j) &&
             std::any_of(j.begin(), j.end(), [](const json& v) { return v.is_structured(); })) {
    out << "[\n";
    for (std::size_t i = 0; i < j.size(); ++i) {
      if (i > 0) out << ",\n";
      out << indent;
      write_value(out, j[i], depth + 1);
    }
    out << '\n' << closing << ']';
  } else {
    out << j.dump();
  }
}

}  // namespace

nlohmann::ordered_json job_record_json(const JobRecord& r) {
  // Keys stay in the order written here, so that the file reads top down like the log.
  json j;
  j["schema_version"] = kJobRecordSchemaVersion;
  j["program"] = {{"name", r.program}, {"version", r.version}};
  j["command_line"] = r.command_line;
  j["interactive"] = r.interactive;
  j["mode"] = r.mode;
  j["units"] = units();
  json inputs = json::object();
  if (!r.structure_file.empty()) inputs["structure_file"] = r.structure_file;
  if (!r.save_file.empty()) inputs["save_file"] = r.save_file;
  if (r.data) inputs["data_file"] = r.data->file;
  j["inputs"] = inputs;
  j["grid"] = {{"harmonic_order", r.grid.harmonic_order},
               {"fibonacci_order", r.grid.fibonacci_order},
               {"directions", r.grid.directions},
               {"s_max_per_A", r.grid.s_max},
               {"points", r.grid.points}};
  j["settings"] = settings_json(r.settings);
  if (r.structure) j["structure"] = structure_json(*r.structure);
  if (r.data) j["data"] = data_json(*r.data);
  if (r.search) j["search"] = search_json(*r.search);
  if (r.fit) j["fit"] = fit_json(*r.fit);
  if (r.prediction) j["prediction"] = prediction_json(*r.prediction);
  if (r.derived) j["derived"] = derived_json(*r.derived);
  json curves = json::object();
  if (r.intensity_curve) curves["intensity"] = curve_json(*r.intensity_curve);
  if (r.fit_curve) curves["fit"] = curve_json(*r.fit_curve);
  j["curves"] = curves;
  json outputs = json::array();
  for (const RecordOutput& o : r.outputs) outputs.push_back({{"file", o.file}, {"kind", o.kind}});
  j["outputs"] = outputs;
  j["warnings"] = r.warnings;
  for (auto it = r.extra.begin(); it != r.extra.end(); ++it) j[it.key()] = it.value();
  return j;
}

bool write_job_record(std::ostream& out, const JobRecord& record) {
  write_value(out, job_record_json(record), 0);
  out << '\n';
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace tessel
