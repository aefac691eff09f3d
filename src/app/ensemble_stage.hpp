// The members of an ensemble job: every model of each structure file given, read and turned
// into its six partial intensity curves one at a time, so that only the curves of the members
// stay in memory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/member_reader.hpp"
#include "app/model_stage.hpp"
#include "core/ensemble.hpp"
#include "core/run_settings.hpp"

namespace tessel {

// The members of the files in their order, each file's models in the order of their numbers.
std::vector<EnsembleMemberId> ensemble_members(const std::vector<std::string>& files);

// The inputs an ensemble or mixture run needs, checked before any work: structure files only,
// no -nmr, no extended fit, at most one data file, and for --mixture N one data file and at least N members. Throws
// tessel::Error (status 1) with the reason.
void check_ensemble_inputs(const RunSettings& settings);

// The label of a member in the log and the record: "file" or "file model 3".
std::string member_label(const EnsembleMemberId& member);

struct EnsembleBuild {
  Ensemble ensemble{0};
  std::vector<EnsembleMemberId> members;
  // The first member's scattering model (with its report written), whose envelope and
  // structural report stand for the ensemble's.
  ScatteringModel first;
};

// Computes every member with `request` (its structure replaced by the member's model) and the
// job's settings (chains, hydrogens). The first member writes its lines to `report`, the others
// are computed quietly. Throws tessel::Error naming the file of a member that cannot be read.
EnsembleBuild build_ensemble(const std::vector<EnsembleMemberId>& members,
                             const RunSettings& settings, ModelRequest request,
                             const Report& report);

}  // namespace tessel
