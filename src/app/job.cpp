// One job of a run: the structure and its selection, the output names and the log, the grids,
// the scattering model, the intensity and the result files, in the order the user sees them.
#include "app/job.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <new>
#include <optional>
#include <span>

#include "app/curve_stage.hpp"
#include "app/ensemble_stage.hpp"
#include "app/extended_fit_stage.hpp"
#include "app/fit_stage.hpp"
#include "app/input_files.hpp"
#include "app/interrupt.hpp"
#include "app/job_outputs.hpp"
#include "app/model_stage.hpp"
#include "app/output_naming.hpp"
#include "app/save_stage.hpp"
#include "core/errors.hpp"
#include "core/fibonacci_grid.hpp"
#include "core/form_factors.hpp"
#include "core/harmonic_tables.hpp"
#include "core/intensity.hpp"
#include "core/mixture_fit.hpp"
#include "core/s_grid.hpp"
#include "io/amplitude_files.hpp"
#include "io/atom_typing.hpp"
#include "io/curve_warnings.hpp"
#include "io/ensemble_report.hpp"
#include "io/envelope_file.hpp"
#include "io/mixture_report.hpp"
#include "io/extended_fit_record.hpp"
#include "io/fit_results.hpp"
#include "io/fortran_format.hpp"
#include "io/intensity_file.hpp"
#include "io/job_structure.hpp"
#include "io/pdb_selection.hpp"
#include "io/run_log.hpp"
#include "io/save_file.hpp"
#include "io/summary_file.hpp"
#include "io/time_stamp.hpp"

namespace tessel {

namespace {

// The stop of a job whose intensity is no finite number.
constexpr std::string_view kIntensityOutOfRange =
    " Error -- The intensity is out of the range of numbers (infinite or undefined): check the"
    " maximum scattering vector, the solvent density and the shell contrast";

// Step of the default point count of the s grid, 1/Å.
constexpr double kDefaultPointStep = 0.01;

constexpr std::string_view kStructureFilter =
    "PDB files(*.pdb),*.pdb;PDB entries(*.ent),*.ent;mmCIF files(*.cif),*.cif;"
    "mmCIF files(*.mmcif),*.mmcif;compressed PDB files(*.pdb.gz),*.pdb.gz;"
    "compressed PDB entries(*.ent.gz),*.ent.gz;compressed mmCIF files(*.cif.gz),*.cif.gz;"
    "compressed mmCIF files(*.mmcif.gz),*.mmcif.gz;";
constexpr std::string_view kStructureChooserTitle = "***  PLEASE SELECT THE PDB FILE NAME  ***";

// The intensity of a job for one set of solvent parameters, with what is derived from it.
struct Prediction {
  double rho0 = 0;             // solvent electron density, e/Å³
  double delta_rho = 0;        // shell contrast, e/Å³
  double atomic_radius = 0;    // r0, Å
  double excluded_volume = 0;  // V_ex without the dummy residues' share, Å³
  std::vector<double> scale;      // excluded-volume scale G(s)
  std::vector<double> intensity;  // I(s)
  double rg_combined = 0;
  double rg_slope = 0;
  double electron_density = 0;
};

class JobRun {
 public:
  JobRun(JobEnvironment& env, int index)
      : env_(env), settings_(env.settings), index_(index),
        extras_(env.settings, env.command_line, env.dialogue != nullptr) {}

  void run();
  // Runs the job and returns its warnings. An error that ends it is also written to its log,
  // if the log is open, so that the log does not break off without a reason, and to the
  // summary as the job's failed line. The end of the answers in the middle of the job removes
  // the files it made and ends the run with status 1.
  std::vector<std::string> run_and_record_failure();

 private:
  bool interactive() const { return env_.dialogue != nullptr; }
  Report console_report() const { return Report{&env_.console, &env_.error, nullptr}; }
  Report report() const { return Report{&env_.console, &env_.error, &log_}; }
  void both(std::string_view text) {
    env_.console << text;
    log_ << text;
  }
  std::string now_stamp() { return time_stamp(env_.platform.now()); }
  // A warning line on the console and in the log, kept for the job's list of warnings.
  void warn(const std::string& line) {
    both(line + '\n');
    warnings_.push_back(line);
  }
  bool writes_summary() const { return !interactive() && !settings_.no_summary; }
  // The name the summary gives the job: the structure as typed, or the save file.
  std::string input_name() const {
    return structure_name_.empty() ? save_file_read_ : structure_name_;
  }
  // Claims the output names (the log is created empty) and prepares the interrupt record.
  void take_output_name(const OutputName& name);
  void record_failure(std::string_view reason);
  [[noreturn]] void abandon_after_end_of_input();
  std::string output_file(std::string_view extension) const {
    return base_name_ + std::string(extension);
  }

  void obtain_structure();
  void restore();
  void use_tables(int l_max, int fibonacci_order);
  FitResult fit_extended(const FitInputs& inputs);
  SaveData read_save(std::string& name);
  bool write_save();
  void name_outputs();
  // Opens the log (already claimed under its name) and writes its header.
  void open_log(std::string_view header);
  void set_up_real_space_grid();
  void set_up_reciprocal_grid();
  void ask_hydrogens();
  void write_structure_heading();
  void report_model();
  void write_envelope_coefficients();
  // The molecular weight, volumes and radius lines of the log, and the record's structure.
  void report_molecular_quantities();
  void predict();
  // Every model of the structure files as one ensemble (--ensemble, --mixture).
  void run_ensemble();
  void average_members();
  // The intensity or the fit, from the partial curves and molecular quantities set.
  void predict_or_fit();
  void write_spread(const Prediction& p);
  // --mixture N: the best mixtures of 1..N members for the data file.
  void fit_mixture_curve();
  void evaluate(Prediction& p) const;
  void derive(Prediction& p) const;
  void require_finite_intensity(const Prediction& p) const;
  void finish_prediction(const Prediction& p);
  void fit_curve();
  void write_fit(const Prediction& p, const FitResult& fit, const FitData& data,
                 std::span<const double> read_errors);
  void announce_structure_files();
  void write_intensity(const Prediction& p);
  void write_amplitudes(const Prediction& p);
  void end_job(std::string_view summary_line);
  void close_log_checked();
  void run_further_data_files();
  // The picture and the record, when asked for, at the end of the job.
  void write_extras();

