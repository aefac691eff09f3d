// The members of an ensemble job, one model at a time: selection, amplitudes, partial curves.
#include "app/ensemble_stage.hpp"

#include <algorithm>
#include <optional>
#include <variant>

#include "core/errors.hpp"
#include "core/intensity.hpp"
#include "io/job_structure.hpp"
#include "io/model_split.hpp"
#include "io/structure_format.hpp"
#include "io/pdb_selection.hpp"

namespace tessel {

namespace {

// A plain PDB file is read once and its models handed out as temporary files; a compressed or
// mmCIF file is read into memory and its models are selected there.
bool plain_pdb(const std::string& file) {
  const auto kind = structure_file_kind(file);
  return !kind || (kind->format == StructureFormat::Pdb && !kind->gzip);
}

int model_count(const std::string& file) {
  if (plain_pdb(file)) return scan_structure_file(file).model_count;
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

EnsembleBuild build_ensemble(const std::vector<EnsembleMemberId>& members,
                             const RunSettings& settings, ModelRequest request,
                             const Report& report) {
  EnsembleBuild build;
  build.ensemble = Ensemble(request.s.size());
  build.members = members;
  const Report quiet{};
  std::vector<std::string> files;
  for (const EnsembleMemberId& m : members)
    if (files.empty() || files.back() != m.file) files.push_back(m.file);

  // After the first member (computed with the job's threads, its lines reported) the members
  // go in batches, one member per thread of the run's pool, each computed in one thread.
  WorkerPool* pool = request.loops.pool;
  const std::size_t batch_size = pool != nullptr ? static_cast<std::size_t>(pool->threads()) : 1;
  std::vector<JobStructure> batch;
  const auto add_member = [&build](ScatteringModel model) {
    const AtomSums& sums = model.structure.sums;
    const MolecularQuantities molecular = molecular_quantities(
        sums.mass, model_displaced_volume(model.structure.solvent), sums.atoms, sums.dummy_residues);
    normalise_solvent_amplitude(model.structure.solvent, molecular.displaced_volume, sums.atoms);
    build.ensemble.add(
        partial_intensities(model.structure.atoms, model.structure.solvent, model.shell),
        member_scalars(model, molecular));
    if (build.ensemble.size() == 1) build.first = std::move(model);
  };
  const auto run_batch = [&] {
    std::vector<std::optional<ScatteringModel>> models(batch.size());
    const auto compute = [&](int task, int) {
      ModelRequest one = request;
      one.structure = batch[static_cast<std::size_t>(task)].path;
      one.sequence_file.clear();
      one.chain_selection = batch[static_cast<std::size_t>(task)].selection.chain_selection;
      one.loops.threads = 1;
      one.loops.pool = nullptr;
      models[static_cast<std::size_t>(task)] = compute_scattering_model(one, quiet);
    };
    if (pool != nullptr && batch.size() > 1) {
      pool->run(static_cast<int>(batch.size()), compute);
    } else {
      for (std::size_t i = 0; i < batch.size(); ++i) compute(static_cast<int>(i), 0);
    }
    for (auto& model : models) add_member(std::move(*model));
    batch.clear();
  };

  for (const std::string& file : files) {
    if (!plain_pdb(file)) {
      run_batch();  // the members before this file's, in order
      // The file read once; each model selected from it in memory, as `-nmr` selects it.
      const StructureInMemory whole = read_into_memory(file);
      for (const EnsembleMemberId& m : members) {
        if (m.file != file) continue;
        RunSettings one = settings;
        one.model_number = m.model;
        one.model_selection = m.model >= 1;
        const JobStructure structure = select_in_memory(file, whole, one, nullptr, quiet);
        request.structure = structure.path;
        request.in_memory =
            std::holds_alternative<std::monostate>(structure.memory) ? &whole : &structure.memory;
        request.sequence_file = build.ensemble.empty() ? std::filesystem::path(file) : std::filesystem::path();
        request.chain_selection = structure.selection.chain_selection;
        add_member(compute_scattering_model(request, build.ensemble.empty() ? report : quiet));
      }
      request.in_memory = nullptr;
      continue;
    }
    for_each_model(file, [&](int ordinal, const std::filesystem::path& copy) {
      // The model's own copy is filtered as `-nmr` filters the model in the whole file.
      RunSettings one = settings;
      one.model_number = ordinal >= 1 ? 1 : 0;
      one.model_selection = ordinal >= 1;
      JobStructure structure = prepare_structure(copy, one, nullptr, quiet);
      if (build.ensemble.empty() && batch.empty()) {
        request.structure = structure.path;
        request.sequence_file = file;
        request.chain_selection = structure.selection.chain_selection;
        add_member(compute_scattering_model(request, report));
        return;
      }
      batch.push_back(std::move(structure));
      if (batch.size() >= batch_size) run_batch();
    });
  }
  run_batch();
  if (build.ensemble.size() != members.size())
    throw Error(" Error -- The structure files changed while they were read");
  return build;
}

}  // namespace tessel
