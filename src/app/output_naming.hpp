// The names of a job's output files: a common base name (the structure's file stem and a run
// number, or the user's prefix) followed by an extension, and the list shown on the console.
#pragma once

#include <string>
#include <string_view>

#include "app/platform.hpp"
#include "core/run_settings.hpp"

namespace tessel {

// The file name without its extension (from the last '.' of the file part; the whole ending of
// a structure file, such as ".cif.gz"); without its directory too unless `keep_directory`.
std::string output_stem(std::string_view file_name, bool keep_directory = false);

// The run number as it is appended: two digits up to 99, then as many as it needs.
std::string run_number_text(int run);

struct OutputName {
  std::string base;  // the name every output file starts with
  std::string run;   // the run number, two blanks when a prefix is used
};

// With a prefix (not blank) the prefix itself, run number "  ", reusing existing files.
// Otherwise the stem followed by a run number one above the highest NN in 99..00 for which
// stem + NN + ".log" exists, 00 when none does. The log file of the chosen number is created at
// once and exclusively, so that another run starting at the same moment takes the next number;
// beyond 99 the numbering goes on with 100, 101, ...
OutputName choose_output_name(std::string_view stem, std::string_view prefix, Platform& platform);

// Which output files a job writes.
struct OutputFileSet {
  bool keep = false;
  RunMode mode = RunMode::amplitudes_and_envelope;
  bool fit_wanted = false;
};

// The newer outputs a job may write besides.
struct FurtherOutputs {
  std::string picture_format;  // "png", "svg", "pdf" or "" (no picture)
  bool json_record = false;
};

// The console list of output names: rule, heading, one ( ' ', A, A4, ' -- ', A ) line per file,
// rule. A job from a save file (mode 2) has its own heading and descriptions. The picture (not in
// an envelope-only job) and the JSON record come last, before the closing rule.
std::string output_file_list(std::string_view base, const OutputFileSet& files,
                             const FurtherOutputs& further = {});

// The files written when the job predicts only (no fit) or keeps its files.
inline bool writes_intensity_files(const OutputFileSet& f) {
  return f.keep || !f.fit_wanted;
}

}  // namespace tessel
