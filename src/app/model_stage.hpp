// The scattering model of one structure as a job builds it: the pass over the typed atoms with
// its progress marks and report lines, the envelope, its statistics and expansion, and the
// hydration shell.
#pragma once

#include <complex>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/amplitudes.hpp"
#include "core/envelope.hpp"
#include "core/harmonic_tables.hpp"
#include "core/kernels/worker_pool.hpp"
#include "core/partial_amplitudes.hpp"
#include "core/sequence_completeness.hpp"
#include "io/atom_source.hpp"
#include "io/atom_typing.hpp"
#include "io/pdb_reader.hpp"
#include "io/report.hpp"
#include "io/run_log.hpp"

namespace tessel {

// What the job asks of the amplitude stage.
struct ModelRequest {
  std::filesystem::path structure;   // the (possibly filtered) PDB file, when not in memory
  const StructureInMemory* in_memory = nullptr;  // the atoms held in memory, if any
  // The structure file as given, whose sequence records the completeness check compares with
  // the residues of `structure`; empty: no check.
  std::filesystem::path sequence_file;
  bool chain_selection = false;      // `structure` holds only the selected chains
  bool envelope_only = false;        // no amplitudes and no shell
  bool explicit_hydrogens = false;
  bool new_atom_naming = true;
  std::span<const double> s;         // the s grid, 1/Å
  const HarmonicTables* tables = nullptr;
  // The form factors on `s`, when the caller made them for several structures; none: made here.
  const ModelFormFactors* form_factors = nullptr;
  // A member of an ensemble after the first: the curves are wanted, not the envelope's expansion
  // nor its diameter, and its Bessel tables may come from the shared recurrence.
  bool curves_only = false;
  LoopSettings loops;                // threads of the long loops
};

struct ScatteringModel {
  StructureAmplitudes structure;  // A, C (not yet normalised), the sums and the envelope
  PartialAmplitudes shell;        // B, unit density; empty for the envelope only
  int residues = 0;               // amino-acid residues
  int bases = 0;                  // nucleotides
  int unknown_atoms = 0;
  EnvelopeStatistics statistics;
  EnvelopeFunction envelope_function;
  CompletenessReport completeness;     // chains with missing residues
  std::vector<std::string> warnings;   // the warning lines written, one each
  // What the passes over the structure file found: the pre-pass (atoms read, geometric centre)
  // and the typed composition. Not known for a model restored from a save file.
  std::optional<PrepassResult> prepass;
  std::optional<Composition> composition;
};

// Runs the stage: the pre-pass, the warning lines of missing residues, the typed atoms in
// batches with progress marks, the centre of the excess electron density, zero directions, the
// composition, and (unless envelope only) the shell, writing their lines to the console and the
// log. Throws tessel::Error on unreadable input.
ScatteringModel compute_scattering_model(const ModelRequest& request, const Report& report);

// The sizes of the structural report.
StructuralParameters structural_parameters(const ScatteringModel& model);

// The net amplitude A − G(s)·C + δρ·B in the layout of PartialAmplitudes (harmonic index
// fastest); B may be empty.
std::vector<std::complex<double>> net_amplitudes(const PartialAmplitudes& a,
                                                 const PartialAmplitudes& c,
                                                 const PartialAmplitudes& b,
                                                 std::span<const double> scale, double delta_rho);

}  // namespace tessel
