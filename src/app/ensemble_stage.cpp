// The members of an ensemble job, one model at a time: selection, amplitudes, partial curves.
#include "app/ensemble_stage.hpp"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <variant>

#include "app/member_reader.hpp"
#include "core/errors.hpp"
#include "core/intensity.hpp"
#include "io/job_structure.hpp"
#include "io/structure_format.hpp"
#include "io/pdb_selection.hpp"

namespace tessel {

namespace {

// A plain PDB file is scanned; a compressed or mmCIF file is read into memory.
int model_count(const std::string& file) {
  if (plain_pdb_file(file)) return scan_structure_file(file).model_count;
  RunSettings whole;
  return prepare_structure(file, whole, nullptr, Report{}).model_count;
}

}  // namespace

std::vector<EnsembleMemberId> ensemble_members(const std::vector<std::string>& files) {
  std::vector<EnsembleMemberId> members;
  for (const std::string& file : files) {
    const int models = model_count(file);
    if (models == 0) members.push_back({file, 0});
    for (int m = 1; m <= models; ++m) members.push_back({file, m});
  }
  return members;
}

void check_ensemble_inputs(const RunSettings& settings) {
  const int n = settings.mixture_states;
  if (!settings.ensemble && n == 0) return;
  const std::string option = n > 0 ? "--mixture" : "--ensemble";
  if (!settings.save_files.empty() || settings.structure_files.empty())
    throw Error(" Error -- " + option + " takes structure files (.pdb, .ent), not save files", 1);
  // The extended fit builds shells on one structure's envelope, which an ensemble does not have.
  if (settings.extended_fit) throw Error(" Error -- " + option + " works with the default fit only", 1);
  if (settings.model_number >= 1)
    throw Error(" Error -- " + option + " takes every model; -nmr selects one", 1);
  if (settings.data_files.size() > 1)
    throw Error(" Error -- " + option + " fits one data file, " +
                    std::to_string(settings.data_files.size()) + " were given", 1);
  if (n == 0) return;
  if (settings.data_files.empty())
    throw Error(" Error -- --mixture needs an experimental data file to fit", 1);
  const std::size_t members = ensemble_members(settings.structure_files).size();
  if (members < static_cast<std::size_t>(n))
    throw Error(" Error -- --mixture " + std::to_string(n) + " needs at least " +
                    std::to_string(n) + " states; the structure files hold " +
                    std::to_string(members), 1);
}

std::string member_label(const EnsembleMemberId& member) {
  if (member.model == 0) return member.file;
  return member.file + " model " + std::to_string(member.model);
}

namespace {

MemberScalars member_scalars(const ScatteringModel& model, const MolecularQuantities& molecular) {
  MemberScalars m;
  m.n_atoms = model.structure.sums.atoms;
  m.n_dummy_residues = model.structure.sums.dummy_residues;
  m.displaced_volume = molecular.displaced_volume;
  m.molecular_weight = molecular.molecular_weight;
  m.electron_rg = model.structure.electron_rg;
  m.shape_rg = model.structure.shape_rg;
  m.shell_rg = model.statistics.shell_rg;
  m.shell_volume = model.statistics.shell_volume;
  m.envelope_volume = model.statistics.volume;
  return m;
}

}  // namespace

namespace {

// Members read ahead of those being computed, per thread.
constexpr std::size_t kReadAheadPerThread = 4;
// Marks on the console's scale for the members after the first.
constexpr std::size_t kProgressMarks = 40;

// What a member leaves in the ensemble.
struct MemberCurves {
  PartialIntensities curves;
  MemberScalars scalars;
};

MemberCurves member_curves(ScatteringModel& model) {
  const AtomSums& sums = model.structure.sums;
  const MolecularQuantities molecular = molecular_quantities(
      sums.mass, model_displaced_volume(model.structure.solvent), sums.atoms, sums.dummy_residues);
  normalise_solvent_amplitude(model.structure.solvent, molecular.displaced_volume, sums.atoms);
  return {partial_intensities(model.structure.atoms, model.structure.solvent, model.shell),
          member_scalars(model, molecular)};
}

ModelRequest member_request(const ModelRequest& request, const PendingMember& member) {
  ModelRequest one = request;
  one.structure = member.structure.path;
  one.in_memory = std::holds_alternative<std::monostate>(member.structure.memory)
                      ? member.whole.get()
                      : &member.structure.memory;
  one.chain_selection = member.structure.selection.chain_selection;
  return one;
}

}  // namespace

EnsembleBuild build_ensemble(const std::vector<EnsembleMemberId>& members,
                             const RunSettings& settings, ModelRequest request,
                             const Report& report) {
  EnsembleBuild build;
  build.ensemble = Ensemble(request.s.size());
  build.members = members;
  if (members.empty()) return build;

  // The form factors depend on the s grid alone: made once for all members.
  const ModelFormFactors form_factors = make_model_form_factors(request.s);
  request.form_factors = &form_factors;

  WorkerPool* pool = request.loops.pool;
  const std::size_t threads = pool != nullptr ? static_cast<std::size_t>(pool->threads()) : 1;
  MemberReader reader(members, settings, kReadAheadPerThread * threads);

  // The first member is computed with the job's threads, its lines reported.
  {
    const PendingMember first = reader.take(0);
    ModelRequest one = member_request(request, first);
    one.sequence_file = first.file;
    ScatteringModel model = compute_scattering_model(one, report);
    const MemberCurves curves = member_curves(model);
    build.ensemble.add(curves.curves, curves.scalars);
    build.first = std::move(model);
  }

  // The others one per task, each in one thread, while the reader reads ahead; their curves are
  // added in member order as they come, forty marks on the console's scale for all of them.
  const std::size_t rest = members.size() - 1;
  if (rest > 0) {
    report.to_console(" Percent processed      10  20  30  40  50  60  70  80  90 100\n");
    report.to_console(" Processing members : ");
    if (report.console) report.console->flush();
  }
  std::mutex added;
  std::map<std::size_t, MemberCurves> waiting;  // computed, not yet added
  std::size_t next = 1;
  const auto compute = [&](int task, int) {
    const std::size_t i = static_cast<std::size_t>(task) + 1;
    const PendingMember member = reader.take(i);
    ModelRequest one = member_request(request, member);
    one.sequence_file.clear();
    one.curves_only = true;
    one.loops.threads = 1;
    one.loops.pool = nullptr;
    ScatteringModel model = compute_scattering_model(one, Report{});
    MemberCurves curves = member_curves(model);
    const std::lock_guard<std::mutex> lock(added);
    waiting.emplace(i, std::move(curves));
    for (auto at = waiting.find(next); at != waiting.end(); at = waiting.find(next)) {
      build.ensemble.add(at->second.curves, at->second.scalars);
      waiting.erase(at);
      const std::size_t marks = kProgressMarks * next / rest - kProgressMarks * (next - 1) / rest;
      if (report.console && marks > 0) *report.console << std::string(marks, '>') << std::flush;
      ++next;
    }
  };
  const int tasks = static_cast<int>(rest);
  if (pool != nullptr && tasks > 1) {
    pool->run(tasks, compute);
  } else {
    for (int task = 0; task < tasks; ++task) compute(task, 0);
  }
  if (rest > 0) report.to_console("\n");
  reader.finish();
  return build;
}

}  // namespace tessel
