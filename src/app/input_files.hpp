// The input files of a batch run sorted into structure, save and data files, and what they
// decide about the run: the mode, whether a fit is wanted and the command of the re-runs.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/run_settings.hpp"

namespace tessel {

// What an input file is, told by its ending.
enum class InputKind { structure, save, data };

struct InputEnding {
  std::string_view ending;  // lower-case, with its dot; matched in any case
  InputKind kind;
};

// Every file ending the program takes, in the order the accepted-endings line lists them. A new
// structure or curve format is added here and nowhere else.
// (The structure endings are also those of structure_file_kind(), which tells their formats.)
inline constexpr std::array kInputEndings = {
    InputEnding{".pdb", InputKind::structure},    InputEnding{".ent", InputKind::structure},
    InputEnding{".cif", InputKind::structure},    InputEnding{".mmcif", InputKind::structure},
    InputEnding{".pdb.gz", InputKind::structure}, InputEnding{".ent.gz", InputKind::structure},
    InputEnding{".cif.gz", InputKind::structure}, InputEnding{".mmcif.gz", InputKind::structure},
    InputEnding{".sav", InputKind::save},         InputEnding{".dat", InputKind::data},
    InputEnding{".txt", InputKind::data},         InputEnding{".csv", InputKind::data},
    InputEnding{".sub", InputKind::data},
};

// The kind of a file name by the table above (the name ends with the ending, in any case), or
// nothing for another ending.
std::optional<InputKind> input_kind(std::string_view name);

// The line written after " Error -- Unsupported file extension ": the endings of the table by
// kind, without the line end.
std::string accepted_endings_line();

struct ClassifiedInputs {
  std::vector<std::string> structures;  // structure files (.pdb, .ent, .cif, .mmcif; also .gz)
  std::vector<std::string> saves;       // save files (.sav)
  std::vector<std::string> data;        // curves (.dat, .txt, .csv, .sub)
};

// Sorts the files by their endings (kInputEndings), keeping their order. Throws tessel::Error
// (status 1) for the first file that is too short to have an extension
// (" Error -- Illegal option "), has another extension (" Error -- Unsupported file extension "
// with the last four characters upper-cased, then the accepted-endings line) or does not exist
// (" Error -- File does not exist "); then for structure and save files together
// (" Error -- Either PDB or SAV file should be used") or neither
// (" Error -- No PDB or SAV file provided").
ClassifiedInputs classify_input_files(std::span<const std::string> files,
                                      const std::function<bool(const std::string&)>& exists);

// Puts the sorted files into the settings and derives from them: mode 2 with save files, else 0;
// with one data file a fit is wanted on it; with two or more, keep is forced on (the user's
// setting stays in keep_as_set) and each data file is fitted later in a re-run.
void apply_inputs(const ClassifiedInputs& inputs, RunSettings& settings);

// Jobs of a batch run: one per structure or save file, at least one.
int batch_job_count(const RunSettings& settings);

// The arguments that start the program again on one more data file, argv[0] the program: the
// options a job on a save file still reads, so that each re-run fits as the user asked and writes
// where the user asked: " -un" and the unit, " -kp" as the user set keep (not as forced), the
// error column on (" -err") or off (" -err=N"), " -cst", the solvent density " -dns" and the
// shell contrast " -dro" (exact values), " -def", " -nosmy", " --fit extended", "--plot" with its format and
// "--json" (each fit gets its own picture and record). Left out: the grid settings, which
// the save file replaces; the structure options (hydrogens, naming, model, chain), which a job on
// a save file does not use; and the prefix, which such a job does not use either (it would make
// every re-run write over the same names).
std::vector<std::string> rerun_arguments(const std::string& program, const RunSettings& settings);

// The argument vector of one re-run: the arguments above, "--" (so that names beginning with '-'
// or '/' are taken as files), the job's save file and the data file.
std::vector<std::string> rerun_argument_vector(std::span<const std::string> arguments,
                                               const std::string& save_file,
                                               const std::string& data_file);

}  // namespace tessel
