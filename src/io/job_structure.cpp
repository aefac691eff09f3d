// The structure of one job in any of the accepted formats.
#include "io/job_structure.hpp"

#include "core/trim.hpp"
#include "io/fortran_format.hpp"
#include "io/gzip_input.hpp"
#include "io/memory_stream.hpp"
#include "io/mmcif_selection.hpp"
#include "io/pdb_completeness.hpp"
#include "io/structure_format.hpp"

namespace tessel {

JobStructure prepare_structure(const std::filesystem::path& file, const RunSettings& settings,
                               const SelectionDialogue* dialogue, const Report& report) {
  JobStructure job;
  const std::string name = file.string();
  job.output_name = name;
  const bool keep_hydrogens = settings.explicit_hydrogens || dialogue != nullptr;
  const auto kind = structure_file_kind(name);
  const auto selected = [&job] {
    return job.selection.model_selection || job.selection.chain_selection;
  };

  if (kind && kind->format == StructureFormat::Mmcif) {
    MmcifStructure structure = read_mmcif_file(file, kind->gzip);
    const ScanResult scan = scan_mmcif(structure);
    job.model_count = scan.model_count;
    job.selection = choose_selection(settings, scan, name, dialogue, report);
    if (selected()) {
      structure = select_mmcif_atoms(std::move(structure), job.selection, keep_hydrogens, name);
      job.output_name = selection_name(name, job.selection);
    }
    job.memory = std::move(structure);
    return job;
  }

  if (kind && kind->gzip) {
    PdbText pdb{read_structure_bytes(file, true), {}};
    MemoryStream sequence_in(pdb.text);
    pdb.sequences = read_seqres(sequence_in);
    MemoryStream scan_in(pdb.text);
    const ScanResult scan = scan_structure(scan_in);
    job.model_count = scan.model_count;
    job.selection = choose_selection(settings, scan, name, dialogue, report);
    if (selected()) {
      PdbText filtered{{}, std::move(pdb.sequences)};
      MemoryStream in(pdb.text);
      filter_lines(in, name, job.selection, keep_hydrogens, [&filtered](std::string_view line) {
        filtered.text.append(trim_right(line)).push_back('\n');
      });
      pdb = std::move(filtered);
      job.output_name = selection_name(name, job.selection);
    }
    job.memory = std::move(pdb);
    return job;
  }

  job.path = file;
  const ScanResult scan = scan_structure_file(file);
  job.model_count = scan.model_count;
  job.selection = choose_selection(settings, scan, name, dialogue, report);
  if (selected()) {
    FilteredStructure filtered = filter_structure(file, job.selection, keep_hydrogens);
    job.path = filtered.copy.path();
    job.output_name = std::move(filtered.output_name);
    job.copy = std::move(filtered.copy);
  }
  return job;
}

std::optional<std::string> merged_models_warning(const JobStructure& structure,
                                                 std::string_view file_name, bool interactive) {
  if (structure.selection.model_selection || structure.model_count < 2) return std::nullopt;
  const std::string how = interactive ? "answer \"Process model number\" with its number"
                                      : "give its number with -nmr (for example -nmr 1)";
  return " Warning: all " + int_text(structure.model_count) + " models of " +
         std::string(file_name) + " were read together as one particle; to read one model " + how;
}

}  // namespace tessel
