// The structure of one job: its file read in the format its name says, the models and chains
// found, the selection chosen and applied.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/run_settings.hpp"
#include "io/atom_source.hpp"
#include "io/pdb_selection.hpp"
#include "io/report.hpp"

namespace tessel {

struct JobStructure {
  // The PDB file the passes read (the file itself or its filtered copy); empty when the atoms
  // are held in `memory`.
  std::filesystem::path path;
  // The atoms of a gzip-compressed or mmCIF file, its selection applied.
  StructureInMemory memory;
  int model_count = 0;          // models of the file as given (scan_structure(), scan_mmcif())
  std::string output_name;      // the name the job's output names derive from
  StructureSelection selection;
  TemporaryFile copy;           // the filtered copy of a PDB file when a selection is active
};

// Scan, choice and (with a selection) filter of `file`. A plain PDB file (and a file of no known
// ending) is read from disk, and a selection is copied to a temporary file; a gzip-compressed PDB
// file is decompressed into memory and its selection filtered there; an mmCIF file (compressed
// or not) is read into its atom table, and its selection too is made in memory. Hydrogens stay
// in a selection when `settings.explicit_hydrogens` is on, and in interactive mode (`dialogue`
// given), whose hydrogen question comes later: the passes that read it drop them when the switch
// is off. Throws StructureOpenError, the errors of the readers and of the selection.
JobStructure prepare_structure(const std::filesystem::path& file, const RunSettings& settings,
                               const SelectionDialogue* dialogue, const Report& report);

// A gzip-compressed or mmCIF file read into memory whole (no selection).
StructureInMemory read_into_memory(const std::filesystem::path& file);

// The scan and choice of prepare_structure() on a file already read into memory. With a
// selection `memory` holds the selected atoms; without one it is left empty, and the passes read
// `whole` itself. The ensemble reads a file once and selects each of its models from it.
JobStructure select_in_memory(const std::filesystem::path& file, const StructureInMemory& whole,
                              const RunSettings& settings, const SelectionDialogue* dialogue,
                              const Report& report);

// Without a model selection every model of a file with several is read, all together as one
// particle. The warning says how many were merged and how to read one (`-nmr`, or the model
// question in interactive mode); one line without its end. Nothing for a single model.
std::optional<std::string> merged_models_warning(const JobStructure& structure,
                                                 std::string_view file_name, bool interactive);

}  // namespace tessel