  JobEnvironment& env_;
  RunSettings settings_;    // the job's own copy of the run's settings
  std::string base_name_;   // common stem of the job's output files
  std::string run_number_;  // two digits, or blanks when a prefix is used
  int index_;

  std::string structure_name_;  // as typed, before any filtering
  JobStructure structure_;
  mutable std::ofstream log_;
  std::shared_ptr<const HarmonicTables> tables_;
  std::vector<double> s_grid_;
  ScatteringModel model_;
  PartialIntensities partial_;
  MolecularQuantities molecular_;
  std::string coefficients_file_;  // the .flm file written, if any
  bool save_file_written_ = false;
  std::string save_file_read_;     // a job on a save file: its name as given
  std::vector<std::string> created_files_;  // every file this job has made, for an abandoned job
  std::vector<std::string> warnings_;       // the job's warnings, one line each
  InterruptRecord interrupt_;               // what SIGINT or SIGTERM completes
  std::vector<double> saved_envelope_;      // a job on a save file: the envelope file's radii
  std::optional<ExtendedFitResult> extended_fit_;  // the extended fit's quantities, for the record
  bool envelope_file_written_ = false;
  int restored_directions_ = 0;    // a job on a save file: the directions of its grid
  JobExtras extras_;               // the picture and the record of the job
  std::optional<EnsembleBuild> ensemble_;  // an ensemble job: its members' curves
  std::vector<std::string> member_labels_;
};

void JobRun::run() {
  if (settings_.ensemble || settings_.mixture_states > 0) {
    run_ensemble();
    return;
  }
  if (settings_.mode == RunMode::from_save_file) {
    // A job on a save file restores the grids, the structure name and the amplitudes from it
    // and joins at the intensity stage.
    restore();
    predict();
    return;
  }

  obtain_structure();
  if (!structure_.copy.empty()) interrupt_.set_temporary(structure_.copy.path().string());
  if (!structure_.path.empty() && !env_.platform.exists(structure_.path.string()))
    throw Error(" Error -- File does not exist " + structure_.path.string());
  name_outputs();
  open_log(log_header(env_.start_stamp));
  set_up_real_space_grid();
  if (settings_.mode != RunMode::envelope_only) {
    set_up_reciprocal_grid();
    if (interactive()) ask_hydrogens();
  } else {
    s_grid_ = make_s_grid(settings_.n_points, settings_.s_max);
  }
  write_structure_heading();
  if (const auto merged = merged_models_warning(structure_, structure_name_, interactive()))
    warn(*merged);

  ModelRequest request;
  request.structure = structure_.path;
  request.in_memory = &structure_.memory;
  request.sequence_file = structure_name_;
  request.chain_selection = structure_.selection.chain_selection;
  request.envelope_only = settings_.mode == RunMode::envelope_only;
  request.explicit_hydrogens = settings_.explicit_hydrogens;
  request.new_atom_naming = settings_.new_atom_naming;
  request.s = s_grid_;
  request.tables = tables_.get();
  request.loops = env_.loops;
  model_ = compute_scattering_model(request, report());
  warnings_.insert(warnings_.end(), model_.warnings.begin(), model_.warnings.end());
  report_model();

  // Later runs on the same amplitudes start from here: C is not normalised yet.
  if (settings_.keep && settings_.mode == RunMode::amplitudes_and_envelope) {
    save_file_written_ = write_save();
    if (!save_file_written_) env_.output_failed = true;
    if (save_file_written_) extras_.add_output(output_file(".sav"), "save");
    // The extended fit of a later run on the save file needs the envelope for its shells.
    if (save_file_written_ && settings_.extended_fit) {
      created_files_.push_back(output_file(".env"));
      envelope_file_written_ =
          write_envelope_file(output_file(".env"), settings_.fibonacci_order, model_.structure.envelope.radius);
      if (!envelope_file_written_) {
        both(saving_error(output_file(".env")));
        env_.output_failed = true;
      }
    }
  }

  if (settings_.keep) write_envelope_coefficients();

  if (settings_.mode == RunMode::envelope_only) {
    extras_.record().structure = structure_record(model_, nullptr);
    write_extras();
    log_ << envelope_job_end(now_stamp());
    close_log_checked();
    interrupt_.clear();
    structure_.copy.remove();
    return;
  }

  predict();
}

void JobRun::obtain_structure() {
  if (!interactive()) {
    structure_name_ = settings_.structure_files.at(static_cast<std::size_t>(index_));
    structure_ = prepare_structure(structure_name_, settings_, nullptr, console_report());
    return;
  }
  Dialogue& dialogue = *env_.dialogue;
  SelectionDialogue selection;
  selection.ask_integer = [&dialogue](std::string_view q, int value) {
    return dialogue.ask_integer(q, value);
  };
  selection.ask_text = [&dialogue](std::string_view q, std::size_t field) {
    return dialogue.ask_text(q, field);
  };
  for (;;) {
    std::string name = dialogue.choose_file(kStructureFilter, kStructureChooserTitle, "pdb");
    if (name.empty()) name = dialogue.ask_file_name("Brookhaven file name", "pdb");
    if (name.empty()) continue;
    try {
      structure_ = prepare_structure(name, settings_, &selection, console_report());
      structure_name_ = name;
      return;
    } catch (const StructureOpenError& e) {
      env_.error << e.what() << '\n';
    } catch (const ModelNotFoundError& e) {
      env_.error << e.what() << '\n';
    }
  }
}

void JobRun::restore() {
  SaveData data = read_save(save_file_read_);
  apply_save_settings(data, settings_);
  // The extended fit builds shells of other widths on the envelope kept beside the save file;
  // without that file it cannot run, and the job stops before it writes anything.
  if (settings_.extended_fit && settings_.fit_wanted) {
    saved_envelope_ = read_envelope_file(envelope_file_for(save_file_read_), data.fibonacci_order,
                                         data.n_directions);
  }
  structure_name_ = data.structure_name;

  // The outputs go beside the structure the amplitudes came from; no prefix.
  take_output_name(
      choose_output_name(output_stem(structure_name_, true), "", env_.platform));
  env_.console << output_file_list(base_name_,
                                   {settings_.keep, settings_.mode, settings_.fit_wanted},
                                   {settings_.plot_format, settings_.json_record});
  env_.console << restored_console_report(data);

  open_log(restored_log_header(env_.start_stamp));
  log_ << save_file_report(data, save_file_read_);

  s_grid_ = data.s;
  restored_directions_ = data.n_directions;
  model_ = restored_model(std::move(data));
}

SaveData JobRun::read_save(std::string& name) {
  if (!interactive()) {
    // In batch mode a save file that cannot be read ends the run (SaveFileReadError).
    name = settings_.save_files.at(static_cast<std::size_t>(index_));
    return read_save_file(name);
  }
  for (;;) {
    name = env_.dialogue->ask_file_name("Save file name", "sav");
    if (name.empty()) continue;
    try {
      return read_save_file(name);
    } catch (const SaveFileReadError& e) {
      env_.console << e.what() << '\n';
    }
  }
}

bool JobRun::write_save() {
  SavedGrids grids;
  grids.structure_name = structure_name_;
  grids.l_max = settings_.l_max;
  grids.fibonacci_order = settings_.fibonacci_order;
  grids.n_directions = static_cast<int>(tables_->grid().size());
  grids.s_max = settings_.s_max;
  grids.s = s_grid_;
  created_files_.push_back(output_file(".sav"));
  return save_model(output_file(".sav"), grids, model_, env_.error);
}

void JobRun::name_outputs() {
  take_output_name(
      choose_output_name(output_stem(structure_.output_name), settings_.prefix, env_.platform));
  env_.console << output_file_list(base_name_,
                                   {settings_.keep, settings_.mode, settings_.fit_wanted},
                                   {settings_.plot_format, settings_.json_record});
}

void JobRun::take_output_name(const OutputName& name) {
  base_name_ = name.base;
  run_number_ = name.run;
  created_files_.push_back(output_file(".log"));
  interrupt_.set_log(output_file(".log"));
  if (writes_summary())
    interrupt_.set_summary(kSummaryFileName, summary_failure_line(input_name(), "interrupted"));
}

void JobRun::open_log(std::string_view header) {
  const std::string file = output_file(".log");
  // Emptied, then written at its end line by line (appending and unbuffered), so that what
  // the job has done is in the file at every moment and an interrupt can add its line after it.
  std::ofstream(file, std::ios::trunc).close();
  log_.open(file, std::ios::app);
  if (!log_) throw Error(" Fatal error: cannot open logfile " + file);
  log_ << std::unitbuf << header;
  extras_.add_output(file, "log");
}

void JobRun::set_up_real_space_grid() {
  if (interactive()) {
    // An order below 0 is no order: ask again with the same default.
    int l_max = 0;
    do {
      l_max = env_.dialogue->ask_integer(" Maximum order of  harmonics", settings_.l_max);
    } while (l_max < 0);
    settings_.l_max = l_max;
  }
  if (settings_.l_max > kMaxHarmonicOrder) {
    settings_.l_max = clamp_harmonic_order(settings_.l_max);
    env_.console << labelled_line(" Warning: LM reduced to ", settings_.l_max);
  }
  log_ << labelled_line(" Maximum order of harmonics", settings_.l_max);

  if (interactive()) {
    if (settings_.l_max >= 21) {
      settings_.fibonacci_order = kMaxFibonacciOrder;
      settings_.s_max = 1.0;
    }
    settings_.fibonacci_order =
        env_.dialogue->ask_integer(" Order of Fibonacci grid", settings_.fibonacci_order);
  }
  const int order = clamp_fibonacci_order(settings_.fibonacci_order);
  if (order != settings_.fibonacci_order) {
    settings_.fibonacci_order = order;
    env_.console << labelled_line(" Warning: IORD increased to ", order);
  }
  log_ << labelled_line(" Order of Fibonacci grid", settings_.fibonacci_order);

  use_tables(settings_.l_max, settings_.fibonacci_order);
  log_ << labelled_line(" Total number of directions", tables_->grid().size());
}

void JobRun::use_tables(int l_max, int fibonacci_order) {
  const std::shared_ptr<const HarmonicTables>& last = env_.tables;
  if (!last || last->l_max() != l_max || last->grid().order() != fibonacci_order) {
    env_.tables = std::make_shared<const HarmonicTables>(make_harmonic_tables(l_max, fibonacci_order));
  }
  tables_ = env_.tables;
}

void JobRun::set_up_reciprocal_grid() {
  env_.console << reciprocal_grid_console_heading();
  log_ << reciprocal_grid_log_heading();
  if (interactive()) {
    // A grid needs a positive finite maximum and at least one point: other answers are asked
    // again with the same default.
    double s_max = 0.0;
    do {
      s_max = env_.dialogue->ask_real("Maximum s value", settings_.s_max);
    } while (!(s_max > 0.0) || !std::isfinite(s_max));
    settings_.s_max = s_max;
    const int suggested = default_point_count(settings_.s_max);
    int n_points = 0;
    do {
      n_points = env_.dialogue->ask_integer("Number of points", suggested);
    } while (n_points < 1);
    settings_.n_points = n_points;
  }
  log_ << labelled_line(" Maximum scattering angle", settings_.s_max);
  if (settings_.n_points > kMaxCurvePoints) {
    settings_.n_points = kMaxCurvePoints;
    env_.console << labelled_line(" Warning: Max number of points", kMaxCurvePoints);
  }
  log_ << labelled_line(" Number of angular points", settings_.n_points);
  s_grid_ = make_s_grid(settings_.n_points, settings_.s_max);
}

void JobRun::ask_hydrogens() {
  const char answer = env_.dialogue->ask_yes_no("Account for explicit hydrogens?", 'N');
  settings_.explicit_hydrogens = answer == 'Y';
  if (settings_.explicit_hydrogens) log_ << "Explicit hydrogen/deuterium used\n";
}

void JobRun::write_structure_heading() {
  log_ << structural_log_heading();
  log_ << labelled_line("PDB file name", structure_name_);
  if (structure_.selection.model_selection)
    log_ << labelled_line("NMR conformer number", structure_.selection.model_number);
  if (structure_.selection.chain_selection)
    log_ << labelled_line("Chain ID used", structure_.selection.chain_ids);
}

void JobRun::report_model() {
  both(unknown_atoms_summary(model_.unknown_atoms));

  const StructuralParameters sizes = structural_parameters(model_);
  env_.console << Format("(A)")(kStructuralHeading);
  env_.console << structural_report(sizes, Destination::console);
  log_ << structural_report(sizes, Destination::log);

  const auto& f = model_.envelope_function.coefficients;
  if (settings_.mode != RunMode::envelope_only && !f.empty() &&
      sampling_too_coarse(f.front().real(), s_grid_.back(), model_.structure.envelope.max_radius,
                          static_cast<int>(s_grid_.size()))) {
    both(sampling_warning());
    extras_.record().warnings.push_back("Recompute the intensity with larger number of points");
  }
}

void JobRun::write_envelope_coefficients() {
  const std::string title = flm_title(structure_name_, env_.start_stamp);
  EnvelopeCoefficients coeffs;
  coeffs.l_env = model_.envelope_function.l_max;
  coeffs.values = model_.envelope_function.coefficients;
  coeffs.present = model_.envelope_function.present;
  std::function<std::string()> ask_new_name;
  if (interactive()) {
    ask_new_name = [this] { return env_.dialogue->ask_file_name(" Enter new file name", "flm"); };
  }
  // Without a console to answer (batch mode) a file that cannot be created is skipped.
  const auto written = LOFLMS(output_file(".flm"), title, coeffs, model_.statistics.radius,
                              env_.console, ask_new_name);
  if (written) {
    coefficients_file_ = *written;
    created_files_.push_back(*written);
    extras_.add_output(*written, "coefficients");
  } else {
    log_ << saving_error(output_file(".flm"));
    env_.output_failed = true;
  }
}

void JobRun::report_molecular_quantities() {
  MolecularReport q;
  q.molecular_weight = molecular_.molecular_weight;
  q.dry_volume = molecular_.dry_volume;
  q.displaced_volume = molecular_.reported_volume;
  q.atomic_radius = molecular_.average_atom.radius;
  q.residues = model_.residues;
  q.dummy_residues = model_.structure.sums.dummy_residues;
  q.bases = model_.bases;
  both(molecular_report(q));
  extras_.record().structure = structure_record(model_, &molecular_);
}

void JobRun::predict() {
  PartialAmplitudes& solvent = model_.structure.solvent;
  const AtomSums& sums = model_.structure.sums;
  molecular_ = molecular_quantities(sums.mass, model_displaced_volume(solvent), sums.atoms,
                                    sums.dummy_residues);
  report_molecular_quantities();

  normalise_solvent_amplitude(solvent, molecular_.displaced_volume, sums.atoms);
  partial_ = partial_intensities(model_.structure.atoms, solvent, model_.shell);
  predict_or_fit();
}

void JobRun::predict_or_fit() {
  const AtomSums& sums = model_.structure.sums;
  if (interactive())
    settings_.fit_wanted = env_.dialogue->ask_yes_no(" Fit the experimental curve",
                                                     settings_.fit_wanted ? 'Y' : 'N') == 'Y';
  if (settings_.fit_wanted) {
    fit_curve();
    return;
  }

  both(prediction_note());
  Prediction p;
  p.rho0 = settings_.rho0;
  p.delta_rho = settings_.delta_rho;
  p.atomic_radius = molecular_.average_atom.radius;
  double excluded_volume = molecular_.reported_volume;
  if (interactive()) {
    Dialogue& d = *env_.dialogue;
    settings_.rho0 = p.rho0 = d.ask_real("Electron density of the solvent, e/A**3", p.rho0);
    settings_.delta_rho = p.delta_rho = d.ask_real("Contrast of the solvation shell", p.delta_rho);
    p.atomic_radius = d.ask_real("Average atomic radius", p.atomic_radius);
    excluded_volume = d.ask_real("Excluded Volume", excluded_volume);
  }
  log_ << labelled_line("Solvent density", p.rho0);
  log_ << labelled_line("Contrast of the solvation shell", p.delta_rho);
  log_ << labelled_line("Average atomic radius", p.atomic_radius);
  log_ << labelled_line("Excluded Volume", excluded_volume);
  p.excluded_volume = excluded_volume - kDummyResidueVolume * sums.dummy_residues;
  log_ << labelled_line("Average atomic volume", average_atomic_volume(p.atomic_radius));
  extras_.record().prediction = RecordPrediction{p.rho0, p.delta_rho, p.atomic_radius, excluded_volume,
                                                 average_atomic_volume(p.atomic_radius)};

  evaluate(p);
  require_finite_intensity(p);
  finish_prediction(p);
}

void JobRun::require_finite_intensity(const Prediction& p) const {
  // Extreme settings (a maximum s whose square overflows, a solvent density of 1e300) carry the
  // arithmetic out of range; such numbers must not be written as a result.
  const auto finite = [](const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
  };
  bool ok = finite(p.intensity) && finite(partial_.atoms);
  for (std::size_t i = 0; ok && i < p.intensity.size(); ++i) {
    // The excluded-volume and shell columns of the intensity file.
    ok = std::isfinite(p.scale[i] * p.scale[i] * partial_.solvent[i]) &&
         std::isfinite(p.delta_rho * p.delta_rho * partial_.shell[i]);
  }
  if (!ok) throw Error(std::string(kIntensityOutOfRange));
}

void JobRun::evaluate(Prediction& p) const {
  const AtomSums& sums = model_.structure.sums;
  p.scale = excluded_volume_scale(s_grid_, partial_.solvent, p.rho0, p.excluded_volume,
                                  sums.atoms, p.atomic_radius);
  p.intensity = model_intensity(partial_, p.scale, p.delta_rho);
  derive(p);
}

void JobRun::derive(Prediction& p) const {
  const AtomSums& sums = model_.structure.sums;
  ForwardValues forward;
  forward.intensity = p.intensity.front();
  forward.atoms = partial_.atoms.front();
  forward.solvent = partial_.solvent.front();
  forward.shell = partial_.shell.front();
  forward.scale = p.scale.front();
  p.rg_combined = combined_rg(forward, p.delta_rho, model_.structure.electron_rg,
                              model_.structure.shape_rg, model_.statistics.shell_rg);
  p.rg_slope = slope_rg(s_grid_, p.intensity);
  p.electron_density = average_electron_density(partial_.atoms.front(), sums.dummy_residues,
                                                sums.atoms, p.excluded_volume);
}

void JobRun::finish_prediction(const Prediction& p) {
  JobRecord& record = extras_.record();
  record.derived = RecordDerived{p.rg_combined, p.rg_slope, p.electron_density};
  const ScaledPartials scaled = scaled_partials(p.scale, partial_.solvent, partial_.shell, p.delta_rho);
  record.intensity_curve = intensity_curve_record(s_grid_, p.intensity, partial_.atoms, scaled.excluded, scaled.shell);
  both(labelled_line("Rg ( Atoms - Excluded volume + Shell )", p.rg_combined));
  both(labelled_line("Rg from the slope of net intensity", p.rg_slope));
  both(labelled_line("Average electron density", p.electron_density));

  log_ << output_files_heading();
  announce_structure_files();

  write_intensity(p);
  write_amplitudes(p);
  write_spread(p);
  end_job(summary_prediction_line(structure_name_, p.rg_slope));
}

void JobRun::announce_structure_files() {
  // Only files that were written are announced.
  if (settings_.keep && settings_.mode != RunMode::from_save_file) {
    if (!coefficients_file_.empty())
      log_ << saved_line(kSavedCoefficients, coefficients_file_, Destination::log);
    if (save_file_written_)
      log_ << saved_line(kSavedData, output_file(".sav"), Destination::log);
    if (envelope_file_written_)
      log_ << saved_line(kSavedEnvelope, output_file(".env"), Destination::log);
  }
}

// Fitting mode: the experimental curve, the fit of the solvent parameters, and the result files
// of the fitted model.
void JobRun::fit_curve() {
  const AtomSums& sums = model_.structure.sums;
  CurveRequest request;
  request.data_file = settings_.data_file;
  // The extended fit always fits a constant.
  request.subtract_constant = settings_.subtract_constant || settings_.extended_fit;
  request.angular_units = settings_.angular_units;
  request.rho0 = settings_.rho0;
  // The errors as read are kept for the record and the picture as well as for the .fit file.
  request.keep_read_errors = true;
  request.model_s = s_grid_;
  request.rg_atoms = model_.structure.electron_rg;
  PreparedCurve curve = prepare_experimental_curve(request, env_.dialogue, report());
  warnings_.insert(warnings_.end(), curve.warnings.begin(), curve.warnings.end());
  extras_.record().data = data_record(curve);
  settings_.data_file = curve.data_file;
  settings_.subtract_constant = curve.subtract_constant;
  settings_.rho0 = curve.rho0;

  FitInputs inputs;
  inputs.model =
      fit_model(s_grid_, partial_, sums.atoms, sums.dummy_residues, molecular_.displaced_volume,
                molecular_.average_atom.radius, model_.statistics.shell_volume,
                molecular_.molecular_weight, settings_.rho0);
  inputs.data = std::move(curve.data);
  inputs.structure_name = structure_name_;
  inputs.use_default_parameters = settings_.use_default_parameters;
  inputs.interactive = interactive();
  const FitResult fit = settings_.extended_fit
                            ? fit_extended(inputs)
                            : run_fit(inputs, FitEnvironment{report(), env_.dialogue, {}, env_.loops});
  if (const auto poor = poor_fit_warning(fit.chi2, curve.data_file, curve.units_code)) warn(*poor);
  settings_.delta_rho = fit.parameters.contrast;
  settings_.subtract_constant = fit.subtract_constant;

  // The closing values are those of the fitted model.
  Prediction p;
  p.rho0 = settings_.rho0;
  p.delta_rho = fit.parameters.contrast;
  p.atomic_radius = fit.parameters.radius;
  p.excluded_volume = fit.parameters.volume;
  p.scale = fit.scale_curve;
  p.intensity = fit.intensity;
  derive(p);
  finish_fit_log(report(), p.rg_combined, p.rg_slope, p.electron_density);
  JobRecord& record = extras_.record();
  record.search = search_record(fit);
  record.fit = fit_record(fit, settings_.rho0);
  record.derived = RecordDerived{p.rg_combined, p.rg_slope, p.electron_density};
  record.fit_curve = fit_curve_record(inputs.data.s_e, inputs.data.i_e, curve.read_errors, fit.fitted);
  const ScaledPartials scaled = scaled_partials(p.scale, partial_.solvent, partial_.shell, p.delta_rho);
  record.intensity_curve = intensity_curve_record(s_grid_, p.intensity, partial_.atoms, scaled.excluded, scaled.shell);

  write_fit(p, fit, inputs.data, curve.read_errors);
  if (settings_.keep || ensemble_) write_intensity(p);
  if (settings_.keep) write_amplitudes(p);
  write_spread(p);
  end_job(fit_summary_line(structure_name_, p.rg_slope, run_number_, fit.chi2));
}

// The extended fit (option --fit extended) on the envelope of the structure or of the save file.
// The fitted width's shell then stands for the job's shell in the closing values and the files.
FitResult JobRun::fit_extended(const FitInputs& inputs) {
  if (!tables_) use_tables(settings_.l_max, settings_.fibonacci_order);
  ExtendedFitInputs in;
  in.model = inputs.model;
  in.data = inputs.data;
  in.structure_name = inputs.structure_name;
  in.use_default_parameters = inputs.use_default_parameters;
  in.tables = tables_.get();
  in.envelope = settings_.mode == RunMode::from_save_file ? std::span<const double>(saved_envelope_)
                             : std::span<const double>(model_.structure.envelope.radius);
  in.atoms = &model_.structure.atoms;
  in.solvent = &model_.structure.solvent;
  ExtendedFitOutcome out = run_extended_fit(in, report(), env_.loops);
  extended_fit_ = out.result;
  model_.shell = std::move(out.shell);
  partial_.shell = std::move(out.shell_curve);
  partial_.atoms_shell = std::move(out.atoms_shell_curve);
  partial_.solvent_shell = std::move(out.solvent_shell_curve);
  model_.statistics.shell_rg = out.shell_rg;
  model_.statistics.shell_volume = out.shell_volume;
  return std::move(out.fit);
}

void JobRun::write_fit(const Prediction& p, const FitResult& fit, const FitData& data,
                       std::span<const double> read_errors) {
  FitFileContent c;
  c.structure_name = structure_name_;
  c.contrast = p.delta_rho;
  c.radius = p.atomic_radius;
  c.slope_rg = p.rg_slope;
  c.volume = fit.reported_volume;
  c.chi2 = fit.chi2;
  c.s_model = s_grid_;
  c.model = fit.intensity;
  c.s = data.s_e;
  c.intensity = data.i_e;
  c.error = read_errors;
  c.fitted = fit.fitted;
  c.scale = fit.scale;
  c.background = fit.absolute_background();
  c.with_errors = settings_.write_errors;

  const std::string file = output_file(".fit");
  created_files_.push_back(file);
  std::ofstream out(file, std::ios::trunc);
  bool ok = static_cast<bool>(out);
  if (ok) {
    write_fit_file(out, c, console_report());
    out.close();
    ok = static_cast<bool>(out);
    // A file cut short (a full disk) would pass for a whole one.
    if (!ok) env_.platform.remove(file);
  }
  if (ok) {
    announce_structure_files();
    env_.console << saved_line(kSavedFit, file, Destination::console);
    log_ << saved_line(kSavedFit, file, Destination::log);
    extras_.add_output(file, "fit");
  } else {
    both(saving_error(file));
    env_.output_failed = true;
  }
}

void JobRun::write_intensity(const Prediction& p) {
  const ScaledPartials scaled = scaled_partials(p.scale, partial_.solvent, partial_.shell, p.delta_rho);
  IntensityHeader header;
  header.structure_name = structure_name_;
  header.delta_rho = p.delta_rho;
  header.atomic_radius = p.atomic_radius;
  header.rg = p.rg_slope;
  header.envelope_volume = model_.statistics.volume;
  const IntensityColumns columns{s_grid_, p.intensity, partial_.atoms, scaled.excluded, scaled.shell};

  const std::string file = output_file(".int");
  created_files_.push_back(file);
  std::ofstream out(file, std::ios::trunc);
  bool ok = static_cast<bool>(out) && write_intensity_file(out, header, columns);
  const bool created = out.is_open();
  if (created) {
    out.close();
    ok = ok && static_cast<bool>(out);
  }
  if (ok) {
    env_.console << saved_line(kSavedIntensities, file, Destination::console);
    log_ << saved_line(kSavedIntensities, file, Destination::log);
    extras_.add_output(file, "intensity");
  } else {
    // A file cut short (a full disk) would pass for a whole one.
    if (created) env_.platform.remove(file);
    both(saving_error(file));
    env_.output_failed = true;
  }
}

void JobRun::write_amplitudes(const Prediction& p) {
  // The members' amplitudes are not kept: an ensemble has curves only.
  if (ensemble_) return;
  const std::vector<std::complex<double>> alm =
      net_amplitudes(model_.structure.atoms, model_.structure.solvent, model_.shell, p.scale,
                     p.delta_rho);
  const std::string file = output_file(".alm");
  created_files_.push_back(file);
  if (LOALMS(file, structure_name_, settings_.l_max, s_grid_, alm, env_.console) == kAlmOk) {
    env_.console << saved_line(kSavedAmplitudes, file, Destination::console);
    log_ << saved_line(kSavedAmplitudes, file, Destination::log);
    extras_.add_output(file, "amplitudes");
  } else {
    env_.output_failed = true;
  }
}

void JobRun::run_ensemble() {
  const std::vector<std::string>& files = settings_.structure_files;
  for (const std::string& file : files)
    if (!env_.platform.exists(file)) throw Error(" Error -- File does not exist " + file);
  structure_name_ = files.front();
  const std::vector<EnsembleMemberId> members = ensemble_members(files);
  for (const EnsembleMemberId& m : members) member_labels_.push_back(member_label(m));

  take_output_name(choose_output_name(output_stem(structure_name_), settings_.prefix, env_.platform));
  // An ensemble writes its spread where a structure writes its amplitudes, and in a fit its
  // mean curve as well; a mixture writes the log and the fit only.
  std::string files_text = output_file_list(base_name_, {false, settings_.mode, settings_.fit_wanted},
                                            {settings_.plot_format, settings_.json_record});
  const auto entry = [this](std::string_view extension, std::string_view what) {
    std::string text(" ");
    text += output_file(extension);
    text += " -- ";
    text += what;
    text += '\n';
    return text;
  };
  const std::string amplitudes_entry = entry(".alm", "net partial amplitudes   (binary)");
  const std::string spread_entry = entry(".sdv", "ensemble spread          (ASCII)");
  const std::string fit_entry = entry(".fit", "fit to experimental data (ASCII)");
  const std::string mean_entry = entry(".int", "scattering intensities   (ASCII)");
  if (const std::size_t at = files_text.find(amplitudes_entry); at != std::string::npos)
    files_text.replace(at, amplitudes_entry.size(), spread_entry);
  else if (const std::size_t fit_at = files_text.find(fit_entry);
           fit_at != std::string::npos && settings_.mixture_states == 0)
    files_text.insert(fit_at + fit_entry.size(), mean_entry + spread_entry);
  env_.console << files_text;
  open_log(log_header(env_.start_stamp));
  set_up_real_space_grid();
  set_up_reciprocal_grid();
  write_structure_heading();

  ModelRequest request;
  request.explicit_hydrogens = settings_.explicit_hydrogens;
  request.new_atom_naming = settings_.new_atom_naming;
  request.s = s_grid_;
  request.tables = tables_.get();
  request.loops = env_.loops;
  ensemble_ = build_ensemble(members, settings_, request, report());
  model_ = std::move(ensemble_->first);
  ensemble_->first = ScatteringModel{};
  warnings_.insert(warnings_.end(), model_.warnings.begin(), model_.warnings.end());
  report_model();
  if (members.size() == 1) warn(single_member_note(members.front().file));
  average_members();
  if (settings_.mixture_states > 0) {
    fit_mixture_curve();
    return;
  }
  predict_or_fit();
}

void JobRun::fit_mixture_curve() {
  CurveRequest request;
  request.data_file = settings_.data_file;
  request.subtract_constant = settings_.subtract_constant;
  request.angular_units = settings_.angular_units;
  request.rho0 = settings_.rho0;
  request.keep_read_errors = true;
  request.model_s = s_grid_;
  request.rg_atoms = model_.structure.electron_rg;
  PreparedCurve curve = prepare_experimental_curve(request, nullptr, report());
  warnings_.insert(warnings_.end(), curve.warnings.begin(), curve.warnings.end());
  extras_.record().data = data_record(curve);

  const FitData& data = curve.data;
  const MixtureGrid grid =
      default_mixture_grid(data, molecular_.average_atom.radius, settings_.use_default_parameters);
  MixtureSettings mixture;
  mixture.max_states = settings_.mixture_states;
  const MixtureResult result = fit_mixture(ensemble_->ensemble, s_grid_, data, grid, mixture,
                                           curve.rho0, data.a_out, env_.loops);
  both(mixture_log_lines(result, member_labels_));
  extras_.record().extra["mixture"] = mixture_section(result, member_labels_);
  if (result.preferred_size == 0)
    throw Error(" Error -- No mixture of the states fits " + curve.data_file +
                " with every weight above zero");
  const MixtureSize& best = result.sizes.at(static_cast<std::size_t>(result.preferred_size - 1));
  const MixtureEvaluation& e = best.evaluation;

  // The .fit file holds the preferred mixture: its weights are in its curve, the scale is 1.
  FitResult fit;
  fit.parameters.contrast = best.parameters.contrast;
  fit.parameters.radius = best.parameters.radius;
  fit.reported_volume = best.parameters.volume_factor * molecular_.displaced_volume +
                        kDummyResidueVolume * model_.structure.sums.dummy_residues;
  fit.scale = 1.0;
  fit.background = e.background;
  fit.a_out = data.a_out;
  fit.chi2 = e.chi2;
  fit.fitted = e.fitted;
  fit.intensity = e.intensity;
  fit.subtract_constant = data.subtract_constant;
  fit.points_used = e.n_fit;
  Prediction p;
  p.delta_rho = best.parameters.contrast;
  p.atomic_radius = best.parameters.radius;
  p.intensity = e.intensity;
  p.rg_slope = slope_rg(s_grid_, p.intensity);
  if (const auto poor = poor_fit_warning(fit.chi2, curve.data_file, curve.units_code)) warn(*poor);
  extras_.record().fit = fit_record(fit, curve.rho0);
  extras_.record().fit_curve = fit_curve_record(data.s_e, data.i_e, curve.read_errors, e.fitted);
  log_ << output_files_heading();
  write_fit(p, fit, data, curve.read_errors);
  end_job(fit_summary_line(structure_name_, p.rg_slope, run_number_, fit.chi2) +
          mixture_summary_lines(result, member_labels_));
}

// The mean curves stand for the job's curves, the members' mean quantities for its quantities.
void JobRun::average_members() {
  const Ensemble& ensemble = ensemble_->ensemble;
  const MemberSpread spread = member_spread(ensemble);
  both(ensemble_lines(ensemble.size(), spread));
  extras_.record().extra["ensemble"] = ensemble_section(member_labels_, spread);

  EnsembleAverage average = average_ensemble(ensemble);
  partial_ = std::move(average.mean);
  const MemberScalars mean = ensemble_scalars(ensemble, average.reference);
  AtomSums& sums = model_.structure.sums;
  sums.atoms = mean.n_atoms;
  sums.dummy_residues = mean.n_dummy_residues;
  model_.structure.electron_rg = mean.electron_rg;
  model_.structure.shape_rg = mean.shape_rg;
  model_.statistics.shell_rg = mean.shell_rg;
  model_.statistics.shell_volume = mean.shell_volume;
  model_.statistics.volume = mean.envelope_volume;
  molecular_ = molecular_quantities(mean.molecular_weight, mean.displaced_volume, mean.n_atoms,
                                    mean.n_dummy_residues);
  report_molecular_quantities();
}

void JobRun::write_spread(const Prediction& p) {
  if (!ensemble_) return;
  const EnsembleReference reference = ensemble_reference(ensemble_->ensemble);
  const IntensitySpread spread =
      intensity_spread(ensemble_->ensemble, reference, s_grid_, p.scale, p.delta_rho);
  const std::string file = output_file(".sdv");
  created_files_.push_back(file);
  std::ofstream out(file, std::ios::trunc);
  bool ok = static_cast<bool>(out) &&
            write_spread_file(out, ensemble_->ensemble.size(), s_grid_, p.intensity, spread.deviation);
  if (out.is_open()) {
    out.close();
    ok = ok && static_cast<bool>(out);
  }
  if (ok) {
    env_.console << " Ensemble spread saved to file " << file << '\n';
    log_ << " Ensemble spread saved to file " << file << '\n';
    extras_.add_output(file, "ensemble_spread");
  } else {
    if (out.is_open() || env_.platform.exists(file)) env_.platform.remove(file);
    both(saving_error(file));
    env_.output_failed = true;
  }
}

void JobRun::end_job(std::string_view summary_line) {
  write_extras();
  close_run_log(log_, now_stamp());
  close_log_checked();
  // The job is complete: an interrupt from here on (in the re-runs) leaves its files alone.
  interrupt_.clear();
  structure_.copy.remove();
  if (writes_summary() && !append_summary(env_.platform, env_.error, summary_line))
    env_.output_failed = true;
  run_further_data_files();
}

void JobRun::write_extras() {
  JobRecord& record = extras_.record();
  record.structure_file = structure_name_;
  record.save_file = save_file_read_;
  record.warnings.insert(record.warnings.end(), warnings_.begin(), warnings_.end());
  if (extended_fit_) record.extra["extended_fit"] = extended_fit_section(*extended_fit_);
  const int directions = tables_ ? static_cast<int>(tables_->grid().size()) : restored_directions_;
  const std::size_t before = record.outputs.size();
  if (!extras_.write(base_name_, settings_, directions, report(), env_.platform)) env_.output_failed = true;
  for (std::size_t i = before; i < record.outputs.size(); ++i) created_files_.push_back(record.outputs[i].file);
}

void JobRun::close_log_checked() {
  log_.close();
  // The log is written through a buffer: a full disk shows only when it is flushed and closed.
  if (log_.fail()) {
    env_.error << saving_error(output_file(".log"));
    env_.output_failed = true;
  }
}

std::vector<std::string> JobRun::run_and_record_failure() {
  try {
    run();
  } catch (const NormalExit&) {
    abandon_after_end_of_input();
  } catch (const Error& e) {
    record_failure(e.what());
    throw;
  } catch (const std::bad_alloc&) {
    record_failure(kAllocationFailure);
    throw;
  } catch (const std::exception& e) {
    record_failure(std::string(kGeneralErrorLead) + e.what());
    throw;
  }
  return std::move(warnings_);
}

void JobRun::record_failure(std::string_view reason) {
  interrupt_.clear();
  if (log_.is_open()) {
    log_ << reason << '\n';
    log_.close();
  }
  // The summary tells a failed job from a complete one by its first word.
  if (writes_summary() && !append_summary(env_.platform, env_.error,
                                          summary_failure_line(input_name(), reason)))
    env_.output_failed = true;
}

void JobRun::abandon_after_end_of_input() {
  // Before the job has made any file (the questions of the file name, the model and the
  // chains) the end of the answers ends the run normally, as at the menu.
  if (created_files_.empty()) throw NormalExit();
  // Afterwards the job cannot be completed without its answers: nothing half-written may pass
  // for a result, and the run is no success.
  interrupt_.clear();
  log_.close();
  std::string removed;
  for (const std::string& file : created_files_) {
    if (!env_.platform.exists(file)) continue;
    env_.platform.remove(file);
    removed += " " + file;
  }
  structure_.copy.remove();
  std::string message = " Error -- The input ended before the job was complete";
  if (!removed.empty()) message += "; its files were removed:" + removed;
  throw Error(message, 1);
}

void JobRun::run_further_data_files() {
  // With two or more data files each is fitted by a run of its own on this job's save file,
  // and the intermediate files are removed afterwards unless the user kept them. A re-run that
  // fails does not stop this run, but it is no success: its data file is named and the run
  // ends with status 1.
  if (settings_.data_files.size() < 2 || env_.rerun_arguments.empty()) return;
  const std::string save =
      settings_.mode == RunMode::from_save_file ? save_file_read_ : output_file(".sav");
  env_.console.flush();
  env_.error.flush();
  for (const std::string& data : settings_.data_files) {
    const std::vector<std::string> argv = rerun_argument_vector(env_.rerun_arguments, save, data);
    const std::optional<int> status = env_.platform.run_and_wait(argv);
    if (!status) {
      env_.error << " Warning: the program could not be started again for " << data << '\n';
      env_.output_failed = true;
    } else if (*status != 0) {
      env_.error << " Warning: the fit of " << data << " failed (exit status " << *status << ")\n";
      env_.output_failed = true;
    }
  }
  if (!settings_.keep_as_set) remove_kept_files(base_name_);
}

}  // namespace

bool append_summary(Platform& platform, std::ostream& error, std::string_view text) {
  if (platform.append(std::string(kSummaryFileName), text)) return true;
  error << saving_error(kSummaryFileName);
  return false;
}

int default_point_count(double s_max) {
  const double quotient = std::round(s_max / kDefaultPointStep);
  if (!(quotient < kMaxCurvePoints - 1)) return kMaxCurvePoints;
  return static_cast<int>(quotient) + 1;
}

std::vector<std::string> run_job(JobEnvironment& env, int index) {
  JobRun job(env, index);
  return job.run_and_record_failure();
}

}  // namespace tessel
