// The scattering model of one structure as a job builds it.
#include "app/model_stage.hpp"

#include "core/hydration_shell.hpp"
#include "io/atom_typing.hpp"
#include "io/completeness_warning.hpp"
#include "io/fortran_format.hpp"
#include "io/pdb_completeness.hpp"
#include "io/pdb_reader.hpp"
#include "io/structure_completeness.hpp"

namespace tessel {

namespace {

void both(const Report& report, std::string_view text) { report.to_both(text); }

void mark(const Report& report) {
  if (report.console) *report.console << '>' << std::flush;
}

}  // namespace

ScatteringModel compute_scattering_model(const ModelRequest& request, const Report& report) {
  const HarmonicTables& tables = *request.tables;
  const std::unique_ptr<AtomSource> source =
      open_atom_source(request.structure, request.in_memory, request.explicit_hydrogens);
  write_prepass_start(report);
  const PrepassResult prepass = source->prepass();
  write_prepass_report(prepass, report);
  CompletenessReport completeness;
  std::vector<std::string> warnings;
  if (!request.sequence_file.empty()) {
    const bool on_disk =
        !request.in_memory || std::holds_alternative<std::monostate>(*request.in_memory);
    completeness = on_disk ? check_pdb_completeness(request.sequence_file, request.structure,
                                                    request.chain_selection, request.explicit_hydrogens)
                           : check_completeness(*request.in_memory, request.chain_selection,
                                                request.explicit_hydrogens);
    warnings = completeness_warning_lines(completeness);
    for (const std::string& line : warnings) both(report, line + "\n");
  }

  const double s_max = request.s.empty() ? 0.0 : request.s.back();
  // The members of an ensemble are compared with single runs to printed precision only.
  const BesselRecurrence recurrence =
      request.curves_only ? BesselRecurrence::shared : BesselRecurrence::per_order;
  ModelFormFactors own_form_factors;
  LineTable bessel;
  std::optional<StructureAccumulator> accumulator;
  if (request.envelope_only) {
    accumulator.emplace(tables);
  } else {
    if (request.form_factors == nullptr) own_form_factors = make_model_form_factors(request.s);
    const ModelFormFactors& form_factors =
        request.form_factors != nullptr ? *request.form_factors : own_form_factors;
    for (int i = 0; i < form_factors.regrid_warnings; ++i)
      report.to_console(" REGRID ---W- Out of abscissa range.\n");
    bessel = make_atom_bessel_table(tables.l_max(), s_max, prepass.extent, recurrence);
    accumulator.emplace(tables, request.s, form_factors, bessel, request.loops);
  }

  report.to_console(" Percent processed      10  20  30  40  50  60  70  80  90 100\n");
  report.to_console(" Processing atoms   : ");
  if (report.console) report.console->flush();
  accumulator->set_progress(ProgressMarks(prepass.atoms, [&report] { mark(report); }));

  TypingOptions typing;
  typing.explicit_hydrogens = request.explicit_hydrogens;
  typing.naming = request.new_atom_naming ? AtomNaming::New : AtomNaming::Old;
  typing.model_has_o2_star = prepass.old_nucleic_naming;
  AtomTyper typer(typing);
  std::vector<AtomRecord> records;
  std::vector<CentredAtom> atoms;
  while (source->next_batch(records)) {
    atoms.clear();
    for (const AtomRecord& record : records) {
      TypingResult typed = typer.type_atom(record);
      for (const TypingWarning& w : typed.warnings) {
        if (w.kind == TypingWarningKind::UnknownAtom)
          report.to_log(w.text);
        else
          report.to_console(w.text);
      }
      CentredAtom atom;
      atom.x = record.x - prepass.centre[0];
      atom.y = record.y - prepass.centre[1];
      atom.z = record.z - prepass.centre[2];
      atom.type = typed.atom.type;
      atom.dummy_residue = typed.atom.dummy_residue;
      atoms.push_back(atom);
    }
    accumulator->add_batch(atoms);
  }
  report.to_console("\n");

  ScatteringModel model;
  model.structure = accumulator->finish();
  model.completeness = std::move(completeness);
  model.warnings = std::move(warnings);
  const Composition& composition = typer.composition();
  model.residues = composition.residues;
  model.bases = composition.nucleotides;
  model.unknown_atoms = composition.unknown_atoms;
  model.prepass = prepass;
  model.composition = composition;

  static const Format centre_line("(A,3F7.3)");
  const auto& c = model.structure.excess_centre;
  both(report, centre_line(" Center of the excess electron density:", c[0], c[1], c[2]));
  const Envelope& envelope = model.structure.envelope;
  if (envelope.zero_directions > 0) {
    static const Format zero_line("(' For',I5,'  zero directions radius ',F7.2,' assumed')");
    both(report, zero_line(envelope.zero_directions, envelope.zero_radius));
  }
  both(report, composition_report(composition));

  model.statistics = request.curves_only
                         ? envelope_sums(envelope.radius)
                         : envelope_statistics(tables.grid(), envelope.radius, request.loops);
  if (!request.envelope_only) {
    report.to_console(" Processing envelope: ");
    if (report.console) report.console->flush();
    ProgressMarks progress(tables.grid().size(), [&report] { mark(report); });
    const LineTable integrals = make_shell_integral_table(tables.l_max(), s_max, envelope.max_radius, recurrence);
    model.shell = shell_amplitude(tables, request.s, envelope.radius, integrals, &progress,
                                  request.loops);
    report.to_console("\n");
  }
  if (!request.curves_only)
    model.envelope_function = envelope_function(tables, envelope.radius, model.statistics.radius);
  return model;
}

StructuralParameters structural_parameters(const ScatteringModel& model) {
  StructuralParameters p;
  p.rg_electron = model.structure.electron_rg;
  p.rg_shape = model.structure.shape_rg;
  p.shell_volume = model.statistics.shell_volume;
  p.shell_rg = model.statistics.shell_rg;
  p.shell_width = kShellWidth;
  p.envelope_rg = model.statistics.rg;
  p.envelope_volume = model.statistics.volume;
  p.envelope_surface = model.statistics.surface;
  p.envelope_radius = model.statistics.radius;
  p.envelope_diameter = model.statistics.diameter;
  return p;
}

std::vector<std::complex<double>> net_amplitudes(const PartialAmplitudes& a,
                                                 const PartialAmplitudes& c,
                                                 const PartialAmplitudes& b,
                                                 std::span<const double> scale, double delta_rho) {
  const auto av = a.values();
  const auto cv = c.values();
  const auto bv = b.values();
  const std::size_t nh = static_cast<std::size_t>(a.pair_count());
  std::vector<std::complex<double>> alm(av.size());
  for (std::size_t k = 0; k < av.size(); ++k) {
    std::complex<double> v = av[k] - scale[k / nh] * cv[k];
    if (!bv.empty()) v += delta_rho * bv[k];
    alm[k] = v;
  }
  return alm;
}

}  // namespace tessel
