// The structure of one job in any of the accepted formats.
#include "io/job_structure.hpp"

#include <variant>

#include "core/trim.hpp"
#include "io/fortran_format.hpp"
#include "io/gzip_input.hpp"
#include "io/memory_stream.hpp"
#include "io/mmcif_selection.hpp"
#include "io/pdb_completeness.hpp"
#include "io/structure_format.hpp"

namespace tessel {

namespace {

bool has_selection(const StructureSelection& selection) {
  return selection.model_selection || selection.chain_selection;
}

ScanResult scan_in_memory(const StructureInMemory& whole) {
  if (const auto* cif = std::get_if<MmcifStructure>(&whole)) return scan_mmcif(*cif);
  MemoryStream in(std::get<PdbText>(whole).text);
  return scan_structure(in);
}

// The selected atoms of a structure in memory; the SEQRES records stay with a PDB text.
StructureInMemory selected_in_memory(const StructureInMemory& whole, const StructureSelection& selection,
                                     bool keep_hydrogens, const std::string& name) {
  if (const auto* cif = std::get_if<MmcifStructure>(&whole))
    return select_mmcif_atoms(*cif, selection, keep_hydrogens, name);
  const PdbText& pdb = std::get<PdbText>(whole);
  PdbText filtered{{}, pdb.sequences};
  MemoryStream in(pdb.text);
  filter_lines(in, name, selection, keep_hydrogens, [&filtered](std::string_view line) {
    filtered.text.append(trim_right(line)).push_back('\n');
  });
  return filtered;
}

}  // namespace

StructureInMemory read_into_memory(const std::filesystem::path& file) {
  const auto kind = structure_file_kind(file.string());
  if (kind && kind->format == StructureFormat::Mmcif) return read_mmcif_file(file, kind->gzip);
  PdbText pdb{read_structure_bytes(file, true), {}};
  MemoryStream sequence_in(pdb.text);
  pdb.sequences = read_seqres(sequence_in);
  return pdb;
}

JobStructure select_in_memory(const std::filesystem::path& file, const StructureInMemory& whole,
                              const RunSettings& settings, const SelectionDialogue* dialogue,
                              const Report& report) {
  JobStructure job;
  const std::string name = file.string();
  job.output_name = name;
  const ScanResult scan = scan_in_memory(whole);
  job.model_count = scan.model_count;
  job.selection = choose_selection(settings, scan, name, dialogue, report);
  if (has_selection(job.selection)) {
    const bool keep_hydrogens = settings.explicit_hydrogens || dialogue != nullptr;
    job.memory = selected_in_memory(whole, job.selection, keep_hydrogens, name);
    job.output_name = selection_name(name, job.selection);
  }
  return job;
}

JobStructure prepare_structure(const std::filesystem::path& file, const RunSettings& settings,
                               const SelectionDialogue* dialogue, const Report& report) {
  if (!plain_pdb_file(file.string())) {
    StructureInMemory whole = read_into_memory(file);
    JobStructure job = select_in_memory(file, whole, settings, dialogue, report);
    if (std::holds_alternative<std::monostate>(job.memory)) job.memory = std::move(whole);
    return job;
  }

  JobStructure job;
  job.output_name = file.string();
  job.path = file;
  const ScanResult scan = scan_structure_file(file);
  job.model_count = scan.model_count;
  job.selection = choose_selection(settings, scan, job.output_name, dialogue, report);
  if (has_selection(job.selection)) {
    const bool keep_hydrogens = settings.explicit_hydrogens || dialogue != nullptr;
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
