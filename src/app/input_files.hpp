// The input files of a batch run sorted into structure, save and data files, and what they
// decide about the run: the mode, whether a fit is wanted and the command of the re-runs.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/run_settings.hpp"

namespace tessel {

struct ClassifiedInputs {
  std::vector<std::string> structures;  // .pdb, .ent
  std::vector<std::string> saves;       // .sav
  std::vector<std::string> data;        // .dat
};

// Sorts the files by their last four characters, upper-cased, keeping their order. Throws
// tessel::Error (status 1) for the first file that is too short to have an extension
// (" Error -- Illegal option "), has another extension (" Error -- Unsupported file extension ")
// or does not exist (" Error -- File does not exist "); then for structure and save files
// together (" Error -- Either PDB or SAV file should be used") or neither
// (" Error -- No PDB or SAV file provided").
ClassifiedInputs classify_input_files(std::span<const std::string> files,
                                      const std::function<bool(const std::string&)>& exists);

// Puts the sorted files into the settings and derives from them: mode 2 with save files, else 0;
// with one data file a fit is wanted on it; with two or more, keep is forced on (the user's
// setting stays in keep_as_set) and each data file is fitted later in a re-run.
void apply_inputs(const ClassifiedInputs& inputs, RunSettings& settings);

// Jobs of a batch run: one per structure or save file, at least one.
int batch_job_count(const RunSettings& settings);

// The command that starts the program again for one more data file: the program path in double
// quotes and the options the re-run needs (" -un " and the unit, " -kp", " -err ", " -cst").
std::string rerun_command(const std::string& program_path, const RunSettings& settings);

// The command line of one re-run: the command, the job's save file and the data file.
std::string rerun_command_line(const std::string& command, const std::string& save_file,
                               const std::string& data_file);

}  // namespace tessel
